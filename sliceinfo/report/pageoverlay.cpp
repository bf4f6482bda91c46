#include "pageoverlay.h"

#include "report/runcoding.h"

PageOverlay::PageOverlay(const QString& kind, const QString& label, std::array<int, 3> scale, std::array<int, 3> floor)
    : kind(kind)
    , label(label)
    , scale(scale)
    , floor(floor)
{
}

void PageOverlay::add(int layer, const std::vector<IslandFinder::Interval>& intervals)
{
    if (intervals.empty() || cut)
        return;
    if (coded.size() > kMaxCodedBytes) {
        cut = true;
        return;
    }
    appendVarint(coded, quint64(layer));
    appendVarint(coded, intervals.size());
    for (const IslandFinder::Interval& v : intervals) {
        appendVarint(coded, quint64(v.row));
        appendVarint(coded, quint64(v.x0));
        appendVarint(coded, quint64(v.x1 - v.x0));
    }
    intervalCount += qint64(intervals.size());
}
