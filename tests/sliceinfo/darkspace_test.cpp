// The dark-space finder against a plain flood fill (darkspaceflood) on the
// examples of traps and cups, the pitfalls of following dark space, random
// small prints and tall grids, fed from both run codings; its limits; and the
// traps and cups of built files, as sliceinfo reads them.
#include "analysis/darkspacefinder.h"
#include "darkspaceflood.h"
#include "examinedreports.h"
#include "layercoding.h"
#include "report/layerselection.h"
#include "teskbuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

std::ostream& operator<<(std::ostream& out, const Trap& t)
{
    return out << "{trap layers " << t.firstLayer << ".." << t.lastLayer << ", " << t.pixels << " px, x "
               << t.box.left() << ".." << t.box.right() << " y " << t.box.top() << ".." << t.box.bottom() << "}";
}

std::ostream& operator<<(std::ostream& out, const Cup& c)
{
    return out << "{cup layers " << c.firstLayer << ".." << c.lastLayer << ", face " << c.maxFacePixels << " px, x "
               << c.box.left() << ".." << c.box.right() << " y " << c.box.top() << ".." << c.box.bottom() << "}";
}

namespace {

constexpr char kFull = char(254);
// Lit in a Tesk file; class 0, dark, in its qvx.
constexpr char kFaint = char(8);

// A small print: one grey byte a pixel, layer 0 (on the plate) first.
struct Print {
    Print(int width, int height, int layerCount)
        : width(width)
        , height(height)
        , layers(layerCount, QByteArray(width * height, '\0'))
    {
    }

    // Sets the pixels for which `inside(x, y)` holds, in layers z0 to z1 (as
    // far as the print goes).
    Print& paint(int z0, int z1, char grey, const std::function<bool(int x, int y)>& inside)
    {
        for (int z = z0; z <= qMin(z1, layers.size() - 1); ++z)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (inside(x, y))
                        layers[z][y * width + x] = grey;
        return *this;
    }
    Print& fill(const QRect& area, int z0, int z1, char grey = kFull)
    {
        return paint(z0, z1, grey, [&area](int x, int y) { return area.contains(x, y); });
    }
    Print& clear(const QRect& area, int z0, int z1) { return fill(area, z0, z1, 0); }

    int width;
    int height;
    QVector<QByteArray> layers;
};

// What the finder makes of a print read from one coding, every layer kept for
// the pictures; `lit` is what the coding's runs light. A layer of a Tesk file
// like the one before is taken as a repeat, as for a block the two share.
struct Found {
    DarkSpaceSummary summary;
    QVector<QByteArray> trapped;
    QVector<QByteArray> faces;
    QVector<QByteArray> lit;
};

Found find(const Print& print, LayerCoding coding)
{
    Found found;
    DarkSpaceFinder finder(print.width, print.height);
    finder.keepAllLayers(qint64(1) << 30);
    for (int z = 0; z < print.layers.size(); ++z) {
        if (coding == LayerCoding::Tesk && z > 0 && print.layers[z] == print.layers[z - 1]) {
            found.lit.append(found.lit.last());
            finder.repeatLayer(z);
            continue;
        }
        found.lit.append(QByteArray());
        EXPECT_TRUE(readLitRuns(coding, encodeLayer(coding, print.layers[z]), print.layers[z].size(),
                                [&finder](qint64 start, qint64 length) { finder.addLit(start, length); },
                                &found.lit.last()));
        finder.endLayer(z);
    }
    found.summary = finder.finish();
    for (int z = 0; z < print.layers.size(); ++z) {
        EXPECT_TRUE(finder.kept(z));
        found.trapped.append(intervalMask(print.width, print.height, finder.trappedIntervals(z)));
        found.faces.append(intervalMask(print.width, print.height, finder.faceIntervals(z)));
    }
    return found;
}

// The finder's traps, cups and kept pixels are the flood fill's; gives them.
Found expectSameAsFloodFill(const Print& print, LayerCoding coding, const std::string& what)
{
    const Found found = find(print, coding);
    const FloodedDarkSpace flooded = floodFillDarkSpace(print.width, print.height, found.lit);
    EXPECT_EQ(found.summary.traps, flooded.traps) << what;
    EXPECT_EQ(found.summary.cups, flooded.cups) << what;
    EXPECT_EQ(found.summary.trapCount, flooded.traps.size()) << what;
    EXPECT_EQ(found.summary.cupCount, flooded.cups.size()) << what;
    for (int z = 0; z < print.layers.size(); ++z) {
        EXPECT_EQ(found.trapped[z], flooded.trapped[z]) << what << ", trapped pixels of layer " << z;
        EXPECT_EQ(found.faces[z], flooded.faces[z]) << what << ", face pixels of layer " << z;
    }
    return found;
}

const char* codingName(LayerCoding coding) { return coding == LayerCoding::Tesk ? "Tesk" : "qvx"; }

// ---- The examples and the pitfalls, each with what it holds ----

struct Scene {
    const char* name;
    std::function<Print()> make;
    QVector<Trap> traps;
    QVector<Cup> cups;
    // The traps and cups are sealed by greys of class 0, dark in a qvx file.
    bool teskOnly = false;
};

void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }

