#include "qvxreader.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr qint64 kMaxPixels = 1 << 28;

// Walks a byte array, checking the size before every field.
class Cursor {
public:
    explicit Cursor(const QByteArray& bytes)
        : bytes(bytes)
    {
    }

    bool has(qint64 n) const { return n >= 0 && n <= bytes.size() - pos; }
    qint64 remaining() const { return bytes.size() - pos; }
    const uchar* take(qint64 n)
    {
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + pos;
        pos += n;
        return p;
    }
    qint32 int32() { return qFromLittleEndian<qint32>(take(4)); }

private:
    const QByteArray& bytes;
    qint64 pos = 0;
};

} // namespace

bool QvxReader::parse(const QByteArray& file)
{
    Cursor in(file);
    if (!in.has(qvx::kHeaderSize))
        return error = QStringLiteral("file is shorter than the %1-byte header").arg(qvx::kHeaderSize), false;
    if (std::memcmp(in.take(qvx::kMagicSize), qvx::kMagic, qvx::kMagicSize) != 0)
        return error = QStringLiteral("magic is not \"%1\"").arg(QLatin1String(qvx::kMagic)), false;
    const qint32 tag = in.int32();
    const qint32 one = in.int32();
    modelNumber = in.int32();
    const qint32 zero = in.int32();
    parameterCount = in.int32();
    for (float& p : parameters)
        p = qFromLittleEndian<float>(in.take(4));
    layerCount = in.int32();
    const qint32 four = in.int32();
    previewWidth = in.int32();
    previewHeight = in.int32();
    if (tag != qvx::kVersionTag || one != 1 || zero != 0 || parameterCount != qvx::kParameterCount || four != 4)
        return error = QStringLiteral("fixed header fields are wrong"), false;
    if (layerCount < 0 || previewWidth < 0 || previewHeight < 0)
        return error = QStringLiteral("negative layer count or preview size"), false;

    const qint64 previewBytes = 2 * qint64(previewWidth) * previewHeight;
    if (!in.has(previewBytes))
        return error = QStringLiteral("file ends inside the preview"), false;
    previewPixels.resize(int(previewBytes / 2));
    for (quint16& pixel : previewPixels)
        pixel = qFromBigEndian<quint16>(in.take(2));

    layerRecords.clear();
    while (in.remaining() > 0) {
        if (!in.has(4))
            return error = QStringLiteral("file ends inside the size of record %1").arg(layerRecords.size()), false;
        const quint32 size = qFromLittleEndian<quint32>(in.take(4));
        if (!in.has(size))
            return error = QStringLiteral("file ends inside record %1").arg(layerRecords.size()), false;
        layerRecords.append(QByteArray(reinterpret_cast<const char*>(in.take(size)), int(size)));
    }
    if (layerRecords.size() != layerCount)
        return error = QStringLiteral("%1 layer records, the header says %2").arg(layerRecords.size()).arg(layerCount),
               false;
    return true;
}

bool QvxReader::decodeRuns(const QByteArray& runs, qint64 pixelCount, QByteArray* classes, QString* error)
{
    if (pixelCount < 0 || pixelCount > kMaxPixels)
        return *error = QStringLiteral("%1 pixels is not a layer size").arg(pixelCount), false;
    classes->fill('\0', int(pixelCount));
    qint64 o = 0;
    int previousClass = -1;
    int i = 0;
    while (i < runs.size()) {
        const int cls = uchar(runs[i]) >> 4;
        if (cls == previousClass)
            return *error = QStringLiteral("two neighbouring runs of class %1").arg(cls), false;
        if ((uchar(runs[i]) & 0x0F) == 0)
            return *error = QStringLiteral("a run length starts with the digit 0"), false;
        qint64 length = 0;
        for (; i < runs.size() && (uchar(runs[i]) >> 4) == cls; ++i) {
            length = length * 16 + (uchar(runs[i]) & 0x0F);
            if (length > pixelCount - o)
                return *error = QStringLiteral("runs exceed %1 pixels").arg(pixelCount), false;
        }
        std::memset(classes->data() + o, cls, size_t(length));
        o += length;
        previousClass = cls;
    }
    if (o != pixelCount)
        return *error = QStringLiteral("runs cover %1 of %2 pixels").arg(o).arg(pixelCount), false;
    return true;
}
