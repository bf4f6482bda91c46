#ifndef LAYERPATHS_H
#define LAYERPATHS_H

#include "tesktoqvx.h"

#include <QByteArray>

#include <vector>

// One layer record written both ways a layer can take: decoded into a bitmap
// and handed to writeLayerData, or read as runs by writeLayerRuns.
struct LayerRecord {
    QByteArray bytes;
    qint64 overflowAt = -1; // the byte of the token that overflowed the layer
    bool written = false;

    bool operator==(const LayerRecord& other) const
    {
        return bytes == other.bytes && overflowAt == other.overflowAt && written == other.written;
    }
};

class LayerPaths {
public:
    // A driver for the machine name, with its resolution.
    LayerPaths(const char* machineName, int width, int height);

    // The layer's declared bytes of which `held` are in the file.
    LayerRecord viaBitmap(const QByteArray& held, qint64 declared);
    LayerRecord viaRuns(const QByteArray& held, qint64 declared);
    // Decoded token by token without TeskLayerReader, then as viaBitmap.
    LayerRecord viaPlainDecoding(const QByteArray& held, qint64 declared);

private:
    LayerRecord recordOfBitmap(std::vector<uchar>& bitmap, qint64 overflowAt);

    TeskToQvx driver;
};

#endif
