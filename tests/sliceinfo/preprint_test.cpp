// The pre-print figures and warnings of sliceinfo, the height plot and the
// pictures' labels, on small built files and their conversions.
#include "analysis/printfigures.h"
#include "examinedreports.h"
#include "pictures/contactsheet.h"
#include "pictures/heightplot.h"
#include "pictures/thumbnail.h"
#include "reading/qvxexaminer.h"
#include "reading/teskexaminer.h"
#include "report/layerselection.h"
#include "teskbuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>

namespace {

double summaryValue(const SliceReport& report, const char* key)
{
    const QJsonObject json = QJsonDocument::fromJson(report.toJson()).object();
    return json.value(QStringLiteral("summary")).toObject().value(QLatin1String(key)).toDouble(-1);
}

// Pixel areas in mm²: the slicer's grid of each model, and the printer's of
// model 10 (115.5 um square; model 30's printer grid is the slicer's).
constexpr double kModel30Pixel = 0.04725 * 0.04725;
constexpr double kModel10TeskPixel = 0.05775 * 0.05775;
constexpr double kModel10QvxPixel = 0.1155 * 0.1155;
constexpr double kModel30Plate = 68.04 * 120.96;

struct FigureCase {
    const char* what;
    const PrinterModel& model;
    std::function<QByteArray(int width, int height)> layer;
    double teskArea; // mm² of each of the three layers
    double qvxArea;
};

QByteArray darkLayer(int width, int height)
{
    return QByteArray(width * height, '\0');
}

void PrintTo(const FigureCase& c, std::ostream* os) { *os << c.what; }

class Figures : public testing::TestWithParam<FigureCase> {};

TEST_P(Figures, AreaVolumeHeightAndTimeAreAsComputedByHand)
{
    const FigureCase& c = GetParam();
    TeskBuilder b(c.model);
    const int width = b.header.resolutionX, height = b.header.resolutionY;
    b.header.bottomLayerCount = 1;
    for (int j = 0; j < 3; ++j)
        b.addLayer(c.layer(width, height));
    const QByteArray tesk = b.build();
    const struct {
        const char* format;
        SliceReport report;
        double area;
    } reports[] = {{"Tesk", teskReport(tesk), c.teskArea}, {"qvx", qvxReport(tesk), c.qvxArea}};
    for (const auto& r : reports) {
        ASSERT_EQ(r.report.layers.size(), 3) << r.format;
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(r.report.areaMm2(j), r.area, r.area * 1e-6) << r.format << " layer " << j;
        const double volumeMl = 3 * r.area * 0.05 / 1000;
        EXPECT_NEAR(summaryValue(r.report, "volumeMl"), volumeMl, volumeMl * 1e-5) << r.format;
        EXPECT_DOUBLE_EQ(summaryValue(r.report, "heightMm"), 0.15) << r.format;
        EXPECT_DOUBLE_EQ(summaryValue(r.report, "buildHeightMm"), c.model.buildHeightMm()) << r.format;
        // One bottom layer of 60 s, two of 8 s, and 1.5 s of light-off delay each.
        EXPECT_DOUBLE_EQ(summaryValue(r.report, "exposureSeconds"), 60 + 2 * 8 + 3 * 1.5) << r.format;
        EXPECT_TRUE(r.report.warnings.isEmpty()) << r.format << ": " << r.report.toText({}).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    LitPixels, Figures,
    testing::Values(
        FigureCase{"OneLitPixel", printerModel("Vireld30"),
                   [](int w, int h) { QByteArray l = darkLayer(w, h); l[w * 100 + 7] = char(254); return l; },
                   kModel30Pixel, kModel30Pixel},
        // Grey 128 is 128 / 254 of a pixel; its class 8 is 8 / 15 on the printer.
        FigureCase{"HalfGreyLayer", printerModel("Vireld30"), [](int w, int h) { return QByteArray(w * h, char(128)); },
                   kModel30Plate * 128 / 254, kModel30Plate * 8 / 15},
        FigureCase{"HalfTheLayerLit", printerModel("Vireld30"),
                   [](int w, int h) { return darkLayer(w, h / 2) + QByteArray(w * h / 2, char(254)); },
                   kModel30Plate / 2, kModel30Plate / 2},
        // On model 10 the pixel becomes a quarter of a printer pixel: grey 63, class 3.
        FigureCase{"OneLitPixelModel10", printerModel("Vireld10"),
                   [](int w, int h) { QByteArray l = darkLayer(w, h); l[w * 100 + 8] = char(254); return l; },
                   kModel10TeskPixel, kModel10QvxPixel * 3 / 15},
        FigureCase{"LitSquareModel10", printerModel("Vireld10"),
                   [](int w, int h) {
                       QByteArray l = darkLayer(w, h);
                       l[w * 100 + 8] = l[w * 100 + 9] = l[w * 101 + 8] = l[w * 101 + 9] = char(254);
                       return l;
                   },
                   4 * kModel10TeskPixel, kModel10QvxPixel}),
    testing::PrintToStringParamName());

// A Tesk file of 4 x 2 pixels a layer, for a printer of `buildHeight` mm;
// a layer is lit (grey 14) where `lit` says so, dark elsewhere.
TeskBuilder tinyPrint(const QVector<bool>& lit, float layerHeight = 0.05f, float buildHeight = 100.0f)
{
    TeskBuilder b;
    b.header.resolutionX = 4;
    b.header.resolutionY = 2;
    b.header.layerHeight = layerHeight;
    b.header.bedSizeZ = buildHeight;
    for (bool on : lit)
        b.addLayerStream(on ? QByteArray("\x87\x08", 2) : QByteArray("\x80\x08", 2));
    return b;
}

QMap<QString, QVector<int>> warningsOf(const SliceReport& report)
{
    QMap<QString, QVector<int>> found;
    for (const ReportWarning& w : report.warnings)
        found.insert(w.kind, w.layers);
    return found;
}

TEST(Warnings, EachKindNamesItsLayersAndOnlyWhereItApplies)
{
    using Found = QMap<QString, QVector<int>>;
    const struct {
        const char* what;
        QByteArray tesk;
        Found expected;
    } rows[] = {
        {"all lit", tinyPrint({true, true, true}).build(), Found()},
        {"empty top", tinyPrint({true, true, false, false}).build(), Found{{"emptyTopLayers", {2, 3}}}},
        // A lit layer above an empty one is an island, too.
        {"empty between", tinyPrint({true, false, false, true}).build(),
         Found{{"emptyLayersBetween", {1, 2}}, {"islands", {3}}}},
        {"empty bottom", tinyPrint({false, true}).build(), Found{{"emptyBottomLayers", {0}}, {"islands", {1}}}},
        {"nothing lit", tinyPrint({false, false}).build(), Found{{"nothingLit", {0, 1}}}},
        {"all three", tinyPrint({false, true, false, true, false}).build(),
         Found{{"emptyBottomLayers", {0}}, {"emptyLayersBetween", {2}}, {"emptyTopLayers", {4}}, {"islands", {1, 3}}}},
        // Three layers of 100 mm on a printer of 250 mm: the third ends at 300 mm.
        {"taller", tinyPrint({true, true, true}, 100.0f, 250.0f).build(), Found{{"tallerThanPrinter", {2}}}},
        // 0.05f x 2 is a hair above 0.1 in single precision, and not too tall.
        {"exactly as tall", tinyPrint({true, true}, 0.05f, 0.1f).build(), Found()},
        // The last layer's block is cut: its run is lost, so the layer is also dark.
        {"data missing", tinyPrint({true, true, true}).build().chopped(1),
         Found{{"layerDataMissing", {2}}, {"emptyTopLayers", {2}}}},
    };
    for (const auto& row : rows) {
        const SliceReport report = teskReport(row.tesk);
        EXPECT_EQ(warningsOf(report), row.expected) << row.what << ":\n" << report.toText({}).toStdString();
        EXPECT_EQ(report.toText({}).contains(QLatin1String("verdict: sound, with warnings")),
                  report.sound() && !row.expected.isEmpty())
            << row.what;
    }
}

// A file without layers prints nothing, Tesk or converted to qvx.
TEST(Warnings, AFileWithoutLayersIsNotSoundWithoutOne)
{
    TeskBuilder b(printerModel("Vireld30"));
    b.setPreview(QImage(4, 3, QImage::Format_RGB888));
    const QByteArray tesk = b.build();
    for (const SliceReport& report : {teskReport(tesk), qvxReport(tesk)}) {
        EXPECT_EQ(warningsOf(report), (QMap<QString, QVector<int>>{{"noLayers", {}}})) << report.format.toStdString();
        EXPECT_TRUE(report.toText({}).contains(QLatin1String("the file has no layers: nothing would be printed\n"
                                                              "verdict: sound, with warnings\n")))
            << report.toText({}).toStdString();
    }
}

QString fieldText(const SliceReport& report, const QString& key)
{
    for (const ReportField& f : report.fields) {
        if (f.key == key)
            return f.text;
    }
    return QStringLiteral("missing");
}

// A parameter that no printer can use is named in a warning of its own, and
// what rests on it is "not known" in the text, null in the JSON, and left out
// of the plot and the contact sheet's labels; never "inf", "nan" or a number
// without meaning.
TEST(Warnings, AParameterNoPrinterCanUseLeavesItsFiguresNotKnown)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* kind;
        float TeskFileHead_t::*field;
        double value;
        const char* shown;
        const char* figure; // the figure that is not known
    } rows[] = {
        {"unusableLayerHeight", &TeskFileHead_t::layerHeight, 0, "(0 mm)", "heightMm"},
        {"unusableLayerHeight", &TeskFileHead_t::layerHeight, -0.05, "(-0.05 mm)", "heightMm"},
        {"unusableLayerHeight", &TeskFileHead_t::layerHeight, nan, "(not a number)", "heightMm"},
        {"unusableLayerHeight", &TeskFileHead_t::layerHeight, inf, "(infinite)", "volumeMl"},
        {"unusableLayerHeight", &TeskFileHead_t::layerHeight, 3e38, "(3e+38 mm)", "volumeMl"},
        {"unusableExposure", &TeskFileHead_t::exposureTime, nan, "(not a number)", "exposureSeconds"},
        {"unusableExposure", &TeskFileHead_t::exposureTime, inf, "(infinite)", "exposureSeconds"},
        {"unusableExposure", &TeskFileHead_t::exposureTime, 0, "(0 s)", "exposureSeconds"},
        {"unusableExposure", &TeskFileHead_t::exposureTime, 3e18, "(3e+18 s)", "exposureSeconds"},
        {"unusableBottomExposure", &TeskFileHead_t::bottomExposureTime, -1, "(-1 s)", "exposureSeconds"},
        {"unusableLightOffDelay", &TeskFileHead_t::lightOffDelay, -1, "(-1 s)", "exposureSeconds"},
    };
    TeskBuilder usable = tinyPrint({true, true, true});
    usable.header.bottomLayerCount = 1;
    const SliceReport sound = teskReport(usable.build());
    ASSERT_TRUE(sound.warnings.isEmpty()) << sound.toText({}).toStdString();
    for (const auto& row : rows) {
        TeskBuilder b = usable;
        b.header.*row.field = float(row.value);
        const SliceReport report = teskReport(b.build());
        const QString text = report.toText({});
        EXPECT_EQ(warningsOf(report), (QMap<QString, QVector<int>>{{row.kind, {}}})) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(row.shown) + QLatin1String(" is not one a printer can use"))) << text.toStdString();
        EXPECT_EQ(fieldText(report, QLatin1String(row.figure)), QStringLiteral("not known")) << row.kind << " " << row.value;
        EXPECT_EQ(summaryValue(report, row.figure), -1) << "null in the JSON: " << row.kind << " " << row.value;
        QStringList figures;
        for (const char* key : {"heightMm", "volumeMl", "exposureSeconds"})
            figures << fieldText(report, QLatin1String(key));
        for (const ReportWarning& w : report.warnings)
            figures << w.text;
        EXPECT_FALSE(figures.join(' ').contains(QRegularExpression(QStringLiteral("\\binf\\b|\\bnan\\b|\\d{7}"))))
            << figures.join('\n').toStdString();
        if (QLatin1String(row.figure) != QLatin1String("exposureSeconds")) {
            EXPECT_TRUE(HeightPlot::draw(report) == HeightPlot::draw(teskReport(tinyPrint({true, true, true}, 0).build())));
            const auto dark = [](int) {
                QImage layer(40, 40, QImage::Format_Grayscale8);
                layer.fill(Qt::black);
                return layer;
            };
            EXPECT_TRUE(ContactSheet::build({0}, dark, 100, report.print.layerHeightMm) == ContactSheet::build({0}, dark, 100));
        }
    }
}

