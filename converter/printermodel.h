#ifndef PRINTERMODEL_H
#define PRINTERMODEL_H

#include <QString>

// The printers that files are converted for, one row each: every fact about a
// model that the converter, sliceinfo and the test-file builder use. A third
// model is one more row in printermodel.cpp.
//
// The slicer's grid is the Tesk file's (resolutionX x resolutionY, X the
// plate's short side); the printer's grid is the qvx file's layers, the
// slicer's halved for a printer whose pixels are twice as wide.
struct PrinterModel {
    const char* name;      // the model name in a Tesk file, "Vireld10"
    const char* shortName; // its short code, "Kv10"
    int modelNumber;       // in the qvx header
    int slicerWidth;
    int slicerHeight;
    int layerWidth;
    int layerHeight;
    // As a slicer writes them into a Tesk header, in whole micrometres.
    qint32 plateShortUm;
    qint32 plateLongUm;
    qint32 buildHeightUm;
    float pixelPitchUm; // of the printer's grid
    int previewWidth;
    int previewHeight;

    // The row whose name or short code is `name` exactly, or null.
    static const PrinterModel* byName(const QString& name);
    // The row of a qvx model number, or null.
    static const PrinterModel* byNumber(int modelNumber);
    // Every row, in order, and how many there are.
    static const PrinterModel* begin();
    static const PrinterModel* end();

    float buildHeightMm() const { return float(buildHeightUm) / 1000.0f; }
    // "Vireld10 or Kv10"
    QString names() const;
};

#endif
