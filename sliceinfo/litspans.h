#ifndef LITSPANS_H
#define LITSPANS_H

#include "islandfinder.h"
#include "layerstats.h"

// Gathers the runs of one layer, given in raster order, into spans of lit
// pixels for the layer's statistics and its island finder: neighbouring lit
// runs of different levels (the grey edges of a shape) are handed on as one
// span, and the row and column of a span's start are found without a
// division for every run.
class LitSpans {
public:
    LitSpans(LayerStats& stats, IslandFinder* islands, int width)
        : stats(stats)
        , islands(islands)
        , at(width)
    {
    }

    // The next run: `length` pixels of `level` (0 for dark).
    void add(int level, qint64 length)
    {
        if (level == 0) {
            if (spanLength != 0)
                handOn();
        } else {
            if (spanLength == 0)
                spanStart = position;
            spanLength += length;
            levels += level * length;
        }
        position += length;
    }

    // After the last run.
    void finish()
    {
        if (spanLength != 0)
            handOn();
        stats.litLevels += levels;
    }

private:
    void handOn();

    LayerStats& stats;
    IslandFinder* islands;
    RasterCursor at;
    qint64 position = 0;
    qint64 spanStart = 0;
    qint64 spanLength = 0;
    qint64 levels = 0;
};

#endif
