#include "tesklayertable.h"

#include <QFile>

#include <algorithm>
#include <cstring>

TeskLayerTable::TeskLayerTable(QFile& file, qint64 fileSize, const TeskFileHead_t& header)
    : file(file)
    , fileSize(fileSize)
    , offset(header.layerTableOffset)
    , layerCount(std::max(header.layerCount, 0))
{
}

TeskDatHead_t TeskLayerTable::entry(int j)
{
    constexpr qint64 kEntrySize = sizeof(TeskDatHead_t);
    const int start = j - j % kPartEntries;
    if (start != partStart) {
        const int entries = std::min(kPartEntries, layerCount - start);
        // The table is one block: at a negative offset all of it reads as
        // zeros, not only the parts that would lie before the file's start.
        if (offset >= 0)
            readHeld(file, fileSize, offset + start * kEntrySize, entries * kEntrySize, part);
        else
            part.clear();
        part.append(QByteArray(int(entries * kEntrySize - part.size()), '\0'));
        partStart = start;
    }
    TeskDatHead_t e;
    std::memcpy(&e, part.constData() + (j - start) * kEntrySize, sizeof e);
    return e;
}
