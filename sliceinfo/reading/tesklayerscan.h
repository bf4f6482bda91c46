#ifndef TESKLAYERSCAN_H
#define TESKLAYERSCAN_H

#include "analysis/darkspacefinder.h"
#include "analysis/islandfinder.h"
#include "analysis/layerstats.h"

#include <QtGlobal>

// Walks a Tesk layer stream as the converter reads it, without a bitmap:
// how many pixels it writes, where it would overflow the bitmap, and the
// statistics of what it writes. Bytes past heldLen, up to declaredLen, read as
// zeros, as TeskLayerReader says.
class TeskLayerScan {
public:
    // Hands the lit runs to `islands` and `darkSpace` too, when given.
    static TeskLayerScan scan(const char* src, qint64 heldLen, qint64 declaredLen, int width, qint64 pixelCount,
                              IslandFinder* islands = nullptr, DarkSpaceFinder* darkSpace = nullptr);

    bool overflows() const { return overflowAt >= 0; }
    bool fallsShort() const { return !overflows() && pixelsWritten < stats.pixels; }

    qint64 pixelsWritten = 0;
    qint64 overflowAt = -1;    // byte of the first token that would write past the bitmap
    qint64 cutShortAt = -1;    // byte of a run token whose length bytes lie past the end
    qint64 decodableLength = 0; // leading bytes that decode without an overflow
    bool readInPart = false;    // the block is larger than what is read of it
    LayerStats stats;
};

#endif
