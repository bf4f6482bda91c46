#ifndef SHAREDISLANDS_H
#define SHAREDISLANDS_H

#include "format/sharedblocks.h"
#include "islandfinder.h"

#include <functional>

// The islands of a print whose table entries may share blocks. A layer's
// islands follow from its block and the block of the layer below, so those of
// a pair of blocks are found once (and kept within their budget), and the
// finder is handed runs only for a pair not seen before: a file whose entries
// alternate between two blocks has its runs read three times, whatever its
// layer count. A layer on the block of the layer below has no islands. Blocks
// are numbered by the caller, the same number for the same block.
class SharedIslands {
public:
    using Feed = std::function<void(IslandFinder&)>;

    SharedIslands(int width, int height);

    // Begins layer `layer`, of block `block` on a layer of block `below` (-1
    // for the first layer). Returns the finder to hand the layer's lit runs to,
    // or null when its islands are known without them. `feedBelow` hands the
    // lit runs of block `below` to a finder; it is called when the finder does
    // not hold them from the layer before.
    IslandFinder* begin(int layer, int below, int block, const Feed& feedBelow);
    // Ends the layer begun: its islands.
    QVector<Island> end();
    // True once a layer had more than IslandFinder::kMaxBlocks.
    bool gaveUp() const { return finder.gaveUp(); }

private:
    using Pair = QPair<int, int>;

    IslandFinder finder;
    SharedBlocks<Pair, QVector<Island>> islandsOf;
    int held = -1; // the block that the finder holds as the layer below
    int layer = 0;
    Pair pair;
    bool feeding = false;
};

#endif
