// The island finder against a plain per-pixel labelling (flood fill over a
// bitmap), on many random small layers in both run codings; and the islands
// of built files whose islands are known.
#include "analysis/islandfinder.h"
#include "examinedreports.h"
#include "islandlabels.h"
#include "layercoding.h"
#include "pictures/layerpictures.h"
#include "reading/qvxexaminer.h"
#include "reading/teskexaminer.h"
#include "teskbuilder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

std::ostream& operator<<(std::ostream& out, const Island& i)
{
    return out << "{layer " << i.layer << ", " << i.pixels << " px, x " << i.box.left() << ".." << i.box.right() << " y "
               << i.box.top() << ".." << i.box.bottom() << "}";
}

namespace {

// A layer as one byte per pixel, rows from the top; lit where not 0.
struct Bitmap {
    int width;
    int height;
    QByteArray pixels;

    bool lit(int x, int y) const { return pixels[y * width + x] != 0; }
};

QVector<Island> floodFillIslands(const Bitmap& layer, const Bitmap& below, int layerNumber)
{
    return ::floodFillIslands(layer.width, layer.height, layer.pixels, below.pixels, layerNumber);
}

// Hands the lit runs of a layer to the finder, read from the layer's coding.
void feed(LayerCoding coding, const Bitmap& layer, IslandFinder& finder)
{
    QString error;
    ASSERT_TRUE(readLitRuns(coding, encodeLayer(coding, layer.pixels), layer.pixels.size(),
                            [&finder](qint64 start, qint64 length) { finder.addLit(start, length); }, nullptr,
                            &error))
        << error.toStdString();
}

QVector<Island> finderIslands(const Bitmap& below, const Bitmap& layer, LayerCoding coding)
{
    IslandFinder finder(layer.width, layer.height);
    feed(coding, below, finder);
    EXPECT_TRUE(finder.endLayer(0).isEmpty()); // the first layer rests on the plate
    feed(coding, layer, finder);
    return finder.endLayer(1);
}

// Lit pixels get a random grey that is lit in both codings (a qvx class is
// the top four bits, so at least 16), dark pixels 0; `shape` says which.
Bitmap randomLayer(int width, int height, std::mt19937& random, const std::function<bool(int, int)>& shape)
{
    Bitmap b{width, height, QByteArray(width * height, '\0')};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (shape(x, y))
                b.pixels[y * width + x] = char(16 + 2 * (random() % 120));
    return b;
}

struct Pattern {
    const char* name;
    std::function<Bitmap(int w, int h, std::mt19937&)> make;
};

std::vector<Pattern> patterns()
{
    auto noise = [](int percent) {
        return [percent](int w, int h, std::mt19937& r) {
            return randomLayer(w, h, r, [&](int, int) { return int(r() % 100) < percent; });
        };
    };
    return {
        {"sparse noise", noise(8)},
        {"noise", noise(35)},
        {"dense noise", noise(65)},
        {"nearly all lit", noise(95)},
        {"all lit", noise(100)},
        {"all dark", noise(0)},
        // Diagonal lines touch only at corners.
        {"diagonals", [](int w, int h, std::mt19937& r) {
             const int step = 2 + int(r() % 4), shift = int(r() % 7);
             return randomLayer(w, h, r, [&](int x, int y) { return (x + y + shift) % step == 0; });
         }},
        {"anti-diagonals", [](int w, int h, std::mt19937& r) {
             const int step = 2 + int(r() % 4);
             return randomLayer(w, h, r, [&](int x, int y) { return (x - y + 64) % step == 0; });
         }},
        {"single pixels", [](int w, int h, std::mt19937& r) {
             return randomLayer(w, h, r, [&](int x, int y) { return x % 2 == 0 && y % 2 == 0 && r() % 2; });
         }},
        // Long runs that cross row ends.
        {"long runs", [](int w, int h, std::mt19937& r) {
             Bitmap b = randomLayer(w, h, r, [](int, int) { return false; });
             for (int p = 0; p < b.pixels.size();) {
                 const int length = 1 + int(r() % (2 * w + 1));
                 const bool lit = r() % 2;
                 for (int k = p; k < qMin(p + length, int(b.pixels.size())); ++k)
                     b.pixels[k] = lit ? char(254) : '\0';
                 p += length;
             }
             return b;
         }},
        // Runs over whole rows, between short ones that start or end them.
        {"whole rows", [](int w, int h, std::mt19937& r) {
             Bitmap b = randomLayer(w, h, r, [](int, int) { return false; });
             for (int p = 0; p < b.pixels.size();) {
                 const int length = r() % 3 == 0 ? 1 + int(r() % w) : w * (1 + int(r() % 4)) - int(r() % 2);
                 const bool lit = r() % 2;
                 for (int k = p; k < qMin(p + length, int(b.pixels.size())); ++k)
                     b.pixels[k] = lit ? char(254) : '\0';
                 p += length;
             }
             return b;
         }},
        {"rectangles", [](int w, int h, std::mt19937& r) {
             std::vector<QRect> boxes;
             for (int k = 0; k < 4; ++k)
                 boxes.emplace_back(int(r() % w), int(r() % h), 1 + int(r() % w), 1 + int(r() % h));
             return randomLayer(w, h, r, [&](int x, int y) {
                 for (const QRect& b : boxes)
                     if (b.contains(x, y))
                         return true;
                 return false;
             });
         }},
    };
}

// One lit pixel of `below` under each region of `layer`, at a random one of
// its pixels: the region rests on that one pixel.
Bitmap onePixelUnderEachRegion(const Bitmap& layer, std::mt19937& random)
{
    Bitmap below{layer.width, layer.height, QByteArray(layer.pixels.size(), '\0')};
    const Bitmap none = below;
    for (const Island& region : floodFillIslands(layer, none, 1)) {
        for (int tries = 0; tries < 100; ++tries) {
            const int x = region.box.left() + int(random() % region.box.width());
            const int y = region.box.top() + int(random() % region.box.height());
            if (layer.lit(x, y)) {
                below.pixels[y * layer.width + x] = char(200);
                break;
            }
        }
    }
    return below;
}

class Differential : public testing::TestWithParam<const char*> {};

TEST_P(Differential, TheFinderFindsWhatAFloodFillFinds)
{
    const LayerCoding coding = QLatin1String(GetParam()) == QLatin1String("Tesk") ? LayerCoding::Tesk : LayerCoding::Qvx;
    std::mt19937 random(2024);
    const std::vector<Pattern> all = patterns();
    int islandsSeen = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        const int w = 1 + int(random() % 23), h = 1 + int(random() % 13);
        const Pattern& top = all[random() % all.size()];
        const Pattern& bottom = all[random() % all.size()];
        const Bitmap layer = top.make(w, h, random);
        // Now and then the layer below holds up each region by a single pixel.
        const Bitmap below = trial % 5 == 0 ? onePixelUnderEachRegion(layer, random) : bottom.make(w, h, random);
        const QVector<Island> expected = floodFillIslands(layer, below, 1);
        ASSERT_EQ(finderIslands(below, layer, coding), expected)
            << "trial " << trial << ", " << w << " x " << h << ", " << top.name << " over " << bottom.name;
        islandsSeen += expected.size();
    }
    EXPECT_GT(islandsSeen, 1000); // the cases do hold islands
}