// A 12 x 12 print of 10 layers: walls x, y 2..9 in layers 1..8 around a 4 x 4
// hollow (x, y 4..7) in layers 3..6.
Print closedBox(int layerCount = 10)
{
    Print p(12, 12, layerCount);
    p.fill(QRect(2, 2, 8, 8), 1, qMin(8, layerCount - 1));
    p.clear(QRect(4, 4, 4, 4), 3, qMin(6, layerCount - 1));
    return p;
}

const QRect kHollow(4, 4, 4, 4);

// The print's points within a Manhattan distance of (6, 6).
std::function<bool(int, int)> diamond(int from, int to)
{
    return [from, to](int x, int y) {
        const int d = std::abs(x - 6) + std::abs(y - 6);
        return d >= from && d <= to;
    };
}

std::vector<Scene> scenes()
{
    return {
        {"ClosedBox", [] { return closedBox(); }, {{3, 6, 64, kHollow}}, {{3, 6, 16, kHollow}}},
        {"BoxOpenAtTheLastLayer", [] { return closedBox(7); }, {}, {{3, 6, 16, kHollow}}},
        // The vent runs through the right wall (x 8..9) to the space around.
        {"SideVentInTheTopHollowLayer", [] { return closedBox().clear(QRect(8, 5, 2, 1), 6, 6); },
         {}, {{3, 5, 16, kHollow}}},
        {"SideVentInTheBottomHollowLayer", [] { return closedBox().clear(QRect(8, 5, 2, 1), 3, 3); }, {}, {}},
        {"TubeOnThePlate",
         [] { return Print(12, 12, 8).fill(QRect(2, 2, 8, 8), 0, 5).clear(kHollow, 0, 5); },
         {}, {{0, 5, 16, kHollow}}},
        // Two chambers (x 3..4 and 9..10) joined higher up by a third: one
        // hollow, an inverted U.
        {"InvertedU",
         [] {
             return Print(14, 12, 10)
                 .fill(QRect(1, 2, 12, 8), 1, 8)
                 .clear(QRect(3, 4, 2, 4), 2, 5)
                 .clear(QRect(9, 4, 2, 4), 2, 5)
                 .clear(QRect(3, 4, 8, 4), 6, 7);
         },
         {{2, 7, 128, QRect(3, 4, 8, 4)}}, {{2, 7, 32, QRect(3, 4, 8, 4)}}},
        // A stem, a chamber across, and two branches of which one ends early.
        {"YWithABranchEndingEarly",
         [] {
             return Print(14, 12, 12)
                 .fill(QRect(1, 2, 12, 8), 1, 10)
                 .clear(QRect(6, 4, 2, 4), 2, 4)
                 .clear(QRect(3, 4, 8, 4), 5, 5)
                 .clear(QRect(3, 4, 2, 4), 6, 9)
                 .clear(QRect(9, 4, 2, 4), 6, 7);
         },
         {{2, 9, 104, QRect(3, 4, 8, 4)}}, {{2, 9, 32, QRect(3, 4, 8, 4)}}},
        // A wall one pixel thick whose pixels meet only at their corners.
        {"WallMeetingAtCorners",
         [] { return Print(13, 13, 9).paint(1, 7, kFull, diamond(0, 4)).paint(2, 6, 0, diamond(0, 3)); },
         {{2, 6, 125, QRect(3, 3, 7, 7)}}, {{2, 6, 25, QRect(3, 3, 7, 7)}}},
        // A roof in layers 7..8 with a one-pixel hole; the vat above.
        {"OnePixelVentThroughTheRoof", [] { return closedBox(12).clear(QRect(5, 5, 1, 1), 7, 8); },
         {}, {{3, 8, 16, kHollow}}},
        {"SealedBoxInASealedBox",
         [] {
             return Print(16, 16, 16)
                 .fill(QRect(1, 1, 14, 14), 1, 14)
                 .clear(QRect(3, 3, 10, 10), 3, 12)
                 .fill(QRect(5, 5, 6, 6), 5, 10)
                 .clear(QRect(7, 7, 2, 2), 7, 8);
         },
         {{7, 8, 8, QRect(7, 7, 2, 2)}, {3, 12, 784, QRect(3, 3, 10, 10)}},
         {{7, 8, 4, QRect(7, 7, 2, 2)}, {3, 12, 100, QRect(3, 3, 10, 10)}}},
        {"HollowClippedByTheBorder",
         [] { return Print(12, 12, 10).fill(QRect(0, 2, 10, 8), 1, 8).clear(QRect(0, 4, 4, 4), 3, 6); }, {}, {}},
        {"WallsOnTheBorder",
         [] { return Print(12, 12, 10).fill(QRect(0, 0, 8, 8), 1, 8).clear(QRect(1, 1, 4, 4), 3, 6); },
         {{3, 6, 64, QRect(1, 1, 4, 4)}}, {{3, 6, 16, QRect(1, 1, 4, 4)}}},
        {"EmptyLayerThroughTheWalls", [] { return closedBox().clear(QRect(0, 0, 12, 12), 5, 5); },
         {}, {{3, 4, 16, kHollow}}},
        // The right wall (x 8..9) is faint: it seals the Tesk file only.
        {"FaintWall", [] { return closedBox().fill(QRect(8, 2, 2, 8), 2, 7, kFaint); },
         {{3, 6, 64, kHollow}}, {{3, 6, 16, kHollow}}, true},
    };
}

