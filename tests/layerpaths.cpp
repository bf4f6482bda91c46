#include "layerpaths.h"

#include "exportqvx.h"
#include "tesklayerreader.h"

#include <QBuffer>

#include <iostream>
#include <sstream>
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
    LayerRecord r;
    std::ostringstream printed;
    std::streambuf* const console = std::cout.rdbuf(printed.rdbuf());
    driver.decodeLayerData(held.constData(), held.size(), declared, bitmap.data());
    std::cout.rdbuf(console);
    r.printed = printed.str();
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
    r.printed = reader.overflowed() ? "Error!overflow...\n" : "";
    return r;
}
