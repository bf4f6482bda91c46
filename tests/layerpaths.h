#ifndef LAYERPATHS_H
#define LAYERPATHS_H

#include "tesktoqvx.h"

#include <QByteArray>

#include <string>
#include <vector>

// One layer record written both ways a layer can take: decoded into a bitmap
// and handed to writeLayerData, or read as runs by writeLayerRuns.
struct LayerRecord {
    QByteArray bytes;
    std::string printed; // "Error!overflow...\n" or nothing
    bool written = false;

    bool operator==(const LayerRecord& other) const
    {
        return bytes == other.bytes && printed == other.printed && written == other.written;
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
    LayerRecord recordOfBitmap(std::vector<uchar>& bitmap, const std::string& printed);

    TeskToQvx driver;
};

#endif
