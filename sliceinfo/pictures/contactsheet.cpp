#include "contactsheet.h"

#include "analysis/printfigures.h"
#include "pixelfont.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kLabelScale = 3;
constexpr int kHeightScale = 2;
constexpr int kMargin = 8;
constexpr int kMaxColumns = 10;
constexpr int kFrame = 3;
const QColor kBackground(64, 64, 64);
const QColor kLabel(255, 255, 255);
const QColor kMarked(235, 40, 40);
const QColor kSealed(0, 200, 220);

// False when the thumbnail found no memory.
bool placeThumbnail(QPainter& painter, const QImage& layer, const QSize& size, const QPoint& at)
{
    if (layer.isNull())
        return true;
    const QImage thumbnail = layer.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(at, thumbnail);
    return !thumbnail.isNull();
}

// The layer number, and to its right the height of the layer's top.
void drawLabel(QPainter& painter, const QPoint& corner, int layer, double layerHeightMm, bool marked, int tileWidth)
{
    const QColor colour = marked ? kMarked : kLabel;
    PixelFont::draw(painter, corner.x(), corner.y(), QString::number(layer), kLabelScale, colour);
    if (!PrintFigures::usableLayerHeight(layerHeightMm))
        return;
    const QString height = QStringLiteral("%1 mm").arg((layer + 1) * layerHeightMm, 0, 'f', 2);
    const int x = corner.x() + tileWidth - PixelFont::width(height, kHeightScale);
    const int y = corner.y() + (kLabelScale - kHeightScale) * PixelFont::kGlyphHeight;
    PixelFont::draw(painter, x, y, height, kHeightScale, colour);
}

} // namespace

QSize ContactSheet::thumbnailSize(const QSize& layerSize, int tileWidth)
{
    if (layerSize.isEmpty())
        return QSize(tileWidth, tileWidth);
    const int height = qBound(1, qRound(double(tileWidth) * layerSize.height() / layerSize.width()), 4 * tileWidth);
    return QSize(tileWidth, height);
}

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
    return PixelFont::width(QString::number(number), scale);
}

void ContactSheet::drawNumber(QImage& image, int x, int y, int number, int scale)
{
    QPainter painter(&image);
    PixelFont::draw(painter, x, y, QString::number(number), scale, kLabel);
}

QImage ContactSheet::build(const QVector<int>& layers, const std::function<QImage(int)>& layerImage, int tileWidth,
                           double layerHeightMm, const QVector<int>& marked, const QVector<int>& sealed)
{
    if (layers.isEmpty())
        return QImage();
    QImage first = layerImage(layers.first());
    const QSize thumb = thumbnailSize(first.size(), tileWidth);
    const int labelHeight = PixelFont::kGlyphHeight * kLabelScale + kMargin;
    const int columns = qMin(layers.size(), kMaxColumns);
    const int rows = (layers.size() + columns - 1) / columns;
    const QSize cell(thumb.width() + kMargin, thumb.height() + labelHeight);
    // Grey without marks, which is written as PNG faster. Drawn in its final
    // format: Qt 5.15 converts large pictures on threads that may not be had.
    QImage sheet(columns * cell.width() + kMargin, rows * cell.height() + kMargin,
                 marked.isEmpty() && sealed.isEmpty() ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (sheet.isNull())
        return sheet;
    sheet.fill(kBackground);
    QPainter painter(&sheet);
    for (int i = 0; i < layers.size(); ++i) {
        const QPoint corner(kMargin + (i % columns) * cell.width(), kMargin + (i / columns) * cell.height());
        const QPoint at = corner + QPoint(0, labelHeight - kMargin / 2);
        const bool isMarked = std::binary_search(marked.begin(), marked.end(), layers[i]);
        const bool isSealed = std::binary_search(sealed.begin(), sealed.end(), layers[i]);
        const QRect frame = QRect(at, thumb).adjusted(-kFrame, -kFrame, kFrame, kFrame);
        if (isMarked)
            painter.fillRect(frame, kMarked);
        if (isSealed)
            painter.fillRect(isMarked ? frame.adjusted(1, 1, -1, -1) : frame, kSealed);
        drawLabel(painter, corner, layers[i], layerHeightMm, isMarked, thumb.width());
        if (!placeThumbnail(painter, i == 0 ? first : layerImage(layers[i]), thumb, at))
            return QImage();
        first = QImage();
    }
    return sheet;
}
