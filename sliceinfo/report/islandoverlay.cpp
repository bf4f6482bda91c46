#include "islandoverlay.h"

#include "pictures/layerpictures.h"

IslandOverlay::IslandOverlay(int width, int height)
    : finder(width, height)
    , overlay(QStringLiteral("islands"), QStringLiteral("islands"), {1, 0, 0}, {LayerPictures::kIslandRedFloor, 0, 0})
{
}

void IslandOverlay::addLit(const RasterCursor& at, qint64 length)
{
    finder.addLit(at, length);
}

void IslandOverlay::endLayer(int layer)
{
    blocks.clear();
    finder.endLayer(layer, &blocks);
    overlay.add(layer, blocks);
}

// It rests wholly on the layer before: no islands.
void IslandOverlay::repeatLayer(int)
{
}

void IslandOverlay::stopAt(int)
{
    overlay.cut = true;
}

std::vector<PageOverlay> IslandOverlay::overlays()
{
    return {overlay};
}
