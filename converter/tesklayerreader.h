#ifndef TESKLAYERREADER_H
#define TESKLAYERREADER_H

#include <QtGlobal>

#include <algorithm>
#include <cstring>

// One run of a decoded Tesk layer: `length` pixels of the 8-bit grey `grey`.
struct TeskRun {
    uchar grey;
    qint64 length;
};

// Reads a Tesk layer stream as runs, in raster order, without a bitmap. Each
// token starts with a head byte h: below 0x80 it is one pixel of grey h * 2;
// otherwise a run of grey (h & 0x7F) * 2 whose length follows in 1 to 4
// big-endian bytes, the top two bits of the first telling how many more follow.
//
// The stream is declaredLen bytes, of which only the first heldLen are in src:
// the rest read as zero bytes, that is single black pixels, without being
// allocated. A run token whose length bytes lie past declaredLen ends the
// layer. The first token that would write past pixelCount pixels is an
// overflow: it is dropped and the layer ends there. Zero-length runs are
// skipped. Every pixel after the last run is black.
class TeskLayerReader {
public:
    TeskLayerReader(const char* src, qint64 heldLen, qint64 declaredLen, qint64 pixelCount);

    // The next run of at least one pixel; false at the end of the layer.
    bool next(TeskRun& run)
    {
        while (position < heldLen) {
            const uchar* token = tokenAt(position);
            const uchar head = token[0];
            int tokenSize = 1;
            qint64 length = 1;
            if (head & kRunFlag) {
                tokenSize = 2 + (token[1] >> 6);
                if (position + tokenSize > declaredLen) {
                    cutShort = position;
                    return finish();
                }
                length = token[1] & kLengthMask;
                for (int k = 2; k < tokenSize; ++k)
                    length = (length << 8) | token[k];
            }
            if (length > pixelCount - written) {
                overflow = position;
                return finish();
            }
            position += tokenSize;
            if (length == 0)
                continue;
            written += length;
            run = {uchar((head & kGreyMask) << 1), length};
            return true;
        }
        return unheldTail(run);
    }

    // Pixels written by the runs read so far.
    qint64 pixelsWritten() const { return written; }
    // Pixels after them, black.
    qint64 pixelsLeft() const { return pixelCount - written; }
    bool overflowed() const { return overflow >= 0; }
    // Byte of the token that overflowed (for the unheld tail: of the first zero
    // byte that did not fit), or -1.
    qint64 overflowAt() const { return overflow; }
    // Byte of a run token cut short by the end of the data, or -1.
    qint64 cutShortAt() const { return cutShort; }
    // After the end: the leading bytes of the stream that decode without an
    // overflow.
    qint64 decodedLength() const { return overflowed() ? overflow : declaredLen; }

    static constexpr int kMaxTokenSize = 5;

private:
    static constexpr uchar kRunFlag = 0x80;
    static constexpr uchar kGreyMask = 0x7F;
    static constexpr uchar kLengthMask = 0x3F;

    // The token at byte i; its last held bytes come from a zero-padded copy,
    // so that the length bytes of a token are always there to read.
    const uchar* tokenAt(qint64 i)
    {
        if (heldLen - i >= kMaxTokenSize)
            return in + i;
        std::memset(tail, 0, sizeof tail);
        std::memcpy(tail, in + i, size_t(heldLen - i));
        return tail;
    }

    // Ends the layer at a token that is not decoded.
    bool finish()
    {
        heldLen = 0;
        ended = true;
        return false;
    }

    bool unheldTail(TeskRun& run);

    const uchar* in;
    qint64 heldLen;
    qint64 declaredLen;
    qint64 pixelCount;
    qint64 position = 0;
    qint64 written = 0;
    qint64 overflow = -1;
    qint64 cutShort = -1;
    bool ended = false;
    uchar tail[kMaxTokenSize];
};

#endif
