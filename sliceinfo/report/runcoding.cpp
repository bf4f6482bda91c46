#include "runcoding.h"

#include <cstring>

namespace {

constexpr int kVarintBits = 7;
constexpr uchar kVarintMore = 0x80;
constexpr int kMaxGrey = 255;

// Reads a varint at `at`, moving past it; false past the end of the bytes.
bool readVarint(const QByteArray& in, int& at, quint64& value)
{
    value = 0;
    for (int shift = 0; at < in.size() && shift < 64; shift += kVarintBits) {
        const uchar byte = uchar(in[at++]);
        value |= quint64(byte & ~kVarintMore) << shift;
        if (!(byte & kVarintMore))
            return true;
    }
    return false;
}

} // namespace

void appendVarint(QByteArray& out, quint64 value)
{
    char bytes[10];
    int n = 0;
    for (; value >= kVarintMore; value >>= kVarintBits)
        bytes[n++] = char(uchar(value) | kVarintMore);
    bytes[n++] = char(value);
    out.append(bytes, n);
}

RunCoding::RunCoding(int width, int height)
    : width(qMax(width, 0))
    , height(qMax(height, 0))
{
}

void RunCoding::addRun(int grey, qint64 length)
{
    const qint64 end = qMin(position + qMax<qint64>(length, 0), qint64(width) * height);
    grey = qBound(0, grey, kMaxGrey);
    while (position < end) {
        const int take = int(qMin<qint64>(end - position, width - column));
        addToRow(grey, take);
        position += take;
        column += take;
        if (column == width)
            endRow();
    }
}

// A run is written once the next one starts: the row's last run has no length.
void RunCoding::addToRow(int grey, int length)
{
    if (runLength > 0 && grey == runGrey) {
        runLength += length;
        return;
    }
    if (runLength > 0) {
        current.greys.append(char(runGrey));
        appendVarint(current.lengths, quint64(runLength));
    }
    runGrey = grey;
    runLength = length;
}

void RunCoding::endRow()
{
    current.greys.append(char(runGrey));
    runLength = 0;
    if (row > 0 && current.greys == last.greys && current.lengths == last.lengths) {
        ++repeats;
    } else {
        flushRepeats();
        appendVarint(coded.rows, quint64(current.greys.size()));
        coded.greys += current.greys;
        coded.lengths += current.lengths;
        std::swap(last, current);
    }
    current.greys.clear();
    current.lengths.clear();
    column = 0;
    ++row;
}

void RunCoding::flushRepeats()
{
    if (repeats == 0)
        return;
    appendVarint(coded.rows, 0);
    appendVarint(coded.rows, quint64(repeats));
    repeats = 0;
}

RunCoding::Layer RunCoding::finish()
{
    addRun(0, qint64(width) * height - position);
    flushRepeats();
    Layer layer;
    std::swap(layer, coded);
    position = 0;
    column = 0;
    row = 0;
    return layer;
}

QByteArray RunCoding::decode(const Layer& coded, int width, int height)
{
    if (width <= 0 || height <= 0)
        return QByteArray();
    QByteArray bitmap(width * height, '\0');
    char* pixels = bitmap.data();
    int rowAt = 0, greyAt = 0, lengthAt = 0;
    qint64 position = 0;
    quint64 runs = 0, value = 0;
    while (rowAt < coded.rows.size()) {
        if (!readVarint(coded.rows, rowAt, runs))
            return QByteArray();
        if (runs == 0) {
            if (position == 0 || !readVarint(coded.rows, rowAt, value) || value > quint64(height - position / width))
                return QByteArray();
            for (quint64 i = 0; i < value; ++i, position += width)
                std::memcpy(pixels + position, pixels + position - width, size_t(width));
            continue;
        }
        if (position == bitmap.size() || runs > quint64(coded.greys.size() - greyAt))
            return QByteArray();
        for (int column = 0; runs > 0; --runs) {
            const char grey = coded.greys[greyAt++];
            if (runs > 1 && (!readVarint(coded.lengths, lengthAt, value) || value == 0 || value >= quint64(width - column)))
                return QByteArray();
            const int length = runs > 1 ? int(value) : width - column;
            std::memset(pixels + position, grey, size_t(length));
            position += length;
            column += length;
        }
    }
    const bool whole = position == bitmap.size() && greyAt == coded.greys.size() && lengthAt == coded.lengths.size();
    return whole ? bitmap : QByteArray();
}
