// The island finder against a plain flood fill on arbitrary pairs of layers
// in either run coding: the same islands, or abort.
//   byte 0  width - 1 (the low five bits: 1 to 32 pixels)
//   byte 1  height - 1 (the low five bits)
//   byte 2  bit 0: 0 Tesk token streams, 1 qvx runs; the other bits say where
//           the rest splits: the first (b >> 1) * size / 128 bytes are the
//           layer below, the others the layer
//   rest    the two streams
#include "analysis/islandfinder.h"
#include "fuzzsupport.h"
#include "islandlabels.h"
#include "layercoding.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int width = 1 + (in.byte() & 31);
    const int height = 1 + (in.byte() & 31);
    const int choice = in.byte();
    const LayerCoding coding = choice & 1 ? LayerCoding::Qvx : LayerCoding::Tesk;
    const QByteArray rest(reinterpret_cast<const char*>(in.rest()), int(in.restSize()));
    const int split = int(qint64(choice >> 1) * rest.size() / 128);
    IslandFinder finder(width, height);
    const auto addLit = [&finder](qint64 start, qint64 length) { finder.addLit(start, length); };
    QByteArray below, layer;
    readLitRuns(coding, rest.left(split), width * height, addLit, &below);
    if (!finder.endLayer(0).isEmpty())
        std::abort();
    readLitRuns(coding, rest.mid(split), width * height, addLit, &layer);
    if (!(finder.endLayer(1) == floodFillIslands(width, height, layer, below, 1)))
        std::abort();
    return 0;
}
