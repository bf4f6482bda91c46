#ifndef EXPORTQVX_H
#define EXPORTQVX_H

#include "common/outputfile.h"
#include "format/qvxformat.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

struct PrinterModel;
class TeskLayerReader;
class TeskToQvx;

// Geometry of one printer model. The printer's X axis is the long side of the
// plate, which is the input file's Y axis.
struct machineParameters {
    float pixelsX = 0.0f;
    float pixelsY = 0.0f;
    float sizeX = 0.0f;      // mm
    float sizeY = 0.0f;      // mm
    float pixelSizeX = 0.0f; // um
    float pixelSizeY = 0.0f; // um
    float maxHeight = 0.0f;  // mm
    bool swapAxes = false;
    QString formatTag;
    qint32 formatCode = 0;
    QString modelName;
    QString makerName;
};

// Writes one qvx file for the input that `driver` has read. Calling order:
// validate, openFile, writeFrontData, writeLayerData per layer, closeFile.
// Which output paths are refused and how the others are written (beside the
// path and put in place only when complete, or in place for devices and
// pipes) is OutputFile's.
class ExportQvx {
public:
    explicit ExportQvx(TeskToQvx* driver);

    void initParameters();

    // True when the input was sliced for a supported model with exactly its
    // resolution and plate size; then printParameters hold the derived values.
    bool validate();
    // True exactly when rejectionReasons() is empty.
    bool validateMachineName() const;
    void evaluatePrintingParameters();

    // Each returns false when a write failed; the conversion must then stop.
    bool openFile(const QString& path);
    bool writeFrontData(QImage& preview);
    bool writeLayerData(QImage& layer);
    // The same record from the layer's runs, without a bitmap: the same bytes
    // as writeLayerData on the decoded layer of width x height pixels. False,
    // having written nothing, for a model that is not converted or a halved
    // layer that is not twice its grid.
    bool writeLayerRuns(TeskLayerReader& layer, int width, int height);
    // True when a layer of streamBytes for `pixels` pixels is written faster
    // by writeLayerData from its bitmap than by writeLayerRuns.
    bool halvesFasterFromBitmap(qint64 streamBytes, qint64 pixels) const;
    // The record written last, once more.
    bool writeLayerAgain();
    // A copy of the record written last, to be written again by
    // writeLayerRecord after other records.
    QByteArray lastLayerRecord() const;
    int lastLayerRecordSize() const { return runRecordSize >= 0 ? runRecordSize : compressedData.size(); }
    bool writeLayerRecord(const QByteArray& record);
    bool closeFile();

    // Encodes a Format_Grayscale8 image into compressedData: runs of equal
    // classes (the top four bits of a pixel) in raster order, across row ends;
    // each run is the hexadecimal digits of its length, most significant first,
    // one byte per digit with the class in the high nibble.
    bool compressImage(QImage& image);
    // The same encoding of the layer in runs, brought to the model's grid,
    // into the start of runBytes; returns its length, or -1 for a model it
    // cannot prepare the layer for.
    int compressRuns(TeskLayerReader& layer, int width, int height);

    int modelNumber() const;

    // The machine name's text: the bytes up to the first zero byte, as UTF-8.
    static QString machineNameText(const QByteArray& bytes);

    // The machine check: why the input is refused, one line per failing
    // check, with the expected and the found value. Empty when it accepts.
    QStringList rejectionReasons() const;

    TeskToQvx* driver;
    OutputFile outputFile;
    QDataStream stream;
    QString machineName;
    QMap<QString, int> modelNumbers;
    QMap<QString, machineParameters> machineTable;
    QMap<QString, QString> formatTags;
    float printParameters[qvx::kParameterCount];
    QVector<uchar> compressedData;

private:
    // The row of the model written for; null for one that is not converted.
    const PrinterModel* printer() const;
    bool writesSucceeded() const;
    bool writeLayerRecord(const uchar* bytes, int size);

    // The layer halved to the printer's grid, kept so that its storage serves every layer.
    QImage halfLayer;
    // The encoder's storage, kept so that it is zero-filled only as it grows;
    // layers read as runs are written from it, not from compressedData.
    std::vector<uchar> runBytes;
    int runRecordSize = -1; // of the last record, when it came from runBytes
};

#endif
