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

// A run that reaches past its row's end, cut where the grid ends.
void IslandFinder::addLitRows(const RasterCursor& at, qint64 length)
{
    if (length <= 0 || tooManyBlocks || at.row >= height)
        return;
    const qint64 last = qMin(at.start + length, qint64(height) * width) - 1;
    RowBlock::cut(at.row, at.column, int(last / width), int(last % width), width,
                  [this](const RowBlock& v) { push(v); });
}

// A stretch that continues the last one on its row lengthens it: blocks of a
// row are joined only through the rows next to it.
void IslandFinder::push(const RowBlock& v)
{
    if (tooManyBlocks)
        return;
    if (!current.empty() && current.back().row1 == v.row0 && v.row0 == v.row1 && current.back().x1 + 1 == v.x0)
        current.back().x1 = v.x1;
    else if (current.size() == kMaxBlocks)
        tooManyBlocks = true;
    else
        current.push_back(v);
}

inline int IslandFinder::root(int i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        i = parent[size_t(i)];
    }
    return i;
}

// The earlier block becomes the root, so that a region's root is its first
// block in raster order, and every block's parent comes before it.
inline void IslandFinder::join(int a, int b)
{
    a = root(a);
    b = root(b);
    if (a < b)
        parent[size_t(b)] = a;
    else if (b < a)
        parent[size_t(a)] = b;
}

// Whether each block overlaps a block of the layer below: both lists are in
// raster order, so one pointer into the layer below serves them all. True
// when every block is held up so.
bool IslandFinder::markHeldUp()
{
    const RowBlock* b = below.data();
    const RowBlock* const bEnd = b + below.size();
    bool all = true;
    heldUp.resize(current.size());
    for (size_t i = 0; i < current.size(); ++i) {
        const RowBlock v = current[i];
        const qint64 first = v.first(width);
        while (b != bEnd && b->last(width) < first)
            ++b;
        const bool held = b != bEnd && b->first(width) <= v.last(width);
        heldUp[i] = held;
        all = all && held;
    }
    return all;
}

// Blocks touch across a row end only: the last row of one and the first of
// the other are neighbours and their columns overlap or meet at a corner.
// The blocks that end on one row follow one another in the list (whole rows
// stand alone), and are in order and apart, so one pointer into those that
// end on the row above serves all that start on the next. Two blocks that are
// both held up need not be joined: a region is held up when any of its blocks
// is, and the path from a block that is not to the first one that is runs
// through blocks that are not.
void IslandFinder::joinNeighbouringRows()
{
    const RowBlock* v = current.data();
    const int n = int(current.size());
    int above = 0, aboveEnd = 0, rowStart = 0;
    for (int i = 0; i < n; ++i) {
        if (i == 0 || v[i].row1 != v[i - 1].row1) {
            const bool adjacent = i > 0 && v[i - 1].row1 == v[i].row0 - 1;
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

// Points every block straight at its root: parents come first, so each
// parent already points at its root. A region is held up when one of its
// blocks is.
void IslandFinder::flattenAndMarkRegions()
{
    supported.assign(parent.size(), 0);
    for (size_t i = 0; i < parent.size(); ++i) {
        parent[i] = parent[size_t(parent[i])];
        supported[size_t(parent[i])] |= heldUp[i];
    }
}

// Each island is gathered at its root, its first block, so the islands come
// in the order of their first pixels; rows only grow, so a block's last row is
// the bottom of its island so far.
void IslandFinder::gatherIslands(int layer, std::vector<RowBlock>* islandBlocks)
{
    const int n = int(current.size());
    islandOf.assign(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        const int r = parent[size_t(i)];
        if (supported[size_t(r)])
            continue;
        const RowBlock& v = current[size_t(i)];
        if (r == i) {
            islandOf[size_t(i)] = islands.size();
            islands.append(Island{layer, 0, QRect(QPoint(v.x0, v.row0), QPoint(v.x1, v.row1))});
        }
        Island& island = islands[islandOf[size_t(r)]];
        island.pixels += v.pixels(width);
        island.box.setLeft(qMin(island.box.left(), v.x0));
        island.box.setRight(qMax(island.box.right(), v.x1));
        island.box.setBottom(v.row1);
        if (islandBlocks)
            islandBlocks->push_back(v);
    }
}

const QVector<Island>& IslandFinder::endLayer(int layer, std::vector<RowBlock>* islandBlocks)
{
    islands.clear();
    if (tooManyBlocks) {
        std::vector<RowBlock>().swap(below);
        std::vector<RowBlock>().swap(current);
        return islands;
    }
    // Most layers of a print rest wholly on the one below.
    if (!first && !markHeldUp()) {
        parent.resize(current.size());
        for (size_t i = 0; i < parent.size(); ++i)
            parent[i] = int(i);
        joinNeighbouringRows();
        flattenAndMarkRegions();
        gatherIslands(layer, islandBlocks);
    }
    endLayerUnexamined();
    return islands;
}

void IslandFinder::endLayerUnexamined()
{
    first = false;
    below.swap(current);
    current.clear();
}
