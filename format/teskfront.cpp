#include "teskfront.h"

#include "bounds.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

template <typename Record>
Record readRecord(QFile& file, qint64 fileSize, qint64 offset)
{
    Record record{};
    QByteArray bytes;
    readHeld(file, fileSize, offset, sizeof(Record), bytes);
    std::memcpy(&record, bytes.constData(), size_t(bytes.size()));
    return record;
}

} // namespace

void TeskFront::read(QFile& file, qint64 fileSize)
{
    header = readRecord<TeskFileHead_t>(file, fileSize, 0);
    // Past what the file holds the block is all zeros, and the name ends at the first of them.
    const qint64 nameLength = std::max<qint64>(std::min<qint64>({header.machineNameLength, fileSize, kMaxMachineNameBytes}), 0);
    readHeld(file, fileSize, header.machineNameOffset, nameLength, machineNameBytes);
    machineNameBytes.append(QByteArray(int(nameLength - machineNameBytes.size()), '\0'));
    previewHead = readRecord<TeskPreviewHead_t>(file, fileSize, header.previewOffset);
}

QByteArray readPreviewPixels(QFile& file, qint64 fileSize, const TeskPreviewHead_t& head)
{
    if (head.width <= 0 || head.height <= 0 || qint64(head.width) * head.height > bounds::kMaxPreviewPixels)
        return QByteArray();
    const qint64 size = qint64(head.width) * head.height * 3;
    QByteArray pixels;
    readHeld(file, fileSize, head.dataOffset, std::min<qint64>(head.dataSize, size), pixels);
    pixels.append(QByteArray(int(size - pixels.size()), '\0'));
    return pixels;
}
