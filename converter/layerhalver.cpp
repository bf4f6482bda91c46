#include "layerhalver.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// With more changes of grey than this in a pair of rows, averaging their
// pixels sixteen blocks at a time is faster than a step per change.
constexpr int kDenseStretches = 64;
// Room after the rows of pixels for a 16-byte store that starts in them.
constexpr int kRowSlack = 16;

// One row of a halved grey image from two rows of the full one.
void averageBlocks(const uchar* top, const uchar* bottom, uchar* out, int outWidth)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    const auto load = [](const uchar* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto pairSums = [&](__m128i pixels) {
        return _mm_add_epi16(_mm_and_si128(pixels, lowBytes), _mm_srli_epi16(pixels, 8));
    };
    for (; x + 16 <= outWidth; x += 16) {
        const __m128i topLeft = load(top + 2 * x);
        const __m128i topRight = load(top + 2 * x + 16);
        const __m128i bottomLeft = load(bottom + 2 * x);
        const __m128i bottomRight = load(bottom + 2 * x + 16);
        __m128i averages = zero;
        // Most of a layer is dark, and dark blocks need no arithmetic.
        const __m128i any = _mm_or_si128(_mm_or_si128(topLeft, topRight), _mm_or_si128(bottomLeft, bottomRight));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) != 0xFFFF) {
            const __m128i left = _mm_add_epi16(pairSums(topLeft), pairSums(bottomLeft));
            const __m128i right = _mm_add_epi16(pairSums(topRight), pairSums(bottomRight));
            averages = _mm_packus_epi16(_mm_srli_epi16(left, 2), _mm_srli_epi16(right, 2));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), averages);
    }
#endif
    for (; x < outWidth; ++x)
        out[x] = uchar((top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1]) / 4);
}

} // namespace

LayerHalver::LayerHalver(int width, int height, QvxRunEncoder& runs)
    : width(width)
    , rowPairs(height / 2)
    , runs(runs)
    , stretches(new Stretch[2 * size_t(width)])
    , pixels(new uchar[3 * (size_t(width) + kRowSlack)])
{
    rowStretches[0] = rowEnd[0] = stretches.get();
    rowStretches[1] = rowEnd[1] = stretches.get() + width;
    rowPixels[0] = pixels.get();
    rowPixels[1] = rowPixels[0] + width;
    halfRow = rowPixels[1] + width + kRowSlack;
    pixelsEnd = halfRow;
}

// The end of the stretches and the column live in locals while the layer is
// read, so that storing a stretch cannot make the compiler load them again.
// A run that ends inside its row is a stretch; anything else goes out of line.
void LayerHalver::halve(TeskLayerReader& layer)
{
    const int width = this->width;
    Position p = startLayer();
    layer.readWholeLayer([&](uchar grey, qint64 length) {
        if (length < width - p.column) {
            p.column += int(length);
            *p.end++ = {quint16(p.column), grey};
            return;
        }
        p = addAcross(p, grey, length);
    });
}

LayerHalver::Position LayerHalver::startLayer()
{
    pairsLeft = rowPairs;
    row = 0;
    at = 0;
    runsAsPixels = 0;
    return here(rowStretches[0], 0);
}

// Most often a run that ends the row it is in ends in the next row: its two
// stretches are stored here, anything else goes to addAcrossRows.
LayerHalver::Position LayerHalver::addAcross(Position p, uchar grey, qint64 length)
{
    const qint64 rest = length - (width - p.column);
    if (asPixels || pairsLeft == 0 || rest >= width)
        return addAcrossRows(p, grey, length);
    *p.end++ = {quint16(width), grey};
    rowEnd[row] = p.end;
    Stretch* end;
    if (row == 0) {
        row = 1;
        end = rowStretches[1];
    } else {
        row = 0;
        end = nextPair();
        if (rest > 0 && (asPixels || pairsLeft == 0))
            return addAcrossRows(here(end, 0), grey, rest);
    }
    if (rest > 0)
        *end++ = {quint16(rest), grey};
    return here(end, int(rest));
}

