#ifndef LAYERFINDERS_H
#define LAYERFINDERS_H

#include "darkspacefinder.h"
#include "islandfinder.h"
#include "report/slicereport.h"

#include <QSize>

// The finders that follow a print's layers in print order from their lit
// runs, the islands and the dark space (traps and cups), fed by LitSpans,
// and what they tell the report.
class LayerFinders {
public:
    LayerFinders(const QSize& grid, const PrintSettings& print);

    // Ends a layer whose lit runs went to both finders.
    void endLayer(int layer, SliceReport& report);
    // Ends the print.
    void finish(SliceReport& report);

    IslandFinder islands;
    DarkSpaceFinder darkSpace;
};

#endif
