#ifndef PRINTERMODEL_H
#define PRINTERMODEL_H

#include <QSize>
#include <QString>
#include <QStringList>

// The printers that files are converted for, one row each: every fact about a
// model that the converter, sliceinfo and the test-file builder use, and all
// that differs between models. A third model is one more row in
// printermodel.cpp.
//
// The slicer's grid is the Tesk file's (resolutionX x resolutionY, X the
// plate's short side); the printer's grid is the qvx file's layers, the
// slicer's halved for a printer whose pixels are twice as wide.
struct PrinterModel {
    const char* name;      // the model name in a Tesk file, "Vireld10"
    const char* shortName; // its short code, "Kv10"
    int modelNumber;       // in the qvx header
    const char* formatTag; // the writer's tag of the model's files
    int slicerWidth;
    int slicerHeight;
    int layerWidth;
    int layerHeight;
    bool halvesLayers; // the slicer's grid is twice the printer's, both ways
    // As a slicer writes them into a Tesk header, in whole micrometres.
    qint32 plateShortUm;
    qint32 plateLongUm;
    qint32 buildHeightUm;
    float pixelPitchUm; // of the printer's grid
    int previewWidth;   // the qvx preview
    int previewHeight;

    // The row whose name or short code is `name` exactly, or null.
    static const PrinterModel* byName(const QString& name);
    // The row of a qvx model number, or null.
    static const PrinterModel* byNumber(int modelNumber);
    // Every row, in order.
    static const PrinterModel* begin();
    static const PrinterModel* end();
    // The model numbers of every row, in order.
    static QStringList numbers();

    float buildHeightMm() const { return float(buildHeightUm) / 1000.0f; }
    QSize layerSize() const { return QSize(layerWidth, layerHeight); }
    // "Vireld10 or Kv10"
    QString names() const;
};

// The family's other models, which files are not converted for: the writer
// knows them by name, and some by number, format tag or preview size (0 or
// null where it does not).
struct OtherPrinterModel {
    const char* name;
    int modelNumber;
    const char* formatTag;
    int previewWidth;
    int previewHeight;

    static const OtherPrinterModel* begin();
    static const OtherPrinterModel* end();
    static const OtherPrinterModel* byName(const QString& name);
};

#endif
