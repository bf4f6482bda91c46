#ifndef ROWBLOCK_H
#define ROWBLOCK_H

#include <QtGlobal>

// A rectangle of pixels of one layer that is also one stretch of it in raster
// order: a stretch of one row (row0 = row1), or whole rows (x0 = 0, x1 = the
// last column). Two blocks share a pixel exactly when their stretches
// overlap, so lists of blocks in raster order are compared with one pointer,
// and a run crossing many row ends costs three blocks, not one per row.
struct RowBlock {
    int row0;
    int row1;
    int x0;
    int x1;

    qint64 first(int width) const { return qint64(row0) * width + x0; }
    qint64 last(int width) const { return qint64(row1) * width + x1; }
    qint64 pixels(int width) const { return last(width) - first(width) + 1; }

    bool operator==(const RowBlock& o) const { return row0 == o.row0 && row1 == o.row1 && x0 == o.x0 && x1 == o.x1; }

    // Hands the pixels (x0, row0) to (x1, row1) of a layer `width` pixels wide,
    // in raster order, to `push` as at most three blocks: the end of the first
    // row, the whole rows, the start of the last row.
    template <typename Push>
    static void cut(int row0, int x0, int row1, int x1, int width, Push&& push)
    {
        if (row0 == row1) {
            push(RowBlock{row0, row0, x0, x1});
            return;
        }
        if (x0 > 0) {
            push(RowBlock{row0, row0, x0, width - 1});
            ++row0;
        }
        const int lastWholeRow = x1 == width - 1 ? row1 : row1 - 1;
        if (row0 <= lastWholeRow)
            push(RowBlock{row0, lastWholeRow, 0, width - 1});
        if (x1 < width - 1)
            push(RowBlock{row1, row1, 0, x1});
    }
};

#endif
