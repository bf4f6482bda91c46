#include "teskexaminer.h"

#include "analysis/printfigures.h"
#include "analysis/printwarnings.h"
#include "analysis/sharedislands.h"
#include "format/bounds.h"
#include "format/machinecheck.h"
#include "format/printermodel.h"
#include "format/sharedblocks.h"
#include "format/teskfront.h"
#include "format/tesklayerreader.h"
#include "format/tesklayertable.h"
#include "format/failure.h"

#include <QJsonArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr qint64 kHeaderSize = sizeof(TeskFileHead_t);
constexpr qint64 kTableEntrySize = sizeof(TeskDatHead_t);

QJsonArray pair(double a, double b)
{
    return QJsonArray{a, b};
}

} // namespace

TeskExaminer::TeskExaminer(const QString& path)
    : TeskExaminer(std::make_unique<QFile>(path), path)
{
}

TeskExaminer::TeskExaminer(std::unique_ptr<QFile> input, const QString& path)
    : SliceExaminer(std::move(input), path)
    , file(*this->input)
{
}

bool TeskExaminer::inspect(QString* error)
{
    if (!openInput(error))
        return false;
    fileSize = file.size();
    readFront();
    if (layerTableReadable())
        scanLayers();
    summarise();
    addParameters();
    addChecks();
    addPrintFigures();
    return true;
}

// Up to `size` bytes at `offset`, no more than the file holds there nor `limit`.
QByteArray TeskExaminer::readHeld(qint64 offset, qint64 size, qint64 limit)
{
    QByteArray bytes;
    ::readHeld(file, fileSize, offset, std::min(size, limit), bytes);
    return bytes;
}

void TeskExaminer::readFront()
{
    TeskFront front;
    front.read(file, fileSize);
    header = front.header;
    machineNameBytes = front.machineNameBytes;
    previewHead = front.previewHead;
}

// The converter refuses a table that cannot fit the file, so it is not read;
// nor is one of more layers than are examined.
bool TeskExaminer::layerTableReadable() const
{
    return !layerTableIsMalformed(header, fileSize) && header.layerCount <= bounds::kMaxExaminedLayers;
}

// Entries that point at one block share its scan; the islands of a pair of
// blocks are found once (SharedIslands).
void TeskExaminer::scanLayers()
{
    const TeskFileHead_t& h = header;
    TeskLayerTable layerTable(file, fileSize, h);
    SharedIslands islands(h.resolutionX, h.resolutionY);
    DarkSpaceFinder darkSpace(h.resolutionX, h.resolutionY,
                              DarkSpaceThresholds::forPrint(printSettings().pixelAreaMm2(), printSettings().layerHeightMm));
    QHash<BlockKey, int> firstReader;
    qint64 rereadBytes = 0;
    table.resize(h.layerCount);
    sameBlockAs.resize(h.layerCount);
    for (int j = 0; j < table.size(); ++j) {
        table[j] = layerTable.entry(j);
        auto first = firstReader.find(blockKey(table[j]));
        if (first == firstReader.end())
            first = firstReader.insert(blockKey(table[j]), j);
        else
            sharedBlocks.insert(first.value());
        const int block = sameBlockAs[j] = first.value();
        const int below = j > 0 ? sameBlockAs[j - 1] : -1;
        IslandFinder* finder = islands.begin(j, below, block, [&](IslandFinder& f) { scanBlock(below, &f); });
        // The dark space follows every layer: a block read again for it
        // counts against a budget, past which the dark space is not followed.
        const bool repeated = block == below;
        DarkSpaceFinder* dark = repeated || darkSpace.gaveUp() ? nullptr : &darkSpace;
        if (dark && block != j && (rereadBytes += qMax(table[j].dataSize, 0)) > bounds::kMaxRereadBytes) {
            darkSpace.giveUp(j);
            dark = nullptr;
        }
        if (block == j || finder || dark)
            scans.append(scanBlock(j, finder, dark));
        else
            scans.append(scans[block]);
        if (scans.last().readInPart)
            unreadLayers << QStringLiteral("layer %1: its %2-byte block is too large to examine").arg(j).arg(table[j].dataSize);
        sliceReport.layers.append(scans.last().stats);
        sliceReport.islands.add(islands.end());
        if (islands.gaveUp() && sliceReport.islands.notExaminedFrom < 0)
            sliceReport.islands.notExaminedFrom = j;
        if (repeated)
            darkSpace.repeatLayer(j);
        else
            darkSpace.endLayer(j);
    }
    sliceReport.darkSpace = darkSpace.finish();
    sliceReport.darkSpace.rereadBudgetSpent = rereadBytes > bounds::kMaxRereadBytes;
}

