#ifndef EXPORTQVX_H
#define EXPORTQVX_H

#include <QDataStream>
#include <QFile>
#include <QSaveFile>
#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class TeskLayerReader;
class TeskToQvx;

// The qvx slice file. Little-endian, floats single precision, except the
// preview pixels, which are big-endian.
//
//   offset  size  content
//   0       8     magic "QuorvatH"
//   8       4     0xFF000001
//   12      4     1
//   16      4     model number (10 or 30)
//   20      4     0
//   24      4     34, the number of floats that follow
//   28      136   printParameters[0..33]
//   164     4     layer count
//   168     4     4
//   172     4     preview width  (120)
//   176     4     preview height (150)
//   180     2*w*h preview, RGB565 big-endian, rows from the top
//   ...           one record per layer: uint32 byte count N, then N bytes of
//                 runs (see compressImage)
namespace qvx {
constexpr char kMagic[] = "QuorvatH";
constexpr int kMagicSize = 8;
constexpr qint32 kVersionTag = qint32(0xFF000001);
constexpr int kParameterCount = 34;
constexpr int kHeaderSize = 180;
constexpr int kLayerCountOffset = 164;
constexpr int kPreviewWidth = 120;
constexpr int kPreviewHeight = 150;
} // namespace qvx

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
// A regular file (or a new path) is written beside its path and put in place
// by closeFile only when every write succeeded: a failed or abandoned
// conversion leaves nothing at the path and keeps a file that was there. A
// device or a pipe is written in place. Standard output is refused as the
// output, since the console lines go there.
class ExportQvx {
public:
    explicit ExportQvx(TeskToQvx* driver);

    void initParameters();

    // True when the input was sliced for a supported model with exactly its
    // resolution and plate size; then printParameters hold the derived values.
    bool validate();
    bool validateMachineName() const;
    void evaluatePrintingParameters();

    // Each returns false when a write failed; the conversion must then stop.
    bool openFile(const QString& path);
    bool writeFrontData(QImage& preview);
    bool writeLayerData(QImage& layer);
    // The same record from the layer's runs, without a bitmap: the same bytes
    // as writeLayerData on the decoded layer of width x height pixels. False,
    // having written nothing, for a model other than 10 or 30 or a model-10
    // layer that is not twice its grid.
    bool writeLayerRuns(TeskLayerReader& layer, int width, int height);
    // True when a layer of streamBytes for `pixels` pixels is written faster
    // by writeLayerData from its bitmap than by writeLayerRuns.
    bool halvesFasterFromBitmap(qint64 streamBytes, qint64 pixels) const;
    bool closeFile();

    // Encodes a Format_Grayscale8 image into compressedData: runs of equal
    // classes (the top four bits of a pixel) in raster order, across row ends;
    // each run is the hexadecimal digits of its length, most significant first,
    // one byte per digit with the class in the high nibble.
    bool compressImage(QImage& image);
    // The same encoding of the layer in runs, brought to the model's grid.
    bool compressRuns(TeskLayerReader& layer, int width, int height);

    int modelNumber() const;

    // The machine name's text: the bytes up to the first zero byte, as UTF-8.
    static QString machineNameText(const QByteArray& bytes);

    // Why validateMachineName() refuses the input: one line per failing check,
    // with the expected and the found value. Empty when it accepts.
    QStringList rejectionReasons() const;

    TeskToQvx* driver;
    QSaveFile outputFile;
    QFile directOutput;              // for devices and pipes
    QFileDevice* output = nullptr;   // the one of the two in use
    QDataStream stream;
    QString machineName;
    QMap<QString, int> modelNumbers;
    QMap<QString, machineParameters> machineTable;
    QMap<QString, QString> formatTags;
    float printParameters[qvx::kParameterCount];
    QVector<uchar> compressedData;

private:
    bool writesSucceeded() const;
    bool writeLayerRecord();

    // The halved layer of model 10, kept so that its storage serves every layer.
    QImage halfLayer;
};

#endif
