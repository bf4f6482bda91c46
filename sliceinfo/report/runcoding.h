#ifndef RUNCODING_H
#define RUNCODING_H

#include <QByteArray>
#include <QtGlobal>

// The HTML page's coding of one layer's pixels, decoded by the page's script
// (page/page.js, decodeLayer). Runs are cut at row ends, and the greys and the
// lengths of the runs go to streams of their own, which compress far better
// than the two mixed. A layer is its rows in order, each coded in three
// streams as:
//
//   rows      the row's run count n (varint, at least 1); or 0 and a count c
//             (varint): the row before, c times more
//   greys     the grey of each of the n runs (1 byte each)
//   lengths   the length of each run but the last, which ends the row (varint)
//
// A varint is 7 bits a byte, low bits first, the high bit set on every byte
// but the last. Pixels that no run reaches are dark (grey 0).
class RunCoding {
public:
    struct Layer {
        QByteArray rows;
        QByteArray greys;
        QByteArray lengths;

        bool operator==(const Layer& o) const { return rows == o.rows && greys == o.greys && lengths == o.lengths; }
    };

    RunCoding(int width, int height);

    // Adds the next run of the layer, in raster order; runs may cross row
    // ends. What lies beyond the layer is dropped.
    void addRun(int grey, qint64 length);
    // The coded layer; the coder is then ready for the next layer.
    Layer finish();

    // The grey bitmap of a coded layer, width x height bytes; empty when the
    // streams are not a layer of that size.
    static QByteArray decode(const Layer& coded, int width, int height);

private:
    void addToRow(int grey, int length);
    void endRow();
    void flushRepeats();

    int width;
    int height;
    qint64 position = 0; // raster position of the next pixel
    int column = 0;
    int row = 0;
    int runGrey = 0; // the run being gathered in the current row
    int runLength = 0;
    Layer current;   // the current row's runs
    Layer last;      // the row before, if it was coded
    qint64 repeats = 0; // of `last`, not yet written
    Layer coded;
};

// Appends `value` as a varint (see RunCoding).
void appendVarint(QByteArray& out, quint64 value);

#endif
