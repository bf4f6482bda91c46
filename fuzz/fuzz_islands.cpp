// The island finder against a plain flood fill on arbitrary pairs of layers
// in either run coding: the same islands, or abort.
//   byte 0  width - 1 (the low five bits: 1 to 32 pixels)
//   byte 1  height - 1 (the low five bits)
//   byte 2  bit 0: 0 Tesk token streams, 1 qvx runs; the other bits say where
//           the rest splits: the first (b >> 1) * size / 128 bytes are the
//           layer below, the others the layer
//   rest    the two streams
#include "analysis/islandfinder.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "format/tesklayerreader.h"
#include "fuzzsupport.h"
#include "islandlabels.h"

#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

using RunVisitor = std::function<void(qint64 start, qint64 length, int level)>;

// The runs the stream describes, as far as it goes.
void readRuns(bool qvx, const QByteArray& stream, qint64 pixels, const RunVisitor& visit)
{
    qint64 start = 0;
    const RunSink sink = [&](int level, qint64 length) {
        visit(start, length, level);
        start += length;
    };
    if (qvx) {
        QString error;
        QvxRunDecoder::walk(stream, pixels, sink, &error);
        return;
    }
    TeskLayerReader(stream.constData(), stream.size(), stream.size(), pixels).readRuns(sink);
}

// Hands the layer's lit runs to the finder and gives its bitmap.
QByteArray feed(bool qvx, const QByteArray& stream, qint64 pixels, IslandFinder& finder)
{
    QByteArray bitmap(int(pixels), '\0');
    readRuns(qvx, stream, pixels, [&](qint64 start, qint64 length, int level) {
        std::memset(bitmap.data() + start, level, size_t(length));
        if (level != 0)
            finder.addLit(start, length);
    });
    return bitmap;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int width = 1 + (in.byte() & 31);
    const int height = 1 + (in.byte() & 31);
    const int choice = in.byte();
    const bool qvx = choice & 1;
    const QByteArray rest(reinterpret_cast<const char*>(in.rest()), int(in.restSize()));
    const int split = int(qint64(choice >> 1) * rest.size() / 128);
    IslandFinder finder(width, height);
    const QByteArray below = feed(qvx, rest.left(split), qint64(width) * height, finder);
    if (!finder.endLayer(0).isEmpty())
        std::abort();
    const QByteArray layer = feed(qvx, rest.mid(split), qint64(width) * height, finder);
    if (!(finder.endLayer(1) == floodFillIslands(width, height, layer, below, 1)))
        std::abort();
    return 0;
}
