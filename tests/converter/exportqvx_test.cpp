#include "exportqvx.h"
#include "teskbuilder.h"
#include "tesktoqvx.h"

#include <QColor>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr int kFirstRecord = 180 + 2 * 120 * 150;

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

void setInput(TeskToQvx& driver, const PrinterModel& geometry, const QByteArray& name)
{
    driver.header = TeskBuilder(geometry).header;
    driver.machineNameBytes = name;
}

QImage filledPreview(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// The row padding holds 0xE7, so reading it would show up as a stray run.
QImage greyImage(int width, int height, const std::function<uchar(int, int)>& pixel)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        std::memset(image.scanLine(y), 0xE7, size_t(image.bytesPerLine()));
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = pixel(x, y);
    }
    return image;
}

// Pixel i in raster order is pattern[i % size].
QImage greyImage(int width, int height, const QByteArray& pattern)
{
    return greyImage(width, height, [&](int x, int y) {
        return uchar(pattern[int((qint64(y) * width + x) % pattern.size())]);
    });
}

// Runs through the whole writer and returns the file it wrote.
QByteArray convert(TeskToQvx& driver, QImage preview, QVector<QImage> layers = {})
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.qvx");
    ExportQvx writer(&driver);
    EXPECT_TRUE(writer.validate());
    EXPECT_TRUE(writer.openFile(path));
    writer.writeFrontData(preview);
    for (QImage& layer : layers)
        EXPECT_TRUE(writer.writeLayerData(layer));
    writer.closeFile();
    return readFile(path);
}

// Grey classes of the pixels an encoded layer stands for: a run ends where the
// high nibble changes, and its low nibbles are the hex digits of its length.
QByteArray decodeRuns(const QByteArray& runs)
{
    QByteArray pixels;
    for (int i = 0; i < runs.size();) {
        const uchar grey = uchar(runs[i]) & 0xF0;
        int count = 0;
        for (; i < runs.size() && (uchar(runs[i]) & 0xF0) == grey; ++i)
            count = count * 16 + (uchar(runs[i]) & 0x0F);
        pixels.append(count, char(grey));
    }
    return pixels;
}

// The encoding pixel by pixel, as plainly as it can be written.
QByteArray runsPixelByPixel(const QImage& image)
{
    QByteArray runs;
    uchar current = image.constScanLine(0)[0] & 0xF0;
    quint32 count = 0;
    auto writeRun = [&] {
        QByteArray digits;
        for (quint32 n = count; n != 0; n /= 16)
            digits.prepend(char(current | (n % 16)));
        runs += digits;
    };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const uchar grey = image.constScanLine(y)[x] & 0xF0;
            if (grey != current) {
                writeRun();
                current = grey;
                count = 0;
            }
            ++count;
        }
    }
    writeRun();
    return runs;
}

QByteArray compressed(const QImage& image)
{
    TeskToQvx driver("", "");
    ExportQvx writer(&driver);
    QImage copy = image;
    EXPECT_TRUE(writer.compressImage(copy));
    return QByteArray(reinterpret_cast<const char*>(writer.compressedData.constData()), writer.compressedData.size());
}

// Runs of random classes (and random low nibbles inside a class), with lengths
// drawn up to maxRun.
QImage randomRuns(int width, int height, int maxRun, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray pixels;
    while (pixels.size() < width * height) {
        const int grey = int(random() % 16) * 16;
        const int length = 1 + int(random() % unsigned(maxRun));
        for (int k = 0; k < length; ++k)
            pixels.append(char(grey | int(random() % 16)));
    }
    pixels.truncate(width * height);
    return greyImage(width, height, pixels);
}

