#include "layerstats.h"

LayerStats::LayerStats(int width, qint64 pixels)
    : pixels(pixels)
    , width(width)
{
}

void LayerStats::addLit(qint64 start, qint64 length)
{
    if (length <= 0 || width <= 0)
        return;
    litPixels += length;
    const qint64 end = start + length - 1;
    const int firstRow = int(start / width);
    const int lastRow = int(end / width);
    // A run that crosses a row end touches the last and the first column.
    const int left = firstRow == lastRow ? int(start % width) : 0;
    const int right = firstRow == lastRow ? int(end % width) : width - 1;
    box = box.united(QRect(QPoint(left, firstRow), QPoint(right, lastRow)));
}

double LayerStats::litShare() const
{
    return pixels > 0 ? double(litPixels) / double(pixels) : 0.0;
}