INSTANTIATE_TEST_SUITE_P(Codings, Differential, testing::Values("Tesk", "qvx"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(IslandFinder, KeepsNoLayerButTheOneBelow)
{
    // A pixel lit in layer 0 but not in layer 1 holds nothing up in layer 2.
    IslandFinder finder(3, 1);
    finder.addLit(0, 1);
    EXPECT_TRUE(finder.endLayer(0).isEmpty());
    finder.addLit(2, 1);
    EXPECT_EQ(finder.endLayer(1).size(), 1);
    finder.addLit(0, 1);
    const QVector<Island> islands = finder.endLayer(2);
    ASSERT_EQ(islands.size(), 1);
    EXPECT_EQ(islands[0], (Island{2, 1, QRect(0, 0, 1, 1)}));
    // An empty layer has no islands, and nothing rests on it.
    EXPECT_TRUE(finder.endLayer(3).isEmpty());
    finder.addLit(0, 3);
    EXPECT_EQ(finder.endLayer(4).size(), 1);
}

TEST(IslandFinder, GivesTheBlocksOfItsIslands)
{
    IslandFinder finder(5, 7);
    finder.addLit(0, 1); // below: row 0, x 0
    finder.endLayer(0);
    finder.addLit(0, 1); // rests on the pixel below
    finder.addLit(3, 2); // row 0, x 3..4
    finder.addLit(8, 2); // row 1, x 3..4: with the run above, an island
    finder.addLit(17, 14); // row 3 from x 2 to row 6, x 0: another
    std::vector<RowBlock> blocks;
    const QVector<Island> islands = finder.endLayer(1, &blocks);
    ASSERT_EQ(islands.size(), 2);
    EXPECT_EQ(islands[0], (Island{1, 4, QRect(3, 0, 2, 2)}));
    EXPECT_EQ(islands[1], (Island{1, 14, QRect(0, 3, 5, 4)}));
    const std::vector<RowBlock> expected{{0, 0, 3, 4}, {1, 1, 3, 4}, {3, 3, 2, 4}, {4, 5, 0, 4}, {6, 6, 0, 0}};
    EXPECT_EQ(blocks, expected);
}

// A run over millions of rows is three blocks: the layers of a one-pixel-wide
// grid are as cheap as their runs (bench/islandtime.cpp times them).
TEST(IslandFinder, TellsIslandsOfRunsOverManyRows)
{
    const int rows = 8 * 1024 * 1024;
    IslandFinder finder(1, rows);
    finder.addLit(1, rows - 2);
    EXPECT_TRUE(finder.endLayer(0).isEmpty());
    finder.addLit(0, 1); // rests on nothing
    finder.addLit(2, rows - 2); // on the run below, but for its last row
    EXPECT_EQ(finder.endLayer(1), (QVector<Island>{Island{1, 1, QRect(0, 0, 1, 1)}}));
    EXPECT_TRUE(finder.endLayer(2).isEmpty());
    finder.addLit(0, rows);
    EXPECT_EQ(finder.endLayer(3), (QVector<Island>{Island{3, rows, QRect(0, 0, 1, rows)}}));
}

// Built model-30 prints whose islands are known: shapes of grey 254 drawn
// layer by layer into 1440 x 2560 bitmaps.
constexpr int kWidth = 1440;
constexpr int kHeight = 2560;

void fillRect(QByteArray& bitmap, const QRect& r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(bitmap.data() + y * kWidth + r.left(), 254, size_t(r.width()));
}

void fillDisc(QByteArray& bitmap, const QPoint& centre, int radius)
{
    for (int y = centre.y() - radius; y <= centre.y() + radius; ++y)
        for (int x = centre.x() - radius; x <= centre.x() + radius; ++x)
            if ((x - centre.x()) * (x - centre.x()) + (y - centre.y()) * (y - centre.y()) <= radius * radius)
                bitmap[y * kWidth + x] = char(254);
}

// The island a layer's whole bitmap makes.
Island wholeLayer(const QByteArray& bitmap, int layer)
{
    Island island{layer, 0, QRect()};
    for (int i = 0; i < bitmap.size(); ++i) {
        if (bitmap[i] != 0) {
            ++island.pixels;
            island.box = island.box.united(QRect(i % kWidth, i / kWidth, 1, 1));
        }
    }
    return island;
}

struct Scene {
    const char* what;
    int layers;
    std::function<void(int layer, QByteArray& bitmap)> draw;
    std::function<QVector<Island>(const QVector<QByteArray>& bitmaps)> islands;
};

void PrintTo(const Scene& s, std::ostream* os) { *os << s.what; }

class KnownIslands : public testing::TestWithParam<Scene> {};

TEST_P(KnownIslands, AreFoundInTheTeskFileAndItsConversion)
{
    const Scene& scene = GetParam();
    TeskBuilder b(printerModel("Vireld30"));
    QVector<QByteArray> bitmaps;
    for (int j = 0; j < scene.layers; ++j) {
        bitmaps.append(QByteArray(kWidth * kHeight, '\0'));
        scene.draw(j, bitmaps.last());
        b.addLayer(bitmaps.last());
    }
    const QByteArray tesk = b.build();
    const QVector<Island> expected = scene.islands(bitmaps);
    EXPECT_EQ(teskReport(tesk).islands.listed, expected) << "Tesk";
    const SliceReport qvx = qvxReport(tesk);
    EXPECT_EQ(qvx.islands.listed, expected) << "qvx";
    EXPECT_EQ(qvx.islands.count, expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, KnownIslands,
    testing::Values(
        Scene{"FloatingDisc", 6,
              [](int j, QByteArray& b) {
                  fillRect(b, QRect(100, 100, 200, 200)); // the part, on the plate
                  if (j >= 3)
                      fillDisc(b, QPoint(800, 1500), 50);
              },
              [](const QVector<QByteArray>&) {
                  QByteArray disc(kWidth * kHeight, '\0');
                  fillDisc(disc, QPoint(800, 1500), 50);
                  return QVector<Island>{wholeLayer(disc, 3)};
              }},
        Scene{"DiscOnAPillar", 7,
              [](int j, QByteArray& b) {
                  if (j < 5)
                      fillRect(b, QRect(700, 1500, 20, 20));
                  else
                      fillDisc(b, QPoint(710, 1510), 50);
              },
              [](const QVector<QByteArray>&) { return QVector<Island>(); }},
        // The part stops for two layers and goes on above the gap.
        Scene{"PillarAboveAGap", 8,
              [](int j, QByteArray& b) {
                  if (j < 3 || j > 4)
                      fillRect(b, QRect(200, 200, 20, 30));
              },
              [](const QVector<QByteArray>& bitmaps) { return QVector<Island>{wholeLayer(bitmaps[5], 5)}; }},
        // A pillar ends, another starts beside it in the next layer, touching
        // it only at a corner: corners do not hold anything up.
        Scene{"PillarBesideOneThatEnds", 4,
              [](int j, QByteArray& b) {
                  fillRect(b, j < 2 ? QRect(200, 200, 20, 20) : QRect(220, 220, 20, 20));
              },
              [](const QVector<QByteArray>& bitmaps) { return QVector<Island>{wholeLayer(bitmaps[2], 2)}; }},
        Scene{"OverhangGrowingSideways", 8,
              [](int j, QByteArray& b) { fillRect(b, QRect(300, 900, 40 + 30 * j, 60)); },
              [](const QVector<QByteArray>&) { return QVector<Island>(); }}),
    testing::PrintToStringParamName());

// The examiner of a Tesk file, written as `name` in `dir`.
std::unique_ptr<TeskExaminer> examine(const QByteArray& tesk, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(tesk) == tesk.size());
    file.close();
    auto examiner = std::make_unique<TeskExaminer>(path);
    QString error;
    EXPECT_TRUE(examiner->inspect(&error));
    return examiner;
}

// The report, but for the lines that tell the file's path and size.
QString reportText(const SliceExaminer& examiner)
{
    QVector<int> all(examiner.layerCount());
    std::iota(all.begin(), all.end(), 0);
    QStringList lines = examiner.report().toText(all).split(QLatin1Char('\n'));
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString& line) {
                                   return line.startsWith(QLatin1String("file:")) || line.startsWith(QLatin1String("file size:"));
                               }),
                lines.end());
    return lines.join(QLatin1Char('\n'));
}