TEST(ExportQvxName, ChoosesModelFromTextBeforeFirstZero)
{
    const struct { QByteArray bytes; const char* name; } cases[] = {
        {"Vireld10", "Vireld10"},
        {"Vireld300", "Vireld30"},
        {"Vireld1099", "Vireld10"},
        {"Vireld30 Vireld10", "Vireld10"}, // Vireld10 wins wherever it is
        {QByteArray("Vireld30\0Vireld10", 17), "Vireld30"},
        {QByteArray("Vireld10\0\xff\xfe", 11), "Vireld10"},
        {QByteArray("\0Vireld10", 9), ""},
        {"", ""},
        {"Kv20", "Kv20"},
        {"vireld10", "vireld10"},
        {"Vireld200Pro", "Vireld200Pro"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        driver.machineNameBytes = c.bytes;
        EXPECT_EQ(ExportQvx(&driver).machineName, QString(c.name)) << c.bytes.toHex().constData();
    }
}

// The verdict and its explanation come from one check: a refusal names each
// failing field, an acceptance names none.
TEST(ExportQvxCheck, AcceptsOnlyExactModelGeometry)
{
    // 55.44f * 1000 is 55440 only when the product is rounded to single precision.
    ASSERT_LT(double(55.44f) * 1000.0, 55440.0);
    const auto same = [](TeskFileHead_t&) {};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const auto below = [](float value) { return std::nextafter(value, 0.0f); };
    const struct {
        const PrinterModel& geometry; QByteArray name; std::function<void(TeskFileHead_t&)> change; const char* reason;
    } cases[] = {
        {printerModel("Vireld10"), "Vireld10", same, nullptr},
        {printerModel("Vireld10"), "Kv10", same, nullptr},
        {printerModel("Vireld30"), "Vireld30", same, nullptr},
        {printerModel("Vireld30"), "Kv20", same, nullptr},
        {printerModel("Vireld30"), "Vireld300", same, nullptr},
        {printerModel("Vireld30"), "Vireld10", same, "resolution X for Vireld10: expected 960, found 1440"},
        {printerModel("Vireld10"), "Kv20", same, "resolution X for Kv20: expected 1440, found 960"},
        {printerModel("Vireld10"), "vireld10", same, "machine name \"vireld10\" is none of Vireld10, Kv10, Vireld30, Kv20"},
        {printerModel("Vireld10"), "Vireld120", same, "machine name \"Vireld120\""},
        {printerModel("Vireld10"), "Vireld200Pro", same, "machine name \"Vireld200Pro\""},
        {printerModel("Vireld10"), "", same, "machine name \"\""},
        {printerModel("Vireld10"), QByteArray("\0Vireld10", 9), same, "machine name \"\""},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.resolutionX = 959; }, "resolution X"},
        {printerModel("Vireld30"), "Kv20", [](TeskFileHead_t& h) { h.resolutionX = 1441; }, "resolution X"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.resolutionY = 1707; }, "resolution Y"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.resolutionY = 1709; }, "resolution Y"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.bedSizeX = 55.440994f; }, nullptr},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.bedSizeX = 55.441f; }, "plate size X"},
        {printerModel("Vireld10"), "Vireld10", [&](TeskFileHead_t& h) { h.bedSizeX = below(h.bedSizeX); }, "plate size X"},
        {printerModel("Vireld30"), "Vireld30", [&](TeskFileHead_t& h) { h.bedSizeY = below(h.bedSizeY); }, "plate size Y"},
        {printerModel("Vireld30"), "Vireld30", [&](TeskFileHead_t& h) { h.bedSizeZ = below(h.bedSizeZ); }, "build height"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.bedSizeX = -55.44f; }, "found -55440"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.bedSizeZ = 139.999f; }, "build height"},
        {printerModel("Vireld10"), "Vireld10", [=](TeskFileHead_t& h) { h.bedSizeX = nan; }, "found no number"},
        {printerModel("Vireld10"), "Vireld10", [=](TeskFileHead_t& h) { h.bedSizeY = inf; }, "plate size Y"},
        {printerModel("Vireld10"), "Vireld10", [](TeskFileHead_t& h) { h.bedSizeZ = 1e30f; }, "build height"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        setInput(driver, c.geometry, c.name);
        c.change(driver.header);
        ExportQvx writer(&driver);
        const QStringList reasons = writer.rejectionReasons();
        EXPECT_EQ(writer.validateMachineName(), reasons.isEmpty()) << c.name.toHex().constData();
        EXPECT_EQ(writer.validate(), c.reason == nullptr) << c.name.toHex().constData();
        if (c.reason) {
            EXPECT_TRUE(reasons.join('\n').contains(QLatin1String(c.reason))) << reasons.join('\n').toStdString();
            const float untouched[] = {20.0f, 20.0f, 1920.0f, 1080.0f};
            EXPECT_EQ(std::memcmp(writer.printParameters, untouched, sizeof untouched), 0);
        }
    }
}

