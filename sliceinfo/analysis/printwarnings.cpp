#include "printwarnings.h"

#include "darkspacefinder.h"
#include "printfigures.h"
#include "report/layerselection.h"

#include <climits>
#include <cmath>

namespace {

// A warning about the layers above the build height lists this many of them
// at most: a damaged header may declare a billion layers.
constexpr int kMaxListedLayers = 100000;

QVector<int> span(int first, int last)
{
    QVector<int> layers;
    for (int j = first; j <= last; ++j)
        layers.append(j);
    return layers;
}

ReportWarning warning(const QString& kind, const QVector<int>& layers, const QString& text)
{
    ReportWarning w;
    w.kind = kind;
    w.layers = layers;
    w.text = text;
    return w;
}

QString count(int n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString heightText(double mm)
{
    return QStringLiteral("%1 mm").arg(mm, 0, 'f', 2);
}

QVector<ReportWarning> emptyLayerWarnings(const SliceReport& report)
{
    const QVector<LayerStats>& layers = report.layers;
    int first = 0, last = layers.size() - 1;
    while (first <= last && layers[first].litPixels == 0)
        ++first;
    while (last >= first && layers[last].litPixels == 0)
        --last;
    if (first > last)
        return {warning(QStringLiteral("nothingLit"), LayerSelection::all(layers.size()),
                        QStringLiteral("no layer has a lit pixel: nothing would be printed"))};
    QVector<ReportWarning> warnings;
    const double h = report.print.layerHeightMm;
    if (first > 0)
        warnings.append(warning(QStringLiteral("emptyBottomLayers"), span(0, first - 1),
                         QStringLiteral("the first %1 (%2) have nothing lit: the print starts %3 above the plate")
                             .arg(count(first, "layer", "layers"), LayerSelection::text(span(0, first - 1)),
                                  heightText(first * h))));
    QVector<int> between;
    for (int j = first + 1; j < last; ++j) {
        if (layers[j].litPixels == 0)
            between.append(j);
    }
    if (!between.isEmpty())
        warnings.append(warning(QStringLiteral("emptyLayersBetween"), between,
                         QStringLiteral("%1 between lit ones (%2) have nothing lit: what is above them hangs on nothing")
                             .arg(count(between.size(), "layer", "layers"), LayerSelection::text(between))));
    if (last < layers.size() - 1) {
        const QVector<int> top = span(last + 1, layers.size() - 1);
        warnings.append(warning(QStringLiteral("emptyTopLayers"), top,
                         QStringLiteral("the last %1 (%2) have nothing lit: the print ends at %3 of %4")
                             .arg(count(top.size(), "layer", "layers"), LayerSelection::text(top),
                                  heightText((last + 1) * h), heightText(layers.size() * h))));
    }
    return warnings;
}

// The layers whose top lies above the build height.
QVector<ReportWarning> heightWarnings(const SliceReport& report)
{
    const PrintFigures figures(report);
    const PrintSettings& p = report.print;
    if (!(figures.heightMm > p.buildHeightMm) || !(p.buildHeightMm > 0) || !(p.layerHeightMm > 0))
        return {};
    // Rounded to a thousandth of a layer, so that a print exactly as tall as
    // the printer is not flagged for a rounding error.
    const double fit = std::floor(p.buildHeightMm / p.layerHeightMm + 1e-3);
    if (fit >= p.layerCount)
        return {};
    const int first = int(qMax(fit, 0.0)), last = p.layerCount - 1;
    const int listedLast = int(qMin<qint64>(last, qint64(first) + kMaxListedLayers - 1));
    const QString layers = first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
    ReportWarning w = warning(
        QStringLiteral("tallerThanPrinter"), span(first, listedLast),
        QStringLiteral("the print is %1 high, taller than the printer's %2 build height: layers %3 lie above it")
            .arg(heightText(figures.heightMm), heightText(p.buildHeightMm), layers));
    w.unlisted = last - listedLast;
    return {w};
}

// Where a box lies: its middle, in mm from the top left corner of the layer.
QString placeText(const QRect& box, const PrintSettings& p)
{
    const QPointF middle = QRectF(box).center();
    return QStringLiteral("at x %1 mm, y %2 mm")
        .arg(middle.x() * p.pixelWidthMm, 0, 'f', 2)
        .arg(middle.y() * p.pixelHeightMm, 0, 'f', 2);
}

QString islandText(const Island& island, const PrintSettings& p)
{
    return QStringLiteral("layer %1: %2 mm\u00B2 (%3) %4")
        .arg(island.layer)
        .arg(island.pixels * p.pixelAreaMm2(), 0, 'f', 3)
        .arg(count(int(qMin<qint64>(island.pixels, INT_MAX)), "pixel", "pixels"), placeText(island.box, p));
}

QVector<ReportWarning> islandWarnings(const SliceReport& report)
{
    const IslandSummary& s = report.islands;
    QVector<ReportWarning> warnings;
    if (s.count > 0) {
        ReportWarning w = warning(QStringLiteral("islands"), s.layers,
                                  QStringLiteral("%1 in %2 (%3): regions that rest on nothing in the layer below, "
                                                 "which cure onto the film or float away; the largest:")
                                      .arg(count(int(qMin<qint64>(s.count, INT_MAX)), "island", "islands"),
                                           count(s.layers.size(), "layer", "layers"), LayerSelection::text(s.layers)));
        for (const Island& island : s.largest)
            w.details << islandText(island, report.print);
        warnings.append(w);
    }
    if (s.notExaminedFrom >= 0)
        warnings.append(warning(QStringLiteral("islandsNotExamined"), {s.notExaminedFrom},
                                QStringLiteral("layer %1 has more than %2 runs of lit pixels (cut at row ends): "
                                               "islands were not looked for from it on")
                                    .arg(s.notExaminedFrom)
                                    .arg(qulonglong(IslandFinder::kMaxIntervals))));
    return warnings;
}

QString spanText(int first, int last)
{
    return first == last ? QStringLiteral("layer %1").arg(first) : QStringLiteral("layers %1-%2").arg(first).arg(last);
}

QString trapText(const Trap& trap, const PrintSettings& p)
{
    return QStringLiteral("%1: %2 ml (%3) %4")
        .arg(spanText(trap.firstLayer, trap.lastLayer))
        .arg(trap.pixels * p.voxelMl(), 0, 'f', 4)
        .arg(count(int(qMin<qint64>(trap.pixels, INT_MAX)), "voxel", "voxels"), placeText(trap.box, p));
}

QString cupText(const Cup& cup, const PrintSettings& p)
{
    return QStringLiteral("%1: a face of %2 mm\u00B2 (%3) %4")
        .arg(spanText(cup.firstLayer, cup.lastLayer))
        .arg(cup.maxFacePixels * p.pixelAreaMm2(), 0, 'f', 2)
        .arg(count(int(qMin<qint64>(cup.maxFacePixels, INT_MAX)), "pixel", "pixels"), placeText(cup.box, p));
}

// A warning of the traps or cups past their thresholds: `what` they are, the
// layers they concern, how many smaller ones there are, `why` they matter,
// and the largest few.
template <typename T>
ReportWarning sizeWarning(const QString& kind, const QString& what, const QVector<int>& layers, qint64 smaller,
                          const QString& why, const QVector<T>& largest,
                          QString (*describe)(const T&, const PrintSettings&), const PrintSettings& p)
{
    ReportWarning w = warning(kind, layers,
                              QStringLiteral("%1 in %2 (%3)%4: %5; the largest:")
                                  .arg(what, count(layers.size(), "layer", "layers"), LayerSelection::text(layers),
                                       smaller > 0 ? QStringLiteral(" (and %1 smaller)").arg(smaller) : QString(), why));
    for (const T& item : largest)
        w.details << describe(item, p);
    return w;
}

// The traps and cups past their thresholds, with the largest few; the others
// counted.
QVector<ReportWarning> darkSpaceWarnings(const SliceReport& report)
{
    const DarkSpaceSummary& s = report.darkSpace;
    QVector<ReportWarning> warnings;
    if (s.significantTraps > 0)
        warnings.append(sizeWarning(
            QStringLiteral("traps"),
            QStringLiteral("%1 of %2 mm\u00B3 or more")
                .arg(count(int(qMin<qint64>(s.significantTraps, INT_MAX)), "resin trap", "resin traps"))
                .arg(DarkSpaceThresholds::kTrapMm3),
            s.trapLayers(), s.trapCount - s.significantTraps,
            QStringLiteral("hollows sealed on every side, which keep liquid resin in the part"), s.largestTraps,
            trapText, report.print));
    if (s.significantCups > 0)
        warnings.append(sizeWarning(
            QStringLiteral("cups"),
            QStringLiteral("%1 with a face of %2 mm\u00B2 or more sealed through %3 mm or more,")
                .arg(count(int(qMin<qint64>(s.significantCups, INT_MAX)), "suction cup", "suction cups"))
                .arg(DarkSpaceThresholds::kCupFaceMm2)
                .arg(DarkSpaceThresholds::kCupHeightMm),
            s.cupLayers(), s.cupCount - s.significantCups,
            QStringLiteral("hollows open only toward the film, which every peel pulls on"), s.largestCups, cupText,
            report.print));
    if (s.notExaminedFrom >= 0)
        warnings.append(warning(QStringLiteral("darkSpaceNotExamined"), {s.notExaminedFrom},
                                QStringLiteral("layer %1 has more than %2 dark runs, or more than %3 sealed hollows "
                                               "reach it: traps and cups were not looked for from it on")
                                    .arg(s.notExaminedFrom)
                                    .arg(qulonglong(DarkSpaceFinder::kMaxItems))
                                    .arg(qulonglong(DarkSpaceFinder::kMaxComponents))));
    return warnings;
}

} // namespace

QVector<ReportWarning> PrintWarnings::find(const SliceReport& report)
{
    QVector<ReportWarning> warnings;
    if (!report.layers.isEmpty())
        warnings = emptyLayerWarnings(report);
    return warnings + heightWarnings(report) + islandWarnings(report) + darkSpaceWarnings(report);
}

ReportWarning PrintWarnings::missingData(const QVector<int>& layers)
{
    return warning(QStringLiteral("layerDataMissing"), layers,
                   QStringLiteral("the file does not hold all the data of %1 (%2): the missing part reads as dark")
                       .arg(count(layers.size(), "layer", "layers"), LayerSelection::text(layers)));
}