// Three layers, each over each other with islands of its own.
QVector<QByteArray> threeLayers()
{
    QVector<QByteArray> layers(3, QByteArray(kWidth * kHeight, '\0'));
    fillRect(layers[0], QRect(100, 100, 200, 200));
    fillRect(layers[1], QRect(600, 900, 100, 50));
    fillRect(layers[2], QRect(100, 100, 200, 200));
    fillRect(layers[2], QRect(600, 900, 100, 50));
    fillDisc(layers[2], QPoint(1000, 2000), 40);
    return layers;
}

// The file of `layers` in the order of `pattern`, each entry with a copy of
// its block, and the one whose entries share the blocks.
struct TwoFiles {
    std::unique_ptr<TeskExaminer> ownBlocks;
    std::unique_ptr<TeskExaminer> sharedBlocks;
};

TwoFiles withPattern(const std::vector<int>& pattern, const QTemporaryDir& dir)
{
    const QVector<QByteArray> layers = threeLayers();
    TeskBuilder own(printerModel("Vireld30")), shared(printerModel("Vireld30"));
    for (int k : pattern)
        own.addLayer(layers[k]);
    for (const QByteArray& layer : layers)
        shared.addLayer(layer);
    return {examine(own.build(), dir, QStringLiteral("own.tesk")),
            examine(buildSharingBlocks(shared, pattern), dir, QStringLiteral("shared.tesk"))};
}

