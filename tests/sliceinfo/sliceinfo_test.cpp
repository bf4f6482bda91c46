// The inspection behind sliceinfo: the qvx reader against the real converter,
// the checks of both formats, and the pictures.
#include "conversion.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "pictures/contactsheet.h"
#include "reading/qvxexaminer.h"
#include "reading/teskexaminer.h"
#include "report/layerselection.h"
#include "teskbuilder.h"
#include "tesktoqvx.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <limits>
#include <random>

namespace {

// A layer of random rectangles of random even greys, with a band of noise so
// that every grey class and odd 2 x 2 mixes occur.
QByteArray randomLayer(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bitmap(width * height, '\0');
    auto grey = [&random] { return char((random() % 128) * 2); };
    for (int r = 0; r < 12; ++r) {
        const int x0 = int(random() % width), y0 = int(random() % height);
        const int x1 = std::min(width, x0 + int(random() % 400)), y1 = std::min(height, y0 + int(random() % 600));
        const char g = grey();
        for (int y = y0; y < y1; ++y)
            std::memset(bitmap.data() + qint64(y) * width + x0, g, size_t(x1 - x0));
    }
    for (int i = 0; i < 20 * width; ++i)
        bitmap[int(height / 3 * width + random() % (20 * width))] = grey();
    return bitmap;
}

// The grey classes a model-30 printer shows: the top four bits of each pixel.
QByteArray classesOf(const QByteArray& bitmap)
{
    QByteArray classes(bitmap.size(), '\0');
    for (int i = 0; i < bitmap.size(); ++i)
        classes[i] = char(uchar(bitmap[i]) >> 4);
    return classes;
}

// Model 10 halves both axes: each printer pixel is the mean of a 2 x 2 block,
// rounded down.
QByteArray halvedClassesOf(const QByteArray& bitmap, int width, int height)
{
    QByteArray classes;
    auto at = [&](int x, int y) { return int(uchar(bitmap[y * width + x])); };
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            const int sum = at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1);
            classes.append(char((sum / 4) >> 4));
        }
    }
    return classes;
}

struct RoundTripCase {
    const PrinterModel& model;
    int width;
    int height;
    unsigned seed;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.model.name << "Seed" << c.seed;
}

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, EveryDecodedLayerShowsTheInputsGreyClasses)
{
    const RoundTripCase& c = GetParam();
    TeskBuilder b(c.model);
    QVector<QByteArray> bitmaps;
    for (int j = 0; j < 3; ++j) {
        bitmaps.append(randomLayer(c.width, c.height, c.seed + j));
        b.addLayer(bitmaps.last());
    }
    const Conversion converted = convertBytes(b.build());
    ASSERT_EQ(converted.result, 0) << converted.printed;
    QvxReader qvx;
    QString error;
    ASSERT_TRUE(qvx.parse(converted.output, &error)) << error.toStdString();
    const QSize grid = QvxReader::layerSize(qvx.modelNumber);
    ASSERT_EQ(qvx.layerRecords.size(), bitmaps.size());
    for (int j = 0; j < bitmaps.size(); ++j) {
        QByteArray classes;
        QString error;
        ASSERT_TRUE(QvxRunDecoder::decode(qvx.layerRecords[j], qint64(grid.width()) * grid.height(), &classes, &error))
            << error.toStdString();
        const QByteArray expected = !c.model.halvesLayers ? classesOf(bitmaps[j])
                                                                   : halvedClassesOf(bitmaps[j], c.width, c.height);
        EXPECT_TRUE(classes == expected) << "layer " << j;
    }
}

