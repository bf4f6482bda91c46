#ifndef QVXREADER_H
#define QVXREADER_H

#include "exportqvx.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Reads a qvx file back (the layout is described beside ExportQvx): the header,
// the preview and the layer records, and decodes the runs of a layer.
class QvxReader {
public:
    // Parses a whole file. False, with `error` saying why, when the file is cut
    // short, its magic or fixed fields are wrong, or bytes follow the last record.
    bool parse(const QByteArray& file);

    // Decodes one record's runs into one byte per pixel holding the grey class
    // (0 to 15). False, with `error` set, when the runs do not add up to exactly
    // pixelCount, a run's first digit is 0 or two neighbouring runs share a class.
    static bool decodeRuns(const QByteArray& runs, qint64 pixelCount, QByteArray* classes, QString* error);

    QString error;
    qint32 modelNumber = 0;
    qint32 parameterCount = 0;
    float parameters[qvx::kParameterCount] = {};
    qint32 layerCount = 0;
    qint32 previewWidth = 0;
    qint32 previewHeight = 0;
    QVector<quint16> previewPixels; // RGB565, rows from the top
    QVector<QByteArray> layerRecords;
};

#endif
