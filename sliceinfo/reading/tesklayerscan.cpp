#include "tesklayerscan.h"

#include "analysis/litspans.h"
#include "format/tesklayerreader.h"

namespace {

constexpr int kFullGrey = 254;

} // namespace

TeskLayerScan TeskLayerScan::scan(const char* src, qint64 heldLen, qint64 declaredLen, int width, qint64 pixelCount,
                                  IslandFinder* islands, DarkSpaceFinder* darkSpace)
{
    TeskLayerScan s;
    s.stats = LayerStats(width, pixelCount, kFullGrey);
    s.stats.encodedBytes = declaredLen;
    TeskLayerReader reader(src, heldLen, declaredLen, pixelCount);
    LitSpans(s.stats, islands, darkSpace, width).gather([&reader](auto&& sink) { reader.readRuns(sink); });
    s.pixelsWritten = reader.pixelsWritten();
    s.overflowAt = reader.overflowAt();
    s.cutShortAt = reader.cutShortAt();
    s.decodableLength = reader.decodedLength();
    return s;
}
