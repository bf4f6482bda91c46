#ifndef DARKSPACEOVERLAY_H
#define DARKSPACEOVERLAY_H

#include "analysis/darkspacefinder.h"
#include "report/overlaysource.h"

// The resin traps and the other sealed faces (suction cups) of every layer,
// found as the report finds them, for the page to draw in the colours of the
// PNG layer pictures. The finder keeps the dark pixels of every layer until
// they take more than a budget; the layers past it are drawn without them.
class DarkSpaceOverlay : public OverlaySource {
public:
    static constexpr qint64 kKeptBytes = 128 * 1024 * 1024;

    DarkSpaceOverlay(int width, int height);

    void addLit(const RasterCursor& at, qint64 length) override;
    void endLayer(int layer) override;
    void repeatLayer(int layer) override;
    void stopAt(int layer) override;
    std::vector<PageOverlay> overlays() override;

private:
    DarkSpaceFinder finder;
    int layerCount = 0;
};

#endif