// Layer j's block, scanned; its lit runs handed to `islands` and `darkSpace`
// when given.
TeskLayerScan TeskExaminer::scanBlock(int j, IslandFinder* islands, DarkSpaceFinder* darkSpace)
{
    const qint64 declared = qMax(table[j].dataSize, 0);
    const QByteArray data = readHeld(table[j].dataPosition(), declared, bounds::kMaxLayerBytes);
    TeskLayerScan scan = TeskLayerScan::scan(data.constData(), data.size(), declared, header.resolutionX, pixelCount(), islands,
                                             darkSpace);
    scan.readInPart = data.size() == bounds::kMaxLayerBytes && declared > bounds::kMaxLayerBytes;
    return scan;
}

qint64 TeskExaminer::pixelCount() const
{
    return qMax<qint64>(qint64(header.resolutionX) * header.resolutionY, 0);
}

void TeskExaminer::summarise()
{
    const TeskFileHead_t& h = header;
    const MachineCheck machine(h, machineNameBytes);
    SliceReport& r = sliceReport;
    r.path = path;
    r.format = QStringLiteral("Tesk");
    r.addField(QStringLiteral("fileSize"), QStringLiteral("file size"), double(fileSize), QStringLiteral("bytes"));
    r.addField(QStringLiteral("machineName"), QStringLiteral("machine name"), machineNameText(machineNameBytes));
    r.addField(QStringLiteral("printerModel"), QStringLiteral("printer model"), machine.machineName());
    r.addField(QStringLiteral("modelNumber"), QStringLiteral("model number"), machine.modelNumber());
    r.addField(QStringLiteral("resolution"), QStringLiteral("resolution"), pair(h.resolutionX, h.resolutionY),
               QStringLiteral("pixels"));
    r.addField(QStringLiteral("plateSize"), QStringLiteral("plate size"),
               QJsonArray{floatValue(h.bedSizeX), floatValue(h.bedSizeY)}, QStringLiteral("mm"));
    r.addField(QStringLiteral("buildHeight"), QStringLiteral("build height"), floatValue(h.bedSizeZ), QStringLiteral("mm"));
    r.addField(QStringLiteral("layerCount"), QStringLiteral("layers"), h.layerCount);
    r.addField(QStringLiteral("layerSetCount"), QStringLiteral("layer sets"), h.layerSetCount);
    r.addField(QStringLiteral("previewSize"), QStringLiteral("preview"), pair(previewHead.width, previewHead.height),
               QStringLiteral("pixels"));
}

// The build height is the named printer's, or the file's for a printer that
// the converter does not know.
PrintSettings TeskExaminer::printSettings()
{
    const TeskFileHead_t& h = header;
    PrintSettings p;
    p.layerCount = qMax(h.layerCount, 0);
    p.layerHeightMm = h.layerHeight;
    p.bottomLayerCount = h.bottomLayerCount;
    p.exposureSeconds = h.exposureTime;
    p.bottomExposureSeconds = h.bottomExposureTime;
    p.lightOffDelaySeconds = h.lightOffDelay;
    const PrinterModel* model = MachineCheck(h, machineNameBytes).model();
    p.buildHeightMm = model ? model->buildHeightMm() : h.bedSizeZ;
    if (h.resolutionX > 0 && h.resolutionY > 0) {
        p.pixelWidthMm = double(h.bedSizeX) / h.resolutionX;
        p.pixelHeightMm = double(h.bedSizeY) / h.resolutionY;
    }
    return p;
}

void TeskExaminer::addPrintFigures()
{
    SliceReport& r = sliceReport;
    SliceExaminer::addPrintFigures(printSettings());
    const QVector<int> notHeld = layersNotHeld();
    if (!notHeld.isEmpty())
        r.warnings.append(PrintWarnings::missingData(notHeld));
}

QVector<int> TeskExaminer::layersNotHeld() const
{
    QVector<int> layers;
    for (int j = 0; j < table.size(); ++j) {
        if (!layerBlockProblem(j).isEmpty())
            layers.append(j);
    }
    return layers;
}

QString TeskExaminer::layerBlockProblem(int layer) const
{
    return blockProblem(QStringLiteral("layer %1").arg(layer), table[layer].dataPosition(), table[layer].dataSize);
}