class Examples : public testing::TestWithParam<std::tuple<Scene, LayerCoding>> {};

TEST_P(Examples, AreFoundAsTheDefinitionsSay)
{
    const Scene& scene = std::get<0>(GetParam());
    const LayerCoding coding = std::get<1>(GetParam());
    const bool none = coding == LayerCoding::Qvx && scene.teskOnly;
    const Found found = expectSameAsFloodFill(scene.make(), coding, scene.name);
    EXPECT_EQ(found.summary.traps, none ? QVector<Trap>() : scene.traps);
    EXPECT_EQ(found.summary.cups, none ? QVector<Cup>() : scene.cups);
    EXPECT_EQ(found.summary.notExaminedFrom, -1);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Examples,
                         testing::Combine(testing::ValuesIn(scenes()), testing::Values(LayerCoding::Tesk, LayerCoding::Qvx)),
                         [](const testing::TestParamInfo<std::tuple<Scene, LayerCoding>>& info) {
                             return std::string(std::get<0>(info.param).name) + codingName(std::get<1>(info.param));
                         });

// ---- Random prints ----

using Maker = std::function<Print(int w, int h, int layers, std::mt19937&)>;

char randomGrey(std::mt19937& random)
{
    return random() % 6 == 0 ? kFaint : char(16 + 2 * (random() % 120));
}

