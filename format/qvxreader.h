#ifndef QVXREADER_H
#define QVXREADER_H

#include "qvxformat.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>

#include <limits>

// Reads a qvx file back (its layout is in qvxformat.h): the header,
// the preview and the layer records; QvxRunDecoder reads a record's runs.
class QvxReader {
public:
    // Parses a whole file. False, with `error` saying why, when the file is cut
    // short, its magic or fixed fields are wrong, the number of records differs
    // from the header's layer count, or bytes follow the last record. The
    // records read before the failure stay in layerRecords, unless the header
    // declares more than maxKeptRecords layers: then the records are only
    // counted and checked, and none is kept. The records are views into
    // `file`, which the reader keeps (shared, not copied), so that a file is
    // held once; `file` must own its bytes.
    bool parse(const QByteArray& file, QString* error);

    // The printer's pixel grid (width x height of every layer) for a model
    // number; invalid for a number that no supported printer has.
    static QSize layerSize(int modelNumber);

    qint32 modelNumber = 0;
    qint32 parameterCount = 0;
    float parameters[qvx::kParameterCount] = {};
    qint32 layerCount = 0;
    qint32 previewWidth = 0;
    qint32 previewHeight = 0;
    QVector<quint16> previewPixels; // RGB565, rows from the top
    QVector<QByteArray> layerRecords;
    int maxKeptRecords = std::numeric_limits<int>::max();

private:
    QByteArray parsed; // what layerRecords point into
};

#endif
