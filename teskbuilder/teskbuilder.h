#ifndef TESKBUILDER_H
#define TESKBUILDER_H

#include "format/printermodel.h"
#include "format/teskformat.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

// How a layer bitmap is written as a Tesk layer stream. Every form decodes to
// the same bitmap.
enum class TokenForm {
    Shortest,     // single-pixel tokens for lone pixels, runs in their shortest form
    LongLengths,  // every run token with four length bytes
    SinglePixels, // one token per pixel (dark pixels too)
    ZeroRuns,     // shortest form with a zero-length run before every token
};

// One run token: grey7 (0..127) repeated `length` times, with `lengthBytes`
// length bytes (1 to 4), or the fewest that hold the length when 0.
QByteArray teskRunToken(int grey7, quint32 length, int lengthBytes = 0);

// Encodes a bitmap of grey bytes (even values 0..254; odd values lose their low
// bit) as a Tesk layer stream.
QByteArray encodeTeskLayer(const uchar* bitmap, qint64 size, TokenForm form = TokenForm::Shortest);
QByteArray encodeTeskLayer(const QByteArray& bitmap, TokenForm form = TokenForm::Shortest);

// The row of the printer table whose name or short code is `name`; the
// program ends when there is none, since a test that asks for it is wrong.
const PrinterModel& printerModel(const char* name);

// Describes a Tesk file and writes it. build() lays the blocks out after the
// header in `order` and sets every offset and size field of the header, the
// preview descriptor and the layer table; change `header` or the returned
// bytes afterwards to describe malformed files.
class TeskBuilder {
public:
    enum Block { MachineName, PreviewHead, PreviewData, LayerTable, LayerData };

    TeskBuilder();
    // A file sliced for `printer`, with its name, resolution and plate size.
    explicit TeskBuilder(const PrinterModel& printer);

    // Appends a layer from a bitmap of resolutionX x resolutionY grey bytes.
    void addLayer(const QByteArray& bitmap, TokenForm form = TokenForm::Shortest);
    // Appends a layer whose stream is given as is.
    void addLayerStream(const QByteArray& stream);
    void setPreview(const QImage& image);

    QByteArray build();
    // Writes build() to path; false when the file cannot be written.
    bool writeTo(const QString& path);
    // Writes what build() would give with the default block order and no gaps,
    // for layerCount layers whose streams are asked for one at a time, in
    // order, so that they need not all be held; layerStreams is not used.
    bool writeStreamingTo(const QString& path, int layerCount, const std::function<QByteArray(int)>& layerStream);

    TeskFileHead_t header{};
    QByteArray machineName;
    int previewWidth = 0;
    int previewHeight = 0;
    QByteArray previewPixels; // RGB888 rows, no padding
    QVector<QByteArray> layerStreams;
    int layerSetCount = 1;
    QVector<Block> order{MachineName, PreviewHead, PreviewData, LayerTable, LayerData};
    int gapBetweenBlocks = 0; // filler bytes (0xEE) between blocks
};

// The file of `builder`'s layers with table entry j pointing at the block of
// layer pattern[j]: entries that share blocks in any order. It has
// pattern.size() entries, at least as many as the layers.
QByteArray buildSharingBlocks(TeskBuilder builder, const std::vector<int>& pattern);

// Writes `bytes` at `offset` of the file at path, leaving a hole before it
// (sparse where the file system allows); creates the file if needed.
bool writeAt(const QString& path, qint64 offset, const QByteArray& bytes);

// Reads the whole file; empty on failure.
QByteArray readFile(const QString& path);

#endif
