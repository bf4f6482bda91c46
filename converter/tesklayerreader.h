#ifndef TESKLAYERREADER_H
#define TESKLAYERREADER_H

#include <QtEndian>
#include <QtGlobal>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

    // Calls sink(grey, length) for each run of the layer, in order, with an
    // 8-bit grey and a length of at least 1. Once.
    template <typename Sink>
    void readRuns(Sink&& sink)
    {
        read(sink, false);
    }

    // The same, then the black pixels after the last run: runs that cover the
    // whole layer.
    template <typename Sink>
    void readWholeLayer(Sink&& sink)
    {
        read(sink, true);
    }

    // Pixels written by the runs.
    qint64 pixelsWritten() const { return written; }
    // Pixels after them, black.
    qint64 pixelsLeft() const { return pixelCount - written; }
    bool overflowed() const { return overflow >= 0; }
    // Byte of the token that overflowed (for the unheld tail: of the first zero
    // byte that did not fit), or -1.
    qint64 overflowAt() const { return overflow; }
    // Byte of a run token cut short by the end of the data, or -1.
    qint64 cutShortAt() const { return cutShort; }
    // The leading bytes of the stream that decode without an overflow.
    qint64 decodedLength() const { return overflowed() ? overflow : declaredLen; }

    static constexpr int kMaxTokenSize = 5;

private:
    template <typename Sink>
    void read(Sink& sink, bool toTheEnd);

    static constexpr uchar kRunFlag = 0x80;
    static constexpr uchar kGreyMask = 0x7F;
    static constexpr quint32 kLengthMask = 0x3FFFFFFF; // of the four length bytes

    // The zero bytes from `position` to declaredLen as one black run, or nothing
    // when it has no pixels; records an overflow.
    qint64 unheldTail(qint64 position);

    const uchar* in;
    qint64 heldLen;
    qint64 declaredLen;
    qint64 pixelCount;
    qint64 written = 0;
    qint64 overflow = -1;
    qint64 cutShort = -1;
};

// Stores a run of `length` pixels of `grey` at `at`; a short one with one
// 16-byte store, which writes past the run, up to at + 16, when that is not
// past `limit`. Runs stored in order overwrite what the one before wrote past it.
inline void storeRun(uchar* at, uchar grey, qint64 length, const uchar* limit)
{
#if defined(__SSE2__)
    if (length <= 16 && limit - at >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_set1_epi8(char(grey)));
        return;
    }
#endif
    std::memset(at, grey, size_t(length));
}

template <typename Sink>
void TeskLayerReader::read(Sink& sink, bool toTheEnd)
{
    // Copies, which the sink's stores cannot change.
    const uchar* const in = this->in;
    const qint64 held = heldLen;
    const qint64 declared = declaredLen;
    const qint64 pixels = pixelCount;
    // Tokens that start before inPlaceEnd are read where they are; the last
    // few held bytes are read from a zero-padded copy, so that the length bytes
    // of a token are always there to read.
    const qint64 inPlaceEnd = held - kMaxTokenSize + 1;
    uchar padded[kMaxTokenSize];
    qint64 i = 0;
    qint64 o = 0;
    qint64 tokensEnd = held; // 0 once a token has ended the layer early
    bool tailSent = false;
    // The sink is called from two places, single pixels and runs, so that it
    // is inlined however large it is, with a single pixel as a special case.
    for (;;) {
        uchar grey = 0;
        qint64 length;
        if (i < tokensEnd) {
            const uchar* token = in + i;
            if (i >= inPlaceEnd) {
                std::memset(padded, 0, sizeof padded);
                std::memcpy(padded, token, size_t(held - i));
                token = padded;
            }
            const uchar head = token[0];
            if (!(head & kRunFlag)) {
                if (o == pixels) {
                    overflow = i;
                    tokensEnd = 0;
                    continue;
                }
                ++o;
                ++i;
                sink(uchar(head << 1), qint64(1));
                continue;
            }
            // The top two bits of the first length byte count the further ones.
            const int further = token[1] >> 6;
            if (i + 2 + further > declared) {
                cutShort = i;
                tokensEnd = 0;
                continue;
            }
            length = (qFromBigEndian<quint32>(token + 1) & kLengthMask) >> (8 * (3 - further));
            if (length > pixels - o) {
                overflow = i;
                tokensEnd = 0;
                continue;
            }
            i += 2 + further;
            if (length == 0)
                continue;
            grey = uchar((head & kGreyMask) << 1);
            o += length;
        } else {
            // The unheld tail of the data (after the last token, if that ended
            // the layer), then the rest of the layer if asked for: black.
            if (tailSent)
                break;
            tailSent = true;
            written = o;
            length = (overflowed() || cutShort >= 0 ? 0 : unheldTail(i)) + (toTheEnd ? pixelsLeft() : 0);
            if (length == 0)
                break;
        }
        sink(grey, length);
    }
}

#endif
