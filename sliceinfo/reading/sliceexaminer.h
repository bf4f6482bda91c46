#ifndef SLICEEXAMINER_H
#define SLICEEXAMINER_H

#include "format/runsink.h"
#include "report/slicereport.h"

#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

// What sliceinfo reads of a slice file, one examiner a format behind this
// interface: the report (summary, checks, figures, warnings, islands), and the
// preview and layers for the pictures.
class SliceExaminer {
public:
    enum Format { Detect, Tesk, Qvx };

    virtual ~SliceExaminer() = default;

    // Examines the file at path, as `format` or, for Detect, as told by its
    // content: a file that starts with the qvx magic is qvx, any other Tesk.
    // The file is opened once; null, with `error` set, when it cannot be read
    // or is not a regular file.
    static std::unique_ptr<SliceExaminer> open(const QString& path, Format format, QString* error);

    const SliceReport& report() const { return sliceReport; }
    virtual int layerCount() const = 0;
    // The grid of the layers: the file's resolution, or the printer's for qvx.
    virtual QSize layerSize() const = 0;
    // Null when the file has no usable preview.
    virtual QImage preview() = 0;
    // The layer as an 8-bit grey picture; null when it cannot be drawn.
    virtual QImage layerImage(int layer) = 0;
    // Hands each run of the layer to `sink`, its level the grey of the layer's
    // picture; false for a layer it cannot read.
    virtual bool readRuns(int layer, const RunSink& sink) = 0;
    // The first layer that reads the same data as `layer` (table entries that
    // share a block): its pictures are the same.
    virtual int sameLayerAs(int layer) const { return layer; }
    // Whether other layers read the same data as `layer`.
    virtual bool dataShared(int) const { return false; }

protected:
    // The file to read: open, or named only, to be opened by openInput.
    // `path` names the input, which once open may no longer know its name.
    SliceExaminer(std::unique_ptr<QFile> input, const QString& path);

    // False, with `error` set, when the file cannot be read.
    virtual bool inspect(QString* error) = 0;
    // Opens the input unless it is open; false, with `error` set, when it
    // cannot be read or is not a regular file.
    bool openInput(QString* error);
    // The print figures and warnings, from the report's print settings and
    // layers, once the rest of the report is made.
    void addPrintFigures(const PrintSettings& settings);

    const std::unique_ptr<QFile> input;
    const QString path;
    SliceReport sliceReport;
};

#endif
