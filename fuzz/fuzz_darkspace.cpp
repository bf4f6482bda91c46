// The dark-space finder against the tests' plain flood fill on small prints
// in either run coding: the same traps, cups, trapped pixels and faces, or
// abort.
//   byte 0  width - 1 (the low four bits: 1 to 16 pixels)
//   byte 1  height - 1 (the low four bits)
//   byte 2  bit 0: 0 Tesk token streams, 1 qvx runs; bits 1 to 4: layers - 1
//   rest    per layer, a length byte and that many bytes of its stream
#include "analysis/darkspacefinder.h"
#include "darkspaceflood.h"
#include "fuzzsupport.h"
#include "layercoding.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int width = 1 + (in.byte() & 15);
    const int height = 1 + (in.byte() & 15);
    const int choice = in.byte();
    const LayerCoding coding = choice & 1 ? LayerCoding::Qvx : LayerCoding::Tesk;
    const int layerCount = 1 + ((choice >> 1) & 15);
    DarkSpaceFinder finder(width, height);
    finder.keepAllLayers(qint64(1) << 30);
    QVector<QByteArray> lit;
    for (int z = 0; z < layerCount; ++z) {
        QByteArray stream;
        for (int n = in.byte(); n > 0 && in.restSize() > 0; --n)
            stream.append(char(in.byte()));
        lit.append(QByteArray());
        readLitRuns(coding, stream, width * height,
                    [&finder](qint64 start, qint64 length) { finder.addLit(start, length); }, &lit.last());
        finder.endLayer(z);
    }
    const DarkSpaceSummary& found = finder.finish();
    const FloodedDarkSpace flooded = floodFillDarkSpace(width, height, lit);
    if (!(found.traps == flooded.traps) || !(found.cups == flooded.cups))
        std::abort();
    for (int z = 0; z < layerCount; ++z) {
        if (intervalMask(width, height, finder.trappedIntervals(z)) != flooded.trapped[z]
            || intervalMask(width, height, finder.faceIntervals(z)) != flooded.faces[z])
            std::abort();
    }
    return 0;
}
