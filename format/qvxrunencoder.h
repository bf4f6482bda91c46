#ifndef QVXRUNENCODER_H
#define QVXRUNENCODER_H

#include <QtEndian>
#include <QtGlobal>

#include <cstring>
#include <vector>

class TeskLayerReader;

// Encodes pixels, given in raster order as runs of one grey or as rows of
// bytes, into the runs of a qvx layer: maximal stretches of one grey class
// (the top four bits of a pixel), each written as the hexadecimal digits of
// its length, most significant first, one byte per digit with the class in
// the high nibble. Neighbouring runs of one class become one.
//
// The bytes go into `storage`, from encoded(storage) on. Its size is room, not
// the encoded length: it only grows, so that the room is zero-filled once and
// serves every later layer, and finish() tells how many bytes are encoded.
// The room is made once, for the most bytes the caller can give rise to, so
// that writing a run tests nothing.
class QvxRunEncoder {
public:
    // Where the encoding stands: callers that add many runs keep it in a local
    // (cursor(), then setCursor()), so that a digit stored through a byte
    // pointer cannot make the compiler load it again.
    struct Cursor {
        uchar* at;  // where the next digits go
        uchar cls;  // of the run being gathered
        quint32 n;  // its pixels so far
    };

    // At most `pixels` pixels in at most `runs` runs of any grey will be added.
    QvxRunEncoder(std::vector<uchar>& storage, qint64 pixels, qint64 runs);

    void add(uchar grey, qint64 length)
    {
        if (length != 0)
            gather(state, grey, quint32(length));
    }

    // The pixels from p up to end.
    void addPixels(const uchar* p, const uchar* end);
    // The whole of a layer, from its runs.
    void addLayer(TeskLayerReader& layer);

    // Writes the last run; returns the number of encoded bytes.
    int finish();
    static const uchar* encoded(const std::vector<uchar>& storage) { return storage.data() + 1; }

    Cursor cursor() const { return state; }
    void setCursor(const Cursor& c) { state = c; }

    // Adds `length` (at least 1) pixels of `grey` to the run at c, or writes
    // that run and starts another.
    void gather(Cursor& c, uchar grey, quint32 length)
    {
        const uchar pixelClass = grey & kClassMask;
        if (pixelClass != c.cls) {
            writeRun(c);
            c.cls = pixelClass;
            c.n = 0;
        }
        c.n += length;
    }

    // Writes the run at c.
    static void writeRun(Cursor& c)
    {
        if (c.n <= kDigitMask) {
            *c.at++ = uchar(c.cls | c.n);
            return;
        }
        if (c.n <= 0xFF) {
            const quint16 pair = qToLittleEndian(quint16((c.n >> 4 | (c.n & kDigitMask) << 8) | c.cls * 0x0101u));
            std::memcpy(c.at, &pair, sizeof pair);
            c.at += 2;
            return;
        }
        const int digits = (35 - qCountLeadingZeroBits(c.n)) / 4;
        if (c.n <= 0xFFFF) {
            const quint32 word = qToLittleEndian(digitBytes32(c.n, digits) | c.cls * quint32(kEveryByte));
            std::memcpy(c.at, &word, sizeof word);
        } else {
            const quint64 word = qToLittleEndian(digitBytes64(c.n, digits) | c.cls * kEveryByte);
            std::memcpy(c.at, &word, sizeof word);
        }
        c.at += digits;
    }

    static constexpr uchar kClassMask = 0xF0;

private:
    static constexpr uchar kDigitMask = 0x0F;
    static constexpr int kMaxRunDigits = 8; // a 32-bit count has at most 8 hex digits
    static constexpr quint64 kEveryByte = 0x0101010101010101ull;
    // Encoding starts with a run of no pixels of this class, the byte before
    // encoded(storage): the first pixel always ends it, so that gathering
    // needs no test for a run with no pixels.
    static constexpr uchar kNoClass = 0x01;

    // The `digits` hexadecimal digits of n, one a byte, most significant in
    // the lowest byte; the bytes above them are 0. For n up to 0xFFFF, then
    // for any n.
    static quint32 digitBytes32(quint32 n, int digits)
    {
        quint32 x = n;
        x = (x | (x << 8)) & 0x00FF00FFu;
        x = (x | (x << 4)) & 0x0F0F0F0Fu; // digit k in byte k
        return qbswap(x) >> (8 * (4 - digits));
    }
    static quint64 digitBytes64(quint32 n, int digits)
    {
        quint64 x = n;
        x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
        x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
        x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;
        return qbswap(x) >> (8 * (kMaxRunDigits - digits));
    }

    std::vector<uchar>& storage;
    Cursor state;
};

#endif