// Converted, the exposure times are in milliseconds; the same warnings follow.
TEST(Warnings, AQvxParameterNoPrinterCanUseIsNamedToo)
{
    TeskBuilder b(printerModel("Vireld30"));
    b.header.exposureTime = std::numeric_limits<float>::infinity();
    b.header.layerHeight = 0;
    b.addLayerStream(teskRunToken(0x40, 1440 * 2560));
    const SliceReport report = qvxReport(b.build());
    EXPECT_EQ(warningsOf(report), (QMap<QString, QVector<int>>{{"unusableLayerHeight", {}}, {"unusableExposure", {}}}))
        << report.toText({}).toStdString();
    EXPECT_EQ(fieldText(report, QStringLiteral("heightMm")), QStringLiteral("not known"));
    EXPECT_EQ(fieldText(report, QStringLiteral("exposureSeconds")), QStringLiteral("not known"));
}

// Sentences agree with their counts, for one and for many.
TEST(Warnings, SayOneAndManyAsEnglishDoes)
{
    const struct {
        QByteArray tesk;
        const char* sentence;
    } rows[] = {
        {tinyPrint({false, true}).build(), "the first 1 layer (0) has nothing lit: the print starts 0.05 mm above"},
        {tinyPrint({false, false, true}).build(), "the first 2 layers (0-1) have nothing lit"},
        {tinyPrint({true, false, true}).build(), "1 layer (1) has nothing lit between lit ones: what is above it hangs"},
        {tinyPrint({true, false, false, true}).build(), "2 layers (1-2) have nothing lit between lit ones: what is above them"},
        {tinyPrint({true, false}).build(), "the last 1 layer (1) has nothing lit: the print ends at 0.05 mm of 0.10 mm"},
        {tinyPrint({true, false}, 0).build(), "the last 1 layer (1) has nothing lit: the print ends after 1 of 2 layers"},
        {tinyPrint({false, true}, 0).build(), "the print starts 1 layer above the plate"},
        {tinyPrint({true, true, true}, 100.0f, 250.0f).build(), "layer 2 lies above it"},
        {tinyPrint({true, true, true}, 100.0f, 150.0f).build(), "layers 1-2 lie above it"},
        {tinyPrint({false, true}).build(), "1 island in 1 layer (1): a region that rests on nothing in the layer below, "
                                           "which cures onto the film or floats away:\n    layer 1: "},
        {tinyPrint({false, true, false, true}).build(), "2 islands in 2 layers (1, 3): regions that rest"},
        {tinyPrint({false, true}).build(), "1 layer without lit pixels"},
        {tinyPrint({false, false, true}).build(), "2 layers without lit pixels"},
    };
    for (const auto& row : rows) {
        const QString text = teskReport(row.tesk).toText({});
        EXPECT_TRUE(text.contains(QLatin1String(row.sentence))) << row.sentence << "\n" << text.toStdString();
    }
    QVector<int> layers;
    QString error;
    EXPECT_FALSE(LayerSelection::parse(QStringLiteral("1"), 1, &layers, &error));
    EXPECT_EQ(error, QStringLiteral("layer 1 does not exist: the file has 1 layer"));
}

