#include "layerfinders.h"

LayerFinders::LayerFinders(const QSize& grid, const PrintSettings& print)
    : islands(grid.width(), grid.height())
    , darkSpace(grid.width(), grid.height(),
                DarkSpaceThresholds::forPrint(print.pixelAreaMm2(), print.layerHeightMm))
{
}

void LayerFinders::endLayer(int layer, SliceReport& report)
{
    report.islands.add(islands.endLayer(layer));
    if (islands.gaveUp() && report.islands.notExaminedFrom < 0)
        report.islands.notExaminedFrom = layer;
    darkSpace.endLayer(layer);
}

void LayerFinders::finish(SliceReport& report)
{
    report.darkSpace = darkSpace.finish();
}
