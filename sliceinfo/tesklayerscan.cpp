#include "tesklayerscan.h"

#include "tesklayerreader.h"

namespace {

constexpr int kFullGrey = 254;

} // namespace

TeskLayerScan TeskLayerScan::scan(const char* src, qint64 heldLen, qint64 declaredLen, int width, qint64 pixelCount)
{
    TeskLayerScan s;
    s.stats = LayerStats(width, pixelCount, kFullGrey);
    s.stats.encodedBytes = declaredLen;
    TeskLayerReader reader(src, heldLen, declaredLen, pixelCount);
    qint64 start = 0;
    reader.readRuns([&](uchar grey, qint64 length) {
        if (grey != 0)
            s.stats.addLit(start, length, grey);
        start += length;
    });
    s.pixelsWritten = reader.pixelsWritten();
    s.overflowAt = reader.overflowAt();
    s.cutShortAt = reader.cutShortAt();
    s.decodableLength = reader.decodedLength();
    return s;
}