// Entries that share blocks in any order give the report of a file with
// every block copied out.
TEST(SharedBlocks, GiveTheReportOfEveryBlockCopiedOut)
{
    const std::vector<std::vector<int>> patterns = {
        {0, 1, 0, 1, 0, 1}, {1, 0, 2, 1, 1, 2, 0, 0, 1}, {2, 2, 0, 2, 1, 0, 1}, {0, 2, 1, 2, 0, 2, 1, 2},
        {0, 1, 0, 1, 2, 0, 1, 0, 2}, // a pair seen before, then one whose lower block the finder lost
    };
    QTemporaryDir dir;
    for (const std::vector<int>& pattern : patterns) {
        const TwoFiles files = withPattern(pattern, dir);
        const QString expected = reportText(*files.ownBlocks);
        EXPECT_TRUE(expected.contains(QLatin1String("island"))) << expected.toStdString();
        EXPECT_EQ(reportText(*files.sharedBlocks).toStdString(), expected.toStdString());
    }
}

// And the pictures of the copied blocks, drawn once a pair of blocks.
TEST(SharedBlocks, GiveThePicturesOfEveryBlockCopiedOut)
{
    QTemporaryDir dir;
    const TwoFiles files = withPattern({0, 1, 0, 0, 2, 1, 2, 0, 1}, dir);
    LayerPictures own(*files.ownBlocks), shared(*files.sharedBlocks);
    for (const QSize& size : {QSize(150, 267), QSize(100, 178)}) {
        for (int j = 0; j < files.ownBlocks->layerCount(); ++j) {
            const QImage thumbnail = shared.thumbnail(j, size);
            EXPECT_EQ(thumbnail.size(), size);
            EXPECT_TRUE(thumbnail == own.thumbnail(j, size)) << j << " " << size.width();
        }
    }
    for (int j = 0; j < files.ownBlocks->layerCount(); ++j)
        EXPECT_TRUE(shared.picture(j) == own.picture(j)) << j;
}

