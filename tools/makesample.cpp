// Writes a sample Tesk file for one of the supported printers:
//   part  a calibration part (base slab with holes, stepped towers, an
//         overhanging cone, thin walls, pins and lettering) with grey edges;
//   fine  the encoder's worst case: 1 to 3 pixel stripes with grey edges over
//         most of the plate, shifting from layer to layer;
//   organic  curved solids that change with every layer, anti-aliased: a
//         sphere, a twisted bar, a thin-walled ring and a row of pins;
//   hollows  sliceinfo's worst case of resin traps: a slab over most of the
//         plate holding a grid of sealed 2 x 2 pixel hollows, each three layers
//         tall, under a solid layer every fourth layer.

#include "teskbuilder.h"

#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kLayerHeight = 0.05; // mm
const int kPreviewWidth = 400;
const int kPreviewHeight = 300;
const int kFinePhases = 8; // the fine pattern repeats after this many layers
const int kFineBandRows = 64;

enum class Pattern { Part, Fine, Organic, Hollows };

struct Options {
    QString output;
    const PrinterModel* model = nullptr;
    int layers = 300;
    Pattern pattern = Pattern::Part;
};

void printUsage(const char* program)
{
    std::fprintf(stderr, "usage: %s OUTPUT.tesk --model 10|30 [--layers N] [--pattern part|fine|organic|hollows]\n", program);
}

// Fills options from the command line; false when it does not make sense.
bool parseArguments(int argc, char* argv[], Options& options)
{
    bool haveModel = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--model" && hasValue) {
            const std::string value = argv[++i];
            options.model = PrinterModel::byNumber(std::atoi(value.c_str()));
            if (!options.model)
                return false;
            haveModel = true;
        } else if (arg == "--layers" && hasValue) {
            options.layers = std::atoi(argv[++i]);
            if (options.layers < 1)
                return false;
        } else if (arg == "--pattern" && hasValue) {
            const std::string value = argv[++i];
            if (value == "part")
                options.pattern = Pattern::Part;
            else if (value == "fine")
                options.pattern = Pattern::Fine;
            else if (value == "organic")
                options.pattern = Pattern::Organic;
            else if (value == "hollows")
                options.pattern = Pattern::Hollows;
            else
                return false;
        } else if (arg.rfind("--", 0) != 0 && options.output.isEmpty()) {
            options.output = QString::fromLocal8Bit(argv[i]);
        } else {
            return false;
        }
    }
    return haveModel && !options.output.isEmpty();
}

// ---- The calibration part, in millimetres from the part's centre ----

struct Shape {
    enum Kind { Box, Disc } kind;
    double cx, cy;
    double halfX, halfY; // a disc's radius is halfX
    bool hole;
};

Shape box(double cx, double cy, double width, double height)
{
    return {Shape::Box, cx, cy, width / 2, height / 2, false};
}

Shape disc(double cx, double cy, double diameter, bool hole = false)
{
    return {Shape::Disc, cx, cy, diameter / 2, diameter / 2, hole};
}

// Block letters from strokes of the given width, 4 x 6 mm, centred at x.
void addLetter(std::vector<Shape>& shapes, char letter, double x, double y, double stroke)
{
    const double w = 4, h = 6;
    const Shape top = box(x, y - h / 2 + stroke / 2, w, stroke);
    const Shape middle = box(x, y, w, stroke);
    const Shape bottom = box(x, y + h / 2 - stroke / 2, w, stroke);
    const Shape left = box(x - w / 2 + stroke / 2, y, stroke, h);
    const Shape upperLeft = box(x - w / 2 + stroke / 2, y - h / 4, stroke, h / 2);
    const Shape lowerRight = box(x + w / 2 - stroke / 2, y + h / 4, stroke, h / 2);
    const Shape stem = box(x, y, stroke, h);
    if (letter == 'T')
        shapes.insert(shapes.end(), {top, stem});
    else if (letter == 'E')
        shapes.insert(shapes.end(), {top, middle, bottom, left});
    else if (letter == 'S')
        shapes.insert(shapes.end(), {top, middle, bottom, upperLeft, lowerRight});
}

