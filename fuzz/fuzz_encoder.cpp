// The layer encoder ExportQvx::compressImage on arbitrary small Grayscale8
// images, checked by decoding its runs back with QvxReader::decodeRuns.
//   byte 0, 1  size: 1 + b % 48 pixels in X and in Y (widths not a multiple
//              of 4 give lines with padding)
//   byte 2     bit 0 set: the image wraps a buffer of exactly width x height
//              bytes, as the converter does, instead of owning its lines
//   rest       the pixels, row by row; missing bytes read as zeros
#include "exportqvx.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "fuzzsupport.h"
#include "tesktoqvx.h"

#include <QImage>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int width = 1 + in.byte() % 48;
    const int height = 1 + in.byte() % 48;
    const bool wrapped = in.byte() & 1;

    std::vector<uchar> pixels(size_t(width) * size_t(height));
    for (uchar& p : pixels)
        p = in.byte();

    QImage image;
    if (wrapped) {
        image = QImage(pixels.data(), width, height, width, QImage::Format_Grayscale8);
    } else {
        image = QImage(width, height, QImage::Format_Grayscale8);
        for (int y = 0; y < height; ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < width; ++x)
                line[x] = pixels[size_t(y) * width + x];
        }
    }

    TeskToQvx driver{QString(), QString()};
    ExportQvx writer(&driver);
    if (!writer.compressImage(image))
        std::abort();

    const QByteArray runs(reinterpret_cast<const char*>(writer.compressedData.constData()),
                          writer.compressedData.size());
    QByteArray classes;
    QString error;
    if (!QvxRunDecoder::decode(runs, qint64(pixels.size()), &classes, &error))
        std::abort(); // the encoder wrote runs that do not decode
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (uchar(classes[int(i)]) != pixels[i] >> 4)
            std::abort(); // a pixel came back in another grey class
    }
    return 0;
}
