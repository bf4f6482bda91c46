#ifndef LAYERSTATS_H
#define LAYERSTATS_H

#include <QRect>
#include <QtGlobal>

#include <climits>

// Statistics of one layer, gathered from its runs of lit (non-zero) pixels in
// raster order, without a bitmap. A lit pixel of level l exposes l / fullLevel
// of its area (a Tesk grey g: g / 254; a qvx class k: k / 15).
class LayerStats {
public:
    LayerStats() = default;
    LayerStats(int width, qint64 pixels, int fullLevel);

    // Adds a run of lit pixels of `level` that starts at raster position
    // `start`, after the runs added before it.
    void addLit(qint64 start, qint64 length, int level)
    {
        if (length <= 0 || width <= 0)
            return;
        if (litPixels == 0)
            firstLit = start;
        litPixels += length;
        litLevels += length * level;
        lastLit = start + length - 1;
        // One division a run: where it starts in its row. A run that reaches
        // past its row's end touches the last and the first column.
        const qint64 column = start < kMaxNarrow ? qint64(quint32(start) % quint32(width)) : start % width;
        if (column + length > width) {
            left = 0;
            right = width - 1;
        } else {
            left = qMin(left, int(column));
            right = qMax(right, int(column + length - 1));
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
    static constexpr qint64 kMaxNarrow = qint64(1) << 32;

    int width = 0;
    int fullLevel = 1;
    qint64 firstLit = 0;
    qint64 lastLit = 0;
    int left = INT_MAX;
    int right = -1;
};

#endif