void TeskExaminer::addParameters()
{
    const TeskFileHead_t& h = header;
    SliceReport& r = sliceReport;
    const QString mm = QStringLiteral("mm"), s = QStringLiteral("s");
    r.addParameter(QStringLiteral("layerHeight"), QStringLiteral("layer height"), floatValue(h.layerHeight), mm);
    r.addParameter(QStringLiteral("exposureTime"), QStringLiteral("exposure time"), floatValue(h.exposureTime), s);
    r.addParameter(QStringLiteral("bottomExposureTime"), QStringLiteral("bottom exposure time"),
                   floatValue(h.bottomExposureTime), s);
    r.addParameter(QStringLiteral("bottomLayerCount"), QStringLiteral("bottom layers"), h.bottomLayerCount,
                   QStringLiteral("layers"));
    r.addParameter(QStringLiteral("lightOffDelay"), QStringLiteral("light-off delay"), floatValue(h.lightOffDelay), s);
    const float passedOn[] = {h.param140, h.param144, h.param148, h.param152};
    for (int k = 0; k < 4; ++k) {
        const int offset = 140 + 4 * k;
        r.addParameter(QStringLiteral("byte%1").arg(offset), QStringLiteral("value at byte %1").arg(offset),
                       floatValue(passedOn[k]), QString());
    }
}

void TeskExaminer::addChecks()
{
    SliceReport& r = sliceReport;
    r.addCheck(QStringLiteral("header and resolution"), headerProblems());
    r.addCheck(QStringLiteral("machine name inside the file"), machineNameProblems());
    r.addCheck(QStringLiteral("preview inside the file"), previewProblems());
    r.addCheck(QStringLiteral("layer table inside the file"), layerTableProblems());
    r.addCheck(QStringLiteral("layer data inside the file"), layerBlockProblems());
    r.addCheck(QStringLiteral("layer streams fill their bitmaps exactly"), layerStreamProblems());
    r.addCheck(QStringLiteral("tesktoqvx accepts it"), acceptanceProblems());
}

QString TeskExaminer::blockProblem(const QString& what, qint64 offset, qint64 size) const
{
    if (offset < 0 || size < 0)
        return QStringLiteral("%1 has offset %2 and size %3").arg(what).arg(offset).arg(size);
    if (offset + size > fileSize)
        return QStringLiteral("%1 (bytes %2 to %3) ends past the end of the %4-byte file")
            .arg(what)
            .arg(offset)
            .arg(offset + size - 1)
            .arg(fileSize);
    return QString();
}

QStringList TeskExaminer::headerProblems() const
{
    QStringList problems;
    if (fileSize < kHeaderSize)
        problems << QStringLiteral("the file has %1 bytes, fewer than the %2-byte header").arg(fileSize).arg(kHeaderSize);
    if (header.resolutionX <= 0 || header.resolutionY <= 0)
        problems << QStringLiteral("the resolution %1 x %2 has no pixels")
                        .arg(header.resolutionX)
                        .arg(header.resolutionY);
    return problems;
}

QStringList TeskExaminer::machineNameProblems() const
{
    const TeskFileHead_t& h = header;
    QStringList problems{blockProblem(QStringLiteral("the machine-name block"), h.machineNameOffset, h.machineNameLength)};
    if (machineNameText(machineNameBytes).isEmpty())
        problems << QStringLiteral("the machine name is empty");
    problems.removeAll(QString());
    return problems;
}

QStringList TeskExaminer::previewProblems() const
{
    QStringList problems{blockProblem(QStringLiteral("the preview descriptor"), header.previewOffset,
                                      sizeof previewHead),
                         blockProblem(QStringLiteral("the preview data"), previewHead.dataOffset, previewHead.dataSize)};
    if (previewHead.width <= 0 || previewHead.height <= 0)
        problems << QStringLiteral("the preview is %1 x %2 pixels").arg(previewHead.width).arg(previewHead.height);
    else if (previewDataSize() != quint64(previewHead.dataSize))
        problems << QStringLiteral("the preview data has %1 bytes, %2 x %3 pixels need %4")
                        .arg(previewHead.dataSize)
                        .arg(previewHead.width)
                        .arg(previewHead.height)
                        .arg(previewDataSize());
    problems.removeAll(QString());
    return problems;
}

