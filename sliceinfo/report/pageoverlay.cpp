#include "pageoverlay.h"

#include "report/runcoding.h"

PageOverlay::PageOverlay(const QString& kind, const QString& label, std::array<int, 3> scale, std::array<int, 3> floor)
    : kind(kind)
    , label(label)
    , scale(scale)
    , floor(floor)
{
}

// An interval takes three bytes at least.
bool PageOverlay::takes(qint64 intervals)
{
    if (intervals == 0 || cut)
        return false;
    cut = coded.size() + 3 * intervals > kMaxCodedBytes;
    return !cut;
}

void PageOverlay::add(int layer, const std::vector<IslandFinder::Interval>& intervals)
{
    if (!takes(qint64(intervals.size())))
        return;
    appendVarint(coded, quint64(layer));
    appendVarint(coded, intervals.size());
    for (const IslandFinder::Interval& v : intervals) {
        appendVarint(coded, quint64(v.row));
        appendVarint(coded, quint64(v.x0));
        appendVarint(coded, quint64(v.x1 - v.x0));
    }
    intervalCount += qint64(intervals.size());
}

void PageOverlay::add(int layer, const std::vector<RowBlock>& blocks)
{
    qint64 rows = 0;
    for (const RowBlock& b : blocks)
        rows += b.row1 - b.row0 + 1;
    if (!takes(rows))
        return;
    appendVarint(coded, quint64(layer));
    appendVarint(coded, quint64(rows));
    for (const RowBlock& b : blocks) {
        for (int row = b.row0; row <= b.row1; ++row) {
            appendVarint(coded, quint64(row));
            appendVarint(coded, quint64(b.x0));
            appendVarint(coded, quint64(b.x1 - b.x0));
        }
    }
    intervalCount += rows;
}
