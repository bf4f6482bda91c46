#include "qvxrundecoder.h"

#include "bounds.h"
#include "failure.h"

#include <cstring>

bool QvxRunDecoder::decode(const QByteArray& runs, qint64 pixelCount, QByteArray* classes, QString* error)
{
    if (pixelCount < 0 || pixelCount > bounds::kMaxLayerPixels)
        return fail(error, QStringLiteral("%1 pixels is not a layer size").arg(pixelCount));
    classes->fill('\0', int(pixelCount));
    char* out = classes->data();
    return walk(
        runs, pixelCount,
        [&out](int cls, qint64 length) {
            std::memset(out, cls, size_t(length));
            out += length;
        },
        error);
}

bool QvxRunDecoder::walk(const QByteArray& runs, qint64 pixelCount, const RunSink& sink, QString* error)
{
    if (pixelCount < 0 || pixelCount > bounds::kMaxLayerPixels)
        return fail(error, QStringLiteral("%1 pixels is not a layer size").arg(pixelCount));
    qint64 o = 0;
    int i = 0;
    while (i < runs.size()) {
        const int cls = uchar(runs[i]) >> 4;
        if ((uchar(runs[i]) & 0x0F) == 0)
            return fail(error, QStringLiteral("a run length starts with the digit 0 at byte %1").arg(i));
        qint64 length = 0;
        for (; i < runs.size() && (uchar(runs[i]) >> 4) == cls; ++i) {
            length = length * 16 + (uchar(runs[i]) & 0x0F);
            if (length > pixelCount - o)
                return fail(error, QStringLiteral("the runs exceed %1 pixels").arg(pixelCount));
        }
        sink(cls, length);
        o += length;
    }
    if (o != pixelCount)
        return fail(error, QStringLiteral("the runs cover %1 of %2 pixels").arg(o).arg(pixelCount));
    return true;
}

