#ifndef DARKSPACEFINDER_H
#define DARKSPACEFINDER_H

#include "darkspacesummary.h"
#include "islandfinder.h"
#include "layerstats.h"

#include <QtGlobal>

#include <vector>

// Follows the dark (unlit) space of a print through its layers, from the runs
// of lit pixels, and finds its resin traps and suction cups:
// - dark pixels are 6-connected: through their 4 neighbours in a layer (lit
//   pixels join through 8, so a wall whose pixels meet at a corner seals) and
//   through the same place in the layers before and after;
// - a component of the whole print's dark space is open when it has a pixel
//   on the grid's border or in the last layer; a trap is a component that is
//   not open and has no pixel in layer 0 (the plate);
// - at layer n, a component of the dark space of layers 0..n alone with
//   pixels in layer n and none on the border is a sealed face: the film
//   closes it. Faces at n and n + 1 belong to one cup when the component at
//   n + 1 contains the one at n.
//
// One pass over the layers in print order. Each dark stretch between two lit
// runs (in raster order) is one item, however many rows it covers. All that
// touches the border is open for good and nothing more is asked of it, so it
// is all one component, the outside: an item on the border belongs to it as
// it is read, and so does every stretch that crosses a row end (its pieces end
// and start on the border). An item takes the component of its neighbours in
// the row above and in the layer before, which union-find joins where they
// differ: a stretch moved down a row overlaps the stretches under it, and
// overlapping stretches of two layers share pixels, so both tests are exact
// for stretches of any length. The sealed components so far are carried from
// layer to layer, renumbered each layer; one that does not reach the layer
// just ended can never change again and is reported then. The cost of a layer
// grows with its dark stretches, whatever its rows; the memory with two
// layers' items and the sealed components.
class DarkSpaceFinder {
public:
    using Interval = IslandFinder::Interval;

    // A layer of more dark stretches than this, or more sealed components
    // carried from one layer to the next, makes the finder give up (about
    // 170 MiB of work memory at the limits: two layers of items, 24 bytes
    // each, and two of components, 48 bytes): what could still change is not
    // reported.
    static constexpr size_t kMaxItems = size_t(1) << 21;
    static constexpr size_t kMaxComponents = size_t(1) << 19;

    // Traps and cups past `thresholds` are counted apart in the summary.
    DarkSpaceFinder(int width, int height, const DarkSpaceThresholds& thresholds = DarkSpaceThresholds());

    // Keeps, for the pictures, the dark pixels of these layers that are
    // sealed faces or trapped (call before the first layer).
    void keepLayers(const std::vector<int>& layers);
    // Keeps them for every layer, until they take more than `budgetBytes`.
    void keepAllLayers(qint64 budgetBytes);

    // Adds a run of lit pixels of the current layer that starts `at`; runs
    // come in raster order and may cross row ends.
    void addLit(const RasterCursor& at, qint64 length)
    {
        // Most runs follow a dark stretch of their own row, or one that
        // crosses a row end and so lies outside.
        if (at.start > darkStart) {
            const qint64 rowStart = at.start - at.column;
            if (roomLeft == 0 || at.row >= height) {
                addDark(at.start);
            } else if (darkStart >= rowStart) {
                // It ends before the lit run, so short of the last column;
                // the unsigned test is true for the first row and the last.
                const int x0 = int(darkStart - rowStart);
                const bool onBorder = x0 == 0 || unsigned(at.row - 1) >= unsigned(height - 2);
                push(Item{darkStart, at.start - 1, onBorder ? 0 : -1, at.row});
            } else {
                push(Item{darkStart, at.start - 1, 0, 0});
            }
        }
        darkStart = qMax(darkStart, at.start + length);
    }
    // The same at raster position `start`.
    void addLit(qint64 start, qint64 length);
    // Ends the current layer, numbered `layer`; the next layer lies on it.
    void endLayer(int layer);
    // Takes the layer numbered `layer` as the same as the one just ended,
    // without its runs (a Tesk block that two layers share).
    void repeatLayer(int layer);
    // Ends the print: what reaches its last layer is open. The traps and cups
    // come in the order they end: by their last layer, then by the raster
    // order of their first pixel in it.
    const DarkSpaceSummary& finish();
    // Stops following the dark space from `layer` on, as when a layer holds
    // too much: what could still change is not reported.
    void giveUp(int layer);
    bool gaveUp() const { return stopped; }

    // The dark pixels of a kept layer that are trapped, and those that are a
    // sealed face at it, once the print is finished.
    std::vector<Interval> trappedIntervals(int layer) const;
    std::vector<Interval> faceIntervals(int layer) const;
    // Whether the layer's pixels were kept; with keepAllLayers, the layers
    // from the first that went past the budget are not.
    bool kept(int layer) const;
    int notKeptFrom() const { return keepingStoppedAt; }

    // The dark stretches of the layers so far, and the most a layer had: the
    // work of a layer follows them.
    qint64 darkRuns() const { return darkRunCount; }
    size_t peakItems() const { return mostItems; }

private:
    // Pixels first to last in raster order, all dark. Its label is 0 for the
    // outside; while its layer is read, -1 for the others, which lie in one
    // row, and then their node in `parent`, at last their component in the
    // layer's numbering.
    struct Item {
        qint64 first;
        qint64 last;
        int label;
        int row;
    };
    struct Component {
        qint64 pixels;
        qint64 maxFace; // its largest face
        int x0, y0, x1, y1;
        int firstLayer;
        int keeper; // its node in `keepers`, or -1
        bool onPlate;
    };
    struct KeptItem {
        int row;
        int x0;
        int x1;
        int keeper;
    };
    struct KeptLayer {
        int layer;
        size_t begin; // into `keptItems`
    };

    void push(const Item& v)
    {
        items.push_back(v);
        --roomLeft;
    }
    void addDark(qint64 litStart);
    void release();
    int root(int i);
    void joinItems();
    void labelSealedItems(int layer);
    void carryComponents();
    void takeOver(const Component& from, Component& into);
    void close(const Component& c, int lastLayer);
    void endCup(const Component& c, int lastLayer);
    void keepItems(int layer, const std::vector<Item>& layerItems, std::vector<Component>& layerComponents);
    bool keeping(int layer) const;
    int keeperRoot(int k);
    void joinKeepers(int a, int b);
    std::vector<KeptLayer>::const_iterator keptLayer(int layer) const;
    std::vector<Interval> keptIntervals(int layer, bool trappedOnly) const;

    int width;
    int height;
    qint64 pixelCount;
    qint64 darkStart = 0; // where the current dark stretch starts
    qint64 roomLeft = kMaxItems; // for items of this layer; 0 once stopped
    bool itemsOverflowed = false;
    bool stopped = false;
    int lastEnded = -1;
    size_t mostItems = 0;
    qint64 darkRunCount = 0;
    std::vector<Item> below;
    std::vector<Item> items;
    std::vector<Component> components;  // the outside, then those reaching the layer below
    std::vector<Component> next;
    std::vector<qint64> facePixels; // per component of the layer last ended
    std::vector<int> parent;        // the components below, then those new in this layer
    std::vector<int> labelOf;       // per root in `parent`: its component, or -1
    DarkSpaceSummary found;

    std::vector<int> keptLayerList; // sorted
    bool keepAll = false;
    qint64 keepBudget = 0;
    int keepingStoppedAt = -1;
    std::vector<KeptItem> keptItems;
    std::vector<KeptLayer> keptLayers;
    std::vector<int> keepers;        // union-find over the kept components
    std::vector<char> trappedKeeper; // per keeper root
};

#endif
