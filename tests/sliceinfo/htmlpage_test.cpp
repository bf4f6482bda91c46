// sliceinfo's HTML page: the run coding both ways, the chunks of the layers
// decoded as the page's script decodes them, the layers picked past the size
// bound, the islands gathered in one pass against the pictures' own, and the
// page's text. The page in a browser: tests/browser/pagetest.mjs.
#include "conversion.h"
#include "format/bounds.h"
#include "pictures/layerpictures.h"
#include "reading/sliceexaminer.h"
#include "report/darkspaceoverlay.h"
#include "report/htmlpage.h"
#include "report/islandoverlay.h"
#include "report/pagelayers.h"
#include "report/runcoding.h"
#include "teskbuilder.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace {

// The runs of a bitmap, as a reader hands them to a sink: raster order, rows
// not cut.
void readBitmap(const QByteArray& bitmap, const RunSink& sink)
{
    for (int i = 0; i < bitmap.size();) {
        int end = i + 1;
        while (end < bitmap.size() && bitmap[end] == bitmap[i])
            ++end;
        sink(uchar(bitmap[i]), end - i);
        i = end;
    }
}

RunCoding::Layer code(const QByteArray& bitmap, int width, int height)
{
    RunCoding coding(width, height);
    readBitmap(bitmap, [&coding](int grey, qint64 length) { coding.addRun(grey, length); });
    return coding.finish();
}

// Runs of random greys (even, as Tesk greys) and lengths up to `longest`.
QByteArray randomLayer(int width, int height, int greys, int longest, std::mt19937& random)
{
    QByteArray bitmap(width * height, '\0');
    std::uniform_int_distribution<int> grey(0, greys - 1), runLength(1, longest);
    for (int i = 0; i < bitmap.size();) {
        const int length = qMin(runLength(random), int(bitmap.size()) - i);
        bitmap.replace(i, length, QByteArray(length, char(grey(random) * 2)));
        i += length;
    }
    // Some rows repeated, as a part's straight walls make them.
    for (int y = 1; y < height; y += 3)
        bitmap.replace(y * width, width, bitmap.mid((y - 1) * width, width));
    return bitmap;
}

QByteArray rows(std::initializer_list<const char*> rows)
{
    QByteArray bitmap;
    for (const char* row : rows)
        bitmap += QByteArray(row).replace('.', '\0').replace('#', char(254)).replace('+', char(100));
    return bitmap;
}

struct CodingCase {
    const char* what;
    int width;
    int height;
    QByteArray bitmap;
};

void PrintTo(const CodingCase& c, std::ostream* os) { *os << c.what; }

class Coding : public testing::TestWithParam<CodingCase> {};

TEST_P(Coding, DecodesToTheSameBitmap)
{
    const CodingCase& c = GetParam();
    EXPECT_EQ(RunCoding::decode(code(c.bitmap, c.width, c.height), c.width, c.height), c.bitmap);
}

INSTANTIATE_TEST_SUITE_P(
    Layers, Coding,
    testing::Values(CodingCase{"Dark", 5, 4, rows({".....", ".....", ".....", "....."})},
                    CodingCase{"Lit", 5, 2, rows({"#####", "#####"})},
                    CodingCase{"OnePixelWide", 1, 4, rows({"#", ".", ".", "+"})},
                    CodingCase{"RunsAcrossRowEnds", 4, 3, rows({"..##", "####", "#..."})},
                    CodingCase{"RowsRepeatedThenChanged", 4, 6, rows({".##.", ".##.", ".##.", "+##+", ".##.", ".##."})},
                    CodingCase{"LastRowsRepeated", 3, 4, rows({"#.#", "...", "...", "..."})},
                    CodingCase{"EveryGreyAndTheBrightest", 256, 1,
                               [] {
                                   QByteArray b(256, '\0');
                                   for (int i = 0; i < 256; ++i)
                                       b[i] = char(i);
                                   return b;
                               }()}),
    testing::PrintToStringParamName());

TEST(Coding, RandomLayersDecodeToTheirBitmaps)
{
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const int width = 1 + int(random() % 40), height = 1 + int(random() % 40);
        const QByteArray bitmap = randomLayer(width, height, i % 2 ? 2 : 128, 3 * width / 2, random);
        ASSERT_EQ(RunCoding::decode(code(bitmap, width, height), width, height), bitmap) << i;
    }
}

