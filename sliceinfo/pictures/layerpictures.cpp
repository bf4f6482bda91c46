#include "layerpictures.h"

#include "reading/sliceexaminer.h"
#include "thumbnail.h"

LayerPictures::LayerPictures(SliceExaminer& examiner)
    : examiner(examiner)
{
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
    finder.endLayer(layer, &intervals);
    return intervals;
}

QImage LayerPictures::picture(int layer)
{
    const QImage grey = examiner.layerImage(layer);
    const std::vector<IslandFinder::Interval> islands = grey.isNull() ? std::vector<IslandFinder::Interval>()
                                                                      : islandIntervals(layer);
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
    for (const IslandFinder::Interval& v : islands) {
        const uchar* in = grey.constScanLine(v.row);
        QRgb* out = reinterpret_cast<QRgb*>(picture.scanLine(v.row));
        for (int x = v.x0; x <= v.x1; ++x)
            out[x] = qRgb(qMax<int>(in[x], kIslandRedFloor), 0, 0);
    }
    return picture;
}
