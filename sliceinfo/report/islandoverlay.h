#ifndef ISLANDOVERLAY_H
#define ISLANDOVERLAY_H

#include "analysis/islandfinder.h"
#include "report/overlaysource.h"

// The islands of every layer, found as the report finds them, for the page to
// draw in the red of the PNG layer pictures.
class IslandOverlay : public OverlaySource {
public:
    IslandOverlay(int width, int height);

    void addLit(const RasterCursor& at, qint64 length) override;
    void endLayer(int layer) override;
    void repeatLayer(int layer) override;
    void stopAt(int layer) override;
    std::vector<PageOverlay> overlays() override;

private:
    IslandFinder finder;
    std::vector<RowBlock> blocks;
    PageOverlay overlay;
};

#endif
