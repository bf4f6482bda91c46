#include "islandfinder.h"

IslandFinder::IslandFinder(int width, int height)
    : width(qMax(width, 0))
    , height(qMax(height, 0))
{
}

void IslandFinder::addLit(qint64 start, qint64 length)
{
    if (width == 0 || start < 0)
        return;
    RasterCursor at(width);
    at.advance(start);
    addLit(at, length);
}

void IslandFinder::addLit(const RasterCursor& at, qint64 length)
{
    if (length <= 0 || tooManyIntervals || at.row >= height)
        return;
    int row = at.row, x0 = at.column;
    // Lit runs of different levels that meet make one interval.
    if (!current.empty() && current.back().row == row && current.back().x1 + 1 == x0 && x0 + length <= width) {
        current.back().x1 += int(length);
        return;
    }
    for (qint64 left = length; left > 0 && row < height; ++row, x0 = 0) {
        const int x1 = int(qMin<qint64>(width - 1, x0 + left - 1));
        if (!current.empty() && current.back().row == row && current.back().x1 + 1 == x0) {
            current.back().x1 = x1;
        } else if (current.size() == kMaxIntervals) {
            tooManyIntervals = true;
            return;
        } else {
            current.push_back(Interval{row, x0, x1});
        }
        left -= x1 - x0 + 1;
    }
}

inline int IslandFinder::root(int i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        i = parent[size_t(i)];
    }
    return i;
}

// The earlier interval becomes the root, so that a region's root is its first
// interval in raster order, and every interval's parent comes before it.
inline void IslandFinder::join(int a, int b)
{
    a = root(a);
    b = root(b);
    if (a < b)
        parent[size_t(b)] = a;
    else if (b < a)
        parent[size_t(a)] = b;
}

// Intervals of rows r - 1 and r touch when they overlap or meet at a corner.
// Within a row the intervals are in order and apart, so one pointer into the
// row above serves the whole row.
void IslandFinder::joinNeighbouringRows()
{
    const int n = int(current.size());
    int above = 0, aboveEnd = 0, rowStart = 0;
    for (int i = 0; i < n; ++i) {
        const Interval& v = current[size_t(i)];
        if (i == 0 || v.row != current[size_t(i) - 1].row) {
            const bool adjacent = i > 0 && current[size_t(i) - 1].row == v.row - 1;
            above = adjacent ? rowStart : i;
            aboveEnd = i;
            rowStart = i;
        }
        while (above < aboveEnd && current[size_t(above)].x1 < v.x0 - 1)
            ++above;
        for (int k = above; k < aboveEnd && current[size_t(k)].x0 <= v.x1 + 1; ++k)
            join(i, k);
    }
}

// Points every interval straight at its root: parents come first, so each
// parent already points at its root.
void IslandFinder::flatten()
{
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = parent[size_t(parent[i])];
}

// A region is supported when one of its intervals overlaps an interval of
// the layer below on the same row. Both lists are in raster order.
void IslandFinder::markSupported()
{
    size_t b = 0;
    for (size_t i = 0; i < current.size(); ++i) {
        const Interval& v = current[i];
        char& regionSupported = supported[size_t(parent[i])];
        if (regionSupported)
            continue;
        while (b < below.size() && (below[b].row < v.row || (below[b].row == v.row && below[b].x1 < v.x0)))
            ++b;
        regionSupported = b < below.size() && below[b].row == v.row && below[b].x0 <= v.x1;
    }
}

// Each island is gathered at its root, its first interval, so the islands
// come in the order of their first pixels; rows only grow, so an interval's
// row is the bottom of its island so far.
void IslandFinder::gatherIslands(int layer, std::vector<Interval>* islandIntervals)
{
    const int n = int(current.size());
    islandOf.assign(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        const int r = parent[size_t(i)];
        if (supported[size_t(r)])
            continue;
        const Interval& v = current[size_t(i)];
        if (r == i) {
            islandOf[size_t(i)] = islands.size();
            islands.append(Island{layer, 0, QRect(QPoint(v.x0, v.row), QPoint(v.x1, v.row))});
        }
        Island& island = islands[islandOf[size_t(r)]];
        island.pixels += v.x1 - v.x0 + 1;
        island.box.setLeft(qMin(island.box.left(), v.x0));
        island.box.setRight(qMax(island.box.right(), v.x1));
        island.box.setBottom(v.row);
        if (islandIntervals)
            islandIntervals->push_back(v);
    }
}

const QVector<Island>& IslandFinder::endLayer(int layer, std::vector<Interval>* islandIntervals)
{
    islands.clear();
    if (tooManyIntervals) {
        std::vector<Interval>().swap(below);
        std::vector<Interval>().swap(current);
        return islands;
    }
    if (!first) {
        const int n = int(current.size());
        parent.resize(size_t(n));
        for (int i = 0; i < n; ++i)
            parent[size_t(i)] = i;
        supported.assign(size_t(n), 0);
        joinNeighbouringRows();
        flatten();
        markSupported();
        gatherIslands(layer, islandIntervals);
    }
    first = false;
    below.swap(current);
    current.clear();
    return islands;
}
