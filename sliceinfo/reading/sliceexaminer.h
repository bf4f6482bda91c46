#ifndef SLICEEXAMINER_H
#define SLICEEXAMINER_H

#include "qvxexaminer.h"
#include "teskexaminer.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

// Examines a Tesk or a qvx file, told apart by the qvx magic at its start
// (Tesk files have no magic), unless the format is given.
class SliceExaminer {
public:
    enum Format { Detect, Tesk, Qvx };

    // False, with `error` set, when the file cannot be read.
    bool inspect(const QString& path, Format format, QString* error);

    const SliceReport& report() const;
    int layerCount() const;
    QImage preview();
    QImage layerImage(int layer);
    // The layer's picture with its islands in red.
    QImage layerPicture(int layer);
    // The layer drawn small from its runs, as Thumbnail says.
    QImage layerThumbnail(int layer, const QSize& size);
    // The intervals of the layer's islands.
    std::vector<IslandFinder::Interval> islandIntervals(int layer);
    // The grid of the layers: the file's resolution, or the printer's for qvx.
    QSize layerSize() const;

    static Format detect(const QString& path);

private:
    bool readRuns(int layer, const LayerRunVisitor& visit);

    std::unique_ptr<TeskExaminer> tesk;
    std::unique_ptr<QvxExaminer> qvxFile;
};

#endif
