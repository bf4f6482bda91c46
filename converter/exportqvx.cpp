#include "exportqvx.h"

#include "common/smoothscaler.h"
#include "format/machinecheck.h"
#include "format/printermodel.h"
#include "format/qvxrunencoder.h"
#include "format/tesklayerreader.h"
#include "layerhalver.h"
#include "tesktoqvx.h"

#include <cstring>
#include <optional>

namespace {

// The values of the 34 slots before a conversion derives its own; the slots
// that no conversion sets are written as they stand here.
const float kDefaultPrintParameters[qvx::kParameterCount] = {
    20.0f,    //  0 pixels per mm along X
    20.0f,    //  1 pixels per mm along Y
    1920.0f,  //  2 pixels along X
    1080.0f,  //  3 pixels along Y
    0.1f,     //  4 layer height, mm
    500.0f,   //  5 exposure time, ms
    1000.0f,  //  6 bottom exposure time, ms
    10.0f,    //  7 kept as it is
    2000.0f,  //  8 light-off delay, ms
    4000.0f,  //  9 light-off delay again, ms
    0.6f,     // 10 height of the bottom layers, mm
    0.6f,     // 11 kept as it is
    5.0f,     // 12 the Tesk float at byte 140
    2.0f,     // 13 the Tesk float at byte 148
    600.0f,   // 14 the Tesk float at byte 152
    600.0f,   // 15 the same again
    48.0f,    // 16 the Tesk float at byte 144
    30.0f,    // 17 the same again
    5.0f,     // 18 kept as it is
    60.0f,    // 19 kept as it is
    10.0f,    // 20 kept as it is
    600.0f,   // 21 kept as it is
    600.0f,   // 22 kept as it is
    2.0f,     // 23 kept as it is
    0.2f,     // 24 kept as it is
    60.0f,    // 25 kept as it is
    1.0f,     // 26 kept as it is
    6.0f,     // 27 kept as it is
    150.0f,   // 28 kept as it is
    1001.0f,  // 29 kept as it is
    200.0f,   // 30 build height, mm
    0.0f,     // 31 kept as it is
    0.0f,     // 32 kept as it is
    0.0f,     // 33 kept as it is
};

// The writer's record of a model, from its row of the printer table.
machineParameters machineFor(const PrinterModel& model)
{
    machineParameters m;
    m.pixelsX = float(model.layerHeight);
    m.pixelsY = float(model.layerWidth);
    m.sizeX = float(model.plateLongUm) / 1000.0f;
    m.sizeY = float(model.plateShortUm) / 1000.0f;
    m.pixelSizeX = model.pixelPitchUm;
    m.pixelSizeY = model.pixelPitchUm;
    m.maxHeight = model.buildHeightMm();
    m.swapAxes = false;
    m.formatTag = QLatin1String(model.formatTag);
    m.formatCode = 4;
    m.modelName = QLatin1String(model.name);
    m.makerName = QStringLiteral("Quorvath");
    return m;
}

// Bitwise, so that a signalling NaN is carried over as it is.
void copyBits(float& dst, const float& src)
{
    std::memcpy(&dst, &src, sizeof(float));
}

quint32 floatBits(const float& value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

quint16 packRgb565(QRgb colour)
{
    return quint16(((qRed(colour) >> 3) << 11) | ((qGreen(colour) >> 2) << 5) | (qBlue(colour) >> 3));
}


QSize previewSize(const QString& name)
{
    if (const PrinterModel* model = PrinterModel::byName(name))
        return QSize(model->previewWidth, model->previewHeight);
    if (const OtherPrinterModel* other = OtherPrinterModel::byName(name))
        return QSize(other->previewWidth, other->previewHeight);
    return QSize();
}

// The preview at the model's size; nothing when scaling it found no memory.
std::optional<QImage> scaledPreview(const QImage& preview, const QString& name)
{
    const QSize size = previewSize(name);
    if (preview.isNull() || !size.isValid())
        return QImage();
    QImage scaled = SmoothScaler::scaled(preview, size.width(), size.height());
    if (scaled.isNull())
        return std::nullopt;
    return scaled;
}

} // namespace

ExportQvx::ExportQvx(TeskToQvx* driver)
    : driver(driver)
    , machineName(MachineCheck::modelNameIn(driver->machineNameBytes))
{
    initParameters();
}

void ExportQvx::initParameters()
{
    // The family's other models are known by name, number and format tag only:
    // the machine check refuses them, so nothing reads their rows. Nothing reads
    // formatTags, nor a machineParameters' sizes, format, model and maker fields.
    modelNumbers.clear();
    formatTags.clear();
    machineTable.clear();
    for (const OtherPrinterModel* other = OtherPrinterModel::begin(); other != OtherPrinterModel::end(); ++other) {
        if (other->modelNumber != 0)
            modelNumbers.insert(QLatin1String(other->name), other->modelNumber);
        if (other->formatTag)
            formatTags.insert(QLatin1String(other->name), QLatin1String(other->formatTag));
    }
    for (const PrinterModel* model = PrinterModel::begin(); model != PrinterModel::end(); ++model) {
        for (const char* name : {model->name, model->shortName}) {
            modelNumbers.insert(QLatin1String(name), model->modelNumber);
            formatTags.insert(QLatin1String(name), QLatin1String(model->formatTag));
            machineTable.insert(QLatin1String(name), machineFor(*model));
        }
    }
    std::memcpy(printParameters, kDefaultPrintParameters, sizeof printParameters);
}

bool ExportQvx::validate()
{
    const bool accepted = validateMachineName();
    if (accepted)
        evaluatePrintingParameters();
    return accepted;
}

bool ExportQvx::validateMachineName() const { return rejectionReasons().isEmpty(); }

void ExportQvx::evaluatePrintingParameters()
{
    const machineParameters m = machineTable.value(machineName);
    const TeskFileHead_t& h = driver->header;
    float* p = printParameters;

    p[qvx::kPixelsPerMmX] = 1000.0f / (m.swapAxes ? m.pixelSizeY : m.pixelSizeX);
    p[qvx::kPixelsPerMmY] = 1000.0f / (m.swapAxes ? m.pixelSizeX : m.pixelSizeY);
    p[qvx::kPixelsX] = m.swapAxes ? m.pixelsY : m.pixelsX;
    p[qvx::kPixelsY] = m.swapAxes ? m.pixelsX : m.pixelsY;

    copyBits(p[qvx::kLayerHeight], h.layerHeight);
    p[qvx::kExposureTime] = h.exposureTime * 1000.0f;
    p[qvx::kBottomExposureTime] = h.bottomExposureTime * 1000.0f;
    p[qvx::kLightOffDelay] = h.lightOffDelay * 1000.0f;
    p[qvx::kLightOffDelay2] = p[qvx::kLightOffDelay];
    p[qvx::kBottomHeight] = static_cast<float>(h.bottomLayerCount) * h.layerHeight;
    copyBits(p[qvx::kTeskByte140], h.param140);
    copyBits(p[qvx::kTeskByte148], h.param148);
    copyBits(p[qvx::kTeskByte152], h.param152);
    copyBits(p[qvx::kTeskByte152Again], h.param152);
    copyBits(p[qvx::kTeskByte144], h.param144);
    copyBits(p[qvx::kTeskByte144Again], h.param144);
    p[qvx::kBuildHeight] = m.maxHeight;
}

bool ExportQvx::openFile(const QString& path)
{
    if (!outputFile.open(path))
        return false;
    stream.setDevice(&outputFile.device());
    stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    stream.setByteOrder(QDataStream::LittleEndian);
    return true;
}

bool ExportQvx::writeFrontData(QImage& preview)
{
    stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    stream.setByteOrder(QDataStream::LittleEndian);

    stream.writeRawData(qvx::kMagic, qvx::kMagicSize);
    stream << qvx::kVersionTag << qvx::kHeaderWord12 << qint32(modelNumber()) << qvx::kHeaderWord20
           << qint32(qvx::kParameterCount);
    // Written as raw bits: passing a float through an x87 register on 32-bit
    // builds would quiet a signalling NaN taken over from the input.
    for (const float& value : printParameters)
        stream << floatBits(value);
    stream << qint32(driver->header.layerCount) << qvx::kHeaderWord168;

    const std::optional<QImage> scaled = scaledPreview(preview, machineName);
    if (!scaled)
        return false;
    const QImage& picture = *scaled;
    stream << qint32(picture.width()) << qint32(picture.height());
    stream.setByteOrder(QDataStream::BigEndian);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            stream << packRgb565(picture.pixel(x, y));
    }
    stream.setByteOrder(QDataStream::LittleEndian);
    return writesSucceeded();
}

