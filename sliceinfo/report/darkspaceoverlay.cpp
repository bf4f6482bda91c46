#include "darkspaceoverlay.h"

#include "pictures/layerpictures.h"

namespace {

// Dark pixels are drawn in the colour alone, whatever their grey.
PageOverlay colouredOverlay(const char* kind, const char* label, QRgb colour)
{
    return PageOverlay(QString::fromLatin1(kind), QString::fromLatin1(label), {0, 0, 0},
                       {qRed(colour), qGreen(colour), qBlue(colour)});
}

} // namespace

DarkSpaceOverlay::DarkSpaceOverlay(int width, int height)
    : finder(width, height)
{
    finder.keepAllLayers(kKeptBytes);
}

void DarkSpaceOverlay::addLit(const RasterCursor& at, qint64 length)
{
    finder.addLit(at, length);
}

void DarkSpaceOverlay::endLayer(int layer)
{
    finder.endLayer(layer);
    layerCount = layer + 1;
}

void DarkSpaceOverlay::repeatLayer(int layer)
{
    finder.repeatLayer(layer);
    layerCount = layer + 1;
}

void DarkSpaceOverlay::stopAt(int layer)
{
    finder.giveUp(layer);
}

// Faces first, so that the traps, which are faces too, are drawn over them.
std::vector<PageOverlay> DarkSpaceOverlay::overlays()
{
    finder.finish();
    PageOverlay cups = colouredOverlay("cups", "suction cups", LayerPictures::kSealed);
    PageOverlay traps = colouredOverlay("traps", "resin traps", LayerPictures::kTrapped);
    for (int j = 0; j < layerCount && finder.kept(j); ++j) {
        cups.add(j, finder.faceIntervals(j));
        traps.add(j, finder.trappedIntervals(j));
    }
    cups.cut = cups.cut || finder.notKeptFrom() >= 0;
    traps.cut = traps.cut || finder.notKeptFrom() >= 0;
    return {cups, traps};
}
