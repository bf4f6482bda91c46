#include "darkspacesummary.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Keeps `largest` the kLargestShown largest by `size`, largest first.
template <typename T, typename Size>
void keepLargest(QVector<T>& largest, const T& item, Size size)
{
    if (largest.size() == DarkSpaceSummary::kLargestShown && size(item) <= size(largest.last()))
        return;
    auto at = std::upper_bound(largest.begin(), largest.end(), item,
                               [&size](const T& a, const T& b) { return size(a) > size(b); });
    largest.insert(at, item);
    if (largest.size() > DarkSpaceSummary::kLargestShown)
        largest.removeLast();
}

// The least whole count of `unit` that makes `amount`: at least 1, and 0 for
// a unit that is not a usable number.
qint64 countFor(double amount, double unit)
{
    if (!std::isfinite(unit) || !(unit > 0))
        return 0;
    // A hair under, so that 10 layers of 0.05 mm make 0.5 mm.
    return qint64(qBound(1.0, std::ceil(amount / unit * (1 - 1e-9)), 1e15));
}

void addSpan(std::vector<int>& steps, int first, int last)
{
    if (steps.size() < size_t(last) + 2)
        steps.resize(size_t(last) + 2, 0);
    ++steps[size_t(first)];
    --steps[size_t(last) + 1];
}

QVector<int> layersOf(const std::vector<int>& steps)
{
    QVector<int> layers;
    int depth = 0;
    for (size_t j = 0; j < steps.size(); ++j) {
        depth += steps[j];
        if (depth > 0)
            layers.append(int(j));
    }
    return layers;
}

} // namespace

DarkSpaceThresholds DarkSpaceThresholds::forPrint(double pixelAreaMm2, double layerHeightMm)
{
    DarkSpaceThresholds t;
    const qint64 trapPixels = countFor(kTrapMm3, pixelAreaMm2 * layerHeightMm);
    const qint64 facePixels = countFor(kCupFaceMm2, pixelAreaMm2);
    const qint64 cupLayers = countFor(kCupHeightMm, layerHeightMm);
    if (trapPixels == 0 || facePixels == 0 || cupLayers == 0)
        return t;
    t.trapPixels = trapPixels;
    t.cupFacePixels = facePixels;
    t.cupLayers = int(qMin<qint64>(cupLayers, INT_MAX));
    return t;
}

bool DarkSpaceSummary::significant(const Trap& trap) const
{
    return trap.pixels >= thresholds.trapPixels;
}

bool DarkSpaceSummary::significant(const Cup& cup) const
{
    return cup.maxFacePixels >= thresholds.cupFacePixels && qint64(cup.lastLayer) - cup.firstLayer + 1 >= thresholds.cupLayers;
}

void DarkSpaceSummary::add(const Trap& trap)
{
    ++trapCount;
    if (traps.size() < kMaxListed)
        traps.append(trap);
    if (!significant(trap))
        return;
    ++significantTraps;
    addSpan(trapSteps, trap.firstLayer, trap.lastLayer);
    keepLargest(largestTraps, trap, [](const Trap& t) { return t.pixels; });
}

void DarkSpaceSummary::add(const Cup& cup)
{
    ++cupCount;
    if (cups.size() < kMaxListed)
        cups.append(cup);
    if (!significant(cup))
        return;
    ++significantCups;
    addSpan(cupSteps, cup.firstLayer, cup.lastLayer);
    keepLargest(largestCups, cup, [](const Cup& c) { return c.maxFacePixels; });
}

QVector<int> DarkSpaceSummary::trapLayers() const
{
    return layersOf(trapSteps);
}

QVector<int> DarkSpaceSummary::cupLayers() const
{
    return layersOf(cupSteps);
}