TEST(Warnings, ComeInTheJsonBesideTheVerdict)
{
    // Not sound, as it names no printer: the warnings come all the same.
    const SliceReport report = teskReport(tinyPrint({true, false, true, false}).build());
    const QJsonObject json = QJsonDocument::fromJson(report.toJson()).object();
    EXPECT_FALSE(json.value(QStringLiteral("sound")).toBool(true));
    const QJsonArray warnings = json.value(QStringLiteral("warnings")).toArray();
    ASSERT_EQ(warnings.size(), 3);
    const QJsonObject between = warnings.at(0).toObject();
    EXPECT_EQ(between.value(QStringLiteral("kind")).toString(), QStringLiteral("emptyLayersBetween"));
    EXPECT_EQ(between.value(QStringLiteral("layers")).toArray(), QJsonArray{1});
    EXPECT_TRUE(between.value(QStringLiteral("text")).toString().contains(QLatin1String("hangs on nothing")));
    EXPECT_EQ(warnings.at(1).toObject().value(QStringLiteral("layers")).toArray(), QJsonArray{3});
    EXPECT_EQ(warnings.at(2).toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("islands"));
}

TEST(Warnings, AHugeLayerCountIsTallerThanThePrinter)
{
    // The layers are not read, but the height follows from the header.
    TeskBuilder b = tinyPrint({true});
    QByteArray tesk = b.build();
    TeskFileHead_t header;
    std::memcpy(&header, tesk.constData(), sizeof header);
    header.layerCount = 60000;
    std::memcpy(tesk.data(), &header, sizeof header);
    const SliceReport report = teskReport(tesk);
    EXPECT_EQ(summaryValue(report, "heightMm"), 3000);
    const QVector<int> above = warningsOf(report).value(QStringLiteral("tallerThanPrinter"));
    ASSERT_EQ(above.size(), 60000 - 2000);
    EXPECT_EQ(above.first(), 2000);
}

