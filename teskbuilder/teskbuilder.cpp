#include "teskbuilder.h"

#include "format/printermodel.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

QByteArray teskRunToken(int grey7, quint32 length, int lengthBytes)
{
    if (lengthBytes == 0)
        lengthBytes = length < (1u << 6) ? 1 : length < (1u << 14) ? 2 : length < (1u << 22) ? 3 : 4;
    QByteArray token;
    token.append(char(0x80 | (grey7 & 0x7F)));
    for (int i = lengthBytes - 1; i >= 0; --i) {
        uchar byte = uchar(length >> (8 * i));
        if (i == lengthBytes - 1)
            byte = uchar((byte & 0x3F) | ((lengthBytes - 1) << 6));
        token.append(char(byte));
    }
    return token;
}

static void appendRun(QByteArray& out, int grey7, quint32 length, TokenForm form)
{
    if (form == TokenForm::ZeroRuns)
        out += teskRunToken(grey7, 0);
    if (form == TokenForm::SinglePixels || (form != TokenForm::LongLengths && length == 1)) {
        out.append(QByteArray(int(length), char(grey7)));
        return;
    }
    out += teskRunToken(grey7, length, form == TokenForm::LongLengths ? 4 : 0);
}

QByteArray encodeTeskLayer(const uchar* bitmap, qint64 size, TokenForm form)
{
    QByteArray out;
    qint64 i = 0;
    while (i < size) {
        const int grey7 = bitmap[i] >> 1;
        qint64 end = i + 1;
        while (end < size && (bitmap[end] >> 1) == grey7 && end - i < 0x3FFFFFFF)
            ++end;
        appendRun(out, grey7, quint32(end - i), form);
        i = end;
    }
    return out;
}

QByteArray encodeTeskLayer(const QByteArray& bitmap, TokenForm form)
{
    return encodeTeskLayer(reinterpret_cast<const uchar*>(bitmap.constData()), bitmap.size(), form);
}

TeskBuilder::TeskBuilder()
{
    header.layerHeight = 0.05f;
    header.exposureTime = 8.0f;
    header.bottomExposureTime = 60.0f;
    header.bottomLayerCount = 6;
    header.lightOffDelay = 1.5f;
    header.param140 = 5.0f;
    header.param144 = 48.0f;
    header.param148 = 2.0f;
    header.param152 = 600.0f;
}

const PrinterModel& printerModel(const char* name)
{
    const PrinterModel* model = PrinterModel::byName(QLatin1String(name));
    if (!model)
        qFatal("no printer model %s", name);
    return *model;
}

TeskBuilder::TeskBuilder(const PrinterModel& printer)
    : TeskBuilder()
{
    machineName = printer.name;
    header.resolutionX = printer.slicerWidth;
    header.resolutionY = printer.slicerHeight;
    // A micrometre count over 1000 in single precision is the float nearest to
    // the millimetres, as a slicer writes them.
    header.bedSizeX = float(printer.plateShortUm) / 1000.0f;
    header.bedSizeY = float(printer.plateLongUm) / 1000.0f;
    header.bedSizeZ = printer.buildHeightMm();
}

void TeskBuilder::addLayer(const QByteArray& bitmap, TokenForm form)
{
    layerStreams.append(encodeTeskLayer(bitmap, form));
}

void TeskBuilder::addLayerStream(const QByteArray& stream)
{
    layerStreams.append(stream);
}

void TeskBuilder::setPreview(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    previewWidth = rgb.width();
    previewHeight = rgb.height();
    previewPixels.clear();
    for (int y = 0; y < rgb.height(); ++y)
        previewPixels.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
}

template <typename T>
static QByteArray recordBytes(const T& record)
{
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof record);
}

