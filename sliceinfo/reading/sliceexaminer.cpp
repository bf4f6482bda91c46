#include "sliceexaminer.h"

#include "pictures/thumbnail.h"

#include <QFile>

namespace {

// Island pixels are drawn red, as bright as their grey but no darker than this.
constexpr int kIslandRedFloor = 128;

} // namespace

SliceExaminer::Format SliceExaminer::detect(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.read(qvx::kMagicSize) == QByteArray(qvx::kMagic))
        return Qvx;
    return Tesk;
}

bool SliceExaminer::inspect(const QString& path, Format format, QString* error)
{
    if (!QFile::exists(path))
        return *error = QStringLiteral("%1 does not exist").arg(path), false;
    if ((format == Detect ? detect(path) : format) == Qvx) {
        qvxFile = std::make_unique<QvxExaminer>(path);
        return qvxFile->inspect(error);
    }
    tesk = std::make_unique<TeskExaminer>(path);
    return tesk->inspect(error);
}

const SliceReport& SliceExaminer::report() const
{
    return tesk ? tesk->report() : qvxFile->report();
}

int SliceExaminer::layerCount() const
{
    return tesk ? tesk->layerCount() : qvxFile->layerCount();
}

QImage SliceExaminer::preview()
{
    return tesk ? tesk->preview() : qvxFile->preview();
}

QImage SliceExaminer::layerImage(int layer)
{
    return tesk ? tesk->layerImage(layer) : qvxFile->layerImage(layer);
}

bool SliceExaminer::readRuns(int layer, const LayerRunVisitor& visit)
{
    return tesk ? tesk->readRuns(layer, visit) : qvxFile->readRuns(layer, visit);
}

QImage SliceExaminer::layerThumbnail(int layer, const QSize& size)
{
    const QSize grid = layerSize();
    if (size.width() > grid.width() || size.height() > grid.height())
        return layerImage(layer).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Thumbnail thumbnail(grid.width(), grid.height(), size);
    if (!readRuns(layer, [&thumbnail](qint64 start, qint64 length, int grey) { thumbnail.addRun(start, length, grey); }))
        return QImage();
    return thumbnail.image();
}

std::vector<IslandFinder::Interval> SliceExaminer::islandIntervals(int layer)
{
    std::vector<IslandFinder::Interval> intervals;
    if (layer < 1)
        return intervals;
    const QSize grid = layerSize();
    IslandFinder finder(grid.width(), grid.height());
    const auto feed = [&finder](qint64 start, qint64 length, int grey) {
        if (grey != 0)
            finder.addLit(start, length);
    };
    readRuns(layer - 1, feed);
    finder.endLayer(layer - 1);
    readRuns(layer, feed);
    finder.endLayer(layer, &intervals);
    return intervals;
}

QImage SliceExaminer::layerPicture(int layer)
{
    const QImage grey = layerImage(layer);
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

QSize SliceExaminer::layerSize() const
{
    return tesk ? tesk->layerSize() : qvxFile->layerSize();
}
