#include "tesklayerreader.h"

TeskLayerReader::TeskLayerReader(const char* src, qint64 heldLen, qint64 declaredLen, qint64 pixelCount)
    : in(reinterpret_cast<const uchar*>(src))
    , heldLen(std::clamp<qint64>(heldLen, 0, std::max<qint64>(declaredLen, 0)))
    , declaredLen(std::max<qint64>(declaredLen, 0))
    , pixelCount(std::max<qint64>(pixelCount, 0))
{
}

// Only the count of the zero bytes matters, so they come as one run.
qint64 TeskLayerReader::unheldTail(qint64 position)
{
    qint64 length = std::max<qint64>(declaredLen - position, 0);
    if (length > pixelsLeft()) {
        overflow = position + pixelsLeft();
        length = pixelsLeft();
    }
    written += length;
    return length;
}

void TeskLayerReader::decodeInto(uchar* dst)
{
    readRuns([&dst](uchar grey, qint64 length) {
        if (length == 1)
            *dst = grey;
        else
            std::memset(dst, grey, size_t(length));
        dst += length;
    });
    std::memset(dst, 0, size_t(pixelsLeft()));
}