// The bytes the page's script reads, for a layer of three rows: the second
// repeats the first, the third has a run that crosses into it from the second.
TEST(Coding, PinsTheBytesOfEachStream)
{
    const RunCoding::Layer layer = code(rows({"..##+", "..##+", "#...."}), 5, 3);
    EXPECT_EQ(layer.rows, QByteArray("\x03\x00\x01\x02", 4)) << "3 runs, 1 more of that row, 2 runs";
    EXPECT_EQ(layer.greys, QByteArray("\x00\xfe\x64\xfe\x00", 5));
    EXPECT_EQ(layer.lengths, QByteArray("\x02\x02\x01", 3)) << "no length for a row's last run";
}

TEST(Coding, RunsBeyondTheLayerAreDroppedAndMissingPixelsAreDark)
{
    RunCoding coding(3, 2);
    coding.addRun(200, 2);
    EXPECT_EQ(RunCoding::decode(coding.finish(), 3, 2), rows({"\xc8\xc8.", "..."}));
    coding.addRun(200, 100);
    EXPECT_EQ(RunCoding::decode(coding.finish(), 3, 2), rows({"\xc8\xc8\xc8", "\xc8\xc8\xc8"}));
}

TEST(Coding, DecodingRefusesStreamsThatAreNotALayer)
{
    const RunCoding::Layer good = code(rows({"#..", "#..", "..#"}), 3, 3);
    const auto with = [&good](QByteArray RunCoding::Layer::*stream, const QByteArray& bytes) {
        RunCoding::Layer bad = good;
        bad.*stream = bytes;
        return bad;
    };
    const RunCoding::Layer bad[] = {
        with(&RunCoding::Layer::rows, QByteArray("\x02\x00\x05\x02", 4)), // more repeats than rows
        with(&RunCoding::Layer::rows, QByteArray("\x02\x00\x01", 3)),     // a row short
        with(&RunCoding::Layer::rows, QByteArray("\x00\x01\x02\x02", 4)), // a repeat before any row
        with(&RunCoding::Layer::lengths, QByteArray("\x03\x02", 2)),      // a run to the row's end and past
        with(&RunCoding::Layer::greys, QByteArray("\xfe\x00\x00", 3)),    // greys missing
    };
    for (const RunCoding::Layer& layer : bad)
        EXPECT_TRUE(RunCoding::decode(layer, 3, 3).isEmpty());
}

// A chunk as page.js decodes it (decodeChunk): the bitmap of each layer.
QVector<QByteArray> decodeChunk(const QByteArray& zlib, int layers, int width, int height)
{
    // qUncompress takes the size before the stream as a first guess only.
    const QByteArray bytes = qUncompress(QByteArray("\x00\x10\x00\x00", 4) + zlib);
    int at = 0;
    const auto varint = [&]() {
        quint64 value = 0;
        for (int shift = 0;; shift += 7) {
            const uchar b = uchar(bytes[at++]);
            value |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return int(value);
        }
    };
    QVector<std::array<int, 3>> sizes(layers);
    for (auto& size : sizes)
        size = {varint(), varint(), varint()};
    std::array<int, 3> starts{at, 0, 0};
    for (int s = 1; s < 3; ++s) {
        starts[s] = starts[s - 1];
        for (const auto& size : sizes)
            starts[s] += size[s - 1];
    }
    QVector<QByteArray> bitmaps;
    for (const auto& size : sizes) {
        if (size[0] == 0) {
            bitmaps.append(bitmaps.last());
            continue;
        }
        const RunCoding::Layer layer{bytes.mid(starts[0], size[0]), bytes.mid(starts[1], size[1]), bytes.mid(starts[2], size[2])};
        bitmaps.append(RunCoding::decode(layer, width, height));
        for (int s = 0; s < 3; ++s)
            starts[s] += size[s];
    }
    return bitmaps;
}

