#include "qvxrunencoder.h"

#include "tesklayerreader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uchar kClassMask = QvxRunEncoder::kClassMask;

// The first pixel from p on whose class is not `cls`, or end.
const uchar* classRunEnd(const uchar* p, const uchar* end, uchar cls)
{
#if defined(__SSE2__)
    const __m128i classMask = _mm_set1_epi8(char(kClassMask));
    const __m128i wanted = _mm_set1_epi8(char(cls));
    const auto same = [&](const uchar* at) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_cmpeq_epi8(_mm_and_si128(pixels, classMask), wanted);
    };
    while (end - p >= 16) {
        const int sameBits = _mm_movemask_epi8(same(p));
        if (sameBits != 0xFFFF)
            return p + qCountTrailingZeroBits(quint32(~sameBits));
        p += 16;
        // Inside a long run, 64 pixels per test.
        while (end - p >= 64) {
            const __m128i all = _mm_and_si128(_mm_and_si128(same(p), same(p + 16)),
                                              _mm_and_si128(same(p + 32), same(p + 48)));
            if (_mm_movemask_epi8(all) != 0xFFFF)
                break;
            p += 64;
        }
    }
#endif
    const quint64 wordClassMask = 0xF0F0F0F0F0F0F0F0ull;
    const quint64 wordWanted = cls * 0x0101010101010101ull;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if ((word & wordClassMask) != wordWanted)
            break;
    }
    while (p != end && (*p & kClassMask) == cls)
        ++p;
    return p;
}

// Bit i set where the class of p[i] differs from that of p[i - 1], for i from
// 0 to 15; p[-1] must be readable.
int classChanges(const uchar* p)
{
#if defined(__SSE2__)
    const __m128i classMask = _mm_set1_epi8(char(kClassMask));
    const __m128i here = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), classMask);
    const __m128i before = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1)), classMask);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(here, before)) ^ 0xFFFF;
#else
    int changes = 0;
    for (int i = 0; i < 16; ++i)
        changes |= int(((p[i] ^ p[i - 1]) & kClassMask) != 0) << i;
    return changes;
#endif
}

} // namespace

QvxRunEncoder::QvxRunEncoder(std::vector<uchar>& storage, qint64 pixels, qint64 runs)
    : storage(storage)
{
    // A run of n pixels has at most n digits, and at most kMaxRunDigits; the
    // last one's 8-byte store may reach kMaxRunDigits - 1 bytes further.
    const qint64 room = 1 + std::min(pixels, runs * kMaxRunDigits) + kMaxRunDigits;
    if (storage.size() < size_t(room))
        storage.resize(size_t(room));
    state = {storage.data(), kNoClass, 0};
}

void QvxRunEncoder::addPixels(const uchar* p, const uchar* end)
{
    if (p == end)
        return;
    Cursor c = state;
    // The pixel before the first one in memory may not be there.
    gather(c, *p++, 1);
    while (end - p >= 16) {
        const int changes = classChanges(p);
        if (changes == 0) {
            const uchar* runEnd = classRunEnd(p + 16, end, p[0] & kClassMask);
            c.n += quint32(runEnd - p);
            p = runEnd;
            continue;
        }
        // Short runs: every run that ends in these 16 pixels, without a test per pixel.
        int done = 0;
        for (int bits = changes; bits != 0; bits &= bits - 1) {
            const int at = qCountTrailingZeroBits(quint32(bits));
            c.n += quint32(at - done);
            writeRun(c);
            c.cls = p[at] & kClassMask;
            c.n = 0;
            done = at;
        }
        c.n += quint32(16 - done);
        p += 16;
    }
    for (; p != end; ++p)
        gather(c, *p, 1);
    state = c;
}

void QvxRunEncoder::addLayer(TeskLayerReader& layer)
{
    Cursor c = state;
    layer.readWholeLayer([&](uchar grey, qint64 length) { gather(c, grey, quint32(length)); });
    state = c;
}

int QvxRunEncoder::finish()
{
    if (state.n != 0)
        writeRun(state);
    state.n = 0;
    return std::max(int(state.at - encoded(storage)), 0);
}
