#include "thumbnail.h"

Thumbnail::Thumbnail(int layerWidth, int layerHeight, const QSize& size)
    : layerWidth(layerWidth)
    , layerHeight(layerHeight)
    , size(layerWidth > 0 && layerHeight > 0 && !size.isEmpty() ? size : QSize())
{
    sums.resize(size_t(this->size.width() > 0 ? qint64(this->size.width()) * this->size.height() : 0));
}

// The first layer column dealt to picture column `column`.
int Thumbnail::firstPixelOfColumn(int column) const
{
    return int((qint64(column) * layerWidth + size.width() - 1) / size.width());
}

void Thumbnail::addRun(qint64 start, qint64 length, int grey)
{
    if (sums.empty() || grey == 0 || length <= 0 || start < 0)
        return;
    const qint64 end = qMin(start + length, qint64(layerWidth) * layerHeight);
    for (qint64 p = start; p < end;) {
        const int y = int(p / layerWidth), x = int(p % layerWidth);
        const int last = int(qMin<qint64>(layerWidth - 1, x + (end - p) - 1));
        addRowSpan(y, x, last, grey);
        p += last - x + 1;
    }
}

void Thumbnail::addRowSpan(int y, int x0, int x1, int grey)
{
    quint64* row = sums.data() + qint64(y) * size.height() / layerHeight * size.width();
    for (int column = columnOf(x0); column <= columnOf(x1); ++column) {
        const int from = qMax(x0, firstPixelOfColumn(column));
        const int to = qMin(x1, firstPixelOfColumn(column + 1) - 1);
        row[column] += quint64(grey) * quint64(to - from + 1);
    }
}

QImage Thumbnail::image() const
{
    if (sums.empty())
        return QImage();
    QImage image(size, QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    auto firstRow = [this](int row) { return int((qint64(row) * layerHeight + size.height() - 1) / size.height()); };
    for (int ty = 0; ty < size.height(); ++ty) {
        const qint64 rows = firstRow(ty + 1) - firstRow(ty);
        uchar* line = image.scanLine(ty);
        for (int tx = 0; tx < size.width(); ++tx) {
            const qint64 pixels = rows * (firstPixelOfColumn(tx + 1) - firstPixelOfColumn(tx));
            line[tx] = pixels > 0 ? uchar(sums[size_t(qint64(ty) * size.width() + tx)] / quint64(pixels)) : 0;
        }
    }
    return image;
}
