#include "darkspacefinder.h"

#include <algorithm>
#include <limits>

namespace {

// The outside's number, as a component and as a node: the smallest, so that
// it is the root of whatever joins it.
constexpr int kOutside = 0;

// Ends the items of a layer, so that the searches in it need no bound.
constexpr qint64 kBeyond = std::numeric_limits<qint64>::max();

} // namespace

DarkSpaceFinder::DarkSpaceFinder(int width, int height, const DarkSpaceThresholds& thresholds)
    : width(qMax(width, 0))
    , height(qMax(height, 0))
    , pixelCount(qint64(this->width) * this->height)
    , below{Item{kBeyond, kBeyond, kOutside, 0}}
    , components(1)
{
    found.thresholds = thresholds;
    // A grid without pixels has no dark space.
    if (pixelCount == 0)
        release();
}

void DarkSpaceFinder::keepLayers(const std::vector<int>& layers)
{
    keptLayerList = layers;
    std::sort(keptLayerList.begin(), keptLayerList.end());
}

void DarkSpaceFinder::keepAllLayers(qint64 budgetBytes)
{
    keepAll = true;
    keepBudget = budgetBytes;
}

void DarkSpaceFinder::addLit(qint64 start, qint64 length)
{
    if (stopped || start < 0)
        return;
    RasterCursor at(width);
    at.advance(start);
    addLit(at, length);
}

// The dark stretch from darkStart up to `litStart` (or the end of the grid),
// which lies after it. One that reaches the last column, or crosses a row end
// and so touches the border on both sides, lies outside.
void DarkSpaceFinder::addDark(qint64 litStart)
{
    const qint64 last = qMin(litStart, pixelCount) - 1;
    if (stopped || darkStart > last)
        return;
    const int row = int(darkStart / width), x0 = int(darkStart % width);
    const bool onBorder = last - darkStart >= width - 1 - x0 || x0 == 0 || row == 0 || row == height - 1;
    if (roomLeft == 0)
        itemsOverflowed = true;
    else
        push(Item{darkStart, last, onBorder ? kOutside : -1, row});
}

