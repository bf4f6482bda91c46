#ifndef TESKFORMAT_H
#define TESKFORMAT_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <limits>

class QFile;

// The Tesk slice file, as both programs read it. Every number is
// little-endian; every offset is absolute from the start of the file, and the
// blocks may lie anywhere and in any order. There is no magic number.
//
//   header            216 bytes at offset 0 (TeskFileHead_t)
//   machine name      machineNameLength bytes at machineNameOffset; the text
//                     ends at the first zero byte
//   preview           32-byte TeskPreviewHead_t at previewOffset, then dataSize
//                     bytes of RGB888 pixels (rows from the top, no padding)
//                     at its dataOffset
//   layer table       layerCount x layerSetCount TeskDatHead_t (36 bytes each)
//                     at layerTableOffset; only the first set is used
//   layer data        dataSize bytes per layer at
//                     dataOffset + dataOffsetHigh * 2^32, run-length coded
//                     (see decodeLayerData)
//
// Bytes that the file does not supply read as zeros.

struct TeskFileHead_t {
    quint8 unused0[8];
    float layerHeight;        // mm
    float exposureTime;       // s
    float bottomExposureTime; // s
    quint8 unused20[4];
    qint32 bottomLayerCount;
    quint8 unused28[4];
    qint32 layerSetCount;
    qint32 layerCount;
    qint32 layerTableOffset;
    quint8 unused44[4];
    qint32 previewOffset;
    quint8 unused52[12];
    qint32 resolutionX;
    qint32 resolutionY;
    quint8 unused72[12];
    float bedSizeX; // mm, along resolutionX
    float bedSizeY; // mm, along resolutionY
    float bedSizeZ; // mm, build height
    quint8 unused96[16];
    qint32 machineNameOffset;
    qint32 machineNameLength;
    quint8 unused120[4];
    float lightOffDelay; // s
    quint8 unused128[12];
    float param140; // passed on unchanged
    float param144;
    float param148;
    float param152;
    quint8 unused156[60];
};
static_assert(sizeof(TeskFileHead_t) == 216, "Tesk header is 216 bytes");
static_assert(offsetof(TeskFileHead_t, layerHeight) == 8, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, layerCount) == 36, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, resolutionX) == 64, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, bedSizeX) == 84, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, machineNameOffset) == 112, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, lightOffDelay) == 124, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, param140) == 140, "Tesk header layout");
static_assert(offsetof(TeskFileHead_t, param152) == 152, "Tesk header layout");

struct TeskDatHead_t {
    quint32 unused0[3];
    quint32 dataOffset; // low 32 bits
    qint32 dataSize;
    quint32 dataOffsetHigh; // high 32 bits
    quint32 unused24[3];

    // Where the layer's data begins; -1 past the range of a file position.
    qint64 dataPosition() const
    {
        const quint64 position = (quint64(dataOffsetHigh) << 32) | dataOffset;
        return position > quint64(std::numeric_limits<qint64>::max()) ? -1 : qint64(position);
    }
};
static_assert(sizeof(TeskDatHead_t) == 36, "Tesk layer table entry is 36 bytes");
static_assert(offsetof(TeskDatHead_t, dataOffset) == 12, "Tesk layer entry layout");
static_assert(offsetof(TeskDatHead_t, dataSize) == 16, "Tesk layer entry layout");
static_assert(offsetof(TeskDatHead_t, dataOffsetHigh) == 20, "Tesk layer entry layout");

struct TeskPreviewHead_t {
    qint32 width;
    qint32 height;
    qint32 dataOffset;
    qint32 dataSize;
    quint8 unused16[16];
};
static_assert(sizeof(TeskPreviewHead_t) == 32, "Tesk preview descriptor is 32 bytes");
static_assert(offsetof(TeskPreviewHead_t, dataSize) == 12, "Tesk preview layout");

// True when the header declares a layer table that cannot be: a negative layer
// count, layers without a layer set, or a first set larger than the whole file.
bool layerTableIsMalformed(const TeskFileHead_t& header, qint64 fileSize);

// Up to `size` bytes of `file` at `offset` into `bytes`: only as many as the
// file (of fileSize bytes) holds there, so that a declared size never
// allocates more than the file can supply; nothing for a negative offset or
// size. The buffer's storage is kept, so one buffer can serve every layer.
void readHeld(QFile& file, qint64 fileSize, qint64 offset, qint64 size, QByteArray& bytes);
QByteArray readHeld(QFile& file, qint64 offset, qint64 size);

// The machine name's text: the block's bytes up to the first zero byte, as UTF-8.
QString machineNameText(const QByteArray& bytes);

#endif
