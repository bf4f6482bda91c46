#ifndef QVXRUNENCODER_H
#define QVXRUNENCODER_H

#include <QVector>
#include <QtGlobal>

class TeskLayerReader;

// Encodes pixels, given in raster order as runs of one grey or as rows of
// bytes, into the runs of a qvx layer: maximal stretches of one grey class
// (the top four bits of a pixel), each written as the hexadecimal digits of
// its length, most significant first, one byte per digit with the class in
// the high nibble. Neighbouring runs of one class become one.
//
// The bytes go straight into the storage of `out`, which is emptied first.
// It grows in steps, so that only what is used gets zero-filled, and keeps its
// storage for the next layer.
class QvxRunEncoder {
public:
    explicit QvxRunEncoder(QVector<uchar>& out)
        : out(out)
    {
        out.clear();
    }

    void add(uchar grey, qint64 length)
    {
        if (length != 0)
            gather(grey, length, current, count);
    }

    // The pixels from p up to end.
    void addPixels(const uchar* p, const uchar* end);
    // The whole of a layer, from its runs.
    void addLayer(TeskLayerReader& layer);

    // Writes the last run and gives `out` its final size.
    void finish();

    static constexpr uchar kClassMask = 0xF0;

private:
    static constexpr uchar kDigitMask = 0x0F;
    static constexpr int kDigitBase = 16;
    static constexpr int kMaxRunDigits = 8; // a 32-bit count has at most 8 hex digits
    static constexpr int kBufferStep = 64 * 1024;

    // Adds `length` (at least 1) pixels of `grey` to the run of class `cls`
    // and `n` pixels gathered so far, or writes that run and starts another.
    // Callers keep cls and n in locals while they add many, so that writing a
    // digit cannot make the compiler load them again.
    void gather(uchar grey, qint64 length, uchar& cls, quint32& n)
    {
        const uchar pixelClass = grey & kClassMask;
        if (pixelClass != cls && n != 0) {
            writeRun(cls, n);
            n = 0;
        }
        cls = pixelClass;
        n += quint32(length);
    }

    // count must not be 0.
    void writeRun(uchar cls, quint32 count)
    {
        if (out.size() - used < kMaxRunDigits) {
            out.resize(out.size() + kBufferStep);
            data = out.data();
        }
        const int digits = (35 - qCountLeadingZeroBits(count)) / 4;
        uchar* digit = data + used + digits;
        do {
            *--digit = uchar(cls | (count & kDigitMask));
            count /= kDigitBase;
        } while (count != 0);
        used += digits;
    }

    QVector<uchar>& out;
    uchar* data = nullptr;
    int used = 0;
    uchar current = 0;
    quint32 count = 0;
};

#endif
