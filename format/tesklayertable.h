#ifndef TESKLAYERTABLE_H
#define TESKLAYERTABLE_H

#include "teskformat.h"

#include <QByteArray>

class QFile;

// The first layer set of a Tesk file's layer table, read a part at a time, so
// that its memory stays small whatever the layer count. Entries that the file
// does not hold read as zeros.
class TeskLayerTable {
public:
    TeskLayerTable(QFile& file, qint64 fileSize, const TeskFileHead_t& header);

    // Entry j (0 <= j < layerCount); cheapest in order.
    TeskDatHead_t entry(int j);

    static constexpr int kPartEntries = 4096;

private:
    QFile& file;
    const qint64 fileSize;
    const qint64 offset;
    const int layerCount;
    int partStart = -1;
    QByteArray part;
};

#endif
