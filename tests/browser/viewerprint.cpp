// Writes the print that the browser test opens in sliceinfo's page: a
// Vireld10 Tesk file of 40 layers, anti-aliased, with one island, a closed
// box (a hollow sealed on every side: a trap once its roof is printed), a tube
// standing on the plate (a suction cup all its height) and a bridge on two
// pillars (no island: it rests on them).
//
//   viewerprint OUTPUT.tesk

#include "teskbuilder.h"

#include <QImage>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kLayers = 40;
constexpr int kSamples = 4; // per pixel and axis, for the grey edges
constexpr int kFullGrey = 254;
constexpr int kIslandLayer = 24;

using Inside = std::function<bool(double x, double y)>;

// Adds a shape to the layer, each pixel as grey as the share of it covered.
void paint(QByteArray& bitmap, int width, const QRect& bounds, const Inside& inside)
{
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        for (int x = bounds.left(); x <= bounds.right(); ++x) {
            int covered = 0;
            for (int i = 0; i < kSamples * kSamples; ++i)
                covered += inside(x + (i % kSamples + 0.5) / kSamples, y + (i / kSamples + 0.5) / kSamples) ? 1 : 0;
            uchar* pixel = reinterpret_cast<uchar*>(bitmap.data()) + y * width + x;
            *pixel = uchar(qMax<long>(*pixel, 2 * std::lround(covered * (kFullGrey / 2.0) / (kSamples * kSamples))));
        }
    }
}

void clear(QByteArray& bitmap, int width, const QRect& box)
{
    for (int y = box.top(); y <= box.bottom(); ++y)
        std::fill_n(bitmap.data() + y * width + box.left(), box.width(), '\0');
}

Inside disc(double cx, double cy, double r)
{
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Inside ring(double cx, double cy, double outer, double inner)
{
    return [=](double x, double y) {
        const double d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d <= outer * outer && d >= inner * inner;
    };
}

QByteArray layerBitmap(int layer, int width, int height)
{
    QByteArray bitmap(width * height, '\0');
    const auto solid = [&](const QRect& box) { paint(bitmap, width, box, [](double, double) { return true; }); };
    // The closed box: walls and floor 4 layers thick, its hollow sealed from layer 4 to 27.
    if (layer < 32) {
        solid(QRect(150, 200, 300, 300));
        if (layer >= 4 && layer < 28)
            clear(bitmap, width, QRect(200, 250, 200, 200));
    }
    // A cone, narrowing from layer to layer.
    const double r = 130 - 2.0 * layer;
    paint(bitmap, width, QRect(560, 210, 280, 280), disc(700.3, 350.6, r));
    // The tube on the plate.
    paint(bitmap, width, QRect(600, 1200, 200, 200), ring(700.5, 1300.5, 90, 60));
    // The island: a disc that starts in the air.
    if (layer >= kIslandLayer && layer < kIslandLayer + 10)
        paint(bitmap, width, QRect(250, 1050, 101, 101), disc(300.5, 1100.5, 40.3));
    // The bridge and its pillars.
    if (layer < 30) {
        solid(QRect(150, 1500, 50, 50));
        solid(QRect(400, 1500, 50, 50));
    } else if (layer < 34) {
        solid(QRect(150, 1500, 300, 50));
    }
    return bitmap;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: viewerprint OUTPUT.tesk\n");
        return 2;
    }
    TeskBuilder builder(printerModel("Vireld10"));
    const int width = builder.header.resolutionX, height = builder.header.resolutionY;
    for (int layer = 0; layer < kLayers; ++layer)
        builder.addLayer(layerBitmap(layer, width, height));
    QImage preview(120, 90, QImage::Format_RGB888);
    preview.fill(QColor(90, 90, 100));
    builder.setPreview(preview);
    if (!builder.writeTo(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "viewerprint: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
