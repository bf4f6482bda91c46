#include "tesklayerreader.h"

TeskLayerReader::TeskLayerReader(const char* src, qint64 heldLen, qint64 declaredLen, qint64 pixelCount)
    : in(reinterpret_cast<const uchar*>(src))
    , heldLen(std::clamp<qint64>(heldLen, 0, std::max<qint64>(declaredLen, 0)))
    , declaredLen(std::max<qint64>(declaredLen, 0))
    , pixelCount(std::max<qint64>(pixelCount, 0))
{
}

// The zero bytes past the held data are single black pixels: only their count
// matters, so they come as one run.
bool TeskLayerReader::unheldTail(TeskRun& run)
{
    if (ended || position >= declaredLen)
        return false;
    qint64 length = declaredLen - position;
    if (length > pixelsLeft()) {
        overflow = position + pixelsLeft();
        length = pixelsLeft();
    }
    position = declaredLen;
    ended = true;
    if (length == 0)
        return false;
    written += length;
    run = {0, length};
    return true;
}