// The part's cross-section at height z (mm) of a part `height` mm tall; holes
// come after the solids they cut.
std::vector<Shape> partShapes(double z, double height)
{
    std::vector<Shape> shapes;
    const double base = std::clamp(0.08 * height, 0.5, 2.0);
    if (z < base)
        shapes.push_back(box(0, 0, 40, 72));

    // Stepped square towers, each narrowing by 1.5 mm at a third and two thirds of its height.
    const double towerTops[] = {0.25, 0.5, 0.75, 1.0};
    for (int i = 0; i < 4; ++i) {
        const double top = towerTops[i] * height;
        const int step = int(3 * z / top);
        if (z < top)
            shapes.push_back(box(-15 + 10 * i, -18, 8 - 1.5 * step, 8 - 1.5 * step));
    }

    // An upside-down cone: its radius grows with height, so it overhangs.
    const double coneTop = 0.9 * height;
    if (z < coneTop)
        shapes.push_back(disc(0, 2, 2 * (3 + 6 * z / coneTop)));

    // Thin walls and pins of 0.1 to 0.5 mm.
    for (int i = 0; i < 5; ++i) {
        const double size = 0.1 * (i + 1);
        if (z < 0.5 * height)
            shapes.push_back(box(-18 + 3 * i, 21, size, 10));
        if (z < 0.3 * height)
            shapes.push_back(disc(-18 + 3 * i, 30, size));
    }

    if (z < 0.6 * height) {
        const char* word = "TEST";
        for (int i = 0; i < 4; ++i)
            addLetter(shapes, word[i], 3 + 5 * i, 21, 0.5 - 0.1 * i);
    }

    // Holes of 1 to 6 mm through the base.
    if (z < base) {
        for (int i = 0; i < 6; ++i)
            shapes.push_back(disc(-16.5 + 6.5 * i, -30, i + 1, true));
    }
    return shapes;
}

// ---- Rendering: per row, each shape covers one interval of x ----

// Where the part lies on the layer bitmap.
struct Grid {
    uchar* pixels;
    int width, height;
    double pitch;            // mm per pixel
    double centreX, centreY; // the part's centre, in pixels
};

uchar greyOf(double coverage)
{
    return uchar(2 * std::lround(127 * std::clamp(coverage, 0.0, 1.0)));
}

// Puts coverage onto one pixel: solids keep the brighter value, holes the darker.
void blendPixel(uchar& pixel, double coverage, bool hole)
{
    pixel = hole ? std::min(pixel, greyOf(1 - coverage)) : std::max(pixel, greyOf(coverage));
}

// Covers [x0, x1) of a row (pixel units), `weight` being the row's covered
// fraction; whole pixels are filled as a span, only the two ends are blended.
void paintSpan(uchar* row, int width, double x0, double x1, double weight, bool hole)
{
    x0 = std::max(x0, 0.0);
    x1 = std::min(x1, double(width));
    if (x1 <= x0)
        return;
    const int first = int(x0);
    const int last = int(std::ceil(x1)) - 1;
    if (first == last) {
        blendPixel(row[first], (x1 - x0) * weight, hole);
        return;
    }
    blendPixel(row[first], (first + 1 - x0) * weight, hole);
    blendPixel(row[last], (x1 - last) * weight, hole);
    uchar* inner = row + first + 1;
    const int count = last - first - 1;
    if (weight >= 1.0) {
        std::memset(inner, hole ? 0 : 254, size_t(count));
        return;
    }
    for (int i = 0; i < count; ++i)
        blendPixel(inner[i], weight, hole);
}