namespace {

int findRoot(int* parent, int i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// An item whose component so far has the root r (-1 for none yet) meets one
// whose component holds the node `label`: the root of both. The smaller node
// becomes the root, so that the outside stays the root of all that joins it,
// and a component below the root of what joins it.
int meet(int* parent, int r, int label)
{
    if (label == r)
        return r;
    const int s = findRoot(parent, label);
    if (r < 0 || s == r)
        return s;
    if (r < s)
        return parent[s] = r;
    return parent[r] = s;
}

} // namespace

int DarkSpaceFinder::root(int i)
{
    return findRoot(parent.data(), i);
}

// Each item meets the items of its layer whose stretch, moved down a row,
// overlaps its own (they lie before it; only one of whole rows, which is
// outside, can meet itself so), and the items of the layer below that overlap
// it. Both layers' items are in raster order and apart, so a pointer into
// each serves them all. An item takes the component of the first it meets
// and joins the others' to it; one that meets none starts a component.
void DarkSpaceFinder::joinItems()
{
    Item* const v = items.data();
    Item* const end = v + items.size() - 1; // before the sentinel
    const Item* under = below.data();
    const qint64 w = width;
    int* roots = parent.data(); // in locals, which the stores to `parent` cannot alias
    const Item* above = v;
    for (Item* item = v; item != end; ++item) {
        const qint64 first = item->first, last = item->last;
        int r = item->label;
        while (above->last < first - w)
            ++above;
        for (const Item* k = above; k->first <= last - w; ++k)
            r = meet(roots, r, k->label);
        while (under->last < first)
            ++under;
        for (const Item* k = under; k->first <= last; ++k)
            r = meet(roots, r, k->label);
        if (r < 0) {
            r = int(parent.size());
            parent.push_back(r);
            roots = parent.data();
        }
        item->label = r;
    }
}

// Numbers the sealed components that reach this layer in the raster order of
// their first items, after the outside, and adds up their items.
void DarkSpaceFinder::labelSealedItems(int layer)
{
    labelOf.assign(parent.size(), -1);
    next.resize(1);
    facePixels.assign(1, 0);
    const bool onPlate = lastEnded < 0;
    int* roots = parent.data();
    const qint64 w = width;
    for (size_t j = 0; j + 1 < items.size(); ++j) { // before the sentinel
        Item& v = items[j];
        if (v.label == kOutside)
            continue;
        const int r = findRoot(roots, v.label);
        if (r == kOutside) {
            v.label = kOutside;
            continue;
        }
        const int x0 = int(v.first - v.row * w), x1 = x0 + int(v.last - v.first);
        int& label = labelOf[size_t(r)];
        if (label < 0) {
            label = int(next.size());
            next.push_back(Component{0, 0, x0, v.row, x1, v.row, layer, -1, onPlate});
            facePixels.push_back(0);
        }
        Component& c = next[size_t(label)];
        c.pixels += x1 - x0 + 1;
        c.x0 = qMin(c.x0, x0);
        c.x1 = qMax(c.x1, x1);
        c.y1 = v.row;
        facePixels[size_t(label)] += x1 - x0 + 1;
        v.label = label;
    }
}

// Carries each sealed component of the layer below into the one it joins, or
// closes it; one that joins the outside ends its cup. Those that end here are
// reported in the order of their numbers below.
void DarkSpaceFinder::carryComponents()
{
    for (size_t i = 1; i < components.size(); ++i) {
        const Component& c = components[i];
        const int r = root(int(i));
        if (r == kOutside) {
            endCup(c, lastEnded);
            continue;
        }
        const int label = labelOf[size_t(r)];
        if (label < 0)
            close(c, lastEnded);
        else
            takeOver(c, next[size_t(label)]);
    }
    for (size_t label = 1; label < next.size(); ++label)
        next[label].maxFace = qMax(next[label].maxFace, facePixels[label]);
}

void DarkSpaceFinder::takeOver(const Component& from, Component& into)
{
    into.pixels += from.pixels;
    into.maxFace = qMax(into.maxFace, from.maxFace);
    into.x0 = qMin(into.x0, from.x0);
    into.y0 = qMin(into.y0, from.y0);
    into.x1 = qMax(into.x1, from.x1);
    into.y1 = qMax(into.y1, from.y1);
    into.firstLayer = qMin(into.firstLayer, from.firstLayer);
    into.onPlate = into.onPlate || from.onPlate;
    if (from.keeper >= 0) {
        if (into.keeper >= 0)
            joinKeepers(into.keeper, from.keeper);
        into.keeper = into.keeper >= 0 ? keeperRoot(into.keeper) : from.keeper;
    }
}

// A sealed component that no later layer can reach: a trap unless it lies on
// the plate; it was a cup up to its last layer.
void DarkSpaceFinder::close(const Component& c, int lastLayer)
{
    endCup(c, lastLayer);
    if (c.onPlate)
        return;
    found.add(Trap{c.firstLayer, lastLayer, c.pixels, QRect(QPoint(c.x0, c.y0), QPoint(c.x1, c.y1))});
    if (c.keeper >= 0)
        trappedKeeper[size_t(keeperRoot(c.keeper))] = 1;
}

// Every layer of a sealed component held a face of one cup: the component's
// first layer and box are the cup's.
void DarkSpaceFinder::endCup(const Component& c, int lastLayer)
{
    found.add(Cup{c.firstLayer, lastLayer, c.maxFace, QRect(QPoint(c.x0, c.y0), QPoint(c.x1, c.y1))});
}

void DarkSpaceFinder::endLayer(int layer)
{
    if (stopped)
        return;
    addDark(pixelCount);
    mostItems = qMax(mostItems, items.size());
    darkRunCount += qint64(items.size());
    if (itemsOverflowed)
        return giveUp(layer);
    items.push_back(Item{kBeyond, kBeyond, kOutside, 0});
    parent.resize(components.size());
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = int(i);
    joinItems();
    labelSealedItems(layer);
    if (next.size() > kMaxComponents)
        return giveUp(layer);
    carryComponents();
    if (keeping(layer))
        keepItems(layer, items, next);
    components.swap(next);
    below.swap(items);
    items.clear();
    roomLeft = kMaxItems;
    darkStart = 0;
    lastEnded = layer;
}

// Each sealed component goes on through the same items: none joins another,
// opens or closes, and each has the face it had.
void DarkSpaceFinder::repeatLayer(int layer)
{
    if (stopped || lastEnded < 0)
        return;
    for (size_t label = 1; label < components.size(); ++label)
        components[label].pixels += facePixels[label];
    darkRunCount += qint64(below.size()) - 1; // less the sentinel
    if (keeping(layer))
        keepItems(layer, below, components);
    lastEnded = layer;
}

void DarkSpaceFinder::giveUp(int layer)
{
    found.notExaminedFrom = layer;
    if (keepAll || !keptLayerList.empty())
        keepingStoppedAt = keepingStoppedAt >= 0 ? keepingStoppedAt : layer;
    release();
}

void DarkSpaceFinder::release()
{
    stopped = true;
    roomLeft = 0;
    for (auto* v : {&below, &items})
        std::vector<Item>().swap(*v);
    for (auto* v : {&components, &next})
        std::vector<Component>().swap(*v);
    for (auto* v : {&parent, &labelOf})
        std::vector<int>().swap(*v);
    std::vector<qint64>().swap(facePixels);
}

const DarkSpaceSummary& DarkSpaceFinder::finish()
{
    if (!stopped) {
        for (size_t i = 1; i < components.size(); ++i)
            endCup(components[i], lastEnded);
        release();
    }
    // Settles each kept component's fate: parents come first.
    for (size_t k = 0; k < keepers.size(); ++k) {
        keepers[k] = keepers[size_t(keepers[k])];
        trappedKeeper[k] = trappedKeeper[size_t(keepers[k])];
    }
    return found;
}

bool DarkSpaceFinder::keeping(int layer) const
{
    if (keepingStoppedAt >= 0 && layer >= keepingStoppedAt)
        return false;
    return keepAll || std::binary_search(keptLayerList.begin(), keptLayerList.end(), layer);
}

// The sealed items of a layer, numbered as `layerComponents`; each sealed
// component gets a node in `keepers`, joined as the components join, to learn
// at the end whether it was a trap.
void DarkSpaceFinder::keepItems(int layer, const std::vector<Item>& layerItems, std::vector<Component>& layerComponents)
{
    size_t count = 0;
    for (const Item& v : layerItems)
        count += v.label != kOutside ? 1 : 0;
    const qint64 bytes = qint64(keptItems.size() + count) * qint64(sizeof(KeptItem))
                         + qint64(keepers.size() + count) * qint64(sizeof(int) + 1)
                         + qint64(keptLayers.size() + 1) * qint64(sizeof(KeptLayer));
    if (keepAll && bytes > keepBudget) {
        keepingStoppedAt = layer;
        return;
    }
    keptLayers.push_back(KeptLayer{layer, keptItems.size()});
    for (const Item& v : layerItems) {
        if (v.label == kOutside)
            continue;
        Component& c = layerComponents[size_t(v.label)];
        if (c.keeper < 0) {
            c.keeper = int(keepers.size());
            keepers.push_back(c.keeper);
            trappedKeeper.push_back(0);
        }
        const int x0 = int(v.first - qint64(v.row) * width);
        keptItems.push_back(KeptItem{v.row, x0, x0 + int(v.last - v.first), c.keeper});
    }
}

int DarkSpaceFinder::keeperRoot(int k)
{
    return findRoot(keepers.data(), k);
}

void DarkSpaceFinder::joinKeepers(int a, int b)
{
    a = keeperRoot(a);
    b = keeperRoot(b);
    if (a < b)
        keepers[size_t(b)] = a;
    else if (b < a)
        keepers[size_t(a)] = b;
}

std::vector<DarkSpaceFinder::KeptLayer>::const_iterator DarkSpaceFinder::keptLayer(int layer) const
{
    const auto at = std::lower_bound(keptLayers.begin(), keptLayers.end(), layer,
                                     [](const KeptLayer& k, int l) { return k.layer < l; });
    return at != keptLayers.end() && at->layer == layer ? at : keptLayers.end();
}

bool DarkSpaceFinder::kept(int layer) const
{
    return keptLayer(layer) != keptLayers.end();
}

std::vector<DarkSpaceFinder::Interval> DarkSpaceFinder::keptIntervals(int layer, bool trappedOnly) const
{
    std::vector<Interval> intervals;
    const auto at = keptLayer(layer);
    if (at == keptLayers.end())
        return intervals;
    const size_t end = at + 1 == keptLayers.end() ? keptItems.size() : (at + 1)->begin;
    for (size_t i = at->begin; i < end; ++i) {
        const KeptItem& k = keptItems[i];
        if (!trappedOnly || trappedKeeper[size_t(k.keeper)])
            intervals.push_back(Interval{k.row, k.x0, k.x1});
    }
    return intervals;
}

std::vector<DarkSpaceFinder::Interval> DarkSpaceFinder::trappedIntervals(int layer) const
{
    return keptIntervals(layer, true);
}

std::vector<DarkSpaceFinder::Interval> DarkSpaceFinder::faceIntervals(int layer) const
{
    return keptIntervals(layer, false);
}
