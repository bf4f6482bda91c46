#ifndef PAGEOVERLAY_H
#define PAGEOVERLAY_H

#include "analysis/islandfinder.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

// What the HTML page draws over its layers for one kind of problem (islands,
// traps, cups): rows of pixels per layer, and their colour. A pixel of grey g
// among them is drawn with each channel max(g x scale, floor): islands as red
// as bright as their grey, as in the PNG layer pictures, and dark pixels (a
// hollow) in a colour of their own with a scale of 0.
//
// The intervals are coded as entries of varints (see RunCoding), in the order
// they were added: layer, interval count, then per interval its row, x0 and
// x1 - x0; a layer may have several entries.
class PageOverlay {
public:
    // Past this the overlay stops taking intervals (a damaged file can have
    // an island on every other pixel), and the page says it is cut.
    static constexpr int kMaxCodedBytes = 64 * 1024 * 1024;

    PageOverlay(const QString& kind, const QString& label, std::array<int, 3> scale, std::array<int, 3> floor);

    // Adds intervals of pixels of `layer`, in any layer order.
    void add(int layer, const std::vector<IslandFinder::Interval>& intervals);
    // The same for blocks, each coded as the intervals of its rows.
    void add(int layer, const std::vector<RowBlock>& blocks);

    QString kind;  // as the JSON report names it
    QString label; // beside its switch on the page
    std::array<int, 3> scale;
    std::array<int, 3> floor;
    QByteArray coded;
    qint64 intervalCount = 0;
    bool cut = false;

private:
    // Whether `intervals` more fit; once one does not, the overlay is cut.
    bool takes(qint64 intervals);
};

#endif