void paintShape(const Grid& grid, const Shape& s)
{
    const double cx = grid.centreX + s.cx / grid.pitch;
    const double cy = grid.centreY + s.cy / grid.pitch;
    const double hx = s.halfX / grid.pitch;
    const double hy = s.halfY / grid.pitch;
    const int firstRow = std::max(0, int(std::floor(cy - hy)));
    const int endRow = std::min(grid.height, int(std::ceil(cy + hy)));
    for (int y = firstRow; y < endRow; ++y) {
        uchar* row = grid.pixels + qint64(y) * grid.width;
        if (s.kind == Shape::Box) {
            const double weight = std::min(y + 1.0, cy + hy) - std::max(double(y), cy - hy);
            paintSpan(row, grid.width, cx - hx, cx + hx, weight, s.hole);
            continue;
        }
        const double dy = y + 0.5 - cy;
        if (std::abs(dy) < hx) {
            const double half = std::sqrt(hx * hx - dy * dy);
            paintSpan(row, grid.width, cx - half, cx + half, 1.0, s.hole);
        }
    }
}

void renderPart(const Grid& grid, int layer, int layerCount)
{
    std::memset(grid.pixels, 0, size_t(grid.width) * size_t(grid.height));
    const double z = (layer + 0.5) * kLayerHeight;
    for (const Shape& s : partShapes(z, layerCount * kLayerHeight))
        paintShape(grid, s);
}

// ---- The fine pattern ----

// White length of stripes `stripe` wide, starting white at 0, over [0, u).
double whiteUpTo(double u, double stripe)
{
    const double period = 2 * stripe;
    const double whole = std::floor(u / period);
    return whole * stripe + std::min(u - whole * period, stripe);
}

// Slanted stripes 1 to 3 pixels wide in bands of rows, covering all but a
// border of the plate and moving along x from one phase to the next.
void renderFine(const Grid& grid, int phase)
{
    std::memset(grid.pixels, 0, size_t(grid.width) * size_t(grid.height));
    const int borderX = grid.width / 20;
    const int borderY = grid.height / 20;
    for (int y = borderY; y < grid.height - borderY; ++y) {
        const double stripe = 1.1 + 1.9 * ((y / kFineBandRows) % 4) / 3.0;
        const double shift = 0.37 * y + phase * 2 * stripe / kFinePhases;
        uchar* row = grid.pixels + qint64(y) * grid.width;
        double before = whiteUpTo(borderX + shift, stripe);
        for (int x = borderX; x < grid.width - borderX; ++x) {
            const double after = whiteUpTo(x + 1 + shift, stripe);
            row[x] = greyOf(after - before);
            before = after;
        }
    }
}

// ---- The hollows ----

const int kHollowPeriod = 4; // pixels and layers from one hollow to the next

// A slab over all but a border of the plate; in three layers of four, a 2 x 2
// pixel hollow in each 4 x 4 cell.
void renderHollows(const Grid& grid, int layer)
{
    std::memset(grid.pixels, 0, size_t(grid.width) * size_t(grid.height));
    const int borderX = grid.width / 20;
    const int borderY = grid.height / 20;
    const bool hollowLayer = layer % kHollowPeriod != 0;
    for (int y = borderY; y < grid.height - borderY; ++y) {
        uchar* row = grid.pixels + qint64(y) * grid.width;
        const bool hollowRow = hollowLayer && (y - borderY) % kHollowPeriod % 3 != 0;
        for (int x = borderX; x < grid.width - borderX; ++x)
            row[x] = hollowRow && (x - borderX) % kHollowPeriod % 3 != 0 ? 0 : 254;
    }
}

// ---- The organic part, in millimetres from the plate's centre ----

// A convex cross-section, or a ring, that gives the stretch of a row inside it.
struct Solid {
    enum Kind { Disc, Ring, Bar } kind;
    double cx, cy;
    double a, b;  // disc: radius; ring: outer radius, wall; bar: half length, half width
    double angle; // bar only, radians

