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
    // Island pixels are drawn red, as bright as their grey but no darker than this.
    static constexpr int kIslandRedFloor = 128;

    explicit LayerPictures(SliceExaminer& examiner);

    // The layer's picture with its islands in red.
    QImage picture(int layer);
    // The layer drawn small from its runs, as Thumbnail says; enlarged from
    // its picture when the size is larger than the layer.
    QImage thumbnail(int layer, const QSize& size);
    // The intervals of the layer's islands.
    std::vector<IslandFinder::Interval> islandIntervals(int layer);

private:
    SliceExaminer& examiner;
};

#endif
