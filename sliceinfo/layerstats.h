#ifndef LAYERSTATS_H
#define LAYERSTATS_H

#include <QRect>
#include <QtGlobal>

// Statistics of one layer, gathered from its runs of lit (non-zero) pixels in
// raster order, without a bitmap.
class LayerStats {
public:
    LayerStats() = default;
    LayerStats(int width, qint64 pixels);

    // Adds a run of lit pixels that starts at raster position `start`.
    void addLit(qint64 start, qint64 length);
    double litShare() const;

    qint64 encodedBytes = 0;
    qint64 pixels = 0;
    qint64 litPixels = 0;
    QRect box; // bounds of the lit pixels; null when there are none

private:
    int width = 0;
};

#endif