// A random box within the print, at least `least` pixels each way where it can be.
struct Box {
    QRect area;
    int z0, z1;
};

std::pair<int, int> randomSpan(int size, int least, std::mt19937& random)
{
    const int length = qMin(size, least + int(random() % qMax(1, size - least + 1)));
    return {int(random() % (size - length + 1)), length};
}

Box randomBox(int w, int h, int layers, int least, std::mt19937& random)
{
    const auto [x, width] = randomSpan(w, least, random);
    const auto [y, height] = randomSpan(h, least, random);
    const auto [z, depth] = randomSpan(layers, least, random);
    return Box{QRect(x, y, width, height), z, z + depth - 1};
}

// Random shells (a box lit, a box within it cleared), some with a vent
// cleared through them, some overlapping.
Print shells(int w, int h, int layers, std::mt19937& random)
{
    Print p(w, h, layers);
    const int count = 1 + int(random() % 4);
    for (int k = 0; k < count; ++k) {
        const Box outer = randomBox(w, h, layers, 3, random);
        p.fill(outer.area, outer.z0, outer.z1, randomGrey(random));
        const int wall = 1 + int(random() % 2);
        p.clear(outer.area.adjusted(wall, wall, -wall, -wall), outer.z0 + wall, outer.z1 - wall);
        if (random() % 3 == 0) {
            const Box vent = randomBox(w, h, layers, 1, random);
            p.clear(QRect(vent.area.topLeft(), QSize(1 + int(random() % 2), 1)), vent.z0, vent.z0 + int(random() % 3));
        }
    }
    return p;
}

// Each pixel lit with the same chance; now and then a layer like the one below.
Print noise(int w, int h, int layers, std::mt19937& random)
{
    Print p(w, h, layers);
    const int percent = 30 + int(random() % 60);
    for (int z = 0; z < layers; ++z) {
        if (z > 0 && random() % 3 == 0) {
            p.layers[z] = p.layers[z - 1];
            continue;
        }
        for (int i = 0; i < w * h; ++i)
            p.layers[z][i] = int(random() % 100) < percent ? randomGrey(random) : '\0';
    }
    return p;
}

// Runs of random length, some many rows long.
Print longRuns(int w, int h, int layers, std::mt19937& random)
{
    Print p(w, h, layers);
    for (int z = 0; z < layers; ++z) {
        for (int at = 0; at < w * h;) {
            const int length = 1 + int(random() % (3 * w + 1));
            const char grey = random() % 3 == 0 ? kFull : '\0';
            for (int i = at; i < qMin(at + length, w * h); ++i)
                p.layers[z][i] = grey;
            at += length;
        }
    }
    return p;
}

void expectRandomPrintsAsFloodFill(const Maker& make, int maxWidth, int maxHeight, int maxLayers, int trials,
                                   int* traps, int* cups)
{
    std::mt19937 random(29);
    for (int trial = 0; trial < trials; ++trial) {
        const int w = 1 + int(random() % maxWidth), h = 1 + int(random() % maxHeight);
        const int layers = 1 + int(random() % maxLayers);
        const Print print = make(w, h, layers, random);
        for (LayerCoding coding : {LayerCoding::Tesk, LayerCoding::Qvx}) {
            const std::string what = "trial " + std::to_string(trial) + ", " + std::to_string(w) + " x "
                                     + std::to_string(h) + " x " + std::to_string(layers) + ", " + codingName(coding);
            const Found found = expectSameAsFloodFill(print, coding, what);
            *traps += found.summary.traps.size();
            *cups += found.summary.cups.size();
            if (testing::Test::HasFailure())
                return;
        }
    }
}

