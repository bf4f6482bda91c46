#include "teskfront.h"

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
