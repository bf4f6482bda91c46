#ifndef HEIGHTPLOT_H
#define HEIGHTPLOT_H

#include "report/slicereport.h"

#include <QImage>

// The lit area of each layer against the height in mm, drawn with QPainter on
// an RGB picture and handed back with a palette of its few colours: the bottom layers shaded, the printer's build height as a
// line, and the layers with warnings marked in red across the plot. Layers
// that share a column of pixels show the largest area among them.
class HeightPlot {
public:
    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 600;

    static QImage draw(const SliceReport& report);
};

#endif