    // The stretches [x0, x1) of the line at height y inside the solid; at most two.
    int cut(double y, double x0[2], double x1[2]) const
    {
        const double dy = y - cy;
        if (kind == Bar)
            return cutBar(dy, x0, x1);
        if (std::abs(dy) >= a)
            return 0;
        const double outer = std::sqrt(a * a - dy * dy);
        const double r = kind == Ring ? a - b : 0;
        if (kind == Disc || std::abs(dy) >= r) {
            x0[0] = cx - outer;
            x1[0] = cx + outer;
            return 1;
        }
        const double inner = std::sqrt(r * r - dy * dy);
        x0[0] = cx - outer;
        x1[0] = cx - inner;
        x0[1] = cx + inner;
        x1[1] = cx + outer;
        return 2;
    }

    // Along the row, u = dx cos + dy sin and v = -dx sin + dy cos must stay
    // within the half sizes.
    int cutBar(double dy, double x0[2], double x1[2]) const
    {
        const double c = std::cos(angle), s = std::sin(angle);
        double lo = -1e9, hi = 1e9;
        const auto slab = [&](double slope, double offset, double half) {
            if (std::abs(slope) < 1e-12) {
                if (std::abs(offset) > half)
                    hi = lo;
                return;
            }
            const double e0 = (-half - offset) / slope, e1 = (half - offset) / slope;
            lo = std::max(lo, std::min(e0, e1));
            hi = std::min(hi, std::max(e0, e1));
        };
        slab(c, dy * s, a);
        slab(-s, dy * c, b);
        if (hi <= lo)
            return 0;
        x0[0] = cx + lo;
        x1[0] = cx + hi;
        return 1;
    }
};

// The cross-section at the fraction h (0 to 1) of the part's height.
std::vector<Solid> organicSolids(double h)
{
    const double pi = 3.14159265358979;
    std::vector<Solid> solids;
    // A sphere stretched to the part's height.
    solids.push_back({Solid::Disc, -11, -26, 13 * std::sqrt(std::max(0.0, 1 - (2 * h - 1) * (2 * h - 1))), 0, 0});
    // A bar twisted by half a turn.
    solids.push_back({Solid::Bar, 13, -26, 11, 3.5, pi * h});
    // Two thin-walled rings, one in the other, that swell and narrow.
    solids.push_back({Solid::Ring, 0, 12, 14 + 4 * std::sin(2 * pi * h), 0.8, 0});
    solids.push_back({Solid::Ring, 0, 12, 7 + 3 * std::cos(2 * pi * h), 0.5, 0});
    // Two rows of pins of 0.6 to 2 mm, the thinner ones shorter.
    for (int i = 0; i < 8; ++i) {
        if (h < 0.3 + 0.09 * i) {
            solids.push_back({Solid::Disc, -21 + 6.0 * i, 40, 0.3 + 0.1 * i, 0, 0});
            solids.push_back({Solid::Disc, 21 - 6.0 * i, 47, 0.3 + 0.1 * i, 0, 0});
        }
    }
    return solids;
}

