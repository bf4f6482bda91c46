#ifndef LITSPANS_H
#define LITSPANS_H

#include "darkspacefinder.h"
#include "islandfinder.h"
#include "layerstats.h"

// Gathers the runs of one layer, given in raster order, into spans of lit
// pixels for the layer's statistics and the finders of islands and dark space
// (each when given): neighbouring lit
// runs of different levels (the grey edges of a shape) are handed on as one
// span, and the row and column of a span's start are found without a
// division for every run.
class LitSpans {
public:
    LitSpans(LayerStats& stats, IslandFinder* islands, DarkSpaceFinder* darkSpace, int width)
        : stats(stats)
        , islands(islands)
        , darkSpace(darkSpace)
        , at(width)
    {
    }

    // Calls readRuns(sink), which calls sink(level, length) for each run of
    // the layer in order, level 0 for dark. What is gathered per run stays in
    // locals, which the runs' bytes cannot alias, so that a reader inlined
    // with the sink keeps them in registers.
    template <typename ReadRuns>
    void gather(ReadRuns&& readRuns)
    {
        qint64 position = 0, spanStart = 0, spanLength = 0, levels = 0;
        readRuns([&](int level, qint64 length) {
            if (level == 0) {
                if (spanLength != 0) {
                    handOn(spanStart, spanLength);
                    spanLength = 0;
                }
            } else {
                if (spanLength == 0)
                    spanStart = position;
                spanLength += length;
                levels += level * length;
            }
            position += length;
        });
        if (spanLength != 0)
            handOn(spanStart, spanLength);
        stats.litLevels += levels;
    }

private:
    void handOn(qint64 start, qint64 length);

    LayerStats& stats;
    IslandFinder* islands;
    DarkSpaceFinder* darkSpace;
    RasterCursor at;
};

#endif
