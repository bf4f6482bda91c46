#ifndef QVXEXAMINER_H
#define QVXEXAMINER_H

#include "format/qvxreader.h"
#include "sliceexaminer.h"

#include <QImage>
#include <QString>

// Examines a qvx file (layout beside ExportQvx): summarises it, checks its
// fixed fields, its records against the header's layer count and every
// record's runs against the printer's grid, and draws its preview and layers.
class QvxExaminer : public SliceExaminer {
public:
    explicit QvxExaminer(const QString& path);
    // An open file, or one named only.
    QvxExaminer(std::unique_ptr<QFile> input, const QString& path);

    // False, with `error` set, when the file cannot be read.
    bool inspect(QString* error) override;
    // The same for a file already in memory.
    void inspectBytes(const QByteArray& bytes);

    int layerCount() const override { return reader.layerRecords.size(); }
    QSize layerSize() const override { return QvxReader::layerSize(reader.modelNumber); }
    QImage preview() override;
    // Class k drawn as grey 17 * k; null when the model's grid is unknown.
    QImage layerImage(int layer) override;
    bool readRuns(int layer, const RunSink& sink) override;

private:
    void summarise(qint64 fileSize);
    void addParameters();
    QStringList scanLayers();
    void addChecks(const QString& layoutProblem, const QStringList& runProblems);
    PrintSettings printSettings() const;

    QvxReader reader;
};

#endif
