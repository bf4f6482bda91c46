#include "heightplot.h"

#include "analysis/printfigures.h"
#include "pixelfont.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace {

constexpr int kLeft = 110;
constexpr int kRight = 30;
constexpr int kTop = 60;
constexpr int kBottom = 70;
constexpr int kTextScale = 2;
constexpr int kTickLength = 6;
constexpr int kTicks = 8; // about as many ticks on each axis
constexpr double kHeadroom = 1.08;
constexpr double kBuildHeightShown = 2.0; // times the print's height

const QColor kBackground(255, 255, 255);
const QColor kAxis(40, 40, 40);
const QColor kGrid(225, 225, 225);
const QColor kArea(70, 120, 190);
const QColor kBottomLayers(255, 222, 160);
const QColor kWarning(220, 30, 30, 110);
const QColor kWarningSolid(220, 30, 30);
const QColor kBuildHeight(20, 140, 60);
const QColor kSealed(0, 200, 220);
constexpr int kSealedStrip = 12; // pixels high, along the bottom of the plot

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about `ticks` parts.
double niceStep(double range, int ticks)
{
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10.0 * power;
}

QString tickText(double value, double step)
{
    constexpr int kMaxDecimals = 6;
    const int decimals = step >= 1 || !(step > 0) ? 0 : qMin(kMaxDecimals, int(std::ceil(-std::log10(step))));
    return QString::number(value, 'f', decimals);
}

// The plot's frame and how values map to pixels in it.
class Frame {
public:
    Frame(double xMax, double yMax)
        : xMax(xMax)
        , yMax(yMax)
    {
    }

    QRect area() const { return QRect(kLeft, kTop, HeightPlot::kWidth - kLeft - kRight, HeightPlot::kHeight - kTop - kBottom); }
    int x(double mm) const { return area().left() + pixels(mm / xMax * (area().width() - 1)); }
    int y(double value) const { return area().bottom() - pixels(value / yMax * (area().height() - 1)); }
    // The columns of the layer between heights from and to, at least one.
    QPair<int, int> columns(double from, double to) const { return {x(from), qMax(x(from), x(to) - 1)}; }

    double xMax;
    double yMax;

private:
    // Far outside the picture stays far outside, without overflowing an int.
    static int pixels(double offset) { return int(std::lround(qBound(-1e6, offset, 1e6))); }
};

void drawText(QPainter& painter, int x, int y, const QString& text, const QColor& colour = kAxis)
{
    PixelFont::draw(painter, x, y, text, kTextScale, colour);
}

int textWidth(const QString& text)
{
    return PixelFont::width(text, kTextScale);
}

void drawAxes(QPainter& painter, const Frame& f)
{
    const QRect a = f.area();
    const int glyph = PixelFont::kGlyphHeight * kTextScale;
    const double xStep = niceStep(f.xMax, kTicks), yStep = niceStep(f.yMax, kTicks);
    for (int i = 0; i <= 2 * kTicks && i * xStep <= f.xMax; ++i) {
        const double v = i * xStep;
        painter.setPen(kGrid);
        painter.drawLine(f.x(v), a.top(), f.x(v), a.bottom());
        painter.setPen(kAxis);
        painter.drawLine(f.x(v), a.bottom(), f.x(v), a.bottom() + kTickLength);
        drawText(painter, f.x(v) - textWidth(tickText(v, xStep)) / 2, a.bottom() + 2 * kTickLength, tickText(v, xStep));
    }
    for (int i = 0; i <= 2 * kTicks && i * yStep <= f.yMax; ++i) {
        const double v = i * yStep;
        painter.setPen(kGrid);
        painter.drawLine(a.left(), f.y(v), a.right(), f.y(v));
        painter.setPen(kAxis);
        painter.drawLine(a.left() - kTickLength, f.y(v), a.left(), f.y(v));
        drawText(painter, a.left() - 2 * kTickLength - textWidth(tickText(v, yStep)), f.y(v) - glyph / 2, tickText(v, yStep));
    }
    painter.setPen(kAxis);
    painter.drawLine(a.bottomLeft(), a.bottomRight());
    painter.drawLine(a.bottomLeft(), a.topLeft());
    const QString xTitle = QStringLiteral("height (mm)");
    drawText(painter, a.center().x() - textWidth(xTitle) / 2, HeightPlot::kHeight - glyph - 8, xTitle);
    drawText(painter, 8, kTop - glyph - 12, QStringLiteral("lit area (mm\u00B2)"));
}

void drawLegend(QPainter& painter)
{
    const struct {
        QColor colour;
        const char* text;
    } items[] = {{kArea, "lit area of a layer"},
                 {kBottomLayers, "bottom layers"},
                 {kWarningSolid, "layers with warnings"},
                 {kSealed, "layers that seal a suction cup"},
                 {kBuildHeight, "build height"}};
    int x = HeightPlot::kWidth - kRight;
    for (int i = int(std::size(items)) - 1; i >= 0; --i) {
        const QString text = QLatin1String(items[i].text);
        x -= textWidth(text) + 30;
        painter.fillRect(x, 14, 14, 10, items[i].colour);
        drawText(painter, x + 20, 14, text);
    }
}

