#ifndef TESKFRONT_H
#define TESKFRONT_H

#include "teskformat.h"

#include <QByteArray>

class QFile;

// The front of a Tesk file, read the one way the converter and sliceinfo both
// read it: the header, the machine-name block and the preview descriptor.
// Bytes that the file does not hold read as zeros, and so does a block at a
// negative offset.
class TeskFront {
public:
    // A machine-name block is read up to this size; the name ends at its first
    // zero byte long before that in any real file.
    static constexpr qint64 kMaxMachineNameBytes = 64 * 1024;

    void read(QFile& file, qint64 fileSize);

    TeskFileHead_t header{};
    // The block's declared bytes, as far as the file and the limit go.
    QByteArray machineNameBytes;
    TeskPreviewHead_t previewHead{};
};

// The preview's RGB888 pixels (rows from the top, no padding), padded with
// zeros to width x height x 3; empty (no preview) when that size has no pixels
// or more than bounds::kMaxPreviewPixels.
QByteArray readPreviewPixels(QFile& file, qint64 fileSize, const TeskPreviewHead_t& head);

#endif