// Read as pixels, the two rows of a pair are one stretch of memory, so that a
// run needs no more than one test before it is stored, as in a bitmap decoder.
LayerHalver::Position LayerHalver::addAcrossRows(Position p, uchar grey, qint64 length)
{
    const qint64 pairPixels = 2 * qint64(width);
    uchar* const pair = rowPixels[0];
    Stretch* end = p.end;
    int column = asPixels ? 0 : p.column;
    while (length > 0 && pairsLeft > 0) {
        if (length >= pairPixels && at == 0 && column == 0 && row == 0) {
            const qint64 pairs = std::min(length / pairPixels, pairsLeft);
            runs.add(grey, pairs * (width / 2));
            length -= pairs * pairPixels;
            pairsLeft -= pairs;
            continue;
        }
        if (asPixels) {
            if (length < pairPixels - at) {
                storeRun(pair + at, grey, length, pixelsEnd);
                at += length;
                ++runsAsPixels;
                break;
            }
            std::memset(pair + at, grey, size_t(pairPixels - at));
            length -= pairPixels - at;
            changes = runsAsPixels + 1;
            end = nextPair();
            continue;
        }
        const int take = int(std::min<qint64>(length, width - column));
        column += take;
        length -= take;
        *end++ = {quint16(column), grey};
        if (column < width)
            continue;
        column = 0;
        rowEnd[row] = end;
        if (row == 0) {
            row = 1;
            end = rowStretches[1];
            continue;
        }
        row = 0;
        end = nextPair();
    }
    return here(end, column);
}

// Returns where the stretches of the next pair go.
LayerHalver::Stretch* LayerHalver::nextPair()
{
    halvePair();
    at = 0;
    runsAsPixels = 0;
    --pairsLeft;
    return rowStretches[0];
}

// The next pair is read the way that suits this one.
void LayerHalver::halvePair()
{
    if (asPixels) {
        halvePixels();
    } else {
        changes = int((rowEnd[0] - rowStretches[0]) + (rowEnd[1] - rowStretches[1]));
        if (changes > kDenseStretches) {
            fillRows();
            halvePixels();
        } else {
            halveStretches();
        }
    }
    asPixels = changes > kDenseStretches;
    rowEnd[0] = rowStretches[0];
    rowEnd[1] = rowStretches[1];
    changes = 0;
}

void LayerHalver::fillRows()
{
    for (int r = 0; r < 2; ++r) {
        int x0 = 0;
        for (const Stretch* s = rowStretches[r]; s != rowEnd[r]; x0 = s++->end)
            storeRun(rowPixels[r] + x0, uchar(s->grey), s->end - x0, pixelsEnd);
    }
}

// A block inside stretches of greys t (top) and u (bottom) is (2t + 2u) / 4.
// The encoder's digits are stored through a byte pointer, which could change
// any member as far as the compiler knows: what the loop reads is in locals.
void LayerHalver::halveStretches()
{
    QvxRunEncoder::Cursor c = runs.cursor();
    const Stretch* top = rowStretches[0];
    const Stretch* bottom = rowStretches[1];
    const unsigned width = unsigned(this->width);
    unsigned next = 0; // the first block not yet added
    for (;;) {
        const unsigned t = top->grey;
        const unsigned u = bottom->grey;
        const unsigned x1 = std::min(top->end, bottom->end);
        const unsigned blocks = x1 / 2 - next;
        if (blocks != 0)
            runs.gather(c, uchar((t + u) / 2), blocks);
        if (x1 == width)
            break;
        top += top->end == x1;
        bottom += bottom->end == x1;
        next = (x1 + 1) / 2;
        if (x1 % 2 == 1)
            runs.gather(c, uchar((t + top->grey + u + bottom->grey) / 4), 1);
    }
    runs.setCursor(c);
}

void LayerHalver::halvePixels()
{
    averageBlocks(rowPixels[0], rowPixels[1], halfRow, width / 2);
    runs.addPixels(halfRow, halfRow + width / 2);
}

void LayerHalver::halveGrey(const QImage& image, QImage& half)
{
    const QSize size(image.width() / 2, image.height() / 2);
    if (half.size() != size || half.format() != QImage::Format_Grayscale8)
        half = QImage(size, QImage::Format_Grayscale8);
    for (int y = 0; y < half.height(); ++y)
        averageBlocks(image.constScanLine(2 * y), image.constScanLine(2 * y + 1), half.scanLine(y), half.width());
}
