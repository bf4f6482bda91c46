#ifndef TESKTOQVX_H
#define TESKTOQVX_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <limits>
#include <vector>

// The Tesk slice file, as far as the converter reads it. Every number is
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

// Results of TeskToQvx::process(), printed in the "exit code: %d" line.
enum ConversionResult : int {
    Converted = 0,
    InputMissing = -1,
    InputUnreadable = -2,
    MachineRejected = -3,
    OutputUnopenable = -4,
    WriteFailed = -5,
    InputMalformed = -6,
};

// The driver of one conversion: reads the Tesk file at inputPath, hands it to an
// ExportQvx writer and reports progress on standard output.
class ExportQvx;
class QFile;

// True when the header declares a layer table that cannot be: a negative layer
// count, layers without a layer set, or a first set larger than the whole file.
bool layerTableIsMalformed(const TeskFileHead_t& header, qint64 fileSize);

// Up to `size` bytes of `file` at `offset` into `bytes`: only as many as the
// file (of fileSize bytes) holds there, so that a declared size never
// allocates more than the file can supply; nothing for a negative offset or
// size. The buffer's storage is kept, so one buffer can serve every layer.
void readHeld(QFile& file, qint64 fileSize, qint64 offset, qint64 size, QByteArray& bytes);
QByteArray readHeld(QFile& file, qint64 offset, qint64 size);

// Writes one console line to standard output and flushes it.
void printConsoleLine(const QString& line);

class TeskToQvx {
public:
    TeskToQvx(const QString& inputPath, const QString& outputPath);

    // The whole conversion; returns a ConversionResult. Memory that cannot be
    // had ends it as WriteFailed, with no output file.
    int process();

    // Decodes one layer stream (read as TeskLayerReader says) into dst
    // (resolutionX x resolutionY bytes, all written). Stops at a token that
    // would write past the bitmap, and layerOverflowAt() then tells its byte;
    // process() prints "Error!overflow..." for such a layer. Always returns true.
    // A conversion encodes most layers from their runs, without a bitmap.
    bool decodeLayerData(char* src, int srcLen, uchar* dst);

    // Like decodeLayerData, for a block of declaredLen bytes of which only the
    // first heldLen are in src: the rest read as zero bytes (single black
    // pixels), without being allocated. Returns layerOverflowAt().
    qint64 decodeLayerData(const char* src, qint64 heldLen, qint64 declaredLen, uchar* dst);

    // The byte of the token that overflowed the layer decoded or converted
    // last, or -1 when it fitted.
    qint64 layerOverflowAt() const { return overflowAt; }

    // resolutionX x resolutionY, 0 when that has no pixels.
    qint64 layerPixelCount() const;

    QString inputPath;
    QString outputPath;
    QByteArray machineNameBytes;
    TeskFileHead_t header{};

private:
    int convert();
    // Reads the header and the machine name; returns the preview descriptor.
    TeskPreviewHead_t readFront(QFile& input);
    bool writeLayer(const QByteArray& data, qint64 declared, ExportQvx& writer, std::vector<uchar>& bitmap);
    bool convertLayers(QFile& input, ExportQvx& writer);

    qint64 overflowAt = -1;
};

#endif
