#ifndef QVXEXAMINER_H
#define QVXEXAMINER_H

#include "format/qvxreader.h"
#include "report/slicereport.h"

#include <QImage>
#include <QString>

// Examines a qvx file (layout beside ExportQvx): summarises it, checks its
// fixed fields, its records against the header's layer count and every
// record's runs against the printer's grid, and draws its preview and layers.
class QvxExaminer {
public:
    explicit QvxExaminer(const QString& path);

    // False, with `error` set, when the file cannot be read.
    bool inspect(QString* error);
    // The same for a file already in memory.
    void inspectBytes(const QByteArray& bytes);

    const SliceReport& report() const { return sliceReport; }
    int layerCount() const { return reader.layerRecords.size(); }
    QImage preview() const;
    // Class k drawn as grey 17 * k; null when the model's grid is unknown.
    QImage layerImage(int layer) const;
    // Calls visit(start, length, grey) for each run of the layer, the grey
    // that of the layer's picture; false for a layer it cannot read.
    bool readRuns(int layer, const LayerRunVisitor& visit) const;
    QSize layerSize() const { return QvxReader::layerSize(reader.modelNumber); }

private:
    void summarise(qint64 fileSize);
    void addParameters();
    QStringList scanLayers();
    void addChecks(bool parsed, const QStringList& runProblems);
    PrintSettings printSettings() const;
    void addPrintFigures();

    QString path;
    QvxReader reader;
    SliceReport sliceReport;
};

#endif
