#include "qvxexaminer.h"

#include "analysis/layerfinders.h"
#include "analysis/litspans.h"
#include "format/qvxrundecoder.h"
#include "analysis/printfigures.h"
#include "analysis/printwarnings.h"
#include "common/inputfile.h"
#include "format/bounds.h"
#include "format/printermodel.h"
#include "format/failure.h"

#include <QJsonArray>

#include <cmath>
#include <cstring>

namespace {

// Class k is drawn as grey kGreyStep * k: class 0 black, class 15 white.
constexpr int kGreyStep = 17;
constexpr int kFullClass = 15;
constexpr double kMsPerSecond = 1000.0;
constexpr double kUmPerMm = 1000.0;

QString modelName(int modelNumber)
{
    const PrinterModel* model = PrinterModel::byNumber(modelNumber);
    return model ? model->names() : QStringLiteral("unknown");
}

} // namespace

QvxExaminer::QvxExaminer(const QString& path)
    : QvxExaminer(std::make_unique<QFile>(path), path)
{
}

QvxExaminer::QvxExaminer(std::unique_ptr<QFile> input, const QString& path)
    : SliceExaminer(std::move(input), path)
{
}

// The file is read once and closed; its records are read where they lie in
// the bytes held.
bool QvxExaminer::inspect(QString* error)
{
    if (!openInput(error))
        return false;
    QByteArray bytes;
    QString why;
    if (!readWholeInput(*input, bounds::kMaxQvxFileBytes, &bytes, &why))
        return fail(error, QStringLiteral("cannot examine %1 as a qvx file: %2").arg(path, why));
    input->close();
    inspectBytes(bytes);
    return true;
}

void QvxExaminer::inspectBytes(const QByteArray& bytes)
{
    reader.maxKeptRecords = bounds::kMaxExaminedLayers;
    QString layoutProblem;
    reader.parse(bytes, &layoutProblem);
    const QStringList runs = scanLayers();
    summarise(bytes.size());
    addParameters();
    addChecks(layoutProblem, runs);
    addPrintFigures(printSettings());
}

// The printer's build height and pixel size are those of the model, as the
// converter knows it, or what the file says for a model it does not know.
PrintSettings QvxExaminer::printSettings() const
{
    const float* slot = reader.parameters;
    const PrinterModel* model = PrinterModel::byNumber(reader.modelNumber);
    PrintSettings p;
    p.layerCount = reader.layerCount;
    p.layerHeightMm = slot[qvx::kLayerHeight];
    p.bottomLayerCount =
        p.layerHeightMm > 0 ? int(qBound(0.0, std::round(slot[qvx::kBottomHeight] / p.layerHeightMm), 1e9)) : 0;
    p.exposureSeconds = slot[qvx::kExposureTime] / kMsPerSecond;
    p.bottomExposureSeconds = slot[qvx::kBottomExposureTime] / kMsPerSecond;
    p.lightOffDelaySeconds = slot[qvx::kLightOffDelay] / kMsPerSecond;
    p.buildHeightMm = model ? model->buildHeightMm() : slot[qvx::kBuildHeight];
    p.pixelWidthMm = model ? model->pixelPitchUm / kUmPerMm : 1.0 / slot[qvx::kPixelsPerMmX];
    p.pixelHeightMm = model ? model->pixelPitchUm / kUmPerMm : 1.0 / slot[qvx::kPixelsPerMmY];
    return p;
}

void QvxExaminer::summarise(qint64 fileSize)
{
    const QSize grid = QvxReader::layerSize(reader.modelNumber);
    SliceReport& r = sliceReport;
    r.path = path;
    r.format = QStringLiteral("qvx");
    r.addField(QStringLiteral("fileSize"), QStringLiteral("file size"), double(fileSize), QStringLiteral("bytes"));
    r.addField(QStringLiteral("modelNumber"), QStringLiteral("model number"), reader.modelNumber);
    r.addField(QStringLiteral("printerModel"), QStringLiteral("printer model"), modelName(reader.modelNumber));
    r.addField(QStringLiteral("layerSize"), QStringLiteral("layer size"), QJsonArray{grid.width(), grid.height()},
               QStringLiteral("pixels"));
    r.addField(QStringLiteral("layerCount"), QStringLiteral("layers"), reader.layerCount);
    r.addField(QStringLiteral("previewSize"), QStringLiteral("preview"),
               QJsonArray{reader.previewWidth, reader.previewHeight}, QStringLiteral("pixels"));
}

