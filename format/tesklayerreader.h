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

    // Decodes the layer into dst (pixelCount bytes, all written: black after
    // the last run). Once, instead of a read.
    void decodeInto(uchar* dst);

    // The most runs a read can give a sink: one a held byte, and the black
    // after them.
    qint64 maxRuns() const { return heldLen + 1; }
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
    // The tokens of `bytes` that start before `stop`, `base` bytes into the
    // stream; kNearEnd when their length bytes may lie past the data. Returns
    // where it stopped.
    template <bool kNearEnd, typename Sink>
    qint64 readTokens(Sink& sink, const uchar* bytes, qint64 stop, qint64 base);
    bool ended() const { return overflow >= 0 || cutShort >= 0; }

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
    // Tokens that start before the last kMaxTokenSize - 1 held bytes have all
    // their length bytes there to read; those in that guard zone are read from
    // a zero-padded copy, as the bytes after it read as zeros.
    const qint64 guarded = std::max<qint64>(heldLen - (kMaxTokenSize - 1), 0);
    qint64 i = readTokens<false>(sink, in, guarded, 0);
    if (!ended()) {
        uchar guard[2 * kMaxTokenSize] = {};
        if (heldLen > i)
            std::memcpy(guard, in + i, size_t(heldLen - i));
        i += readTokens<true>(sink, guard, heldLen - i, i);
    }
    // The unheld tail of the data, then the rest of the layer if asked for: black.
    const qint64 length = (ended() ? 0 : unheldTail(i)) + (toTheEnd ? pixelsLeft() : 0);
    if (length != 0)
        sink(uchar(0), length);
}

// The sink is called from two places, single pixels and runs, so that it is
// inlined however large it is, with a single pixel as a special case. The
// state lives in locals, which the sink's stores cannot change.
template <bool kNearEnd, typename Sink>
qint64 TeskLayerReader::readTokens(Sink& sink, const uchar* bytes, qint64 stop, qint64 base)
{
    qint64 left = pixelCount - written;
    const uchar* p = bytes;
    const uchar* const end = bytes + stop;
    while (p < end) {
        const uchar head = *p;
        if (head < kRunFlag) {
            if (--left < 0) {
                left = 0;
                overflow = base + (p - bytes);
                break;
            }
            ++p;
            sink(uchar(head << 1), qint64(1));
            continue;
        }
        // The top two bits of the first length byte count the further ones.
        const quint32 word = qFromBigEndian<quint32>(p + 1);
        const int further = int(word >> 30);
        if (kNearEnd && base + (p - bytes) + 2 + further > declaredLen) {
            cutShort = base + (p - bytes);
            break;
        }
        const qint64 length = (word & kLengthMask) >> (~word >> 27 & 0x18); // >> 8 * (3 - further)
        if (length > left) {
            overflow = base + (p - bytes);
            break;
        }
        p += 2 + further;
        if (length == 0)
            continue;
        left -= length;
        sink(uchar((head & kGreyMask) << 1), length);
    }
    written = pixelCount - left;
    return p - bytes;
}

#endif