TEST(DarkSpaceFinder, FindsWhatAFloodFillFindsInRandomShells)
{
    int traps = 0, cups = 0;
    expectRandomPrintsAsFloodFill(shells, 14, 14, 12, 800, &traps, &cups);
    EXPECT_GT(traps, 500);
    EXPECT_GT(cups, 500);
}

TEST(DarkSpaceFinder, FindsWhatAFloodFillFindsInRandomNoise)
{
    int traps = 0, cups = 0;
    expectRandomPrintsAsFloodFill(noise, 12, 12, 10, 600, &traps, &cups);
    EXPECT_GT(traps, 800);
    EXPECT_GT(cups, 2500);
}

// Tall, narrow grids, whose dark rows make items of whole rows.
TEST(DarkSpaceFinder, FindsWhatAFloodFillFindsInTallGrids)
{
    int traps = 0, cups = 0;
    expectRandomPrintsAsFloodFill(longRuns, 5, 400, 6, 150, &traps, &cups);
    EXPECT_GT(cups, 50);
}

// ---- Cost and limits ----

// One lit run a layer in a column 8,388,600 pixels tall: the dark space above
// and below it is one item each, not one per row.
TEST(DarkSpaceFinder, TakesWholeDarkRowsAsOneItem)
{
    const int height = 8388600;
    DarkSpaceFinder finder(1, height);
    for (int z = 0; z < 5; ++z) {
        finder.addLit(qint64(height) / 2 + z, 3);
        finder.endLayer(z);
    }
    DarkSpaceFinder wide(7, height / 7);
    for (int z = 0; z < 5; ++z) {
        wide.addLit(qint64(height) / 2 + 11 * z, 30);
        wide.endLayer(z);
    }
    EXPECT_LE(finder.peakItems(), 2u);
    EXPECT_LE(wide.peakItems(), 8u);
    EXPECT_EQ(finder.finish().cupCount + wide.finish().cupCount, 0);
}

// Lit every second pixel of a layer whose width is odd: each dark pixel
// stands alone. A trap closed before the limit stays reported.
void expectGivesUpOnALayerOf(int width, int height)
{
    DarkSpaceFinder finder(width, height);
    const QRect hollow(10, 10, 2, 2);
    for (int z = 0; z < 3; ++z) {
        for (int y = 0; y < height; ++y) {
            if (z == 1 && y >= hollow.top() && y <= hollow.bottom()) {
                finder.addLit(qint64(y) * width, hollow.left());
                finder.addLit(qint64(y) * width + hollow.right() + 1, width - hollow.right() - 1);
            } else {
                finder.addLit(qint64(y) * width, width);
            }
        }
        finder.endLayer(z);
    }
    for (qint64 i = 1; i < qint64(width) * height; i += 2)
        finder.addLit(i, 1);
    finder.endLayer(3);
    finder.endLayer(4);
    const DarkSpaceSummary& found = finder.finish();
    EXPECT_EQ(found.notExaminedFrom, 3);
    EXPECT_EQ(found.traps, QVector<Trap>({{1, 1, 4, hollow}}));
    EXPECT_EQ(found.cups, QVector<Cup>({{1, 1, 4, hollow}}));
}

TEST(DarkSpaceFinder, GivesUpOnALayerOfTooManyItems)
{
    static_assert(size_t(4097 * 1024 / 2) > DarkSpaceFinder::kMaxItems, "more items than the limit");
    expectGivesUpOnALayerOf(4097, 1024);
}

TEST(DarkSpaceFinder, GivesUpOnTooManyComponents)
{
    static_assert(size_t(1025 * 1100 / 2) < DarkSpaceFinder::kMaxItems, "items within the limit");
    static_assert(size_t(1023 * 1098 / 2) > DarkSpaceFinder::kMaxComponents, "more sealed ones than the limit");
    expectGivesUpOnALayerOf(1025, 1100);
}

