#include "layerpictures.h"

#include "common/smoothscaler.h"
#include "reading/sliceexaminer.h"
#include "thumbnail.h"

namespace {

// Island pixels are drawn red, as bright as their grey but no darker than this.
constexpr int kIslandRedFloor = 128;

} // namespace

LayerPictures::LayerPictures(SliceExaminer& examiner)
    : examiner(examiner)
{
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
    qint64 start = 0;
    const auto feed = [&](int grey, qint64 length) {
        if (grey != 0)
            finder.addLit(start, length);
        start += length;
    };
    examiner.readRuns(layer - 1, feed);
    finder.endLayer(layer - 1);
    start = 0;
    examiner.readRuns(layer, feed);
    finder.endLayer(layer, &blocks);
    return blocks;
}

QImage LayerPictures::picture(int layer)
{
    const QPair<int, int> pair(layer > 0 ? examiner.sameLayerAs(layer - 1) : -1, examiner.sameLayerAs(layer));
    if (const QImage* kept = pictures.find(pair))
        return *kept;
    const QImage image = drawPicture(layer);
    if (examiner.dataShared(layer))
        pictures.keep(pair, image, image.sizeInBytes());
    return image;
}

QImage LayerPictures::drawPicture(int layer)
{
    const QImage grey = examiner.layerImage(layer);
    const std::vector<RowBlock> islands = grey.isNull() ? std::vector<RowBlock>() : islandBlocks(layer);
    if (islands.empty())
        return grey;
    // By hand: Qt 5.15 converts large pictures on threads that may not be had.
    QImage picture(grey.size(), QImage::Format_RGB32);
    if (picture.isNull())
        return grey;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < grey.width(); ++x)
            out[x] = qRgb(in[x], in[x], in[x]);
    }
    for (const RowBlock& v : islands) {
        for (int y = v.row0; y <= v.row1; ++y) {
            const uchar* in = grey.constScanLine(y);
            QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = v.x0; x <= v.x1; ++x)
                out[x] = qRgb(qMax<int>(in[x], kIslandRedFloor), 0, 0);
        }
    }
    return picture;
}