void QvxExaminer::addParameters()
{
    for (int slot = 0; slot < qvx::kParameterCount; ++slot) {
        const qvx::SlotMeaning* m = qvx::meaningOf(slot);
        const QString key = m ? QLatin1String(m->key) : QStringLiteral("slot%1").arg(slot);
        const QString label = m ? QStringLiteral("%1 (slot %2)").arg(QLatin1String(m->label)).arg(slot)
                                : QStringLiteral("slot %1").arg(slot);
        sliceReport.addParameter(key, label, floatValue(reader.parameters[slot]), m ? QLatin1String(m->unit) : QString());
    }
}

void QvxExaminer::addChecks(const QString& layoutProblem, const QStringList& runProblems)
{
    SliceReport& r = sliceReport;
    r.addCheck(QStringLiteral("file layout (header, preview, layer records)"),
               layoutProblem.isEmpty() ? QStringList() : QStringList{layoutProblem});
    const bool known = QvxReader::layerSize(reader.modelNumber).isValid();
    r.addCheck(QStringLiteral("known printer model"),
               known ? QStringList() : QStringList{QStringLiteral("model number %1 is neither %2")
                                                  .arg(reader.modelNumber)
                                                  .arg(PrinterModel::numbers().join(QLatin1String(" nor ")))});
    r.addCheck(QStringLiteral("layer runs cover the printer's grid exactly"), runProblems);
}

// Gathers the statistics of every layer of a known model; the problems of
// runs that do not cover its grid.
QStringList QvxExaminer::scanLayers()
{
    const QSize grid = QvxReader::layerSize(reader.modelNumber);
    if (!grid.isValid())
        return {};
    if (reader.layerCount > bounds::kMaxExaminedLayers)
        return {QStringLiteral("%1 layers are more than sliceinfo examines (%2); the layers were not read")
                    .arg(reader.layerCount)
                    .arg(bounds::kMaxExaminedLayers)};
    const qint64 pixels = qint64(grid.width()) * grid.height();
    LayerFinders finders(grid, printSettings());
    QStringList problems;
    for (int j = 0; j < reader.layerRecords.size(); ++j) {
        LayerStats stats(grid.width(), pixels, kFullClass);
        stats.encodedBytes = reader.layerRecords[j].size();
        QString error;
        bool walked = false;
        LitSpans(stats, &finders.islands, &finders.darkSpace, grid.width()).gather([&](auto&& sink) {
            walked = QvxRunDecoder::walk(reader.layerRecords[j], pixels, sink, &error);
        });
        if (!walked)
            problems << QStringLiteral("layer %1: %2").arg(j).arg(error);
        sliceReport.layers.append(stats);
        finders.endLayer(j, sliceReport);
    }
    finders.finish(sliceReport);
    return problems;
}

QImage QvxExaminer::preview()
{
    if (reader.previewPixels.isEmpty())
        return QImage();
    QImage image(reader.previewWidth, reader.previewHeight, QImage::Format_RGB16);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), reader.previewPixels.constData() + qint64(y) * image.width(),
                    size_t(image.width()) * 2);
    return image;
}

QImage QvxExaminer::layerImage(int layer)
{
    const QSize grid = QvxReader::layerSize(reader.modelNumber);
    if (!grid.isValid() || layer < 0 || layer >= reader.layerRecords.size())
        return QImage();
    QByteArray classes;
    QString error;
    // A damaged record is drawn as far as its runs go.
    QvxRunDecoder::decode(reader.layerRecords[layer], qint64(grid.width()) * grid.height(), &classes, &error);
    QImage image(grid, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        const char* row = classes.constData() + qint64(y) * image.width();
        for (int x = 0; x < image.width(); ++x)
            line[x] = uchar(kGreyStep * row[x]);
    }
    return image;
}

bool QvxExaminer::readRuns(int layer, const RunSink& sink)
{
    const QSize grid = layerSize();
    if (!grid.isValid() || layer < 0 || layer >= reader.layerRecords.size())
        return false;
    QString error;
    // A damaged record is read as far as its runs go.
    QvxRunDecoder::walk(
        reader.layerRecords[layer], qint64(grid.width()) * grid.height(),
        [&sink](int cls, qint64 length) { sink(kGreyStep * cls, length); }, &error);
    return true;
}
