#include "qvxreader.h"

#include "bounds.h"
#include "printermodel.h"
#include "failure.h"

#include <QtEndian>

#include <cstring>

namespace {

using qvx::kRecordSizeBytes;

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

QString hex32(qint32 value)
{
    return QStringLiteral("0x") + QString::number(quint32(value), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

// Empty when the fixed field at `offset` holds what it must.
QString fixedFieldError(int offset, qint32 found, qint32 expected)
{
    if (found == expected)
        return QString();
    return QStringLiteral("the field at byte %1 holds %2, expected %3").arg(offset).arg(hex32(found), hex32(expected));
}

// Counts the whole records in the rest of the file; -1 when they do not end
// exactly at its end.
int wholeRecordsLeft(Cursor in)
{
    int count = 0;
    while (in.remaining() > 0) {
        if (!in.has(kRecordSizeBytes))
            return -1;
        const quint32 size = qFromLittleEndian<quint32>(in.take(kRecordSizeBytes));
        if (!in.has(size))
            return -1;
        in.take(size);
        ++count;
    }
    return count;
}

} // namespace

bool QvxReader::parse(const QByteArray& file, QString* error)
{
    layerRecords.clear();
    parsed = file;
    Cursor in(parsed);
    if (!in.has(qvx::kHeaderSize))
        return fail(error, QStringLiteral("the file is shorter than the %1-byte header").arg(qvx::kHeaderSize));
    const QByteArray magic(reinterpret_cast<const char*>(in.take(qvx::kMagicSize)), qvx::kMagicSize);
    if (magic != QByteArray(qvx::kMagic))
        return fail(error, QStringLiteral("the magic is \"%1\", expected \"%2\"")
                           .arg(QString::fromLatin1(magic.toPercentEncoding()), QLatin1String(qvx::kMagic)));
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
    for (const QString& e : {fixedFieldError(8, tag, qvx::kVersionTag), fixedFieldError(12, one, qvx::kHeaderWord12),
                             fixedFieldError(20, zero, qvx::kHeaderWord20),
                             fixedFieldError(24, parameterCount, qvx::kParameterCount),
                             fixedFieldError(168, four, qvx::kHeaderWord168)}) {
        if (!e.isEmpty())
            return fail(error, e);
    }
    if (layerCount < 0 || previewWidth < 0 || previewHeight < 0)
        return fail(error, QStringLiteral("negative layer count or preview size"));

    const qint64 previewBytes = 2 * qint64(previewWidth) * previewHeight;
    if (!in.has(previewBytes))
        return fail(error, QStringLiteral("the file ends inside the preview"));
    previewPixels.resize(int(previewBytes / 2));
    for (quint16& pixel : previewPixels)
        pixel = qFromBigEndian<quint16>(in.take(2));

    const bool keep = layerCount <= maxKeptRecords;
    int read = 0;
    for (; read < layerCount && in.remaining() > 0; ++read) {
        const int k = read;
        if (!in.has(kRecordSizeBytes))
            return fail(error, QStringLiteral("the file ends inside the byte count of layer record %1").arg(k));
        const quint32 size = qFromLittleEndian<quint32>(in.take(kRecordSizeBytes));
        if (!in.has(size))
            return fail(error, QStringLiteral("the file ends inside layer record %1: it needs %2 bytes, %3 are left")
                               .arg(k)
                               .arg(size)
                               .arg(in.remaining()));
        const char* record = reinterpret_cast<const char*>(in.take(size));
        if (keep)
            layerRecords.append(QByteArray::fromRawData(record, int(size)));
    }
    const int extra = wholeRecordsLeft(in);
    if (read < layerCount || extra > 0)
        return fail(error, QStringLiteral("the file holds %1 layer records, the header says %2")
                           .arg(qint64(read) + qMax(extra, 0))
                           .arg(layerCount));
    if (extra < 0)
        return fail(error, QStringLiteral("%1 bytes follow the last layer record").arg(in.remaining()));
    return true;
}

QSize QvxReader::layerSize(int modelNumber)
{
    const PrinterModel* model = PrinterModel::byNumber(modelNumber);
    return model ? model->layerSize() : QSize();
}
