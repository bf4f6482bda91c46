#ifndef TESKTOQVX_H
#define TESKTOQVX_H

#include "format/teskformat.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

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
