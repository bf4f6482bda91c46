#ifndef TESKLAYERREADER_H
#define TESKLAYERREADER_H

#include <QtEndian>
#include <QtGlobal>

#include <algorithm>
#include <cstring>

// Reads a Tesk layer stream as runs, in raster order, without a bitmap. Each
// token starts with a head byte h: below 0x80 it is one pixel of grey h * 2;
// otherwise a run of grey (h & 0x7F) * 2 whose length follows in 1 to 4
// big-endian bytes, the top two bits of the first telling how many more follow.
//
// The stream is declaredLen bytes, of which only the first heldLen are in src:
// the rest read as zero bytes, that is single black pixels, without being
// allocated. A run token whose length bytes lie past declaredLen ends the
// layer. The first token that would write past pixelCount pixels is an
// overflow: it is dropped and the layer ends there. Zero-length runs are
// skipped. Every pixel after the last run is black.
// One run of a decoded layer: `length` pixels of the 8-bit grey `grey`.
struct TeskRun {
    qint64 length;
    uchar grey;
};

class TeskLayerReader {
public:
    TeskLayerReader(const char* src, qint64 heldLen, qint64 declaredLen, qint64 pixelCount);

    // Calls sink(runs, count) with the runs of the layer, in order, a batch at
    // a time: each with an 8-bit grey and a length of at least 1. Once.
    template <typename Sink>
    void readRuns(Sink&& sink);

    // Calls sink(grey, length) for each run; readRuns one run at a time.
    template <typename Sink>
    void forEachRun(Sink&& sink)
    {
        readRuns([&sink](const TeskRun* runs, int count) {
            for (int k = 0; k < count; ++k)
                sink(runs[k].grey, runs[k].length);
        });
    }

    // Pixels written by the runs.
    qint64 pixelsWritten() const { return written; }
    // Pixels after them, black.
    qint64 pixelsLeft() const { return pixelCount - written; }
    bool overflowed() const { return overflow >= 0; }
    // Byte of the token that overflowed (for the unheld tail: of the first zero
    // byte that did not fit), or -1.
    qint64 overflowAt() const { return overflow; }
    // Byte of a run token cut short by the end of the data, or -1.
    qint64 cutShortAt() const { return cutShort; }
    // The leading bytes of the stream that decode without an overflow.
    qint64 decodedLength() const { return overflowed() ? overflow : declaredLen; }

    static constexpr int kMaxTokenSize = 5;

private:
    // Runs handed to the sink at a time: enough to make the call cheap, few
    // enough to stay in the first-level cache.
    static constexpr int kBatchRuns = 256;

    static constexpr uchar kRunFlag = 0x80;
    static constexpr uchar kGreyMask = 0x7F;
    static constexpr quint32 kLengthMask = 0x3FFFFFFF; // of the four length bytes

    // The zero bytes from `position` to declaredLen as one black run, or nothing
    // when it has no pixels; records an overflow.
    qint64 unheldTail(qint64 position);

    const uchar* in;
    qint64 heldLen;
    qint64 declaredLen;
    qint64 pixelCount;
    qint64 written = 0;
    qint64 overflow = -1;
    qint64 cutShort = -1;
};

template <typename Sink>
void TeskLayerReader::readRuns(Sink&& sink)
{
    // Copies, which the sink's stores cannot change.
    const uchar* const in = this->in;
    const qint64 held = heldLen;
    const qint64 declared = declaredLen;
    const qint64 pixels = pixelCount;
    // Tokens that start before inPlaceEnd are read where they are; the last
    // few held bytes are read from a zero-padded copy, so that the length bytes
    // of a token are always there to read.
    const qint64 inPlaceEnd = held - kMaxTokenSize + 1;
    uchar padded[kMaxTokenSize];
    TeskRun batch[kBatchRuns];
    int batched = 0;
    const auto push = [&](uchar grey, qint64 length) {
        batch[batched++] = {length, grey};
        if (batched == kBatchRuns) {
            sink(static_cast<const TeskRun*>(batch), batched);
            batched = 0;
        }
    };
    qint64 i = 0;
    qint64 o = 0;
    while (i < held) {
        const uchar* token = in + i;
        if (i >= inPlaceEnd) {
            std::memset(padded, 0, sizeof padded);
            std::memcpy(padded, token, size_t(held - i));
            token = padded;
        }
        const uchar head = token[0];
        if (!(head & kRunFlag)) {
            if (o == pixels) {
                overflow = i;
                break;
            }
            push(uchar(head << 1), 1);
            ++o;
            ++i;
            continue;
        }
        // The top two bits of the first length byte count the further ones.
        const int further = token[1] >> 6;
        if (i + 2 + further > declared) {
            cutShort = i;
            break;
        }
        const qint64 length = (qFromBigEndian<quint32>(token + 1) & kLengthMask) >> (8 * (3 - further));
        if (length > pixels - o) {
            overflow = i;
            break;
        }
        i += 2 + further;
        if (length != 0) {
            push(uchar((head & kGreyMask) << 1), length);
            o += length;
        }
    }
    written = o;
    if (i >= held) {
        const qint64 tail = unheldTail(i);
        if (tail != 0)
            push(0, tail);
    }
    if (batched != 0)
        sink(static_cast<const TeskRun*>(batch), batched);
}

#endif
