#include "layerpictures.h"

#include "common/smoothscaler.h"
#include "reading/sliceexaminer.h"
#include "thumbnail.h"

#include <algorithm>

namespace {


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
    // No further than the examination went, which bounds the work.
    if (found.notExaminedFrom >= 0)
        last = qMin(last, found.notExaminedFrom - 1);
    const QSize grid = examiner.layerSize();
    darkSpace = std::make_unique<DarkSpaceFinder>(grid.width(), grid.height());
    darkSpace->keepLayers(std::vector<int>(layers.begin(), layers.end()));
    for (int j = 0; j <= last; ++j) {
        if (j > 0 && examiner.sameLayerAs(j) == examiner.sameLayerAs(j - 1)) {
            darkSpace->repeatLayer(j);
            continue;
        }
        readLitRuns(j, [this](const RasterCursor& at, qint64 length) { darkSpace->addLit(at, length); });
        darkSpace->endLayer(j);
    }
    darkSpace->finish();
}

QImage LayerPictures::thumbnail(int layer, const QSize& size)
{
    const int same = examiner.sameLayerAs(layer);
    const QImage* kept = thumbnails.find(same);
    if (kept && kept->size() == size)
        return *kept;
    const QImage image = drawThumbnail(layer, size);
    if (examiner.dataShared(layer))
        thumbnails.keep(same, image, image.sizeInBytes());
    return image;
}

QImage LayerPictures::drawThumbnail(int layer, const QSize& size)
{
    const QSize grid = examiner.layerSize();
    if (size.width() > grid.width() || size.height() > grid.height())
        return SmoothScaler::scaled(examiner.layerImage(layer), size.width(), size.height());
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

std::vector<RowBlock> LayerPictures::islandBlocks(int layer)
{
    std::vector<RowBlock> blocks;
    // A layer on the data of the layer below rests on it wholly.
    if (layer < 1 || examiner.sameLayerAs(layer - 1) == examiner.sameLayerAs(layer))
        return blocks;
    const QSize grid = examiner.layerSize();
    IslandFinder finder(grid.width(), grid.height());
    const auto feed = [&finder](const RasterCursor& at, qint64 length) { finder.addLit(at, length); };
    readLitRuns(layer - 1, feed);
    finder.endLayer(layer - 1);
    readLitRuns(layer, feed);
    finder.endLayer(layer, &blocks);
    return blocks;
}

QImage LayerPictures::picture(int layer)
{
    // The dark space marks belong to the layer, not to its data.
    const std::vector<IslandFinder::Interval> faces =
        darkSpace ? darkSpace->faceIntervals(layer) : std::vector<IslandFinder::Interval>();
    if (!faces.empty())
        return drawPicture(layer, faces);
    const QPair<int, int> pair(layer > 0 ? examiner.sameLayerAs(layer - 1) : -1, examiner.sameLayerAs(layer));
    if (const QImage* kept = pictures.find(pair))
        return *kept;
    const QImage image = drawPicture(layer, faces);
    if (examiner.dataShared(layer))
        pictures.keep(pair, image, image.sizeInBytes());
    return image;
}

QImage LayerPictures::drawPicture(int layer, const std::vector<IslandFinder::Interval>& faces)
{
    const QImage grey = examiner.layerImage(layer);
    if (grey.isNull())
        return grey;
    const std::vector<RowBlock> islands = islandBlocks(layer);
    if (islands.empty() && faces.empty())
        return grey;
    QImage picture = SmoothScaler::rgb32(grey);
    if (picture.isNull())
        return grey;
    for (const RowBlock& v : islands) {
        for (int y = v.row0; y <= v.row1; ++y) {
            const uchar* in = grey.constScanLine(y);
            QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = v.x0; x <= v.x1; ++x)
                out[x] = qRgb(qMax<int>(in[x], kIslandRedFloor), 0, 0);
        }
    }
    if (!faces.empty()) {
        // Every trapped pixel is a sealed face too.
        paint(picture, faces, kSealed);
        paint(picture, darkSpace->trappedIntervals(layer), kTrapped);
    }
    return picture;
}
