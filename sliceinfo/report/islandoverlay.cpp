#include "islandoverlay.h"

#include "pictures/layerpictures.h"

IslandOverlay::IslandOverlay(int width, int height)
    : finder(width, height)
    , at(width)
    , overlay(QStringLiteral("islands"), QStringLiteral("islands"), {1, 0, 0}, {LayerPictures::kIslandRedFloor, 0, 0})
{
}

void IslandOverlay::addRun(int level, qint64 length)
{
    if (level != 0)
        finder.addLit(at, length);
    at.advance(length);
}

void IslandOverlay::endLayer(int layer)
{
    blocks.clear();
    finder.endLayer(layer, &blocks);
    overlay.add(layer, blocks);
    at = RasterCursor(at.width);
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
