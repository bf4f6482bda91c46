#include "smoothscaler.h"

#include <algorithm>
#include <vector>

namespace {

// Qt splits the work into segments of 2^16 source pixels, one per row of the
// result at most, and uses its pool for more than one segment.
constexpr qint64 kSegmentPixels = 1 << 16;
// Weights are fixed point: a whole source pixel is 2^14.
constexpr int kWholePixel = 1 << 14;

// How one axis of the result samples the source: for each result position the
// first source position, and the weights. Shrinking, a result pixel covers
// several source pixels: the first weighs `first`, each further one `step`,
// the last what is left of 2^14. Enlarging, it blends a source pixel with the
// next by `blend` / 256.
struct Axis {
    bool enlarging = false;
    std::vector<int> start;
    std::vector<int> first;
    std::vector<int> step;
    std::vector<int> blend;
};

Axis sampleAxis(int source, int result)
{
    Axis axis;
    axis.enlarging = result >= source;
    const qint64 increment = (qint64(source) << 16) / result;
    const qint64 origin = axis.enlarging ? 0x8000LL * source / result - 0x8000 : 0;
    const int step = int(((qint64(result) << 14) + source - 1) / source);
    qint64 position = origin;
    for (int i = 0; i < result; ++i, position += increment) {
        const int whole = int(position >> 16);
        axis.start.push_back(std::max(whole, 0));
        if (axis.enlarging) {
            axis.blend.push_back(whole < 0 || whole >= source - 1 ? 0 : int((position >> 8) & 0xff));
        } else {
            axis.first.push_back(int(((0x10000 - (position & 0xffff)) * step) >> 16));
            axis.step.push_back(step);
        }
    }
    return axis;
}

struct Channels {
    int red = 0;
    int green = 0;
    int blue = 0;

    void add(QRgb pixel, int weight)
    {
        red += qRed(pixel) * weight;
        green += qGreen(pixel) * weight;
        blue += qBlue(pixel) * weight;
    }
};

// The weighted sum of the source pixels that one result pixel covers along
// one axis, from `pixel` on, `stride` pixels apart.
Channels coveredSum(const QRgb* pixel, int first, int step, qptrdiff stride)
{
    Channels sum;
    sum.add(*pixel, first);
    int left = kWholePixel - first;
    for (; left > step; left -= step) {
        pixel += stride;
        sum.add(*pixel, step);
    }
    sum.add(pixel[stride], left);
    return sum;
}

Channels single(QRgb pixel)
{
    Channels c;
    c.add(pixel, 1);
    return c;
}

// a * (256 - blend) + b * blend, in 1/256.
Channels blended(const Channels& a, const Channels& b, int blend)
{
    Channels c;
    c.red = (a.red * (256 - blend) + b.red * blend) >> 8;
    c.green = (a.green * (256 - blend) + b.green * blend) >> 8;
    c.blue = (a.blue * (256 - blend) + b.blue * blend) >> 8;
    return c;
}

QRgb toPixel(const Channels& c, int shift)
{
    return qRgb(c.red >> shift, c.green >> shift, c.blue >> shift);
}

// Shrinking along one axis and enlarging (or keeping) along the other: sum
// along the shrinking axis, blend two such sums along the other.
QRgb shrinkOneAxis(const QRgb* pixel, int first, int step, qptrdiff along, int blend, qptrdiff across)
{
    Channels sum = coveredSum(pixel, first, step, along);
    if (blend > 0)
        sum = blended(sum, coveredSum(pixel + across, first, step, along), blend);
    return toPixel(sum, 14);
}

// Enlarging along both axes: the pixel blended with the one below, and the
// pixel to its right with the one below that, then the two across: Qt's
// order, which its rounding follows. A weight of 0 reads no neighbour, as at
// the last row or column.
QRgb enlargeBothAxes(const QRgb* pixel, int blendX, int blendY, qptrdiff stride)
{
    const QRgb* below = blendY > 0 ? pixel + stride : pixel;
    const int right = blendX > 0 ? 1 : 0;
    const Channels left = blended(single(pixel[0]), single(below[0]), blendY);
    const Channels rightColumn = blended(single(pixel[right]), single(below[right]), blendY);
    return toPixel(blended(left, rightColumn, blendX), 0);
}

// Shrinking along both axes: row sums, kept to 10 bits, summed down the rows.
// A white area sums to 255 x 2^24, past a signed int: unsigned, as Qt's vector
// code has it.
QRgb shrinkBothAxes(const QRgb* pixel, const Axis& x, int column, const Axis& y, int row, qptrdiff stride)
{
    struct {
        quint32 red = 0;
        quint32 green = 0;
        quint32 blue = 0;
    } total;
    const auto rowSum = [&](const QRgb* p, int weight, decltype(total)& t) {
        const Channels r = coveredSum(p, x.first[column], x.step[column], 1);
        t.red += quint32(r.red >> 4) * quint32(weight);
        t.green += quint32(r.green >> 4) * quint32(weight);
        t.blue += quint32(r.blue >> 4) * quint32(weight);
    };
    rowSum(pixel, y.first[row], total);
    int left = kWholePixel - y.first[row];
    for (; left > y.step[row]; left -= y.step[row]) {
        pixel += stride;
        rowSum(pixel, y.step[row], total);
    }
    rowSum(pixel + stride, left, total);
    return qRgb(int(total.red >> 24), int(total.green >> 24), int(total.blue >> 24));
}

} // namespace