// Per column, the largest area of the layers drawn there; -1 where none is.
std::vector<double> columnAreas(const SliceReport& report, const Frame& f)
{
    std::vector<double> areas(size_t(HeightPlot::kWidth), -1.0);
    const double h = report.print.layerHeightMm;
    for (int j = 0; j < report.layers.size(); ++j) {
        const QPair<int, int> c = f.columns(j * h, (j + 1) * h);
        for (int x = qMax(c.first, 0); x <= qMin(c.second, HeightPlot::kWidth - 1); ++x)
            areas[size_t(x)] = qMax(areas[size_t(x)], report.areaMm2(j));
    }
    return areas;
}

void drawLayers(QPainter& painter, const SliceReport& report, const Frame& f)
{
    const std::vector<double> areas = columnAreas(report, f);
    painter.setPen(kArea);
    for (int x = f.area().left(); x <= f.area().right(); ++x) {
        if (areas[size_t(x)] > 0)
            painter.drawLine(x, f.y(0), x, f.y(areas[size_t(x)]));
    }
}

void drawBottomLayers(QPainter& painter, const SliceReport& report, const Frame& f)
{
    const int bottom = qBound(0, report.print.bottomLayerCount, report.print.layerCount);
    const QRect a = f.area();
    painter.fillRect(QRect(a.topLeft(), QPoint(f.x(bottom * report.print.layerHeightMm), a.bottom())), kBottomLayers);
}

// Per column, whether one of `layers` is drawn there.
std::vector<bool> columnsOf(const QVector<int>& layers, const SliceReport& report, const Frame& f,
                            std::vector<bool> marked = std::vector<bool>(size_t(HeightPlot::kWidth), false))
{
    const double h = report.print.layerHeightMm;
    for (int j : layers) {
        const QPair<int, int> c = f.columns(j * h, (j + 1) * h);
        for (int x = qMax(c.first, 0); x <= qMin(c.second, HeightPlot::kWidth - 1); ++x)
            marked[size_t(x)] = true;
    }
    return marked;
}

// Over the areas, so that they show however large the areas are.
void drawWarningLayers(QPainter& painter, const SliceReport& report, const Frame& f)
{
    const QRect a = f.area();
    std::vector<bool> marked(size_t(HeightPlot::kWidth), false);
    for (const ReportWarning& w : report.warnings)
        marked = columnsOf(w.layers, report, f, std::move(marked));
    for (int x = a.left(); x <= a.right(); ++x) {
        if (marked[size_t(x)])
            painter.fillRect(x, a.top(), 1, a.height(), kWarning);
    }
}

// A strip along the bottom under the layers where a cup worth a warning is sealed.
void drawSealedLayers(QPainter& painter, const SliceReport& report, const Frame& f)
{
    const QRect a = f.area();
    const std::vector<bool> marked = columnsOf(report.darkSpace.cupLayers(), report, f);
    for (int x = a.left(); x <= a.right(); ++x) {
        if (marked[size_t(x)])
            painter.fillRect(x, a.bottom() - kSealedStrip + 1, 1, kSealedStrip, kSealed);
    }
}

void drawBuildHeight(QPainter& painter, const Frame& f, double buildHeight)
{
    if (!(buildHeight > 0))
        return;
    if (buildHeight > f.xMax) {
        const QString text = QStringLiteral("build height %1 mm ->").arg(buildHeight);
        drawText(painter, f.area().right() - textWidth(text), f.area().top() + 6, text, kBuildHeight);
        return;
    }
    const int x = f.x(buildHeight);
    painter.setPen(QPen(kBuildHeight, 2, Qt::DashLine));
    painter.drawLine(x, f.area().top(), x, f.area().bottom());
    const QString text = QStringLiteral("build height %1 mm").arg(buildHeight);
    drawText(painter, qMax(f.area().left(), x - textWidth(text) - 6), f.area().top() + 6, text, kBuildHeight);
}

} // namespace

QImage HeightPlot::draw(const SliceReport& report)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(kBackground);
    const PrintTotals& figures = report.totals;
    const double h = report.print.layerHeightMm;
    double maxArea = 0;
    for (int j = 0; j < report.layers.size(); ++j)
        maxArea = qMax(maxArea, report.areaMm2(j));
    // A build height far above the print is named at the right edge instead.
    double xMax = (figures.buildHeightMm > kBuildHeightShown * figures.heightMm ? figures.heightMm
                                                                               : qMax(figures.heightMm, figures.buildHeightMm))
                  * kHeadroom;
    if (!std::isfinite(xMax) || !(xMax > 0) || !(h > 0) || !std::isfinite(maxArea))
        xMax = 0;
    const Frame f(xMax > 0 ? xMax : 1.0, maxArea > 0 ? maxArea * kHeadroom : 1.0);
    QPainter painter(&image);
    if (xMax > 0) {
        drawBottomLayers(painter, report, f);
        drawAxes(painter, f);
        drawLayers(painter, report, f);
        drawWarningLayers(painter, report, f);
        drawSealedLayers(painter, report, f);
        drawBuildHeight(painter, f, figures.buildHeightMm);
    } else {
        drawText(painter, kLeft, kHeight / 2, QStringLiteral("no height to plot: the layer height or the layer count is not usable"));
    }
    drawLegend(painter);
    painter.end();
    // A few colours: with a palette the PNG is written four times faster.
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}
