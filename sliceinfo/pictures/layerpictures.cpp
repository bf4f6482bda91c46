#include "layerpictures.h"

#include "reading/sliceexaminer.h"
#include "thumbnail.h"

#include <algorithm>

namespace {

// Island pixels are drawn red, as bright as their grey but no darker than this.
constexpr int kIslandRedFloor = 128;
const QRgb kTrapped = qRgb(255, 140, 0);
const QRgb kSealed = qRgb(0, 200, 220);

// The grey picture in colour, to draw marks on. By hand: Qt 5.15 converts
// large pictures on threads that may not be had. Null when out of memory.
QImage inColour(const QImage& grey)
{
    QImage picture(grey.size(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < grey.width(); ++x)
            out[x] = qRgb(in[x], in[x], in[x]);
    }
    return picture;
}

void paint(QImage& picture, const std::vector<IslandFinder::Interval>& intervals, QRgb colour)
{
    for (const IslandFinder::Interval& v : intervals)
        std::fill_n(reinterpret_cast<QRgb*>(picture.scanLine(v.row)) + v.x0, v.x1 - v.x0 + 1, colour);
}

} // namespace

LayerPictures::LayerPictures(SliceExaminer& examiner)
    : examiner(examiner)
{
}

LayerPictures::~LayerPictures() = default;

template <typename AddLit>
void LayerPictures::readLitRuns(int layer, AddLit&& addLit)
{
    RasterCursor at(examiner.layerSize().width());
    examiner.readRuns(layer, [&](int grey, qint64 length) {
        if (grey != 0)
            addLit(at, length);
        at.advance(length);
    });
}

void LayerPictures::followDarkSpace(const QVector<int>& layers)
{
    const DarkSpaceSummary& found = examiner.report().darkSpace;
    if (layers.isEmpty() || found.cupCount == 0)
        return;
    // Past the last layer that a cup seals nothing is sealed.
    int last = examiner.layerCount() - 1;
    if (found.cups.size() == found.cupCount) {
        last = 0;
        for (const Cup& cup : found.cups)
            last = qMax(last, cup.lastLayer + 1);
        last = qMin(last, examiner.layerCount() - 1);
    }
    const QSize grid = examiner.layerSize();
    darkSpace = std::make_unique<DarkSpaceFinder>(grid.width(), grid.height());
    darkSpace->keepLayers(std::vector<int>(layers.begin(), layers.end()));
    for (int j = 0; j <= last; ++j) {
        readLitRuns(j, [this](const RasterCursor& at, qint64 length) { darkSpace->addLit(at, length); });
        darkSpace->endLayer(j);
    }
    darkSpace->finish();
}

QImage LayerPictures::thumbnail(int layer, const QSize& size)
{
    const QSize grid = examiner.layerSize();
    if (size.width() > grid.width() || size.height() > grid.height())
        return examiner.layerImage(layer).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Thumbnail thumbnail(grid.width(), grid.height(), size);
    qint64 start = 0;
    const bool read = examiner.readRuns(layer, [&](int grey, qint64 length) {
        thumbnail.addRun(start, length, grey);
        start += length;
    });
    if (!read)
        return QImage();
    return thumbnail.image();
}

std::vector<IslandFinder::Interval> LayerPictures::islandIntervals(int layer)
{
    std::vector<IslandFinder::Interval> intervals;
    if (layer < 1)
        return intervals;
    const QSize grid = examiner.layerSize();
    IslandFinder finder(grid.width(), grid.height());
    const auto feed = [&finder](const RasterCursor& at, qint64 length) { finder.addLit(at, length); };
    readLitRuns(layer - 1, feed);
    finder.endLayer(layer - 1);
    readLitRuns(layer, feed);
    finder.endLayer(layer, &intervals);
    return intervals;
}

QImage LayerPictures::picture(int layer)
{
    const QImage grey = examiner.layerImage(layer);
    if (grey.isNull())
        return grey;
    const std::vector<IslandFinder::Interval> islands = islandIntervals(layer);
    const bool sealed = darkSpace && !darkSpace->faceIntervals(layer).empty();
    if (islands.empty() && !sealed)
        return grey;
    QImage picture = inColour(grey);
    if (picture.isNull())
        return grey;
    for (const IslandFinder::Interval& v : islands) {
        const uchar* in = grey.constScanLine(v.row);
        QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(v.row));
        for (int x = v.x0; x <= v.x1; ++x)
            out[x] = qRgb(qMax<int>(in[x], kIslandRedFloor), 0, 0);
    }
    if (sealed) {
        // Every trapped pixel is a sealed face too.
        paint(picture, darkSpace->faceIntervals(layer), kSealed);
        paint(picture, darkSpace->trappedIntervals(layer), kTrapped);
    }
    return picture;
}
