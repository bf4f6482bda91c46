#include "sliceexaminer.h"

#include <QFile>

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

QImage SliceExaminer::layerThumbnail(int layer, const QSize& size)
{
    return tesk ? tesk->layerThumbnail(layer, size) : qvxFile->layerThumbnail(layer, size);
}

QSize SliceExaminer::layerSize() const
{
    return tesk ? tesk->layerSize() : qvxFile->layerSize();
}