TEST(PageLayers, ChunksHoldEveryLayerShownAndLayersLikeTheOneBeforeTakeNoRoom)
{
    const int width = 600, height = 1200;
    std::mt19937 random(3);
    QVector<QByteArray> bitmaps;
    for (int j = 0; j < 12; ++j)
        bitmaps.append(j % 4 == 1 ? bitmaps.last() : randomLayer(width, height, 128, 8, random));
    PageLayers layers(QSize(width, height), [&](int j, const RunSink& sink) {
        readBitmap(bitmaps[j], sink);
        return true;
    });
    const QVector<int> shown{0, 1, 2, 5, 6, 7, 8, 9, 10, 11};
    layers.build(bitmaps.size(), shown);
    ASSERT_GT(layers.chunks.size(), 1) << "layers of 160,000 runs fill more than one chunk";
    QVector<QByteArray> decoded;
    for (int c = 0; c < layers.chunks.size(); ++c)
        decoded += decodeChunk(layers.chunks[c], layers.chunkLayers[c], width, height);
    ASSERT_EQ(decoded.size(), shown.size());
    for (int i = 0; i < shown.size(); ++i)
        EXPECT_EQ(decoded[i], bitmaps[shown[i]]) << "layer " << shown[i];
}

// What a source is given, layer by layer.
class RecordingSource : public OverlaySource {
public:
    void addLit(const RasterCursor&, qint64 length) override { lit += length; }
    void endLayer(int layer) override { events << QStringLiteral("%1: %2 lit").arg(layer).arg(lit), lit = 0; }
    void repeatLayer(int layer) override { events << QStringLiteral("%1: again").arg(layer); }
    void stopAt(int layer) override { events << QStringLiteral("%1: stop").arg(layer); }
    std::vector<PageOverlay> overlays() override { return {}; }

    QStringList events;
    qint64 lit = 0;
};

// Layers on the data of the layer before are not read again; data read again
// further on counts against the budget, past which the sources stop and only
// the layers shown are read. The chunks are the same as when every layer is
// read.
TEST(PageLayers, DataSharedByLayersIsReadAgainOnlyWithinABudget)
{
    const int width = 60, height = 40;
    std::mt19937 random(5);
    const QVector<int> blockOf{0, 0, 2, 0, 0, 5, 2, 2};
    QVector<QByteArray> blocks(8);
    for (int j : {0, 2, 5})
        blocks[j] = randomLayer(width, height, 128, 8, random);
    QVector<int> reads;
    const auto build = [&](bool sharing, RecordingSource* source) {
        PageLayers layers(QSize(width, height), [&](int j, const RunSink& sink) {
            reads << j;
            readBitmap(blocks[blockOf[j]], sink);
            return true;
        });
        if (sharing) {
            layers.sameLayerAs = [&](int j) { return blockOf[j]; };
            layers.dataBytes = [](int) { return bounds::kMaxRereadBytes / 2 + 1; };
        }
        layers.addSource(source);
        layers.build(blockOf.size(), {0, 1, 3, 4, 7});
        return layers.chunks;
    };
    RecordingSource everyLayer, shared;
    const QVector<QByteArray> expected = build(false, &everyLayer);
    reads.clear();
    EXPECT_EQ(build(true, &shared), expected);
    EXPECT_EQ(reads, (QVector<int>{0, 2, 3, 5, 7})) << "1 and 4 repeat the layer before; 6 is past the budget";
    const QStringList events = shared.events;
    ASSERT_EQ(events.size(), 7) << events.join(", ").toStdString();
    EXPECT_EQ(events.mid(0, 6), everyLayer.events.mid(0, 6).replaceInStrings(QRegularExpression("^(1|4): .*"), "\\1: again"));
    EXPECT_EQ(events[6], QStringLiteral("6: stop"));
}

SliceReport reportOf(const QVector<qint64>& layerBytes, const QVector<int>& warned)
{
    SliceReport report;
    for (qint64 bytes : layerBytes) {
        report.layers.append(LayerStats());
        report.layers.last().encodedBytes = bytes;
    }
    if (!warned.isEmpty())
        report.warnings.append(ReportWarning{QStringLiteral("islands"), warned, QStringLiteral("islands"), 0, {}});
    return report;
}

TEST(PageLayers, PastTheBoundThePageHoldsTheWarnedLayersAndEvenlySpacedOnes)
{
    const QVector<qint64> hundredOf10(100, 10);
    EXPECT_EQ(PageLayers::pick(reportOf(hundredOf10, {}), 1000).size(), 100) << "at the bound, every layer";
    const QVector<int> shown = PageLayers::pick(reportOf(hundredOf10, {13, 57}), 200);
    EXPECT_EQ(shown.size(), 20) << "as many as the bound holds";
    EXPECT_TRUE(shown.contains(13) && shown.contains(57));
    EXPECT_EQ(shown.first(), 0);
    EXPECT_EQ(shown.last(), 99);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    QVector<qint64> oneLarge = hundredOf10;
    oneLarge[50] = 150;
    qint64 used = 0;
    for (int j : PageLayers::pick(reportOf(oneLarge, {50}), 200))
        used += oneLarge[j];
    EXPECT_LE(used, 200) << "a large warned layer leaves less room for the others";
}

