#ifndef PAGELAYERS_H
#define PAGELAYERS_H

#include "format/runsink.h"
#include "report/overlaysource.h"
#include "report/runcoding.h"
#include "report/slicereport.h"

#include <QByteArray>
#include <QSize>
#include <QVector>

#include <functional>

// The layers of the HTML page, read once, in order: every layer goes to the
// overlay sources, the layers shown are coded (RunCoding) into chunks that
// the page inflates one at a time. A chunk, inflated, is
//
//   per layer, the byte counts of its rows, greys and lengths (3 varints);
//     three 0 stand for the same pixels as the layer before it
//   the rows of every layer, then their greys, then their lengths
class PageLayers {
public:
    // Hands each run of the layer to the sink, as SliceExaminer::readRuns.
    using RunReader = std::function<bool(int layer, const RunSink& sink)>;

    // Past this much layer data in the file, the page shows only some layers.
    static constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
    // A chunk is closed once its coded layers take this much.
    static constexpr int kChunkBytes = 1024 * 1024;

    // The layers to show, ascending: every one, or when their data in the file
    // passes `maxBytes`, the first and the last, those a warning names and
    // evenly spaced ones, as many as the bound holds.
    static QVector<int> pick(const SliceReport& report, qint64 maxBytes);

    PageLayers(QSize grid, RunReader readRuns);

    // The bytes as a zlib stream, as the page inflates them; nothing for nothing.
    static QByteArray compress(const QByteArray& bytes);

    void addSource(OverlaySource* source);
    // For a file whose table entries share blocks (a Tesk file): the first
    // layer that reads a layer's data, and the data's size. A layer on the
    // data of the layer before is not read again; data read again for a layer
    // further on counts against bounds::kMaxRereadBytes, past which the
    // sources are stopped and only the layers shown are read.
    std::function<int(int layer)> sameLayerAs;
    std::function<qint64(int layer)> dataBytes;
    // Reads layers 0 to layerCount - 1; `shown` ascending.
    void build(int layerCount, const QVector<int>& shown);

    QVector<int> chunkLayers;   // the number of layers of each chunk
    QVector<QByteArray> chunks; // zlib streams
    qint64 codedBytes = 0;      // before compression

private:
    void addToChunk(const RunCoding::Layer& coded);
    void closeChunk();

    QSize grid;
    RunReader readRuns;
    QVector<OverlaySource*> sources;
    QVector<RunCoding::Layer> chunk; // empty for a layer like the one before
    qint64 chunkBytes = 0;
    RunCoding::Layer lastCoded;
    RunCoding::Layer previousShown; // the coding of the layer before, when shown
};

#endif
