#include "contactsheet.h"

#include <QColor>

#include <algorithm>

namespace {

constexpr int kGlyphWidth = 3;
constexpr int kGlyphHeight = 5;
constexpr int kLabelScale = 3;
constexpr int kMargin = 8;
constexpr int kMaxColumns = 10;
constexpr int kBackground = 64;
constexpr int kWhite = 255;

// Rows of each digit from the top, three bits each, the left dot the highest.
constexpr quint8 kDigitRows[10][kGlyphHeight] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

void drawDigit(QImage& image, int x, int y, int digit, int scale)
{
    for (int row = 0; row < kGlyphHeight; ++row) {
        for (int column = 0; column < kGlyphWidth; ++column) {
            if (!(kDigitRows[digit][row] & (4 >> column)))
                continue;
            for (int dy = 0; dy < scale; ++dy) {
                const int py = y + row * scale + dy;
                for (int dx = 0; dx < scale; ++dx) {
                    const int px = x + column * scale + dx;
                    if (image.valid(px, py))
                        image.scanLine(py)[px] = kWhite;
                }
            }
        }
    }
}

QSize thumbnailSize(const QImage& first, int tileWidth)
{
    if (first.isNull())
        return QSize(tileWidth, tileWidth);
    const int height = qBound(1, qRound(double(tileWidth) * first.height() / first.width()), 4 * tileWidth);
    return QSize(tileWidth, height);
}

void placeThumbnail(QImage& sheet, const QImage& layer, const QSize& size, const QPoint& at)
{
    if (layer.isNull())
        return;
    // Smooth scaling may hand back another format, so convert afterwards.
    const QImage thumbnail = layer.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < thumbnail.height(); ++y)
        std::copy_n(thumbnail.constScanLine(y), thumbnail.width(), sheet.scanLine(at.y() + y) + at.x());
}

} // namespace

QVector<int> ContactSheet::pickLayers(int layerCount, int tiles)
{
    QVector<int> layers;
    const int n = qMin(layerCount, tiles);
    for (int i = 0; i < n; ++i)
        layers.append(n == 1 ? 0 : int(qint64(i) * (layerCount - 1) / (n - 1)));
    return layers;
}

int ContactSheet::numberWidth(int number, int scale)
{
    return QString::number(number).size() * (kGlyphWidth + 1) * scale - scale;
}

void ContactSheet::drawNumber(QImage& image, int x, int y, int number, int scale)
{
    for (const QChar c : QString::number(number)) {
        drawDigit(image, x, y, c.digitValue(), scale);
        x += (kGlyphWidth + 1) * scale;
    }
}

QImage ContactSheet::build(const QVector<int>& layers, const std::function<QImage(int)>& layerImage, int tileWidth)
{
    if (layers.isEmpty())
        return QImage();
    QImage first = layerImage(layers.first());
    const QSize thumb = thumbnailSize(first, tileWidth);
    const int labelHeight = kGlyphHeight * kLabelScale + kMargin;
    const int columns = qMin(layers.size(), kMaxColumns);
    const int rows = (layers.size() + columns - 1) / columns;
    const QSize cell(thumb.width() + kMargin, thumb.height() + labelHeight);
    QImage sheet(columns * cell.width() + kMargin, rows * cell.height() + kMargin, QImage::Format_Grayscale8);
    sheet.fill(QColor(kBackground, kBackground, kBackground));
    for (int i = 0; i < layers.size(); ++i) {
        const QPoint corner(kMargin + (i % columns) * cell.width(), kMargin + (i / columns) * cell.height());
        drawNumber(sheet, corner.x(), corner.y(), layers[i], kLabelScale);
        placeThumbnail(sheet, i == 0 ? first : layerImage(layers[i]), thumb, corner + QPoint(0, labelHeight - kMargin / 2));
        first = QImage();
    }
    return sheet;
}