// A Vireld30 print with a part on the plate and a disc that starts in the air
// at layer 2; the scene of the browser test, smaller.
QString writeIslandPrint(const QDir& dir, const QByteArray& machineName = "Vireld30")
{
    TeskBuilder b(printerModel("Vireld30"));
    b.machineName = machineName;
    for (int j = 0; j < 5; ++j) {
        QByteArray bitmap(1440 * 2560, '\0');
        for (int y = 100; y < 300; ++y)
            bitmap.replace(y * 1440 + 100, 200, QByteArray(200, char(254)));
        for (int y = 900; y < 980 && j >= 2; ++y)
            bitmap.replace(y * 1440 + 700 + (y % 7), 60 - (y % 5), QByteArray(60 - (y % 5), char(j * 40)));
        b.addLayer(bitmap);
    }
    const QString path = dir.filePath(QStringLiteral("island.tesk"));
    EXPECT_TRUE(b.writeTo(path));
    return path;
}

// Intervals as row, x0, x1.
using Intervals = std::vector<std::array<int, 3>>;

// The intervals of an overlay, decoded as page.js decodes them (decodeOverlay).
std::map<int, Intervals> overlayIntervals(const PageOverlay& overlay)
{
    std::map<int, Intervals> layers;
    int at = 0;
    const QByteArray& bytes = overlay.coded;
    const auto varint = [&]() {
        int value = 0;
        for (int shift = 0;; shift += 7) {
            const uchar b = uchar(bytes[at++]);
            value |= (b & 0x7f) << shift;
            if (!(b & 0x80))
                return value;
        }
    };
    while (at < bytes.size()) {
        const int layer = varint(), count = varint();
        for (int i = 0; i < count; ++i) {
            const int row = varint(), x0 = varint();
            layers[layer].push_back({row, x0, x0 + varint()});
        }
    }
    return layers;
}

TEST(IslandOverlay, GathersInOnePassTheIslandsThePicturesDraw)
{
    QTemporaryDir dir;
    QString error;
    const auto examiner = SliceExaminer::open(writeIslandPrint(QDir(dir.path())), SliceExaminer::Detect, &error);
    ASSERT_TRUE(examiner) << error.toStdString();
    IslandOverlay islands(1440, 2560);
    PageLayers layers(examiner->layerSize(), [&](int j, const RunSink& sink) { return examiner->readRuns(j, sink); });
    layers.addSource(&islands);
    layers.build(examiner->layerCount(), {});
    EXPECT_TRUE(layers.chunks.isEmpty()) << "no layer shown";
    const std::vector<PageOverlay> overlays = islands.overlays();
    ASSERT_EQ(overlays.size(), 1u);
    EXPECT_EQ(overlays[0].kind, QStringLiteral("islands"));
    const auto gathered = overlayIntervals(overlays[0]);
    LayerPictures pictures(*examiner);
    for (int j = 0; j < examiner->layerCount(); ++j) {
        Intervals expected;
        for (const RowBlock& b : pictures.islandBlocks(j)) {
            for (int row = b.row0; row <= b.row1; ++row)
                expected.push_back({row, b.x0, b.x1});
        }
        const auto found = gathered.find(j);
        EXPECT_EQ(found != gathered.end() ? found->second : Intervals(), expected) << "layer " << j;
    }
    EXPECT_EQ(gathered.size(), 1u) << "the disc is an island in layer 2 alone";
}

