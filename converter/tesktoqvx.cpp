#include "tesktoqvx.h"

#include "common/inputfile.h"
#include "exportqvx.h"
#include "format/bounds.h"
#include "format/sharedblocks.h"
#include "format/teskfront.h"
#include "format/tesklayerreader.h"
#include "format/tesklayertable.h"

#include <QFile>
#include <QImage>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>
#include <vector>

namespace {

// The input's preview pixels, as readPreviewPixels gives them.
struct PreviewPixels {
    QByteArray data;
    int width = 0;
    int height = 0;

    // Wraps `data` without copying it.
    QImage image() const
    {
        if (data.isEmpty())
            return QImage();
        return QImage(reinterpret_cast<const uchar*>(data.constData()), width, height, width * 3,
                      QImage::Format_RGB888);
    }
};

PreviewPixels readPreview(QFile& input, const TeskPreviewHead_t& head)
{
    PreviewPixels preview;
    preview.data = readPreviewPixels(input, input.size(), head);
    preview.width = head.width;
    preview.height = head.height;
    return preview;
}

// A layer's record as written, and what its decoding said.
struct WrittenLayer {
    QByteArray record;
    qint64 overflowAt;
};

// Blocks that entries not next to each other point at: only their records are
// worth keeping. Real tables have far fewer entries than are followed here; a
// damaged one's blocks past them are decoded for each entry.
constexpr int kMaxFollowedBlocks = 1 << 16;

QSet<BlockKey> blocksUsedAgain(TeskLayerTable& table, int layerCount)
{
    QHash<BlockKey, int> lastEntry;
    QSet<BlockKey> usedAgain;
    for (int j = 0; j < layerCount; ++j) {
        const BlockKey key = blockKey(table.entry(j));
        const auto it = lastEntry.find(key);
        if (it != lastEntry.end()) {
            if (it.value() < j - 1)
                usedAgain.insert(key);
            it.value() = j;
        } else if (lastEntry.size() < kMaxFollowedBlocks) {
            lastEntry.insert(key, j);
        }
    }
    return usedAgain;
}

} // namespace

void printConsoleLine(const QString& line)
{
    std::cout << line.toStdString() << std::endl;
}

TeskToQvx::TeskToQvx(const QString& inputPath, const QString& outputPath)
    : inputPath(inputPath)
    , outputPath(outputPath)
{
}

bool TeskToQvx::decodeLayerData(char* src, int srcLen, uchar* dst)
{
    const qint64 length = std::max(srcLen, 0);
    decodeLayerData(src, length, length, dst);
    return true;
}

qint64 TeskToQvx::decodeLayerData(const char* src, qint64 heldLen, qint64 declaredLen, uchar* dst)
{
    TeskLayerReader reader(src, heldLen, declaredLen, layerPixelCount());
    reader.decodeInto(dst);
    overflowAt = reader.overflowAt();
    return overflowAt;
}

// A layer read as runs needs no bitmap; one with a run every pixel or two is
// halved faster from a bitmap, sixteen pixels at a time. Both give the same bytes.
bool TeskToQvx::writeLayer(const QByteArray& data, qint64 declared, ExportQvx& writer, std::vector<uchar>& bitmap)
{
    if (writer.halvesFasterFromBitmap(declared, layerPixelCount())) {
        bitmap.resize(size_t(layerPixelCount()));
        decodeLayerData(data.constData(), data.size(), declared, bitmap.data());
        QImage layer(bitmap.data(), header.resolutionX, header.resolutionY, header.resolutionX,
                     QImage::Format_Grayscale8);
        return writer.writeLayerData(layer);
    }
    TeskLayerReader layer(data.constData(), data.size(), declared, layerPixelCount());
    const bool written = writer.writeLayerRuns(layer, header.resolutionX, header.resolutionY);
    overflowAt = layer.overflowAt();
    return written;
}

qint64 TeskToQvx::layerPixelCount() const
{
    return std::max<qint64>(qint64(header.resolutionX) * header.resolutionY, 0);
}

