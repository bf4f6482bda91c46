#include "layerstats.h"

LayerStats::LayerStats(int width, qint64 pixels, int fullLevel)
    : pixels(pixels)
    , width(width)
    , fullLevel(fullLevel)
{
}

double LayerStats::litShare() const
{
    return pixels > 0 ? double(litPixels) / double(pixels) : 0.0;
}

double LayerStats::exposedPixels() const
{
    return double(litLevels) / fullLevel;
}

QRect LayerStats::box() const
{
    if (litPixels == 0)
        return QRect();
    return QRect(QPoint(left, int(firstLit / width)), QPoint(right, int(lastLit / width)));
}