QStringList TeskExaminer::layerTableProblems() const
{
    const TeskFileHead_t& h = header;
    if (h.layerCount < 0)
        return {QStringLiteral("the layer count %1 is negative").arg(h.layerCount)};
    if (h.layerCount > 0 && h.layerSetCount < 1)
        return {QStringLiteral("%1 layers in %2 layer sets").arg(h.layerCount).arg(h.layerSetCount)};
    if (h.layerCount > bounds::kMaxExaminedLayers)
        return {QStringLiteral("%1 layers are more than sliceinfo examines (%2); the layers were not read")
                    .arg(h.layerCount)
                    .arg(bounds::kMaxExaminedLayers)};
    // Capped below the 64-bit range: still far past the end of any file.
    const qint64 entries = std::min(qint64(h.layerCount) * std::max(h.layerSetCount, 0), qint64(1) << 56);
    const qint64 size = entries * kTableEntrySize;
    QStringList problems{blockProblem(QStringLiteral("the layer table"), h.layerTableOffset, size)};
    problems.removeAll(QString());
    return problems;
}

QStringList TeskExaminer::layerBlockProblems() const
{
    QStringList problems;
    for (int j : layersNotHeld())
        problems << layerBlockProblem(j);
    return problems + unreadLayers;
}

QStringList TeskExaminer::layerStreamProblems() const
{
    const QString bitmap = QStringLiteral("the %1 x %2 bitmap").arg(header.resolutionX).arg(header.resolutionY);
    QStringList problems;
    for (int j = 0; j < scans.size(); ++j) {
        const TeskLayerScan& s = scans[j];
        if (s.overflows())
            problems << QStringLiteral("layer %1 overflows %2 at byte %3").arg(j).arg(bitmap).arg(s.overflowAt);
        else if (s.fallsShort())
            problems << QStringLiteral("layer %1 fills %2 of the %3 pixels of %4")
                            .arg(j)
                            .arg(s.pixelsWritten)
                            .arg(s.stats.pixels)
                            .arg(bitmap);
        if (s.cutShortAt >= 0)
            problems << QStringLiteral("layer %1: the run at byte %2 is cut short by the end of its data").arg(j).arg(s.cutShortAt);
    }
    return problems;
}

// The converter's checks, in its order: the machine check, then the table.
QStringList TeskExaminer::acceptanceProblems()
{
    QStringList problems = MachineCheck(header, machineNameBytes).rejectionReasons();
    if (!problems.isEmpty())
        return problems;
    if (layerTableIsMalformed(header, fileSize))
        problems << QStringLiteral("the layer table of %1 entries in %2 sets cannot fit the %3-byte file")
                        .arg(header.layerCount)
                        .arg(header.layerSetCount)
                        .arg(fileSize);
    return problems;
}

// Bytes of pixel data the preview's size needs (0 for no preview); unsigned,
// since 3 x a product of two 31-bit numbers can pass the signed 64-bit range.
quint64 TeskExaminer::previewDataSize() const
{
    if (previewHead.width <= 0 || previewHead.height <= 0)
        return 0;
    return quint64(previewHead.width) * quint64(previewHead.height) * 3;
}

QImage TeskExaminer::preview()
{
    const QByteArray data = readPreviewPixels(file, fileSize, previewHead);
    if (data.isEmpty())
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(data.constData()), previewHead.width, previewHead.height,
                  previewHead.width * 3, QImage::Format_RGB888)
        .copy();
}

QImage TeskExaminer::layerImage(int layer)
{
    if (layer < 0 || layer >= scans.size() || pixelCount() == 0 || pixelCount() > bounds::kMaxLayerPixels)
        return QImage();
    const qint64 length = scans[layer].decodableLength;
    const QByteArray data = readHeld(table[layer].dataPosition(), length, bounds::kMaxLayerBytes);
    QImage image(header.resolutionX, header.resolutionY, QImage::Format_Grayscale8);
    std::vector<uchar> bitmap(static_cast<size_t>(pixelCount()));
    // Cut before the overflowing token, so the decoder has nothing to report.
    TeskLayerReader(data.constData(), data.size(), length, pixelCount()).decodeInto(bitmap.data());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.data() + qint64(y) * image.width(), size_t(image.width()));
    return image;
}

bool TeskExaminer::readRuns(int layer, const RunSink& sink)
{
    if (layer < 0 || layer >= scans.size() || pixelCount() == 0)
        return false;
    const qint64 length = scans[layer].decodableLength;
    const QByteArray data = readHeld(table[layer].dataPosition(), length, bounds::kMaxLayerBytes);
    TeskLayerReader reader(data.constData(), data.size(), length, pixelCount());
    reader.readRuns(sink);
    return true;
}