// Coverage is exact along each row and taken at kSubRows lines per row, so
// every edge, whatever its slope, gets grey pixels.
void renderOrganic(const Grid& grid, int layer, int layerCount)
{
    constexpr int kSubRows = 4;
    std::memset(grid.pixels, 0, size_t(grid.width) * size_t(grid.height));
    const std::vector<Solid> solids = organicSolids((layer + 0.5) / layerCount);
    // Per row: coverage of the pixels a stretch ends in, and of the whole
    // pixels between as steps to be summed.
    std::vector<double> ends(size_t(grid.width) + 1), steps(size_t(grid.width) + 1);
    for (int y = 0; y < grid.height; ++y) {
        int first = grid.width, last = -1;
        for (int k = 0; k < kSubRows; ++k) {
            const double my = ((y + (k + 0.5) / kSubRows) - grid.centreY) * grid.pitch;
            for (const Solid& solid : solids) {
                double x0[2], x1[2];
                for (int n = solid.cut(my, x0, x1), i = 0; i < n; ++i) {
                    const double p0 = std::clamp(grid.centreX + x0[i] / grid.pitch, 0.0, double(grid.width));
                    const double p1 = std::clamp(grid.centreX + x1[i] / grid.pitch, 0.0, double(grid.width));
                    if (p1 <= p0)
                        continue;
                    const int i0 = int(p0), i1 = std::min(int(p1), grid.width - 1);
                    first = std::min(first, i0);
                    last = std::max(last, i1);
                    if (i0 == i1) {
                        ends[i0] += (p1 - p0) / kSubRows;
                        continue;
                    }
                    ends[i0] += (i0 + 1 - p0) / kSubRows;
                    ends[i1] += (p1 - i1) / kSubRows;
                    steps[i0 + 1] += 1.0 / kSubRows;
                    steps[i1] -= 1.0 / kSubRows;
                }
            }
        }
        uchar* row = grid.pixels + qint64(y) * grid.width;
        double whole = 0;
        for (int x = first; x <= last; ++x) {
            whole += steps[x];
            row[x] = greyOf(whole + ends[x]);
            steps[x] = ends[x] = 0;
        }
        if (last >= 0)
            steps[last + 1] = 0;
    }
}

void drawOrganicPreview(QPainter& painter)
{
    painter.translate(kPreviewWidth / 2.0, kPreviewHeight / 2.0);
    painter.rotate(-90);
    painter.scale(2.3, 2.3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 190, 240));
    painter.drawEllipse(QPointF(-11, -26), 13, 13);
    painter.drawEllipse(QPointF(0, 12), 18, 18);
    painter.setBrush(QColor(20, 22, 30));
    painter.drawEllipse(QPointF(0, 12), 16, 16);
    painter.setBrush(QColor(120, 190, 240));
    painter.drawEllipse(QPointF(0, 12), 9, 9);
    painter.setBrush(QColor(20, 22, 30));
    painter.drawEllipse(QPointF(0, 12), 8.5, 8.5);
    painter.setBrush(QColor(90, 170, 235));
    painter.drawRect(QRectF(2, -29.5, 22, 7));
    for (int i = 0; i < 8; ++i) {
        painter.drawEllipse(QPointF(-21 + 6 * i, 40), 0.3 + 0.1 * i, 0.3 + 0.1 * i);
        painter.drawEllipse(QPointF(21 - 6 * i, 47), 0.3 + 0.1 * i, 0.3 + 0.1 * i);
    }
}

// ---- The preview ----

void fillShapes(QPainter& painter, const std::vector<Shape>& shapes, const QBrush& solid, const QBrush& hole)
{
    for (const Shape& s : shapes) {
        painter.setBrush(s.hole ? hole : solid);
        const QRectF r(s.cx - s.halfX, s.cy - s.halfY, 2 * s.halfX, 2 * s.halfY);
        if (s.kind == Shape::Box)
            painter.drawRect(r);
        else
            painter.drawEllipse(r);
    }
}

// The part seen from above, lying across the picture, higher sections brighter.
void drawPartPreview(QPainter& painter, double height)
{
    painter.translate(kPreviewWidth / 2.0, kPreviewHeight / 2.0);
    painter.rotate(-90);
    painter.scale(4.6, 4.6);
    painter.setPen(Qt::NoPen);
    const QColor shades[] = {QColor(40, 90, 170), QColor(60, 130, 210), QColor(90, 170, 235), QColor(150, 210, 250)};
    const double levels[] = {0.0, 0.3, 0.55, 0.8};
    for (int i = 0; i < 4; ++i) {
        QRadialGradient glow(QPointF(-8, -10), 60);
        glow.setColorAt(0, shades[i].lighter(130));
        glow.setColorAt(1, shades[i]);
        fillShapes(painter, partShapes(levels[i] * height + kLayerHeight / 2, height), glow, QColor(15, 20, 35));
    }
}

