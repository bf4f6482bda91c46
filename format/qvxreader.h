#ifndef QVXREADER_H
#define QVXREADER_H

#include "qvxformat.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>

#include <functional>
#include <limits>

// Reads a qvx file back (its layout is in qvxformat.h): the header,
// the preview and the layer records, and decodes the runs of a layer.
class QvxReader {
public:
    // Called for each run of a layer: its first pixel, its length and its class.
    using RunVisitor = std::function<void(qint64 start, qint64 length, int cls)>;

    // Parses a whole file. False, with `error` saying why, when the file is cut
    // short, its magic or fixed fields are wrong, the number of records differs
    // from the header's layer count, or bytes follow the last record. The
    // records read before the failure stay in layerRecords, unless the header
    // declares more than maxKeptRecords layers: then the records are only
    // counted and checked, and none is kept.
    bool parse(const QByteArray& file);

    // Decodes one record's runs into one byte per pixel holding the grey class
    // (0 to 15). False, with `error` set, when the runs do not add up to exactly
    // pixelCount or a run's first digit is 0. A run ends where the class changes,
    // so two neighbouring runs of one class read as one run of their joined
    // digits and show as a wrong total.
    static bool decodeRuns(const QByteArray& runs, qint64 pixelCount, QByteArray* classes, QString* error);
    // The same checks, handing each run to `visit` instead of writing pixels.
    static bool walkRuns(const QByteArray& runs, qint64 pixelCount, const RunVisitor& visit, QString* error);

    // The printer's pixel grid (width x height of every layer) for a model
    // number; invalid for a number that no supported printer has.
    static QSize layerSize(int modelNumber);

    QString error;
    qint32 modelNumber = 0;
    qint32 parameterCount = 0;
    float parameters[qvx::kParameterCount] = {};
    qint32 layerCount = 0;
    qint32 previewWidth = 0;
    qint32 previewHeight = 0;
    QVector<quint16> previewPixels; // RGB565, rows from the top
    QVector<QByteArray> layerRecords;
    int maxKeptRecords = std::numeric_limits<int>::max();
};

#endif
