#ifndef LAYERSTATS_H
#define LAYERSTATS_H

#include <QRect>
#include <QtGlobal>

#include <climits>

// A position in a layer of `width` pixels a row that moves forward in raster
// order, its row and column kept without a division for every step.
struct RasterCursor {
    explicit RasterCursor(int width)
        : width(width)
    {
    }

    void advance(qint64 length)
    {
        start += length;
        const qint64 next = column + length;
        if (next < width) {
            column = int(next);
        } else if (next < 2 * qint64(width)) {
            ++row;
            column = int(next - width);
        } else {
            row += int(next / width);
            column = int(next % width);
        }
    }

    int width;
    qint64 start = 0;
    int row = 0;
    int column = 0;
};

// Statistics of one layer, gathered from its runs of lit (non-zero) pixels in
// raster order, without a bitmap. A lit pixel of level l exposes l / fullLevel
// of its area (a Tesk grey g: g / 254; a qvx class k: k / 15).
class LayerStats {
public:
    LayerStats() = default;
    LayerStats(int width, qint64 pixels, int fullLevel);

    // Adds a run of lit pixels that starts `at`, after the runs added before
    // it; their levels go to litLevels.
    void addLit(const RasterCursor& at, qint64 length)
    {
        if (length <= 0 || width <= 0)
            return;
        if (litPixels == 0)
            firstLit = at.start;
        litPixels += length;
        lastLit = at.start + length - 1;
        // A run that reaches past its row's end touches the last and the first column.
        if (at.column + length > width) {
            left = 0;
            right = width - 1;
        } else {
            left = qMin(left, at.column);
            right = qMax(right, int(at.column + length - 1));
        }
    }
    double litShare() const;
    // The lit pixels, each counted by its exposure.
    double exposedPixels() const;
    // Bounds of the lit pixels; null when there are none.
    QRect box() const;

    qint64 encodedBytes = 0;
    qint64 pixels = 0;
    qint64 litPixels = 0;
    qint64 litLevels = 0; // the sum of the levels of the lit pixels

private:
    int width = 0;
    int fullLevel = 1;
    qint64 firstLit = 0;
    qint64 lastLit = 0;
    int left = INT_MAX;
    int right = -1;
};

#endif
