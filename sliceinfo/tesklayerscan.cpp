#include "tesklayerscan.h"

#include "litspans.h"
#include "tesklayerreader.h"

namespace {

constexpr int kFullGrey = 254;

} // namespace

TeskLayerScan TeskLayerScan::scan(const char* src, qint64 heldLen, qint64 declaredLen, int width, qint64 pixelCount,
                                  IslandFinder* islands)
{
    TeskLayerScan s;
    s.stats = LayerStats(width, pixelCount, kFullGrey);
    s.stats.encodedBytes = declaredLen;
    TeskLayerReader reader(src, heldLen, declaredLen, pixelCount);
    LitSpans spans(s.stats, islands, width);
    reader.readRuns([&spans](uchar grey, qint64 length) { spans.add(grey, length); });
    spans.finish();
    s.pixelsWritten = reader.pixelsWritten();
    s.overflowAt = reader.overflowAt();
    s.cutShortAt = reader.cutShortAt();
    s.decodableLength = reader.decodedLength();
    return s;
}