bool ExportQvx::writeLayerData(QImage& layer)
{
    const bool grey = layer.format() == QImage::Format_Grayscale8;
    const PrinterModel* model = printer();
    if (!model)
        return false;
    QImage prepared;
    if (!model->halvesLayers) {
        // Copying a grey image and converting it to its own format change nothing.
        prepared = grey ? layer : layer.copy().convertToFormat(QImage::Format_Grayscale8);
    } else if (grey && layer.width() == model->slicerWidth && layer.height() == model->slicerHeight) {
        LayerHalver::halveGrey(layer, halfLayer);
        prepared = halfLayer;
    } else {
        prepared = layer.scaled(model->layerSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8);
    }
    // Preparing a layer allocates; without memory the image comes back null.
    if (prepared.isNull() && !layer.isNull())
        return false;
    runRecordSize = -1;
    if (!compressImage(prepared))
        return false;
    return writeLayerRecord(compressedData.constData(), compressedData.size());
}

bool ExportQvx::writeLayerRuns(TeskLayerReader& layer, int width, int height)
{
    runRecordSize = compressRuns(layer, width, height);
    if (runRecordSize < 0)
        return false;
    return writeLayerRecord(QvxRunEncoder::encoded(runBytes), runRecordSize);
}

// A layer with more than a run every 16 pixels is halved faster from its
// bitmap, averaging sixteen blocks at a time; a layer that is not halved is
// always encoded faster from its runs.
bool ExportQvx::halvesFasterFromBitmap(qint64 streamBytes, qint64 pixels) const
{
    const PrinterModel* model = printer();
    return model && model->halvesLayers && streamBytes > pixels / 16;
}