QByteArray TeskBuilder::build()
{
    const int layerCount = layerStreams.size();
    const int tableSize = layerCount * layerSetCount * int(sizeof(TeskDatHead_t));
    qint64 layerDataSize = 0;
    for (const QByteArray& s : layerStreams)
        layerDataSize += s.size();
    const qint64 sizes[] = {machineName.size(), qint64(sizeof(TeskPreviewHead_t)), previewPixels.size(),
                            tableSize, layerDataSize};

    // First pass: place the blocks.
    qint64 offsets[5] = {};
    qint64 pos = sizeof(TeskFileHead_t);
    for (Block b : order) {
        pos += gapBetweenBlocks;
        offsets[b] = pos;
        pos += sizes[b];
    }

    header.machineNameOffset = qint32(offsets[MachineName]);
    header.machineNameLength = machineName.size();
    header.previewOffset = qint32(offsets[PreviewHead]);
    header.layerTableOffset = qint32(offsets[LayerTable]);
    header.layerCount = layerCount;
    header.layerSetCount = layerSetCount;

    TeskPreviewHead_t preview{};
    preview.width = previewWidth;
    preview.height = previewHeight;
    preview.dataOffset = qint32(offsets[PreviewData]);
    preview.dataSize = previewPixels.size();

    QByteArray table;
    QByteArray layerData;
    for (int set = 0; set < layerSetCount; ++set) {
        qint64 dataPos = offsets[LayerData];
        for (const QByteArray& s : layerStreams) {
            TeskDatHead_t entry{};
            entry.dataOffset = quint32(dataPos);
            entry.dataOffsetHigh = quint32(quint64(dataPos) >> 32);
            entry.dataSize = s.size();
            // Mark the sets apart, so a reader that used a later set would be seen.
            entry.unused0[0] = quint32(set);
            table += recordBytes(entry);
            dataPos += s.size();
        }
    }
    for (const QByteArray& s : layerStreams)
        layerData += s;

    const QByteArray blocks[] = {machineName, recordBytes(preview), previewPixels, table, layerData};
    QByteArray file = recordBytes(header);
    for (Block b : order) {
        file.append(QByteArray(gapBetweenBlocks, char(0xEE)));
        file += blocks[b];
    }
    return file;
}

bool TeskBuilder::writeTo(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = build();
    return f.write(bytes) == bytes.size() && f.flush();
}

bool TeskBuilder::writeStreamingTo(const QString& path, int layerCount,
                                   const std::function<QByteArray(int)>& layerStream)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const qint64 previewOffset = sizeof(TeskFileHead_t) + machineName.size();
    const qint64 previewDataOffset = previewOffset + qint64(sizeof(TeskPreviewHead_t));
    const qint64 tableOffset = previewDataOffset + previewPixels.size();
    const qint64 tableSize = qint64(layerCount) * layerSetCount * qint64(sizeof(TeskDatHead_t));

    header.machineNameOffset = qint32(sizeof(TeskFileHead_t));
    header.machineNameLength = machineName.size();
    header.previewOffset = qint32(previewOffset);
    header.layerTableOffset = qint32(tableOffset);
    header.layerCount = layerCount;
    header.layerSetCount = layerSetCount;

    TeskPreviewHead_t preview{};
    preview.width = previewWidth;
    preview.height = previewHeight;
    preview.dataOffset = qint32(previewDataOffset);
    preview.dataSize = previewPixels.size();

    const QByteArray front = recordBytes(header) + machineName + recordBytes(preview) + previewPixels;
    if (f.write(front) != front.size() || !f.seek(tableOffset + tableSize))
        return false;

    // The layers go first; the table, which needs their sizes, fills the gap left for it.
    QVector<TeskDatHead_t> entries(layerCount);
    qint64 dataPos = tableOffset + tableSize;
    for (int i = 0; i < layerCount; ++i) {
        const QByteArray stream = layerStream(i);
        if (f.write(stream) != stream.size())
            return false;
        entries[i].dataOffset = quint32(dataPos);
        entries[i].dataOffsetHigh = quint32(quint64(dataPos) >> 32);
        entries[i].dataSize = stream.size();
        dataPos += stream.size();
    }

    QByteArray table;
    for (int set = 0; set < layerSetCount; ++set) {
        for (TeskDatHead_t entry : entries) {
            entry.unused0[0] = quint32(set);
            table += recordBytes(entry);
        }
    }
    return f.seek(tableOffset) && f.write(table) == table.size() && f.flush();
}

bool writeAt(const QString& path, qint64 offset, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    return f.seek(offset) && f.write(bytes) == bytes.size() && f.flush();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray buildSharingBlocks(TeskBuilder builder, const std::vector<int>& pattern)
{
    const int blocks = builder.layerStreams.size();
    while (size_t(builder.layerStreams.size()) < pattern.size())
        builder.addLayerStream(QByteArray());
    QByteArray file = builder.build();
    const int table = builder.header.layerTableOffset;
    const int entrySize = int(sizeof(TeskDatHead_t));
    const QByteArray own = file.mid(table, entrySize * blocks);
    for (size_t j = 0; j < pattern.size(); ++j)
        file.replace(table + entrySize * int(j), entrySize, own.mid(entrySize * pattern[j], entrySize));
    return file;
}
