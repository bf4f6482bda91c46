#ifndef LAYERPICTURES_H
#define LAYERPICTURES_H

#include "analysis/darkspacefinder.h"
#include "analysis/islandfinder.h"
#include "format/sharedblocks.h"

#include <QImage>
#include <QVector>
#include <QSize>

#include <memory>
#include <vector>

class SliceExaminer;

// The pictures of single layers that sliceinfo draws from an examiner: a
// layer with its islands and its sealed dark space marked, and a layer drawn
// small for the contact sheet. Layers that read the same data
// (SliceExaminer::sameLayerAs) are drawn once: a picture depends on its layer's
// data and, for the islands, on the data of the layer below. Only pictures of
// data that several layers read are kept.
class LayerPictures {
public:
    // Island pixels are drawn red, as bright as their grey but no darker than this.
    static constexpr int kIslandRedFloor = 128;
    // Dark pixels of a resin trap, and of the other sealed faces.
    static constexpr QRgb kTrapped = qRgb(255, 140, 0);
    static constexpr QRgb kSealed = qRgb(0, 200, 220);

    explicit LayerPictures(SliceExaminer& examiner);
    ~LayerPictures();

    // Follows the print's dark space once more, keeping what the pictures of
    // these layers show of it; without it they show none. Only a print with
    // traps or cups is followed, and only as far as its last cup.
    void followDarkSpace(const QVector<int>& layers);
    // The layer's picture: islands red, trapped dark pixels orange, the other
    // sealed faces (suction cups) cyan.
    QImage picture(int layer);
    // The layer drawn small from its runs, as Thumbnail says; enlarged from
    // its picture when the size is larger than the layer.
    QImage thumbnail(int layer, const QSize& size);
    // The blocks of the layer's islands.
    std::vector<RowBlock> islandBlocks(int layer);

private:
    // With `faces`, the layer's sealed dark pixels.
    QImage drawPicture(int layer, const std::vector<IslandFinder::Interval>& faces);
    QImage drawThumbnail(int layer, const QSize& size);
    // Hands the lit runs of the layer to `addLit(at, length)`.
    template <typename AddLit>
    void readLitRuns(int layer, AddLit&& addLit);

    SliceExaminer& examiner;
    SharedBlocks<QPair<int, int>, QImage> pictures;
    SharedBlocks<int, QImage> thumbnails;
    std::unique_ptr<DarkSpaceFinder> darkSpace;
};

#endif
