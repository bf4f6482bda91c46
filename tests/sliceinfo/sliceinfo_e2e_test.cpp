// Runs the built sliceinfo program on real files.
#include "teskbuilder.h"

#include <QDir>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct ProcessRun {
    int exitCode = -1;
    QByteArray out;
};

ProcessRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    // A Windows console ends its lines with CR LF; the lines themselves are the same.
    return ProcessRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1000,
                      process.readAllStandardOutput().replace("\r\n", "\n")};
}

ProcessRun sliceinfo(const QStringList& arguments)
{
    return run(QStringLiteral(SLICEINFO_PROGRAM), arguments);
}

class SliceInfo : public testing::Test {
protected:
    // A model-30 file whose one layer is dark with a bright band at rows 100 to 199.
    QString writeTesk()
    {
        TeskBuilder b(printerModel("Vireld30"));
        layer = QByteArray(1440 * 2560, '\0');
        layer.replace(1440 * 100, 1440 * 100, QByteArray(1440 * 100, char(0xA0)));
        b.addLayer(layer);
        preview = QImage(6, 4, QImage::Format_RGB888);
        preview.fill(QColor(10, 200, 30));
        b.setPreview(preview);
        const QString path = dir.filePath(QStringLiteral("in.tesk"));
        EXPECT_TRUE(b.writeTo(path));
        return path;
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QByteArray layer;
    QImage preview;
};

TEST_F(SliceInfo, WritesTheTeskPreviewLayersAndContactSheetAsPng)
{
    const ProcessRun r = sliceinfo({writeTesk(), QStringLiteral("--png"), path(QStringLiteral("png")),
                                    QStringLiteral("--layers"), QStringLiteral("all")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("verdict: sound"));

    const QImage shownPreview(path(QStringLiteral("png/preview.png")));
    EXPECT_EQ(shownPreview.convertToFormat(QImage::Format_RGB888), preview);
    const QImage shownLayer(path(QStringLiteral("png/layer-00000.png")));
    ASSERT_EQ(shownLayer.size(), QSize(1440, 2560));
    const QImage grey = shownLayer.convertToFormat(QImage::Format_Grayscale8);
    for (int y : {0, 99, 100, 199, 200, 2559})
        EXPECT_EQ(grey.constScanLine(y)[700], uchar(layer[1440 * y + 700])) << y;
    EXPECT_FALSE(QImage(path(QStringLiteral("png/contact-sheet.png"))).isNull());
}

TEST_F(SliceInfo, ReadsAConvertedFileAsJsonAndDrawsItsClasses)
{
    const QString qvxPath = path(QStringLiteral("out.qvx"));
    ASSERT_EQ(run(QStringLiteral(TESKTOQVX_PROGRAM), {writeTesk(), qvxPath}).exitCode, 0);
    const ProcessRun r = sliceinfo({qvxPath, QStringLiteral("--json"), QStringLiteral("--png"), path(QStringLiteral("q")),
                             QStringLiteral("--layers"), QStringLiteral("0")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(json.value(QStringLiteral("format")).toString(), QStringLiteral("qvx"));
    EXPECT_EQ(json.value(QStringLiteral("file")).toString(), qvxPath);
    EXPECT_TRUE(json.value(QStringLiteral("sound")).toBool());
    EXPECT_EQ(json.value(QStringLiteral("summary")).toObject().value(QStringLiteral("modelNumber")).toInt(), 30);

    const QImage shown = QImage(path(QStringLiteral("q/layer-00000.png"))).convertToFormat(QImage::Format_Grayscale8);
    EXPECT_EQ(shown.constScanLine(150)[3], 17 * 0xA);
    EXPECT_EQ(shown.constScanLine(50)[3], 0);
}

TEST_F(SliceInfo, ExitStatusTellsSoundProblemsAndFailures)
{
    const QString tesk = writeTesk();
    QFile damaged(path(QStringLiteral("damaged.tesk")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(300, '\x7F'));
    damaged.close();
    TeskBuilder empty(printerModel("Vireld30"));
    empty.setPreview(preview);
    ASSERT_TRUE(empty.writeTo(path(QStringLiteral("empty.tesk"))));
    const struct {
        QStringList arguments;
        int exitCode;
    } rows[] = {
        {{tesk}, 0},
        {{damaged.fileName()}, 1},
        {{path(QStringLiteral("empty.tesk"))}, 3}, // no layers
        {{path(QStringLiteral("missing.tesk"))}, 2},
        {{tesk, QStringLiteral("--bogus")}, 2},
        {{tesk, QStringLiteral("--layers"), QStringLiteral("1")}, 2}, // only layer 0 exists
        {{tesk, QStringLiteral("--layers"), QString()}, 2},
        {{tesk, QStringLiteral("--png"), QString()}, 2},
        {{tesk, QStringLiteral("--html"), QString()}, 2},
        {{}, 2},
        {{QStringLiteral("--help")}, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(sliceinfo(row.arguments).exitCode, row.exitCode) << row.arguments.join(' ').toStdString();
    EXPECT_TRUE(sliceinfo({QStringLiteral("--help")}).out.contains("17 * k"));
}

// The page replaces a file of its name; it is never written for a file that
// cannot be read, nor left behind where it cannot be written.
TEST_F(SliceInfo, WritesThePageOnlyForAFileItReads)
{
    const QString page = path(QStringLiteral("page.html"));
    ASSERT_TRUE(writeAt(page, 0, "an old page"));
    const ProcessRun r = sliceinfo({writeTesk(), QStringLiteral("--html"), page, QStringLiteral("--json")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(readFile(page).startsWith("<!DOCTYPE html>"));
    EXPECT_TRUE(QJsonDocument::fromJson(r.out).isObject()) << "the JSON as without the page";

    const QString missing = path(QStringLiteral("missing.html"));
    EXPECT_EQ(sliceinfo({path(QStringLiteral("missing.tesk")), QStringLiteral("--html"), missing}).exitCode, 2);
    EXPECT_FALSE(QFile::exists(missing));
    const ProcessRun unwritable = sliceinfo({writeTesk(), QStringLiteral("--html"), path(QStringLiteral("no/dir/page.html"))});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"in.tesk", "page.html"}));
}

TEST_F(SliceInfo, PngWithoutLayersWritesThePicturesLookedAtFirst)
{
    const QString dir = path(QStringLiteral("png"));
    ASSERT_TRUE(QDir().mkpath(dir));
    QFile mine(dir + QStringLiteral("/layer-00000.png"));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
    mine.close();
    const ProcessRun r = sliceinfo({writeTesk(), QStringLiteral("--png"), dir});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(QDir(dir).entryList(QDir::Files),
              (QStringList{"contact-sheet.png", "layer-00000.png", "plot.png", "preview.png"}));
    EXPECT_EQ(readFile(mine.fileName()), QByteArray("mine")); // not one of the pictures asked for
    EXPECT_EQ(QImage(dir + QStringLiteral("/plot.png")).size(), QSize(1200, 600));
    EXPECT_FALSE(QImage(dir + QStringLiteral("/contact-sheet.png")).isNull());
}

// A layer too large to draw is named with the reason; the other pictures are
// written all the same.
TEST_F(SliceInfo, ALayerPictureNotDrawnIsNamed)
{
    TeskBuilder b;
    b.header.resolutionX = 8193;
    b.header.resolutionY = 8193;
    b.addLayerStream(teskRunToken(0x40, 8193u * 8193u));
    ASSERT_TRUE(b.writeTo(path(QStringLiteral("huge.tesk"))));
    QProcess process;
    process.start(QStringLiteral(SLICEINFO_PROGRAM), {path(QStringLiteral("huge.tesk")), QStringLiteral("--png"),
                                                      path(QStringLiteral("png")), QStringLiteral("--layers"), QStringLiteral("0")});
    process.waitForFinished(-1);
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_EQ(process.readAllStandardError().replace("\r\n", "\n"),
              "sliceinfo: " + QFile::encodeName(path(QStringLiteral("png/layer-00000.png")))
                  + " not written: the file's layers have 67125249 pixels, more than the 67108864 that sliceinfo draws\n");
    EXPECT_EQ(QDir(path(QStringLiteral("png"))).entryList(QDir::Files), (QStringList{"contact-sheet.png", "plot.png"}));
}

TEST_F(SliceInfo, PrintsTheFiguresOfASoundFile)
{
    const QString tesk = writeTesk();
    const ProcessRun r = sliceinfo({tesk});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("file:                   " + QFile::encodeName(tesk) + '\n')) << r.out.toStdString();
    for (const char* line : {"print height:           0.05 mm", "printer's build height: 170.00 mm",
                             "resin volume:           ", "exposure time:          1 min 02 s (61.5 s)"})
        EXPECT_TRUE(r.out.contains(line)) << line << "\n" << r.out.toStdString();
}

// The converter reads the missing end of a cut Tesk file as dark layers; the
// qvx it writes is well formed, but its top layers are empty.
TEST_F(SliceInfo, WarnsOfTheEmptyTopOfAQvxFromACutFileAndExitsWith3)
{
    TeskBuilder b(printerModel("Vireld30"));
    for (int j = 0; j < 6; ++j)
        b.addLayer(QByteArray(1440 * 2560, char(200)), TokenForm::LongLengths);
    const QByteArray whole = b.build();
    QFile cut(path(QStringLiteral("cut.tesk")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    // Each layer is one 5-byte run token; the last two are cut off.
    cut.write(whole.left(whole.size() - 2 * 5));
    cut.close();
    const QString qvxPath = path(QStringLiteral("cut.qvx"));
    ASSERT_EQ(run(QStringLiteral(TESKTOQVX_PROGRAM), {cut.fileName(), qvxPath}).exitCode, 0);

    const ProcessRun text = sliceinfo({qvxPath});
    EXPECT_EQ(text.exitCode, 3) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("the last 2 layers (4-5) have nothing lit")) << text.out.toStdString();
    EXPECT_TRUE(text.out.endsWith("verdict: sound, with warnings\n")) << text.out.toStdString();

    const ProcessRun json = sliceinfo({qvxPath, QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 3);
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    EXPECT_TRUE(root.value(QStringLiteral("sound")).toBool());
    const QJsonObject warning = root.value(QStringLiteral("warnings")).toArray().at(0).toObject();
    EXPECT_EQ(warning.value(QStringLiteral("kind")).toString(), QStringLiteral("emptyTopLayers"));
    EXPECT_EQ(warning.value(QStringLiteral("layers")).toArray(), (QJsonArray{4, 5}));
    EXPECT_EQ(root.value(QStringLiteral("summary")).toObject().value(QStringLiteral("heightMm")).toDouble(), 0.3);
}

// A model-30 print of a slab on the plate and, from layer 2 on, a bar beside
// it that rests on nothing: an island of 20 x 10 pixels at x 500..519, y
// 600..609.
TEST_F(SliceInfo, ReportsIslandsInTextJsonAndPictures)
{
    TeskBuilder b(printerModel("Vireld30"));
    for (int j = 0; j < 4; ++j) {
        QByteArray layer(1440 * 2560, '\0');
        for (int y = 100; y < 200; ++y)
            std::memset(layer.data() + y * 1440 + 100, 254, 100);
        for (int y = 600; j >= 2 && y < 610; ++y)
            std::memset(layer.data() + y * 1440 + 500, 254, 20);
        b.addLayer(layer);
    }
    QImage preview(4, 4, QImage::Format_RGB888);
    preview.fill(Qt::gray);
    b.setPreview(preview);
    const QString tesk = path(QStringLiteral("island.tesk"));
    ASSERT_TRUE(b.writeTo(tesk));

    const ProcessRun text = sliceinfo({tesk, QStringLiteral("--png"), path(QStringLiteral("p")), QStringLiteral("--layers"),
                                       QStringLiteral("1-2")});
    EXPECT_EQ(text.exitCode, 3) << text.out.toStdString();
    // 200 pixels of 0.04725 mm square; the box spans 500 to 520 and 600 to 610 pixels.
    EXPECT_TRUE(text.out.contains("1 island in 1 layer (2): a region that rests on nothing")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("layer 2: 0.447 mm\u00B2 (200 pixels) at x 24.10 mm, y 28.59 mm"))
        << text.out.toStdString();

    const ProcessRun json = sliceinfo({tesk, QStringLiteral("--json")});
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    const QJsonArray islands = root.value(QStringLiteral("islands")).toArray();
    ASSERT_EQ(islands.size(), 1);
    EXPECT_EQ(root.value(QStringLiteral("islandCount")).toInt(), 1);
    const QJsonObject island = islands.at(0).toObject();
    EXPECT_EQ(island.value(QStringLiteral("layer")).toInt(), 2);
    EXPECT_EQ(island.value(QStringLiteral("pixels")).toInt(), 200);
    EXPECT_NEAR(island.value(QStringLiteral("areaMm2")).toDouble(), 200 * 0.04725 * 0.04725, 1e-6);
    EXPECT_EQ(island.value(QStringLiteral("box")).toArray(), (QJsonArray{500, 600, 519, 609}));

    // Layer 2's island is red, its slab grey; layer 1 has no island.
    const QImage layer2(path(QStringLiteral("p/layer-00002.png")));
    EXPECT_EQ(layer2.pixelColor(510, 605), QColor(254, 0, 0));
    EXPECT_EQ(layer2.pixelColor(150, 150), QColor(254, 254, 254));
    EXPECT_TRUE(QImage(path(QStringLiteral("p/layer-00001.png"))).isGrayscale());
}

// A slab on the plate (x, y 100 to 299, layers 0 to 19) with a closed hollow
// (x, y 150 to 189, layers 4 to 15) and a hole from the plate up (x, y 250 to
// 269, layers 0 to 15): a trap and a cup past the thresholds, and a smaller cup.
TEST_F(SliceInfo, ReportsTrapsAndCupsInTextJsonAndPictures)
{
    TeskBuilder b(printerModel("Vireld30"));
    for (int j = 0; j < 20; ++j) {
        QByteArray layer(1440 * 2560, '\0');
        for (int y = 100; y < 300; ++y) {
            char* row = layer.data() + y * 1440;
            std::memset(row + 100, 254, 200);
            if (j >= 4 && j <= 15 && y >= 150 && y < 190)
                std::memset(row + 150, 0, 40);
            if (j <= 15 && y >= 250 && y < 270)
                std::memset(row + 250, 0, 20);
        }
        b.addLayer(layer);
    }
    QImage preview(4, 4, QImage::Format_RGB888);
    preview.fill(Qt::gray);
    b.setPreview(preview);
    const QString tesk = path(QStringLiteral("hollow.tesk"));
    ASSERT_TRUE(b.writeTo(tesk));

    const ProcessRun text = sliceinfo({tesk, QStringLiteral("--png"), path(QStringLiteral("p")), QStringLiteral("--layers"),
                                       QStringLiteral("8,18")});
    EXPECT_EQ(text.exitCode, 3) << text.out.toStdString();
    // 19,200 voxels of 0.04725 x 0.04725 x 0.05 mm; faces of 1600 and 400 pixels.
    for (const char* line : {"resin traps:          1, 1 large enough for a warning",
                             "suction cups:         2, 1 large enough for a warning",
                             "1 resin trap of 1 mm\u00B3 or more in 12 layers (4-15):",
                             "layers 4-15: 0.0021 ml (19200 voxels) at x 8.03 mm, y 8.03 mm",
                             "1 suction cup with a face of 1 mm\u00B2 or more sealed through 0.5 mm or more, in 12 "
                             "layers (4-15) (and 1 smaller):",
                             "layers 4-15: a face of 3.57 mm\u00B2 (1600 pixels) at x 8.03 mm, y 8.03 mm"})
        EXPECT_TRUE(text.out.contains(line)) << line << "\n" << text.out.toStdString();

    const QJsonObject json = QJsonDocument::fromJson(sliceinfo({tesk, QStringLiteral("--json")}).out).object();
    EXPECT_EQ(json.value(QStringLiteral("trapCount")).toInt(), 1);
    EXPECT_EQ(json.value(QStringLiteral("cupCount")).toInt(), 2);
    const QJsonObject trap = json.value(QStringLiteral("traps")).toArray().at(0).toObject();
    EXPECT_EQ(trap.value(QStringLiteral("firstLayer")).toInt(), 4);
    EXPECT_EQ(trap.value(QStringLiteral("lastLayer")).toInt(), 15);
    EXPECT_EQ(trap.value(QStringLiteral("pixels")).toInt(), 19200);
    EXPECT_NEAR(trap.value(QStringLiteral("volumeMl")).toDouble(), 19200 * 0.04725 * 0.04725 * 0.05 / 1000, 1e-9);
    EXPECT_EQ(trap.value(QStringLiteral("box")).toArray(), (QJsonArray{150, 150, 189, 189}));
    const QJsonArray cups = json.value(QStringLiteral("cups")).toArray();
    ASSERT_EQ(cups.size(), 2);
    const QJsonObject hole = cups.at(1).toObject();
    EXPECT_EQ(hole.value(QStringLiteral("firstLayer")).toInt(), 0);
    EXPECT_EQ(hole.value(QStringLiteral("lastLayer")).toInt(), 15);
    EXPECT_EQ(hole.value(QStringLiteral("maxFacePixels")).toInt(), 400);
    EXPECT_NEAR(hole.value(QStringLiteral("maxFaceMm2")).toDouble(), 400 * 0.04725 * 0.04725, 1e-6);
    EXPECT_EQ(hole.value(QStringLiteral("box")).toArray(), (QJsonArray{250, 250, 269, 269}));

    // Layer 8: the trapped hollow orange, the hole cyan; layer 18 has neither.
    const QImage layer8(path(QStringLiteral("p/layer-00008.png")));
    EXPECT_EQ(layer8.pixelColor(170, 170), QColor(255, 140, 0));
    EXPECT_EQ(layer8.pixelColor(260, 260), QColor(0, 200, 220));
    EXPECT_EQ(layer8.pixelColor(120, 120), QColor(254, 254, 254));
    EXPECT_TRUE(QImage(path(QStringLiteral("p/layer-00018.png"))).isGrayscale());
}

// A sparse file of over 2 GiB whose table of 70 million layers fits it: the
// layers are not read one by one, and the file is not called sound.
TEST_F(SliceInfo, AHugeLayerTableIsRefusedWithAReason)
{
    const QString tesk = writeTesk();
    TeskFileHead_t header;
    QByteArray bytes = readFile(tesk).left(int(sizeof header));
    std::memcpy(&header, bytes.constData(), sizeof header);
    header.layerCount = 70000000;
    ASSERT_TRUE(writeAt(tesk, 0, QByteArray(reinterpret_cast<const char*>(&header), sizeof header)));
    ASSERT_TRUE(writeAt(tesk, qint64(header.layerTableOffset) + 36LL * header.layerCount, QByteArray(64, '\0')));
    ASSERT_GT(QFileInfo(tesk).size(), qint64(1) << 31);
    const ProcessRun r = sliceinfo({tesk});
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("70000000 layers are more than sliceinfo examines")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("ok    tesktoqvx accepts it")) << r.out.toStdString();
}

} // namespace
