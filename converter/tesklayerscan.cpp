#include "tesklayerscan.h"

namespace {

constexpr uchar kRunFlag = 0x80;
constexpr uchar kGreyMask = 0x7F;
constexpr uchar kLengthMask = 0x3F;

} // namespace

TeskLayerScan TeskLayerScan::scan(const char* src, qint64 heldLen, qint64 declaredLen, int width, qint64 pixelCount)
{
    TeskLayerScan s;
    s.stats = LayerStats(width, pixelCount);
    s.stats.encodedBytes = declaredLen;
    const auto* in = reinterpret_cast<const uchar*>(src);
    auto byteAt = [&](qint64 i) -> uchar { return i < heldLen ? in[i] : 0; };
    qint64 i = 0;
    qint64& o = s.pixelsWritten;
    while (i < heldLen) {
        const uchar head = in[i];
        const uchar l0 = byteAt(i + 1);
        const int tokenSize = head & kRunFlag ? 2 + (l0 >> 6) : 1;
        if (i + tokenSize > declaredLen) {
            s.cutShortAt = i;
            s.decodableLength = declaredLen;
            return s;
        }
        qint64 run = 1;
        if (head & kRunFlag) {
            run = l0 & kLengthMask;
            for (int k = 2; k < tokenSize; ++k)
                run = (run << 8) | byteAt(i + k);
        }
        if (o + run > pixelCount) {
            s.overflowAt = s.decodableLength = i;
            return s;
        }
        if (head & kGreyMask)
            s.stats.addLit(o, run);
        o += run;
        i += tokenSize;
    }
    // Past the held bytes every byte is a single black pixel.
    const qint64 tail = qMax<qint64>(declaredLen - i, 0);
    if (o + tail > pixelCount) {
        s.overflowAt = s.decodableLength = i + (pixelCount - o);
        o = pixelCount;
        return s;
    }
    o += tail;
    s.decodableLength = declaredLen;
    return s;
}
