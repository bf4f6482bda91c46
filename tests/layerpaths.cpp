#include "layerpaths.h"

#include "exportqvx.h"
#include "format/tesklayerreader.h"

#include <QBuffer>

#include <algorithm>
#include <vector>

namespace {

// The record that `writeLayer` puts on a fresh writer's stream.
template <typename Write>
QByteArray recordOf(TeskToQvx& driver, bool& written, Write writeLayer)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ExportQvx writer(&driver);
    writer.stream.setDevice(&buffer);
    writer.stream.setByteOrder(QDataStream::LittleEndian);
    written = writeLayer(writer);
    return buffer.data();
}

} // namespace

LayerPaths::LayerPaths(const char* machineName, int width, int height)
    : driver(QString(), QString())
{
    driver.machineNameBytes = machineName;
    driver.header.resolutionX = width;
    driver.header.resolutionY = height;
}

LayerRecord LayerPaths::viaBitmap(const QByteArray& held, qint64 declared)
{
    std::vector<uchar> bitmap(size_t(driver.layerPixelCount()), 0xAB);
    const qint64 overflowAt = driver.decodeLayerData(held.constData(), held.size(), declared, bitmap.data());
    return recordOfBitmap(bitmap, overflowAt);
}

// Token by token, as plainly as it can be written: the bytes past the held
// ones are zeros, a run whose length bytes lie past the declared ones ends the
// layer, and a token that would write past the bitmap is an overflow.
LayerRecord LayerPaths::viaPlainDecoding(const QByteArray& held, qint64 declared)
{
    const qint64 pixels = driver.layerPixelCount();
    std::vector<uchar> bitmap(size_t(pixels), 0);
    const auto byte = [&](qint64 i) { return i < held.size() ? uchar(held[int(i)]) : uchar(0); };
    qint64 overflowAt = -1;
    qint64 o = 0;
    for (qint64 i = 0; i < declared;) {
        const uchar head = byte(i);
        qint64 length = 1;
        int size = 1;
        if (head >= 0x80) {
            const int further = byte(i + 1) >> 6;
            size = 2 + further;
            if (i + size > declared)
                break;
            length = byte(i + 1) & 0x3F;
            for (int k = 0; k < further; ++k)
                length = length * 256 + byte(i + 2 + k);
        }
        if (length > pixels - o) {
            overflowAt = i;
            break;
        }
        std::fill_n(bitmap.begin() + o, length, uchar((head & 0x7F) * 2));
        o += length;
        i += size;
    }
    return recordOfBitmap(bitmap, overflowAt);
}

LayerRecord LayerPaths::recordOfBitmap(std::vector<uchar>& bitmap, qint64 overflowAt)
{
    LayerRecord r;
    r.overflowAt = overflowAt;
    QImage layer(bitmap.data(), driver.header.resolutionX, driver.header.resolutionY, driver.header.resolutionX,
                 QImage::Format_Grayscale8);
    r.bytes = recordOf(driver, r.written, [&](ExportQvx& writer) { return writer.writeLayerData(layer); });
    return r;
}

LayerRecord LayerPaths::viaRuns(const QByteArray& held, qint64 declared)
{
    TeskLayerReader reader(held.constData(), held.size(), declared, driver.layerPixelCount());
    LayerRecord r;
    r.bytes = recordOf(driver, r.written, [&](ExportQvx& writer) {
        return writer.writeLayerRuns(reader, driver.header.resolutionX, driver.header.resolutionY);
    });
    r.overflowAt = reader.overflowAt();
    return r;
}