TEST(ExportQvxHeader, FixedWordsModelNumberAndCounts)
{
    const struct { const PrinterModel& geometry; const char* name; const char* modelNumber; } cases[] = {
        {printerModel("Vireld10"), "Vireld10", "0A000000"},
        {printerModel("Vireld10"), "Kv10", "0A000000"},
        {printerModel("Vireld30"), "Vireld30", "1E000000"},
        {printerModel("Vireld30"), "Kv20", "1E000000"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        setInput(driver, c.geometry, c.name);
        driver.header.layerCount = 0x01020304;
        const QByteArray file = convert(driver, filledPreview(3, 3, Qt::black));
        EXPECT_EQ(file.left(28), "QuorvatH" + hex("010000FF 01000000") + hex(c.modelNumber) + hex("00000000 22000000")) << c.name;
        EXPECT_EQ(file.mid(164, 16), hex("04030201 04000000 78000000 96000000")) << c.name;
        EXPECT_EQ(file.size(), kFirstRecord) << c.name;
    }
}

TEST(ExportQvxHeader, ParameterBlockForBothModels)
{
    const char* const common[] = {
        "CDCC4C3D", "0000FA45", "00606A47", "00002041", // 4-7: 0.05, 8000, 60000, default 10
        "0080BB44", "0080BB44", "9A99993E", "9A99193F", // 8-11: 1500, 1500, 0.30000001, 0.6
        "0000A03F", "0100807F", "00009040", "00009040", // 12-15: param140, 148, 152, 152
        "00002040", "00002040",                         // 16-17: param144, param144
        "0000A040", "00007042", "00002041", "00001644", "00001644", "00000040", // 18-23
        "CDCC4C3E", "00007042", "0000803F", "0000C040", "00001643", "00407A44", // 24-29
    };
    const struct { const PrinterModel& geometry; const char* first4; const char* maxHeight; } cases[] = {
        {printerModel("Vireld10"), "34870A41 34870A41 00805544 0000F043", "00000C43"},
        {printerModel("Vireld30"), "EA4FA941 EA4FA941 00002045 0000B444", "00002A43"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        setInput(driver, c.geometry, c.geometry.name);
        driver.header.param140 = 1.25f;
        driver.header.param144 = 2.5f;
        const quint32 signallingNaN = 0x7F800001;
        std::memcpy(&driver.header.param148, &signallingNaN, sizeof signallingNaN);
        driver.header.param152 = 4.5f;
        QByteArray expected = hex(c.first4);
        for (const char* slot : common)
            expected += hex(slot);
        expected += hex(c.maxHeight) + QByteArray(12, '\0');
        EXPECT_EQ(convert(driver, QImage()).mid(28, 136).toHex(), expected.toHex());
    }
}

TEST(ExportQvxPreview, PacksTopBitsOfEachChannelBigEndian)
{
    const struct { QColor colour; const char* packed; } cases[] = {
        {QColor(255, 0, 0), "F800"}, {QColor(0, 255, 0), "07E0"},       {QColor(0, 0, 255), "001F"},
        {QColor(255, 255, 255), "FFFF"}, {QColor(0x12, 0x34, 0x56), "11AA"}, {QColor(7, 3, 7), "0000"},
        {QColor(0x80, 0x80, 0x80), "8410"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        setInput(driver, printerModel("Vireld30"), "Kv20");
        const QByteArray file = convert(driver, filledPreview(120, 150, c.colour));
        EXPECT_EQ(file.mid(180), hex(c.packed).repeated(120 * 150)) << c.packed;
    }
}

TEST(ExportQvxPreview, PixelsInRowMajorOrder)
{
    QImage preview = filledPreview(120, 150, Qt::black);
    preview.setPixelColor(1, 0, Qt::red);
    preview.setPixelColor(0, 1, Qt::blue);
    TeskToQvx driver("", "");
    setInput(driver, printerModel("Vireld10"), "Vireld10");
    const QByteArray file = convert(driver, preview);
    EXPECT_EQ(file.mid(180, 4), hex("0000F800"));
    EXPECT_EQ(file.mid(180 + 2 * 120, 2), hex("001F"));
}

TEST(ExportQvxPreview, AnyShapeBecomes120By150AndNullHasNoPixels)
{
    const struct { int width; int height; } shapes[] = {{1, 1}, {7, 300}, {400, 90}, {121, 149}};
    for (const auto& s : shapes) {
        TeskToQvx driver("", "");
        setInput(driver, printerModel("Vireld10"), "Vireld10");
        const QByteArray file = convert(driver, filledPreview(s.width, s.height, Qt::white));
        EXPECT_EQ(file.mid(172), hex("78000000 96000000") + QByteArray(36000, '\xff')) << s.width;
    }
    TeskToQvx driver("", "");
    setInput(driver, printerModel("Vireld10"), "Vireld10");
    const QByteArray file = convert(driver, QImage());
    EXPECT_EQ(file.mid(172), hex("00000000 00000000"));
}

TEST(ExportQvxEncoder, RunsOfHexDigitsAcrossRowEnds)
{
    const struct { int width; int height; QByteArray pixels; const char* runs; } cases[] = {
        {480, 854, hex("00"), "0604010400"},          // 409,920 = 0x64140
        {480, 854, hex("FE"), "F6F4F1F4F0"},
        {1440, 2560, hex("00"), "030804000000"},      // 3,686,400 = 0x384000
        {1440, 2560, hex("FF"), "F3F8F4F0F0F0"},
        {5, 1, hex("000F101FFF"), "0212F1"},          // 0x0F is class 0, 0x1F class 0x10
        {3, 2, hex("20"), "26"},                      // one run over the row end
        {3, 2, hex("000050 5F0000"), "025202"},       // 0x50 and 0x5F join over the row end
        {4, 1, hex("00F000F0"), "01F101F1"},
        {1, 1, hex("A3"), "A1"},
        {16, 1, hex("30"), "3130"},
        {255, 1, hex("30"), "3F3F"},
        {256, 1, hex("30"), "313030"},
        {4096, 1, hex("30"), "31303030"},
        {5, 3, hex("30"), "3F"},                      // rows padded to 8 bytes in memory
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        ExportQvx writer(&driver);
        QImage image = greyImage(c.width, c.height, c.pixels);
        ASSERT_TRUE(writer.compressImage(image));
        const QByteArray runs(reinterpret_cast<const char*>(writer.compressedData.constData()),
                              writer.compressedData.size());
        EXPECT_EQ(runs.toHex(), QByteArray(c.runs).toLower()) << c.width << "x" << c.height;
    }
}

// Runs are found many pixels at a time; wherever a run ends, in whatever row
// layout, the bytes must be those of the pixel-by-pixel encoding.
TEST(ExportQvxEncoder, SameBytesAsPixelByPixelEncoding)
{
    std::vector<std::pair<const char*, QImage>> cases = {
        {"short runs, unpadded", randomRuns(1440, 40, 4, 1)},
        {"short runs, padded rows", randomRuns(37, 23, 3, 2)},
        {"medium runs", randomRuns(480, 100, 100, 3)},
        {"long runs, padded rows", randomRuns(961, 50, 3000, 4)},
        {"runs over 65535", randomRuns(1440, 300, 200000, 5)},
        {"one pixel wide", randomRuns(1, 500, 40, 6)},
        {"17 wide", randomRuns(17, 300, 70, 7)},
    };
    // One pixel of another class at each position of a long run, and one of
    // the same class but other low bits.
    for (int at = 0; at < 200; ++at) {
        for (const uchar odd : {uchar(0x80), uchar(0x3F)}) {
            QByteArray pixels(256, '\x30');
            pixels[at] = char(odd);
            cases.push_back({"one odd pixel", greyImage(256, 1, pixels)});
            cases.push_back({"one odd pixel, rows of 13", greyImage(13, 20, pixels.left(260).leftJustified(260, '\x31'))});
        }
    }
    for (const auto& c : cases) {
        const QImage& image = c.second;
        EXPECT_EQ(compressed(image).toHex(), runsPixelByPixel(image).toHex())
            << c.first << " " << image.width() << "x" << image.height();
    }
}

TEST(ExportQvxEncoder, KeepsOnlyTheLastImageAndAcceptsEmptyOne)
{
    TeskToQvx driver("", "");
    ExportQvx writer(&driver);
    QImage first = greyImage(64, 64, hex("00FF"));
    QImage second = greyImage(3, 2, hex("20"));
    QImage empty;
    writer.compressImage(first);
    writer.compressImage(second);
    EXPECT_EQ(writer.compressedData, QVector<uchar>{0x26});
    EXPECT_TRUE(writer.compressImage(empty));
    EXPECT_TRUE(writer.compressedData.isEmpty());
}

TEST(ExportQvxFile, LayerRecordsBackToBack)
{
    const struct { const PrinterModel& geometry; const char* name; QVector<QImage> layers; const char* records; } cases[] = {
        {printerModel("Vireld10"), "Vireld10", {greyImage(960, 1708, hex("00"))}, "05000000 0604010400"},
        // Any size is scaled to 480 x 854; 0x48 keeps its class if filtering rounds.
        {printerModel("Vireld10"), "Kv10", {greyImage(7, 3, hex("48"))}, "05000000 4644414440"},
        {printerModel("Vireld30"), "Vireld30", {greyImage(1440, 2560, hex("00")), greyImage(1440, 2560, hex("FF"))},
         "06000000 030804000000 06000000 F3F8F4F0F0F0"},
        {printerModel("Vireld30"), "Kv20", {greyImage(5, 1, hex("000F101FFF"))}, "03000000 0212F1"},
    };
    for (const auto& c : cases) {
        TeskToQvx driver("", "");
        setInput(driver, c.geometry, c.name);
        const QByteArray file = convert(driver, filledPreview(120, 150, Qt::black), c.layers);
        EXPECT_EQ(file.mid(kFirstRecord).toHex(), hex(c.records).toHex()) << c.name;
    }
}

TEST(ExportQvxFile, OtherModelNumberWritesNoRecord)
{
    QTemporaryDir dir;
    TeskToQvx driver("", "");
    setInput(driver, printerModel("Vireld10"), "Vireld120");
    ExportQvx writer(&driver);
    ASSERT_TRUE(writer.openFile(dir.filePath("out.qvx")));
    QImage preview = filledPreview(10, 10, Qt::white);
    QImage layer = greyImage(960, 1708, hex("00"));
    writer.writeFrontData(preview);
    EXPECT_FALSE(writer.writeLayerData(layer));
    writer.closeFile();
    const QByteArray file = readFile(dir.filePath("out.qvx"));
    EXPECT_EQ(file.mid(16, 4), hex("78000000"));
    EXPECT_EQ(file.size(), kFirstRecord);
}

// Only the halving of an exactly 960 x 1708 grey layer is done without Qt: the
// linked Qt must give the same grey classes for it as for every other layer.
TEST(ExportQvxFile, Model10LayerIsQtSmoothScalingInGreyClasses)
{
    std::mt19937 random(7);
    const std::function<uchar(int, int)> patterns[] = {
        [](int x, int) { return uchar(x / 3 % 2 ? 254 : 0); },
        [](int x, int y) { return uchar((x / 5 + y / 5) % 2 ? 200 : 30); },
        [](int x, int y) { return uchar((x + y) % 128 * 2); },
        [&](int, int) { return uchar(random() % 128 * 2); },
        [&](int, int) { return uchar(random()); },
        [&](int, int) { return uchar(random() % 2 ? 255 : 254); },
        [&](int, int) { return uchar(14 + random() % 5); }, // around the class edge at 16
        [&](int x, int y) { return uchar((x / 37 * 7 + y / 41 * 13) % 128 * 2); },
        [](int x, int y) { return uchar(x > 300 && x < 700 && y > 500 && y < 900 ? 200 : 0); },
    };
    std::vector<QImage> layers;
    for (const auto& pattern : patterns)
        layers.push_back(greyImage(960, 1708, pattern));
    // Layers that take Qt's scaling: other sizes and formats.
    layers.push_back(layers[4].convertToFormat(QImage::Format_RGB32));
    layers.push_back(greyImage(962, 1708, patterns[4]));
    layers.push_back(greyImage(960, 1710, patterns[4]));
    layers.push_back(greyImage(480, 854, patterns[4]));
    for (const QImage& layer : layers) {
        TeskToQvx driver("", "");
        setInput(driver, printerModel("Vireld10"), "Vireld10");
        const QByteArray file = convert(driver, QImage(), {layer});
        const QByteArray record = file.mid(180 + 4);
        EXPECT_EQ(qFromLittleEndian<quint32>(file.constData() + 180), quint32(record.size()));

        const QImage expected = layer.scaled(480, 854, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .convertToFormat(QImage::Format_Grayscale8);
        QByteArray classes;
        for (int y = 0; y < 854; ++y) {
            for (int x = 0; x < 480; ++x)
                classes.append(char(expected.constScanLine(y)[x] & 0xF0));
        }
        EXPECT_EQ(decodeRuns(record), classes) << layer.width() << "x" << layer.height() << " " << layer.format();
    }
}

// A grey layer is encoded as it is; any other is converted to grey first.
TEST(ExportQvxFile, Model30LayerIsItsGreyConversion)
{
    QImage colour(1440, 2560, QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); ++y) {
        for (int x = 0; x < colour.width(); ++x)
            colour.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    }
    const QImage layers[] = {
        randomRuns(1440, 2560, 300, 8),
        colour,
        randomRuns(1441, 2560, 300, 9), // padded rows
    };
    for (const QImage& layer : layers) {
        TeskToQvx driver("", "");
        setInput(driver, printerModel("Vireld30"), "Vireld30");
        const QByteArray runs = runsPixelByPixel(layer.convertToFormat(QImage::Format_Grayscale8));
        const QByteArray file = convert(driver, QImage(), {layer});
        EXPECT_EQ(qFromLittleEndian<quint32>(file.constData() + 180), quint32(runs.size()));
        EXPECT_EQ(file.mid(184), runs) << layer.width() << " " << layer.format();
    }
}

} // namespace