TEST(Figures, JsonHonoursTheChosenLayers)
{
    const SliceReport report = teskReport(tinyPrint({true, false, true}).build());
    const QJsonArray layers = QJsonDocument::fromJson(report.toJson({2})).object().value(QStringLiteral("layers")).toArray();
    ASSERT_EQ(layers.size(), 1);
    EXPECT_EQ(layers.at(0).toObject().value(QStringLiteral("layer")).toInt(), 2);
    EXPECT_TRUE(layers.at(0).toObject().contains(QStringLiteral("areaMm2")));
}

TEST(Figures, DurationsReadAsHoursMinutesAndSeconds)
{
    EXPECT_EQ(durationText(42.4), QStringLiteral("42 s"));
    EXPECT_EQ(durationText(3162), QStringLiteral("52 min 42 s"));
    EXPECT_EQ(durationText(3 * 3600 + 5), QStringLiteral("3 h 00 min 05 s"));
    EXPECT_EQ(durationText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("not known"));
}

int countPixels(const QImage& image, const std::function<bool(QColor)>& test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool isWarningRed(QColor c)
{
    return c.red() > 200 && c.green() < 200 && c.blue() < 200;
}

TEST(HeightPlot, DrawsTheAreasAndMarksTheLayersWithWarnings)
{
    SliceReport sound = teskReport(tinyPrint(QVector<bool>(20, true)).build());
    sound.print.pixelWidthMm = sound.print.pixelHeightMm = 1;
    const QImage plain = HeightPlot::draw(sound);
    EXPECT_EQ(plain.size(), QSize(HeightPlot::kWidth, HeightPlot::kHeight));
    const int legendRed = countPixels(plain, isWarningRed);
    EXPECT_GT(countPixels(plain, [](QColor c) { return c == QColor(70, 120, 190); }), 10000);

    QVector<bool> lit(20, true);
    lit[10] = false;
    SliceReport gap = teskReport(tinyPrint(lit).build());
    gap.print.pixelWidthMm = gap.print.pixelHeightMm = 1;
    // One layer of twenty, drawn about 1000 / 21.6 columns wide, over most of the height.
    EXPECT_GT(countPixels(HeightPlot::draw(gap), isWarningRed) - legendRed, 40 * 400);
}

TEST(HeightPlot, SurvivesFiguresThatAreNotNumbers)
{
    SliceReport report = teskReport(tinyPrint({true, true}).build());
    for (double h : {0.0, -1.0, 1e300, std::numeric_limits<double>::quiet_NaN()}) {
        report.print.layerHeightMm = h;
        report.print.pixelWidthMm = report.print.pixelHeightMm = h;
        EXPECT_EQ(HeightPlot::draw(report).size(), QSize(HeightPlot::kWidth, HeightPlot::kHeight)) << h;
    }
}

TEST(ContactSheet, LabelsTilesWithHeightsAndFramesMarkedLayers)
{
    auto layer = [](int) {
        QImage image(40, 40, QImage::Format_Grayscale8);
        image.fill(Qt::black);
        return image;
    };
    const QImage plain = ContactSheet::build({0, 1}, layer, 100);
    const QImage labelled = ContactSheet::build({0, 1}, layer, 100, 0.05);
    // The heights "0.05 mm" and "0.10 mm" are drawn right of the numbers.
    EXPECT_GT(countPixels(labelled, [](QColor c) { return c == Qt::white; }),
              countPixels(plain, [](QColor c) { return c == Qt::white; }));
    const QImage marked = ContactSheet::build({0, 1}, layer, 100, 0.05, {1});
    EXPECT_GT(countPixels(marked, isWarningRed), 4 * 3 * 100);
}

// Each picture pixel is the mean of the layer pixels dealt to it, computed here
// pixel by pixel from the bitmap that the runs describe.
TEST(Thumbnail, IsTheMeanOfTheLayerPixelsDealtToEachPicturePixel)
{
    std::mt19937 random(5);
    for (const QSize layer : {QSize(37, 23), QSize(160, 90), QSize(7, 300)}) {
        for (const QSize picture : {QSize(5, 4), QSize(7, 23), QSize(1, 1)}) {
            QByteArray bitmap(layer.width() * layer.height(), '\0');
            Thumbnail thumbnail(layer.width(), layer.height(), picture);
            for (qint64 start = 0; start < bitmap.size();) {
                const qint64 length = qMin<qint64>(1 + random() % 60, bitmap.size() - start);
                const int grey = random() % 3 == 0 ? 0 : int(random() % 256);
                std::memset(bitmap.data() + start, grey, size_t(length));
                thumbnail.addRun(start, length, grey);
                start += length;
            }
            const QImage image = thumbnail.image();
            ASSERT_EQ(image.size(), picture);
            for (int ty = 0; ty < picture.height(); ++ty) {
                for (int tx = 0; tx < picture.width(); ++tx) {
                    qint64 sum = 0, pixels = 0;
                    for (int y = 0; y < layer.height(); ++y) {
                        for (int x = 0; x < layer.width(); ++x) {
                            if (x * picture.width() / layer.width() == tx && y * picture.height() / layer.height() == ty) {
                                sum += uchar(bitmap[y * layer.width() + x]);
                                ++pixels;
                            }
                        }
                    }
                    EXPECT_EQ(image.constScanLine(ty)[tx], pixels ? sum / pixels : 0)
                        << layer.width() << "x" << layer.height() << " to " << tx << "," << ty;
                }
            }
        }
    }
}

TEST(LayerSelection, AllAndWrittenBack)
{
    QVector<int> layers;
    QString error;
    ASSERT_TRUE(LayerSelection::parse(QStringLiteral("all"), 4, &layers, &error));
    EXPECT_EQ(layers, (QVector<int>{0, 1, 2, 3}));
    EXPECT_EQ(LayerSelection::text({0, 1, 2, 5, 7, 8}), QStringLiteral("0-2, 5, 7-8"));
    EXPECT_EQ(LayerSelection::text({1, 3, 5, 7, 9}, 2), QStringLiteral("1, 3 and 3 more"));
    EXPECT_EQ(LayerSelection::text({}), QString());
}

} // namespace
