#ifndef ISLANDFINDER_H
#define ISLANDFINDER_H

#include "layerstats.h"
#include "rowblock.h"

#include <QRect>
#include <QVector>

#include <vector>

// A region of lit pixels of one layer that rests on nothing: none of its
// pixels is lit at the same position in the layer below.
struct Island {
    int layer = 0;
    qint64 pixels = 0;
    QRect box; // in pixels of the layer's grid

    bool operator==(const Island& o) const { return layer == o.layer && pixels == o.pixels && box == o.box; }
};

// Finds the islands of a print layer by layer, from the runs of lit pixels,
// without a bitmap. A region is a set of lit pixels connected through their 8
// neighbours within one layer; a region of a layer above the first is an
// island when none of its pixels is lit in the layer before. The first layer
// rests on the plate.
//
// The runs of a layer are cut into blocks (RowBlock: a run crossing many row
// ends is at most three), joined into regions by union-find over the blocks
// that touch across a row end, and each region is tested against the blocks
// of the layer below: the cost of a layer grows with its runs, whatever its
// rows, and the memory with the runs of two layers.
class IslandFinder {
public:
    // Lit pixels of one row, x0 to x1 inclusive.
    struct Interval {
        int row;
        int x0;
        int x1;
    };

    // A layer of more blocks than this (a damaged file's, 128 MB of blocks)
    // makes the finder give up: it finds no more islands.
    static constexpr size_t kMaxBlocks = size_t(1) << 23;

    IslandFinder(int width, int height);

    // Adds a run of lit pixels of the current layer that starts `at`; runs
    // come in raster order and may cross row ends.
    void addLit(const RasterCursor& at, qint64 length)
    {
        // Most runs start a block that ends in their row.
        const qint64 end = at.column + length;
        if (length > 0 && end <= width && at.row < height && current.size() < kMaxBlocks && !tooManyBlocks
            && !(!current.empty() && current.back().row1 == at.row && current.back().x1 + 1 == at.column)) {
            current.push_back(RowBlock{at.row, at.row, at.column, int(end - 1)});
            return;
        }
        addLitRows(at, length);
    }
    // The same at raster position `start`.
    void addLit(qint64 start, qint64 length);
    // Ends the current layer, which becomes the layer below the next, and
    // returns its islands, numbered `layer`, in the raster order of their first
    // pixels (valid until the next call); when given, appends their blocks to
    // `islandBlocks`.
    const QVector<Island>& endLayer(int layer, std::vector<RowBlock>* islandBlocks = nullptr);
    // Ends the current layer without looking for its islands: it only becomes
    // the layer below the next.
    void endLayerUnexamined();
    // True once a layer had more than kMaxBlocks.
    bool gaveUp() const { return tooManyBlocks; }

private:
    void addLitRows(const RasterCursor& at, qint64 length);
    void push(const RowBlock& v);
    bool markHeldUp();
    void joinNeighbouringRows();
    void flattenAndMarkRegions();
    void gatherIslands(int layer, std::vector<RowBlock>* islandBlocks);
    int root(int i);
    void join(int a, int b);

    int width;
    int height;
    bool first = true;
    bool tooManyBlocks = false;
    std::vector<RowBlock> below;
    std::vector<RowBlock> current;
    std::vector<int> parent;
    std::vector<char> heldUp;    // per block: it overlaps a lit block below
    std::vector<char> supported; // per root: its region is held up
    std::vector<int> islandOf;   // per root: its island in `islands`, or -1
    QVector<Island> islands;
};

#endif