void drawFinePreview(QPainter& painter)
{
    painter.setPen(QPen(QColor(230, 200, 90), 1.5));
    for (int x = -kPreviewHeight; x < kPreviewWidth; x += 5)
        painter.drawLine(QPointF(x, kPreviewHeight - 20), QPointF(x + 0.37 * kPreviewHeight, 20));
}

void drawHollowsPreview(QPainter& painter)
{
    const QRectF slab(40, 60, kPreviewWidth - 80, kPreviewHeight - 120);
    painter.fillRect(slab, QColor(230, 200, 90));
    for (double y = slab.top() + 4; y < slab.bottom() - 4; y += 8)
        for (double x = slab.left() + 4; x < slab.right() - 4; x += 8)
            painter.fillRect(QRectF(x, y, 4, 4), QColor(120, 95, 40));
}

QImage makePreview(Pattern pattern, double height)
{
    QImage image(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, kPreviewHeight);
    background.setColorAt(0, QColor(70, 75, 90));
    background.setColorAt(1, QColor(20, 22, 30));
    painter.fillRect(image.rect(), background);
    if (pattern == Pattern::Part)
        drawPartPreview(painter, height);
    else if (pattern == Pattern::Fine)
        drawFinePreview(painter);
    else if (pattern == Pattern::Hollows)
        drawHollowsPreview(painter);
    else
        drawOrganicPreview(painter);
    painter.end();
    return image;
}

// ---- Layers ----

// Renders and encodes the layers in order, reusing the previous stream when a
// layer is unchanged and, for the fine pattern, the stream of the same phase.
class LayerSource {
public:
    LayerSource(const TeskFileHead_t& header, const Options& options)
        : options(options), bitmap(size_t(header.resolutionX) * size_t(header.resolutionY)),
          previous(bitmap.size())
    {
        const double pitch = double(header.bedSizeX) / header.resolutionX;
        grid = {bitmap.data(), header.resolutionX, header.resolutionY, pitch, header.resolutionX / 2.0,
                header.resolutionY / 2.0};
    }

    QByteArray stream(int layer)
    {
        if (options.pattern == Pattern::Fine)
            return fineStream(layer % kFinePhases);
        if (options.pattern == Pattern::Organic)
            renderOrganic(grid, layer, options.layers);
        else if (options.pattern == Pattern::Hollows)
            renderHollows(grid, layer);
        else
            renderPart(grid, layer, options.layers);
        if (layer == 0 || bitmap != previous)
            lastStream = encodeTeskLayer(bitmap.data(), qint64(bitmap.size()));
        bitmap.swap(previous);
        grid.pixels = bitmap.data();
        return lastStream;
    }

private:
    QByteArray fineStream(int phase)
    {
        if (phaseStreams.isEmpty())
            phaseStreams.resize(kFinePhases);
        if (phaseStreams[phase].isEmpty()) {
            renderFine(grid, phase);
            phaseStreams[phase] = encodeTeskLayer(bitmap.data(), qint64(bitmap.size()));
        }
        return phaseStreams[phase];
    }

    Options options;
    std::vector<uchar> bitmap;
    std::vector<uchar> previous;
    Grid grid{};
    QByteArray lastStream;
    QVector<QByteArray> phaseStreams;
};

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (!parseArguments(argc, argv, options)) {
        printUsage(argv[0]);
        return 2;
    }
    QElapsedTimer timer;
    timer.start();

    TeskBuilder builder(*options.model);
    builder.setPreview(makePreview(options.pattern, options.layers * kLayerHeight));
    LayerSource source(builder.header, options);
    const bool written = builder.writeStreamingTo(options.output, options.layers,
                                                  [&source](int layer) { return source.stream(layer); });
    if (!written) {
        std::fprintf(stderr, "makesample: cannot write %s\n", qPrintable(options.output));
        return 1;
    }
    std::printf("makesample: wrote %s (%s, %d layers) in %.1f s\n", qPrintable(options.output),
                builder.machineName.constData(), options.layers, timer.elapsed() / 1000.0);
    return 0;
}