// A closed box and an open tube side by side on one floor: the box's hollow
// (x and y 120-279) is a trap in layers 1-4, the tube's (x 520-679) a cup up to
// the last layer; every trapped pixel is a sealed face too.
TEST(DarkSpaceOverlay, GathersInOnePassTheTrapsAndCupsThePicturesDraw)
{
    constexpr int kWidth = 1440;
    TeskBuilder b(printerModel("Vireld30"));
    const auto square = [](QByteArray& bitmap, int x0, int inner) {
        for (int y = 100; y < 300; ++y) {
            bitmap.replace(y * kWidth + x0, 200, QByteArray(200, char(254)));
            if (inner && y >= 120 && y < 280)
                bitmap.replace(y * kWidth + x0 + 20, 160, QByteArray(160, '\0'));
        }
    };
    for (int j = 0; j < 6; ++j) {
        QByteArray bitmap(kWidth * 2560, '\0');
        square(bitmap, 100, j >= 1 && j <= 4);
        square(bitmap, 500, j >= 1);
        b.addLayer(bitmap);
    }
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("box.tesk"));
    ASSERT_TRUE(b.writeTo(path));
    QString error;
    const auto examiner = SliceExaminer::open(path, SliceExaminer::Detect, &error);
    ASSERT_TRUE(examiner) << error.toStdString();
    DarkSpaceOverlay darkSpace(kWidth, 2560);
    PageLayers layers(examiner->layerSize(), [&](int j, const RunSink& sink) { return examiner->readRuns(j, sink); });
    layers.addSource(&darkSpace);
    layers.build(examiner->layerCount(), {});
    const std::vector<PageOverlay> overlays = darkSpace.overlays();
    ASSERT_EQ(overlays.size(), 2u);
    EXPECT_EQ(overlays[0].kind, QStringLiteral("cups"));
    EXPECT_EQ(overlays[1].kind, QStringLiteral("traps"));
    std::map<int, Intervals> cups, traps;
    for (int j = 1; j <= 5; ++j) {
        for (int row = 120; row < 280; ++row) {
            if (j <= 4) {
                cups[j].push_back({row, 120, 279});
                traps[j].push_back({row, 120, 279});
            }
            cups[j].push_back({row, 520, 679});
        }
    }
    EXPECT_EQ(overlayIntervals(overlays[0]), cups);
    EXPECT_EQ(overlayIntervals(overlays[1]), traps);
    EXPECT_FALSE(overlays[0].cut || overlays[1].cut);
}

TEST(HtmlPage, IsOnePageThatNamesNothingOutsideIt)
{
    QTemporaryDir dir;
    // Text from the file that would end the page's data if it were not escaped.
    const QString path = writeIslandPrint(QDir(dir.path()), "Vireld30</script><script>alert(1)</script>");
    QString error;
    const auto examiner = SliceExaminer::open(path, SliceExaminer::Detect, &error);
    ASSERT_TRUE(examiner) << error.toStdString();
    const QByteArray page = HtmlPage(*examiner).build();
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>"));
    EXPECT_EQ(page.count("<script>"), 1) << "one script, the page's own";
    EXPECT_FALSE(page.contains("alert(1)</script>"));
    EXPECT_TRUE(page.contains("\\u003c/script>\\u003cscript>alert(1)"));
    EXPECT_TRUE(page.contains("<title>sliceinfo: island.tesk</title>"));
    for (const char* outside : {"src=", "<link", "@import", "url(", "fetch(", "XMLHttpRequest", "href=\"http"})
        EXPECT_FALSE(page.contains(outside)) << outside;
    EXPECT_TRUE(page.contains("default-src 'none'")) << "the browser is told to fetch nothing";
    for (const char* element : {"id=\"report-json\"", "id=\"page-json\"", "id=\"chunk-0\"", "id=\"overlay-0\""})
        EXPECT_TRUE(page.contains(element)) << element;
    EXPECT_FALSE(page.contains("{{")) << "every part of the template filled";
}

// A qvx file of a model whose grid is unknown: the report without layers.
TEST(HtmlPage, AFileWithoutAGridHasNoLayersToShow)
{
    TeskBuilder b(printerModel("Vireld10"));
    b.addLayer(QByteArray(960 * 1708, char(254)));
    QByteArray qvx = convertBytes(b.build()).output;
    const qint32 unknownModel = qToLittleEndian(qint32(20));
    qvx.replace(16, 4, reinterpret_cast<const char*>(&unknownModel), 4);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unknown.qvx"));
    ASSERT_TRUE(writeAt(path, 0, qvx));
    QString error;
    const auto examiner = SliceExaminer::open(path, SliceExaminer::Detect, &error);
    ASSERT_TRUE(examiner) << error.toStdString();
    const QByteArray page = HtmlPage(*examiner).build();
    EXPECT_TRUE(page.contains("\"chunks\":[]"));
    EXPECT_FALSE(page.contains("id=\"chunk-0\""));
}

} // namespace
