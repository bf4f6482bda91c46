#include "sliceinspector.h"

#include <QFile>

SliceInspector::Format SliceInspector::detect(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.read(qvx::kMagicSize) == QByteArray(qvx::kMagic))
        return Qvx;
    return Tesk;
}

bool SliceInspector::inspect(const QString& path, Format format, QString* error)
{
    if (!QFile::exists(path))
        return *error = QStringLiteral("%1 does not exist").arg(path), false;
    if ((format == Detect ? detect(path) : format) == Qvx) {
        qvxFile = std::make_unique<QvxInspector>(path);
        return qvxFile->inspect(error);
    }
    tesk = std::make_unique<TeskInspector>(path);
    return tesk->inspect(error);
}

const SliceReport& SliceInspector::report() const
{
    return tesk ? tesk->report() : qvxFile->report();
}

int SliceInspector::layerCount() const
{
    return tesk ? tesk->layerCount() : qvxFile->layerCount();
}

QImage SliceInspector::preview()
{
    return tesk ? tesk->preview() : qvxFile->preview();
}

QImage SliceInspector::layerImage(int layer)
{
    return tesk ? tesk->layerImage(layer) : qvxFile->layerImage(layer);
}