// Entries alternating between two blocks of 16 MiB: the dark space follows
// the layers until 256 MiB of shared data would be read again, and the
// warning says so.
TEST(SharedBlocks, AreReadAgainForTrapsAndCupsWithinABudget)
{
    TeskBuilder builder;
    builder.header.resolutionX = 40;
    builder.header.resolutionY = 30;
    const QByteArray empty = teskRunToken(0, 0);
    for (int grey : {0x40, 0x20}) {
        const QByteArray layer = teskRunToken(grey, 40 * 30);
        builder.addLayerStream(layer + empty.repeated((16 * 1024 * 1024 - layer.size()) / empty.size()));
    }
    std::vector<int> pattern;
    for (int j = 0; j < 20; ++j)
        pattern.push_back(j % 2);
    QTemporaryDir dir;
    const auto examiner = examine(buildSharingBlocks(builder, pattern), dir, QStringLiteral("alternating.tesk"));
    const DarkSpaceSummary& found = examiner->report().darkSpace;
    EXPECT_EQ(found.notExaminedFrom, 18) << "16 blocks read again take 256 MiB less a few bytes";
    EXPECT_TRUE(found.rereadBudgetSpent);
    const auto warned = std::find_if(examiner->report().warnings.begin(), examiner->report().warnings.end(),
                                     [](const ReportWarning& w) { return w.kind == QLatin1String("darkSpaceNotExamined"); });
    ASSERT_NE(warned, examiner->report().warnings.end());
    EXPECT_TRUE(warned->text.contains(QLatin1String("by layer 18 more than 256 MiB of data that table entries share")))
        << warned->text.toStdString();
}

} // namespace
