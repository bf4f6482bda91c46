#ifndef THUMBNAIL_H
#define THUMBNAIL_H

#include <QImage>
#include <QSize>

#include <vector>

// A small grey picture of a layer drawn from its runs, without the layer's
// bitmap: the layer's columns and rows are dealt out evenly to the picture's
// (layer pixel x goes to column x * columns / width), and each picture pixel
// is the mean grey of the layer pixels dealt to it. Dark runs cost nothing.
class Thumbnail {
public:
    Thumbnail(int layerWidth, int layerHeight, const QSize& size);

    // Adds a run of `length` pixels of `grey` (1 to 255) at raster position
    // `start` of the layer; runs may cross row ends.
    void addRun(qint64 start, qint64 length, int grey);
    // Format_Grayscale8 of the picture's size; null for an empty size or layer.
    QImage image() const;

private:
    void addRowSpan(int y, int x0, int x1, int grey);
    int columnOf(int x) const { return int(qint64(x) * size.width() / layerWidth); }
    int firstPixelOfColumn(int column) const;

    int layerWidth;
    int layerHeight;
    QSize size;
    std::vector<quint64> sums; // grey times pixels, per picture pixel
};

#endif
