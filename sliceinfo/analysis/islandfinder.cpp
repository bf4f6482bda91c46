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

void IslandFinder::addLitRows(const RasterCursor& at, qint64 length)
{
    if (length <= 0 || tooManyIntervals || at.row >= height)
        return;
    int row = at.row, x0 = at.column;
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

// Whether each interval overlaps an interval of the layer below on the same
// row: both lists are in raster order, so one pointer into the layer below
// serves them all. True when every interval is held up so.
bool IslandFinder::markHeldUp()
{
    const Interval* b = below.data();
    const Interval* const bEnd = b + below.size();
    bool all = true;
    heldUp.resize(current.size());
    for (size_t i = 0; i < current.size(); ++i) {
        const Interval v = current[i];
        while (b != bEnd && (b->row < v.row || (b->row == v.row && b->x1 < v.x0)))
            ++b;
        const bool held = b != bEnd && b->row == v.row && b->x0 <= v.x1;
        heldUp[i] = held;
        all = all && held;
    }
    return all;
}

// Intervals of rows r - 1 and r touch when they overlap or meet at a corner.
// Within a row the intervals are in order and apart, so one pointer into the
// row above serves the whole row. Two intervals that are both held up need
// not be joined: a region is held up when any of its intervals is, and the
// path from an interval that is not to the first one that is runs through
// intervals that are not.
void IslandFinder::joinNeighbouringRows()
{
    const Interval* v = current.data();
    const int n = int(current.size());
    int above = 0, aboveEnd = 0, rowStart = 0;
    for (int i = 0; i < n; ++i) {
        if (i == 0 || v[i].row != v[i - 1].row) {
            const bool adjacent = i > 0 && v[i - 1].row == v[i].row - 1;
            above = adjacent ? rowStart : i;
            aboveEnd = i;
            rowStart = i;
        }
        while (above < aboveEnd && v[above].x1 < v[i].x0 - 1)
            ++above;
        for (int k = above; k < aboveEnd && v[k].x0 <= v[i].x1 + 1; ++k) {
            if (!heldUp[size_t(i)] || !heldUp[size_t(k)])
                join(i, k);
        }
    }
}

// Points every interval straight at its root: parents come first, so each
// parent already points at its root. A region is held up when one of its
// intervals is.
void IslandFinder::flattenAndMarkRegions()
{
    supported.assign(parent.size(), 0);
    for (size_t i = 0; i < parent.size(); ++i) {
        parent[i] = parent[size_t(parent[i])];
        supported[size_t(parent[i])] |= heldUp[i];
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
    // Most layers of a print rest wholly on the one below.
    if (!first && !markHeldUp()) {
        parent.resize(current.size());
        for (size_t i = 0; i < parent.size(); ++i)
            parent[i] = int(i);
        joinNeighbouringRows();
        flattenAndMarkRegions();
        gatherIslands(layer, islandIntervals);
    }
    first = false;
    below.swap(current);
    current.clear();
    return islands;
}
