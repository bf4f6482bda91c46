#ifndef LAYERHALVER_H
#define LAYERHALVER_H

#include "format/qvxrunencoder.h"
#include "format/tesklayerreader.h"

#include <QImage>

#include <algorithm>
#include <memory>

// Halves a grey layer in both axes as Qt 5.15's smooth scaling does: each 2 x 2
// block a, b, c, d becomes (a + b + c + d) / 4 rounded down (checked for every
// possible block; a test holds the linked Qt to it).
//
// From a layer's runs (halve, which reads them with TeskLayerReader), it hands the halved
// layer to a QvxRunEncoder without a bitmap: a pair of rows costs one step per
// change of grey in either row, and a block needs its four pixels only where it
// lies across a change at an odd column. Rows with many changes are written as
// pixels instead and averaged sixteen blocks at a time: after a pair of rows
// with many changes the next pair is read as pixels, after one with few as
// stretches. Row pairs inside one run are one grey, whatever it is.
class LayerHalver {
public:
    // A layer of width x height pixels, both even, width below 65536.
    LayerHalver(int width, int height, QvxRunEncoder& runs);

    // Hands the halved layer to the encoder: the layer's runs, then black.
    void halve(TeskLayerReader& layer);

    // The bitmap path: `half` becomes `image` halved.
    static void halveGrey(const QImage& image, QImage& half);

private:
    // A stretch of one grey in a row, ending before column `end`. Of a type
    // that no other member has, so that storing one changes nothing else.
    struct Stretch {
        quint16 end;
        quint16 grey;
    };

    // Where the next stretch goes, and the column it starts at.
    struct Position {
        Stretch* end;
        int column;
    };

    Position startLayer();
    // In the stretches of a row, or the width when the next run must come to
    // addAcross: read as pixels, or past the last pair.
    Position here(Stretch* end, int column) const
    {
        return {end, asPixels || pairsLeft == 0 ? width : column};
    }
    Position addAcross(Position p, uchar grey, qint64 length);
    Position addAcrossRows(Position p, uchar grey, qint64 length);
    Stretch* nextPair();
    void halvePair();
    void fillRows();
    void halveStretches();
    void halvePixels();

    const int width;
    const int rowPairs;
    QvxRunEncoder& runs;
    // Not zero-filled: what is read is written first.
    std::unique_ptr<Stretch[]> stretches; // room for two rows
    Stretch* rowStretches[2];
    Stretch* rowEnd[2];
    std::unique_ptr<uchar[]> pixels; // two rows and a halved one, each with room to spare
    uchar* rowPixels[2];
    const uchar* pixelsEnd; // of the two rows and the room after them
    uchar* halfRow;
    bool asPixels = false;
    qint64 pairsLeft = 0;
    int row = 0;          // of the pair read as stretches
    qint64 at = 0;        // the next pixel of the pair read as pixels
    int runsAsPixels = 0; // in the pair read as pixels
    int changes = 0; // runs in the rows read as pixels
};

#endif
