#ifndef CONTACTSHEET_H
#define CONTACTSHEET_H

#include <QImage>
#include <QVector>

#include <functional>

// One picture of a whole print: evenly spaced layers as grey thumbnails in a
// grid, each labelled with its layer number and, when the layer height is
// known, the height of its top in mm, in the built-in pixel font, so that no
// font or GUI application is needed. Marked layers (with islands) get a red
// frame and label, layers with sealed dark space (traps or cups) a cyan frame,
// inside the red one where a layer has both; without marks the sheet is grey.
class ContactSheet {
public:
    // Up to `tiles` layers spread evenly from the first to the last.
    static QVector<int> pickLayers(int layerCount, int tiles);

    // The size of the thumbnails of layers of `layerSize`: tileWidth wide.
    static QSize thumbnailSize(const QSize& layerSize, int tileWidth);

    // Thumbnails `tileWidth` wide; a null layer image leaves its tile empty.
    // Null when there are no layers or the picture found no memory.
    static QImage build(const QVector<int>& layers, const std::function<QImage(int)>& layerImage, int tileWidth = 160,
                        double layerHeightMm = 0, const QVector<int>& marked = {}, const QVector<int>& sealed = {});

    // Draws `number` in white with its top left corner at (x, y); every dot of
    // the 3 x 5 digits is `scale` pixels square.
    static void drawNumber(QImage& image, int x, int y, int number, int scale);
    static int numberWidth(int number, int scale);
};

#endif