bool SmoothScaler::qtWouldUseThreads(const QImage& source, int height)
{
    const qint64 segments = qint64(source.width()) * source.height() / kSegmentPixels;
    return std::min<qint64>(segments, height) > 1;
}

// Qt converts a grey picture of 128 KiB or more on threads, so that is done
// here; RGB888, the other format these programs scale, it converts on the
// calling thread.
QImage SmoothScaler::rgb32(const QImage& image)
{
    if (image.format() != QImage::Format_Grayscale8)
        return image.convertToFormat(QImage::Format_RGB32);
    QImage converted(image.size(), QImage::Format_RGB32);
    if (converted.isNull())
        return converted;
    for (int y = 0; y < converted.height(); ++y) {
        const uchar* in = image.constScanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(converted.scanLine(y));
        for (int x = 0; x < converted.width(); ++x)
            out[x] = qRgb(in[x], in[x], in[x]);
    }
    return converted;
}

QImage SmoothScaler::scaled(const QImage& image, int width, int height)
{
    if (image.isNull() || width <= 0 || height <= 0)
        return QImage();
    if (image.size() == QSize(width, height) || image.hasAlphaChannel())
        return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage source = rgb32(image);
    if (source.isNull())
        return QImage();
    // A small source Qt scales on this thread.
    if (!qtWouldUseThreads(source, height))
        return source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage result(width, height, QImage::Format_RGB32);
    if (result.isNull())
        return QImage();
    const Axis x = sampleAxis(source.width(), width);
    const Axis y = sampleAxis(source.height(), height);
    const qptrdiff stride = source.bytesPerLine() / 4;
    for (int row = 0; row < height; ++row) {
        const QRgb* sourceRow = reinterpret_cast<const QRgb*>(source.constScanLine(y.start[row]));
        QRgb* out = reinterpret_cast<QRgb*>(result.scanLine(row));
        for (int column = 0; column < width; ++column) {
            const QRgb* pixel = sourceRow + x.start[column];
            if (x.enlarging && y.enlarging)
                out[column] = enlargeBothAxes(pixel, x.blend[column], y.blend[row], stride);
            else if (x.enlarging)
                out[column] = shrinkOneAxis(pixel, y.first[row], y.step[row], stride, x.blend[column], 1);
            else if (y.enlarging)
                out[column] = shrinkOneAxis(pixel, x.first[column], x.step[column], 1, y.blend[row], stride);
            else
                out[column] = shrinkBothAxes(pixel, x, column, y, row, stride);
        }
    }
    return result;
}