TEST(DarkSpaceFinder, KeepsTheChosenLayersOrThoseWithinItsBudget)
{
    const Print box = closedBox();
    DarkSpaceFinder chosen(box.width, box.height), budget(box.width, box.height);
    chosen.keepLayers({4, 9});
    // Enough for the four items of one layer of the hollow, not for two, on
    // 32 and 64 bits (148 or 116 bytes for layers 0 to 3, 233 or 193 to 4).
    budget.keepAllLayers(180);
    for (int z = 0; z < box.layers.size(); ++z) {
        for (DarkSpaceFinder* finder : {&chosen, &budget}) {
            readLitRuns(LayerCoding::Tesk, encodeLayer(LayerCoding::Tesk, box.layers[z]), box.layers[z].size(),
                        [finder](qint64 start, qint64 length) { finder->addLit(start, length); });
            finder->endLayer(z);
        }
    }
    chosen.finish();
    budget.finish();
    const std::vector<DarkSpaceFinder::Interval> rows = chosen.trappedIntervals(4);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].row, 4);
    EXPECT_EQ(rows[0].x0, 4);
    EXPECT_EQ(rows[3].row, 7);
    EXPECT_EQ(rows[3].x1, 7);
    EXPECT_EQ(chosen.faceIntervals(4).size(), 4u);
    EXPECT_TRUE(chosen.kept(9));
    EXPECT_TRUE(chosen.faceIntervals(9).empty());
    EXPECT_FALSE(chosen.kept(3));
    EXPECT_EQ(chosen.notKeptFrom(), -1);
    EXPECT_TRUE(budget.kept(2));
    EXPECT_TRUE(budget.kept(3));
    EXPECT_FALSE(budget.kept(4));
    EXPECT_EQ(budget.notKeptFrom(), 4);
}

// ---- What is warned of ----

TEST(DarkSpaceSummary, CountsApartWhatPassesTheThresholds)
{
    // Model 30: pixels 0.04725 mm square, layers 0.05 mm high.
    const DarkSpaceThresholds t = DarkSpaceThresholds::forPrint(0.04725 * 0.04725, 0.05);
    EXPECT_EQ(t.trapPixels, 8959); // 1 mm3 is 8958.3 voxels
    EXPECT_EQ(t.cupFacePixels, 448); // 1 mm2 is 447.9 pixels
    EXPECT_EQ(t.cupLayers, 10);
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        for (const DarkSpaceThresholds& u : {DarkSpaceThresholds::forPrint(bad, 0.05), DarkSpaceThresholds::forPrint(0.01, bad)}) {
            EXPECT_EQ(u.trapPixels, 1) << bad;
            EXPECT_EQ(u.cupFacePixels, 1) << bad;
            EXPECT_EQ(u.cupLayers, 1) << bad;
        }
    }
    DarkSpaceSummary s;
    s.thresholds = t;
    s.add(Trap{5, 8, 8959, QRect()});
    s.add(Trap{20, 30, 8958, QRect()});
    s.add(Cup{0, 9, 448, QRect()});
    s.add(Cup{3, 12, 447, QRect()});
    s.add(Cup{20, 28, 5000, QRect()}); // 0.45 mm
    EXPECT_EQ(s.trapCount, 2);
    EXPECT_EQ(s.significantTraps, 1);
    EXPECT_EQ(s.trapLayers(), QVector<int>({5, 6, 7, 8}));
    EXPECT_EQ(s.cupCount, 3);
    EXPECT_EQ(s.significantCups, 1);
    EXPECT_EQ(s.cupLayers(), LayerSelection::all(10));
    EXPECT_EQ(s.largestCups, QVector<Cup>({{0, 9, 448, QRect()}}));
}

// ---- Built files ----

