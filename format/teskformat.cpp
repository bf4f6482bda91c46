#include "teskformat.h"

#include <QFile>

#include <algorithm>

void readHeld(QFile& file, qint64 fileSize, qint64 offset, qint64 size, QByteArray& bytes)
{
    bytes.resize(0);
    if (offset < 0 || size <= 0 || offset >= fileSize || !file.seek(offset))
        return;
    bytes.resize(int(std::min(size, fileSize - offset)));
    const qint64 got = file.read(bytes.data(), bytes.size());
    bytes.resize(int(std::max<qint64>(got, 0)));
}

QByteArray readHeld(QFile& file, qint64 offset, qint64 size)
{
    QByteArray bytes;
    readHeld(file, file.size(), offset, size, bytes);
    return bytes;
}

bool layerTableIsMalformed(const TeskFileHead_t& header, qint64 fileSize)
{
    return header.layerCount < 0 || (header.layerCount > 0 && header.layerSetCount < 1)
        || qint64(header.layerCount) * qint64(sizeof(TeskDatHead_t)) > fileSize;
}

QString machineNameText(const QByteArray& bytes)
{
    const int length = int(qstrnlen(bytes.constData(), uint(bytes.size())));
    return QString::fromUtf8(bytes.constData(), length);
}
