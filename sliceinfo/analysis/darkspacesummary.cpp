#include "darkspacesummary.h"

#include <algorithm>

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

} // namespace

void DarkSpaceSummary::add(const Trap& trap)
{
    ++trapCount;
    if (traps.size() < kMaxListed)
        traps.append(trap);
    keepLargest(largestTraps, trap, [](const Trap& t) { return t.pixels; });
}

void DarkSpaceSummary::add(const Cup& cup)
{
    ++cupCount;
    if (cups.size() < kMaxListed)
        cups.append(cup);
    keepLargest(largestCups, cup, [](const Cup& c) { return c.maxFacePixels; });
}