bool ExportQvx::writeLayerAgain()
{
    const uchar* bytes = runRecordSize >= 0 ? QvxRunEncoder::encoded(runBytes) : compressedData.constData();
    return writeLayerRecord(bytes, lastLayerRecordSize());
}

QByteArray ExportQvx::lastLayerRecord() const
{
    const uchar* bytes = runRecordSize >= 0 ? QvxRunEncoder::encoded(runBytes) : compressedData.constData();
    return QByteArray(reinterpret_cast<const char*>(bytes), lastLayerRecordSize());
}

bool ExportQvx::writeLayerRecord(const QByteArray& record)
{
    return writeLayerRecord(reinterpret_cast<const uchar*>(record.constData()), record.size());
}

bool ExportQvx::writeLayerRecord(const uchar* bytes, int size)
{
    stream << quint32(size);
    stream.writeRawData(reinterpret_cast<const char*>(bytes), size);
    return writesSucceeded();
}

int ExportQvx::compressRuns(TeskLayerReader& layer, int width, int height)
{
    const PrinterModel* model = printer();
    if (!model)
        return -1;
    if (!model->halvesLayers) {
        // Before it is read, every pixel of the layer is left.
        QvxRunEncoder runs(runBytes, layer.pixelsLeft(), layer.maxRuns());
        runs.addLayer(layer);
        return runs.finish();
    }
    // Only the halving of a layer of exactly twice the printer's grid is done
    // in runs; validate admits no other size.
    if (width != model->slicerWidth || height != model->slicerHeight)
        return -1;
    const qint64 halfPixels = qint64(model->layerWidth) * model->layerHeight;
    QvxRunEncoder runs(runBytes, halfPixels, halfPixels);
    LayerHalver(width, height, runs).halve(layer);
    return runs.finish();
}

// A short write is recorded only by the stream: it is checked before the file
// is committed.
bool ExportQvx::closeFile()
{
    if (!writesSucceeded()) {
        outputFile.discard();
        return false;
    }
    return outputFile.commit();
}

bool ExportQvx::writesSucceeded() const
{
    return stream.status() == QDataStream::Ok && outputFile.error() == QFileDevice::NoError;
}

// An image without pixels encodes to an empty stream (and still succeeds);
// a conversion never produces one, since validate admits only full-size layers.
bool ExportQvx::compressImage(QImage& image)
{
    compressedData.clear();
    if (image.width() <= 0 || image.height() <= 0)
        return true;
    const qint64 pixels = qint64(image.width()) * image.height();
    QvxRunEncoder runs(runBytes, pixels, pixels);
    // Rows without padding between them are searched as one stretch of pixels.
    const bool padded = image.bytesPerLine() != image.width();
    const int stretches = padded ? image.height() : 1;
    const qint64 stretchLength = padded ? image.width() : qint64(image.width()) * image.height();
    for (int stretch = 0; stretch < stretches; ++stretch) {
        const uchar* p = image.constScanLine(stretch);
        runs.addPixels(p, p + stretchLength);
    }
    compressedData.resize(runs.finish());
    std::memcpy(compressedData.data(), QvxRunEncoder::encoded(runBytes), size_t(compressedData.size()));
    return true;
}

int ExportQvx::modelNumber() const { return modelNumbers.value(machineName, 0); }

const PrinterModel* ExportQvx::printer() const { return PrinterModel::byNumber(modelNumber()); }

QString ExportQvx::machineNameText(const QByteArray& bytes) { return ::machineNameText(bytes); }

QStringList ExportQvx::rejectionReasons() const
{
    return MachineCheck(driver->header, machineName).rejectionReasons();
}