// Model-30 prints of solids drawn voxel by voxel (a layer as high as a pixel is
// wide) in a 48 x 48 pixel window of the 1440 x 2560 grid.
constexpr int kGridWidth = 1440;
constexpr int kGridHeight = 2560;
constexpr int kWindow = 48;
const QPoint kWindowAt(676, 1176);

struct Solid {
    const char* what;
    int layers;
    std::function<bool(int dx, int dy, int z)> lit; // from the window's middle
    // The layers of each trap and each cup, as the definitions tell.
    QVector<QPair<int, int>> trapLayers;
    QVector<QPair<int, int>> cupLayers;
};

void PrintTo(const Solid& s, std::ostream* os) { *os << s.what; }

// A ball of radius 12 around layer 14 with a hollow of radius 8, and a
// one-pixel vent along the middle through the layers `vent`.
std::function<bool(int, int, int)> hollowBall(int vent0 = 1, int vent1 = 0)
{
    return [vent0, vent1](int dx, int dy, int z) {
        const int d = dx * dx + dy * dy + (z - 14) * (z - 14);
        const bool vent = dx == 0 && dy == 0 && z >= vent0 && z <= vent1;
        return d > 64 && d <= 144 && !vent;
    };
}

class KnownTrapsAndCups : public testing::TestWithParam<Solid> {};

TEST_P(KnownTrapsAndCups, AreFoundInTheTeskFileAndItsConversion)
{
    const Solid& solid = GetParam();
    TeskBuilder b(printerModel("Vireld30"));
    QVector<QByteArray> windows;
    for (int z = 0; z < solid.layers; ++z) {
        QByteArray bitmap(kGridWidth * kGridHeight, '\0'), window(kWindow * kWindow, '\0');
        for (int y = 0; y < kWindow; ++y) {
            for (int x = 0; x < kWindow; ++x) {
                if (!solid.lit(x - kWindow / 2, y - kWindow / 2, z))
                    continue;
                window[y * kWindow + x] = 1;
                bitmap[(kWindowAt.y() + y) * kGridWidth + kWindowAt.x() + x] = char(254);
            }
        }
        windows.append(window);
        b.addLayer(bitmap);
    }
    // The window's margin is dark all round, so what is open in it is open in the grid.
    FloodedDarkSpace expected = floodFillDarkSpace(kWindow, kWindow, windows);
    for (Trap& t : expected.traps)
        t.box.translate(kWindowAt);
    for (Cup& c : expected.cups)
        c.box.translate(kWindowAt);
    QVector<QPair<int, int>> trapLayers, cupLayers;
    for (const Trap& t : expected.traps)
        trapLayers.append({t.firstLayer, t.lastLayer});
    for (const Cup& c : expected.cups)
        cupLayers.append({c.firstLayer, c.lastLayer});
    EXPECT_EQ(trapLayers, solid.trapLayers);
    EXPECT_EQ(cupLayers, solid.cupLayers);

    const QByteArray tesk = b.build();
    for (const SliceReport& report : {teskReport(tesk), qvxReport(tesk)}) {
        EXPECT_EQ(report.darkSpace.traps, expected.traps) << report.format.toStdString();
        EXPECT_EQ(report.darkSpace.cups, expected.cups) << report.format.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Solids, KnownTrapsAndCups,
    testing::Values(Solid{"HollowBall", 30, hollowBall(), {{6, 22}}, {{6, 22}}},
                    // Sealed by the film until the vent comes out at the ball's
                    // pole, in layer 26, where the dark around the pole meets it.
                    Solid{"HollowBallVentedAtTheTop", 30, hollowBall(15, 26), {}, {{6, 25}}},
                    Solid{"HollowBallVentedAtTheBottom", 30, hollowBall(2, 13), {}, {}},
                    Solid{"TubeOnThePlate", 24,
                          [](int dx, int dy, int z) {
                              const int r = dx * dx + dy * dy;
                              return r > 64 && r <= 144 && z < 20;
                          },
                          {}, {{0, 19}}}),
    testing::PrintToStringParamName());

} // namespace
