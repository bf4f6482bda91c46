#ifndef LAYERPICTURES_H
#define LAYERPICTURES_H

#include "analysis/islandfinder.h"

#include <QImage>
#include <QSize>

#include <vector>

class SliceExaminer;

// The pictures of single layers that sliceinfo draws from an examiner: a
// layer with its islands marked, and a layer drawn small for the contact sheet.
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
    SliceExaminer& examiner;
};

#endif
