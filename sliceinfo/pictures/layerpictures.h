#ifndef LAYERPICTURES_H
#define LAYERPICTURES_H

#include "analysis/islandfinder.h"
#include "format/sharedblocks.h"

#include <QImage>
#include <QSize>

#include <vector>

class SliceExaminer;

// The pictures of single layers that sliceinfo draws from an examiner: a
// layer with its islands marked, and a layer drawn small for the contact sheet.
// Layers that read the same data (SliceExaminer::sameLayerAs) are drawn once:
// a picture depends on its layer's data and, for the islands, on the data of
// the layer below. Only pictures of data that several layers read are kept.
class LayerPictures {
public:
    explicit LayerPictures(SliceExaminer& examiner);

    // The layer's picture with its islands in red.
    QImage picture(int layer);
    // The layer drawn small from its runs, as Thumbnail says; enlarged from
    // its picture when the size is larger than the layer.
    QImage thumbnail(int layer, const QSize& size);
    // The blocks of the layer's islands.
    std::vector<RowBlock> islandBlocks(int layer);

private:
    QImage drawPicture(int layer);
    QImage drawThumbnail(int layer, const QSize& size);

    SliceExaminer& examiner;
    SharedBlocks<QPair<int, int>, QImage> pictures;
    SharedBlocks<int, QImage> thumbnails;
};

#endif
