#ifndef OVERLAYSOURCE_H
#define OVERLAYSOURCE_H

#include "analysis/layerstats.h"
#include "report/pageoverlay.h"

#include <QtGlobal>

#include <vector>

// Watches every layer of a print go by once, in order and with all its lit runs,
// while the HTML page is made, and then gives what the page draws over the
// layers. A finder that needs the whole print before it knows what to draw
// (a trap is known once nothing above can reach it) keeps what it needs.
class OverlaySource {
public:
    virtual ~OverlaySource() = default;

    // The next run of lit pixels of the current layer, starting `at`, in
    // raster order.
    virtual void addLit(const RasterCursor& at, qint64 length) = 0;
    virtual void endLayer(int layer) = 0;
    // A layer that reads the same data as the one before: its runs are the
    // same and are not given again.
    virtual void repeatLayer(int layer) = 0;
    // No layer is given from `layer` on: the overlays are cut short there.
    virtual void stopAt(int layer) = 0;
    // After the last layer.
    virtual std::vector<PageOverlay> overlays() = 0;
};

#endif
