#ifndef TESKEXAMINER_H
#define TESKEXAMINER_H

#include "format/teskformat.h"
#include "sliceexaminer.h"
#include "tesklayerscan.h"

#include <QFile>
#include <QImage>
#include <QSet>
#include <QString>
#include <QVector>

// Examines a Tesk file (layout beside TeskFileHead_t): summarises it, checks
// that every block lies inside the file and that every layer stream fills its
// bitmap exactly, tells whether tesktoqvx would accept it and why not, and
// draws its preview and layers. Reads are bounded by what the file holds and
// by the limits at the top of the .cpp, whatever sizes the file declares.
class TeskExaminer : public SliceExaminer {
public:
    explicit TeskExaminer(const QString& path);
    // An open file, or one named only.
    TeskExaminer(std::unique_ptr<QFile> input, const QString& path);

    // False, with `error` set, when the file cannot be opened.
    bool inspect(QString* error) override;

    int layerCount() const override { return table.size(); }
    QSize layerSize() const override { return QSize(header.resolutionX, header.resolutionY); }
    // RGB888.
    QImage preview() override;
    // The layer's grey bitmap as the converter decodes it; null when the
    // resolution is too large to draw or the layer cannot be read.
    QImage layerImage(int layer) override;
    // The runs as the converter reads them.
    bool readRuns(int layer, const RunSink& sink) override;
    int sameLayerAs(int layer) const override { return sameBlockAs.value(layer, layer); }
    bool dataShared(int layer) const override { return sharedBlocks.contains(sameLayerAs(layer)); }

private:
    QByteArray readHeld(qint64 offset, qint64 size, qint64 limit);
    void readFront();
    bool layerTableReadable() const;
    void scanLayers();
    TeskLayerScan scanBlock(int j, IslandFinder* islands, DarkSpaceFinder* darkSpace = nullptr);
    void summarise();
    void addParameters();
    void addChecks();
    PrintSettings printSettings();
    void addPrintFigures();
    QVector<int> layersNotHeld() const;
    QString layerBlockProblem(int layer) const;
    QStringList headerProblems() const;
    QStringList machineNameProblems() const;
    QStringList previewProblems() const;
    QStringList layerTableProblems() const;
    QStringList layerBlockProblems() const;
    QStringList layerStreamProblems() const;
    QStringList acceptanceProblems();
    QString blockProblem(const QString& what, qint64 offset, qint64 size) const;
    qint64 pixelCount() const;
    quint64 previewDataSize() const;

    QFile& file;
    qint64 fileSize = 0;
    TeskFileHead_t header{};
    QByteArray machineNameBytes;
    TeskPreviewHead_t previewHead{};
    QVector<TeskDatHead_t> table;
    QVector<TeskLayerScan> scans;
    QVector<int> sameBlockAs; // per layer: the first layer of its block
    QSet<int> sharedBlocks;   // the first layers of blocks that several read
    QStringList unreadLayers;
};

#endif