TeskPreviewHead_t TeskToQvx::readFront(QFile& input)
{
    TeskFront front;
    front.read(input, input.size());
    header = front.header;
    machineNameBytes = front.machineNameBytes;
    return front.previewHead;
}

// A buffer that cannot grow (the layer data, the encoded record) throws; the
// conversion then ends as failed, and unwinding discards the unfinished output.
int TeskToQvx::process()
{
    try {
        return convert();
    } catch (const std::bad_alloc&) {
        return WriteFailed;
    }
}

int TeskToQvx::convert()
{
    QFile input(inputPath);
    if (!input.exists())
        return InputMissing;
    // A pipe or a device cannot be read where the tables point: it is refused as unreadable.
    if (!openInputFile(input, QIODevice::ReadOnly | QIODevice::Unbuffered, nullptr))
        return InputUnreadable;
    const PreviewPixels preview = readPreview(input, readFront(input));

    ExportQvx writer(this);
    if (!writer.validate())
        return MachineRejected;
    if (layerTableIsMalformed(header, input.size()))
        return InputMalformed;
    if (!writer.openFile(outputPath))
        return OutputUnopenable;

    QImage previewImage = preview.image();
    printConsoleLine(QStringLiteral("progress:0"));
    if (!writer.writeFrontData(previewImage))
        return WriteFailed;
    printConsoleLine(QStringLiteral("progress:1"));
    if (!convertLayers(input, writer))
        return WriteFailed;
    // Closed first, so that the output may replace the input on Windows too,
    // where an open file cannot be renamed over.
    input.close();
    if (!writer.closeFile())
        return WriteFailed;
    printConsoleLine(QStringLiteral("progress:100"));
    printConsoleLine(QStringLiteral("info:done."));
    printConsoleLine(QStringLiteral("progress:0"));
    return Converted;
}

bool TeskToQvx::convertLayers(QFile& input, ExportQvx& writer)
{
    const int layerCount = header.layerCount;
    const qint64 fileSize = input.size();
    // Only the first set of the layer table is used, so only it is read.
    TeskLayerTable table(input, fileSize, header);
    const QSet<BlockKey> usedAgain = blocksUsedAgain(table, layerCount);
    SharedBlocks<BlockKey, WrittenLayer> written;
    const int progressStep = std::max(layerCount / 10, 1);
    QByteArray layerData;
    std::vector<uchar> denseBitmap;
    TeskDatHead_t previous{};
    for (int j = 0; j < layerCount; ++j) {
        const TeskDatHead_t entry = table.entry(j);
        const qint64 declared = std::max(entry.dataSize, 0);
        const BlockKey key = blockKey(entry);
        // Slicers point identical layers at one block: its record is written again.
        const bool repeated = j > 0 && key == blockKey(previous);
        previous = entry;
        // A kept record need not be the last one encoded, which writeLayerAgain writes.
        if (const WrittenLayer* kept = written.find(key)) {
            overflowAt = kept->overflowAt;
            if (!writer.writeLayerRecord(kept->record))
                return false;
        } else if (repeated) {
            if (!writer.writeLayerAgain())
                return false;
        } else {
            readHeld(input, fileSize, entry.dataPosition(), std::min(declared, bounds::kMaxLayerBytes), layerData);
            if (!writeLayer(layerData, declared, writer, denseBitmap))
                return false;
            if (usedAgain.contains(key) && written.fits(writer.lastLayerRecordSize()))
                written.keep(key, WrittenLayer{writer.lastLayerRecord(), overflowAt}, writer.lastLayerRecordSize());
        }
        if (layerOverflowAt() >= 0)
            printConsoleLine(QStringLiteral("Error!overflow..."));
        if (j > 0 && j % progressStep == 0)
            printConsoleLine(QString::asprintf("progress:%d", std::min(j / progressStep * 10, 100)));
    }
    return true;
}