// Every row of the printer table, so that a model added there is tried too.
std::vector<RoundTripCase> everyModel()
{
    std::vector<RoundTripCase> cases;
    for (const PrinterModel* m = PrinterModel::begin(); m != PrinterModel::end(); ++m) {
        for (unsigned seed : {1u, 700u})
            cases.push_back(RoundTripCase{*m, m->slicerWidth, m->slicerHeight, seed});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Models, RoundTrip, testing::ValuesIn(everyModel()), testing::PrintToStringParamName());

template <typename Field>
void patch(QByteArray& file, qint64 offset, Field value)
{
    std::memcpy(file.data() + offset, &value, sizeof value);
}

class Inspect : public testing::Test {
protected:
    std::unique_ptr<TeskExaminer> inspectTesk(const QByteArray& tesk)
    {
        const QString path = dir.filePath(QStringLiteral("in.tesk"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(tesk) == tesk.size());
        file.close();
        auto examiner = std::make_unique<TeskExaminer>(path);
        QString error;
        EXPECT_TRUE(examiner->inspect(&error)) << error.toStdString();
        return examiner;
    }

    QTemporaryDir dir;
};

// The problems of the named check, joined; "passed" when it found none.
std::string checkResult(const SliceReport& report, const QString& name)
{
    for (const ReportCheck& c : report.checks) {
        if (c.name == name)
            return c.passed() ? "passed" : c.problems.join(QLatin1String("; ")).toStdString();
    }
    return "no such check";
}

TeskBuilder smallModel30()
{
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayer(QByteArray(1440 * 2560, char(200)));
    QImage preview(4, 3, QImage::Format_RGB888);
    preview.fill(Qt::red);
    b.setPreview(preview);
    return b;
}

TEST_F(Inspect, AConvertibleFileAndItsConversionAreSound)
{
    TeskBuilder b = smallModel30();
    const QByteArray tesk = b.build();
    const SliceReport teskReport = inspectTesk(tesk)->report();
    EXPECT_TRUE(teskReport.sound()) << teskReport.toText({}).toStdString();

    QvxExaminer qvx(QStringLiteral("out.qvx"));
    qvx.inspectBytes(convertBytes(tesk).output);
    EXPECT_TRUE(qvx.report().sound()) << qvx.report().toText({}).toStdString();
    EXPECT_EQ(qvx.report().layers.value(0).litPixels, 1440 * 2560);
}

// Each way the converter refuses a file, and the explanation it gets.
struct Refusal {
    const char* what;
    std::function<void(TeskBuilder&)> change;
    int converterResult;
    const char* explanation;
};

TEST_F(Inspect, ExplainsEveryRefusalOfTheMachineCheck)
{
    const Refusal refusals[] = {
        {"unsupported model", [](TeskBuilder& b) { b.machineName = "Vireld120"; }, MachineRejected,
         "machine name \"Vireld120\" is none of Vireld10, Kv10, Vireld30, Kv20"},
        {"no name", [](TeskBuilder& b) { b.machineName.clear(); }, MachineRejected, "machine name \"\" is none of"},
        {"resolution X", [](TeskBuilder& b) { b.header.resolutionX = 1000; }, MachineRejected,
         "resolution X for Vireld30: expected 1440, found 1000"},
        {"resolution Y", [](TeskBuilder& b) { b.header.resolutionY = 2559; }, MachineRejected,
         "resolution Y for Vireld30: expected 2560, found 2559"},
        {"plate X", [](TeskBuilder& b) { b.header.bedSizeX = 68.05f; }, MachineRejected,
         "plate size X in thousandths of a mm for Vireld30: expected 68040, found 68050"},
        {"plate Y", [](TeskBuilder& b) { b.header.bedSizeY = 120.0f; }, MachineRejected,
         "plate size Y in thousandths of a mm for Vireld30: expected 120960, found 120000"},
        {"height", [](TeskBuilder& b) { b.header.bedSizeZ = 140.0f; }, MachineRejected,
         "build height in thousandths of a mm for Vireld30: expected 170000, found 140000"},
        {"not a number", [](TeskBuilder& b) { b.header.bedSizeZ = std::numeric_limits<float>::quiet_NaN(); },
         MachineRejected, "build height in thousandths of a mm for Vireld30: expected 170000, found no number"},
        {"other model's geometry", [](TeskBuilder& b) { b.machineName = "Kv10"; }, MachineRejected,
         "resolution X for Kv10: expected 960, found 1440"},
    };
    for (const Refusal& r : refusals) {
        TeskBuilder b = smallModel30();
        r.change(b);
        const QByteArray tesk = b.build();
        EXPECT_EQ(convertBytes(tesk).result, r.converterResult) << r.what;
        const std::string result = checkResult(inspectTesk(tesk)->report(), QStringLiteral("tesktoqvx accepts it"));
        EXPECT_NE(result.find(r.explanation), std::string::npos) << r.what << ": " << result;
    }
}

TEST_F(Inspect, ExplainsARefusedLayerTable)
{
    QByteArray tesk = smallModel30().build();
    patch<qint32>(tesk, offsetof(TeskFileHead_t, layerCount), 1 << 30);
    EXPECT_EQ(convertBytes(tesk).result, InputMalformed);
    const SliceReport report = inspectTesk(tesk)->report();
    EXPECT_NE(checkResult(report, QStringLiteral("tesktoqvx accepts it")).find("cannot fit"), std::string::npos);
    EXPECT_NE(checkResult(report, QStringLiteral("layer table inside the file")), "passed");
}

// Tesk layers of a 4 x 2 bitmap, and blocks out of place.
TEST_F(Inspect, FindsLayerStreamsAndBlocksThatDoNotFit)
{
    const struct {
        const char* what;
        QByteArray stream;
        QString check;
        const char* problem;
    } rows[] = {
        {"exact", QByteArray("\x83\x08", 2), QStringLiteral("layer streams fill their bitmaps exactly"), "passed"},
        {"overflow", QByteArray("\x83\x08\x01", 3), QStringLiteral("layer streams fill their bitmaps exactly"),
         "layer 0 overflows the 4 x 2 bitmap at byte 2"},
        {"short", QByteArray("\x83\x05", 2), QStringLiteral("layer streams fill their bitmaps exactly"),
         "layer 0 fills 5 of the 8 pixels"},
        {"cut short", QByteArray("\x83\x08\x81", 3), QStringLiteral("layer streams fill their bitmaps exactly"),
         "the run at byte 2 is cut short"},
    };
    for (const auto& row : rows) {
        TeskBuilder b;
        b.header.resolutionX = 4;
        b.header.resolutionY = 2;
        b.addLayerStream(row.stream);
        const std::string result = checkResult(inspectTesk(b.build())->report(), row.check);
        EXPECT_NE(result.find(row.problem), std::string::npos) << row.what << ": " << result;
    }

    TeskBuilder b;
    b.machineName = "Vireld30";
    b.addLayerStream(QByteArray("\x01", 1));
    QByteArray tesk = b.build();
    patch<qint32>(tesk, offsetof(TeskFileHead_t, machineNameOffset), tesk.size() - 1);
    const SliceReport report = inspectTesk(tesk)->report();
    EXPECT_NE(checkResult(report, QStringLiteral("machine name inside the file")).find("ends past the end"),
              std::string::npos);
}

TEST_F(Inspect, ATruncatedTeskFileGivesAVerdictAtEveryLength)
{
    const QByteArray tesk = smallModel30().build();
    for (int length = 0; length < tesk.size(); length += 97) {
        EXPECT_FALSE(inspectTesk(tesk.left(length))->report().sound()) << length;
    }
}

// A converted model-30 file with one layer, then the same front with other records.
QByteArray qvxWith(const QByteArray& converted, const QVector<QByteArray>& records)
{
    QByteArray file = converted.left(qvx::kHeaderSize + 2 * qvx::kPreviewWidth * qvx::kPreviewHeight);
    for (const QByteArray& r : records) {
        const quint32 size = qToLittleEndian(quint32(r.size()));
        file.append(reinterpret_cast<const char*>(&size), 4).append(r);
    }
    return file;
}

TEST_F(Inspect, FindsDamageInQvxFiles)
{
    const QByteArray good = convertBytes(smallModel30().build()).output;
    const QByteArray allDark("\x03\x08\x04\x00\x00\x00", 6); // 3686400 pixels of class 0
    const QString layout = QStringLiteral("file layout (header, preview, layer records)");
    const QString runs = QStringLiteral("layer runs cover the printer's grid exactly");
    auto withField = [&](int offset, qint32 value) {
        QByteArray f = good;
        patch(f, offset, qToLittleEndian(value));
        return f;
    };
    const struct {
        const char* what;
        QByteArray file;
        QString check;
        const char* problem;
    } rows[] = {
        {"sound", good, layout, "passed"},
        {"bad magic", QByteArray("QuorvatX").append(good.mid(8)), layout, "the magic is \"QuorvatX\""},
        {"fixed field", withField(12, 2), layout, "the field at byte 12 holds 0x00000002, expected 0x00000001"},
        {"unknown model", withField(16, 20), QStringLiteral("known printer model"), "model number 20"},
        {"one record more", qvxWith(good, {allDark, allDark}), layout, "the file holds 2 layer records, the header says 1"},
        {"one record fewer", withField(qvx::kLayerCountOffset, 2), layout, "the file holds 1 layer records, the header says 2"},
        {"runs short", qvxWith(good, {QByteArray("\x03\x08\x03\x00\x00\x00", 6)}), runs,
         "layer 0: the runs cover 3682304 of 3686400 pixels"},
        {"runs too long", qvxWith(good, {QByteArray("\x03\x08\x04\x00\x00\x00\x11", 7)}), runs,
         "layer 0: the runs exceed 3686400 pixels"},
        // Two neighbouring runs of class 0 read as one run of their joined digits.
        {"repeated class", qvxWith(good, {QByteArray("\x02\x00\x00\x00\x00\x00\x01\x08\x04\x00\x00\x00", 12)}), runs,
         "layer 0: the runs exceed"},
        {"leading zero digit", qvxWith(good, {QByteArray("\x00\x03\x08\x04\x00\x00\x00", 7)}), runs,
         "starts with the digit 0"},
        {"trailing bytes", QByteArray(good).append("abc"), layout, "3 bytes follow the last layer record"},
        {"cut short", good.left(good.size() - 2), layout, "the file ends inside layer record 0"},
        {"cut in the preview", good.left(400), layout, "the file ends inside the preview"},
        {"cut in the header", good.left(100), layout, "shorter than the 180-byte header"},
    };
    for (const auto& row : rows) {
        QvxExaminer examiner(QStringLiteral("x.qvx"));
        examiner.inspectBytes(row.file);
        const std::string result = checkResult(examiner.report(), row.check);
        EXPECT_NE(result.find(row.problem), std::string::npos) << row.what << ": " << result;
        EXPECT_EQ(examiner.report().sound(), std::string(row.problem) == "passed") << row.what;
    }
}

TEST_F(Inspect, DrawsQvxClassesAsGreyAndTeskLayersAsTheyDecode)
{
    TeskBuilder b = smallModel30();
    b.layerStreams.clear();
    QByteArray bitmap(1440 * 2560, '\0');
    std::memset(bitmap.data() + 1440 * 10, 0x3E, 1440); // row 10: grey 62, class 3
    b.addLayer(bitmap);
    const QByteArray tesk = b.build();
    const QImage teskLayer = inspectTesk(tesk)->layerImage(0);
    EXPECT_EQ(teskLayer.pixelColor(5, 10).red(), 62);
    EXPECT_EQ(teskLayer.pixelColor(5, 11).red(), 0);

    QvxExaminer qvx(QStringLiteral("x.qvx"));
    qvx.inspectBytes(convertBytes(tesk).output);
    const QImage qvxLayer = qvx.layerImage(0);
    EXPECT_EQ(qvxLayer.size(), QSize(1440, 2560));
    EXPECT_EQ(qvxLayer.pixelColor(5, 10).red(), 17 * 3);
    EXPECT_EQ(qvxLayer.pixelColor(5, 11).red(), 0);
    EXPECT_EQ(qvx.report().layers.value(0).box(), QRect(0, 10, 1440, 1));
}

TEST(SliceReport, JsonHoldsTheSummaryAndTheVerdict)
{
    SliceReport report;
    report.format = QStringLiteral("qvx");
    report.addField(QStringLiteral("plateSize"), QStringLiteral("plate size"), QJsonArray{floatValue(55.44f), 2},
                    QStringLiteral("mm"));
    report.addCheck(QStringLiteral("c"), {QStringLiteral("p1"), QStringLiteral("p2"), QStringLiteral("p3")}, 2);
    const QJsonObject json = QJsonDocument::fromJson(report.toJson()).object();
    EXPECT_EQ(json.value(QStringLiteral("summary")).toObject().value(QStringLiteral("plateSize")).toArray().at(0).toDouble(),
              55.44);
    EXPECT_FALSE(json.value(QStringLiteral("sound")).toBool());
    EXPECT_EQ(json.value(QStringLiteral("checks")).toArray().at(0).toObject().value(QStringLiteral("problems")).toArray().size(),
              3); // two shown, then "and 1 more"
    EXPECT_TRUE(report.toText({}).contains(QLatin1String("plate size:             55.44 x 2 mm")));
}

TEST(LayerSelection, ReadsNumbersAndRanges)
{
    const struct {
        const char* text;
        QVector<int> layers; // empty: refused
    } rows[] = {
        {"10-12,35", {10, 11, 12, 35}},
        {"3,1,2-3", {1, 2, 3}},
        {"0", {0}},
        {"39", {39}},
        {"40", {}},     // past the last layer
        {"5-3", {}},    // reversed
        {"-2", {}},     // no start
        {"1,,2", {}},   // empty item
        {"a-b", {}},
    };
    for (const auto& row : rows) {
        QVector<int> layers;
        QString error;
        const bool ok = LayerSelection::parse(QString::fromLatin1(row.text), 40, &layers, &error);
        EXPECT_EQ(ok, !row.layers.isEmpty()) << row.text;
        if (ok)
            EXPECT_EQ(layers, row.layers) << row.text;
        else
            EXPECT_FALSE(error.isEmpty()) << row.text;
    }
}

TEST(ContactSheet, PicksEvenlySpacedLayersFromFirstToLast)
{
    EXPECT_EQ(ContactSheet::pickLayers(300, 4), (QVector<int>{0, 99, 199, 299}));
    EXPECT_EQ(ContactSheet::pickLayers(3, 20), (QVector<int>{0, 1, 2}));
    EXPECT_EQ(ContactSheet::pickLayers(1, 20), (QVector<int>{0}));
    EXPECT_TRUE(ContactSheet::pickLayers(0, 20).isEmpty());
}

TEST(ContactSheet, DrawsDigitsInItsPixelFont)
{
    QImage image(8, 5, QImage::Format_Grayscale8);
    image.fill(Qt::black);
    ContactSheet::drawNumber(image, 0, 0, 17, 1);
    const char* expected[] = {"010 111 ", "110 001 ", "010 001 ", "010 001 ", "111 001 "};
    for (int y = 0; y < 5; ++y) {
        std::string row;
        for (int x = 0; x < 8; ++x)
            row += x % 4 == 3 ? ' ' : image.pixelColor(x, y).red() == 255 ? '1' : '0';
        EXPECT_EQ(row, expected[y]) << "row " << y;
    }
    EXPECT_EQ(ContactSheet::numberWidth(17, 1), 7);
}

TEST(ContactSheet, PlacesEachLayerBelowItsNumber)
{
    auto layer = [](int j) {
        QImage image(20, 40, QImage::Format_Grayscale8);
        image.fill(QColor(j * 10, j * 10, j * 10));
        return image;
    };
    const QImage sheet = ContactSheet::build({1, 5, 9}, layer, 20);
    ASSERT_FALSE(sheet.isNull());
    // Cells of 28 x 63 pixels after an 8-pixel margin; thumbnails start 19 below the label.
    EXPECT_EQ(sheet.size(), QSize(3 * 28 + 8, 63 + 8));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sheet.pixelColor(8 + 28 * i + 10, 8 + 19 + 20).red(), (1 + 4 * i) * 10) << i;
}

} // namespace
