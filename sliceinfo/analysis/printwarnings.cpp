#include "printwarnings.h"

#include "darkspacefinder.h"
#include "format/bounds.h"
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

QString heightText(double mm)
{
    return QStringLiteral("%1 mm").arg(mm, 0, 'f', 2);
}

// "1 layer (3) has", "2 layers (3-4) have".
QString layersHave(const QVector<int>& layers)
{
    return QStringLiteral("%1 (%2) %3")
        .arg(counted(layers.size(), "layer", "layers"), LayerSelection::text(layers),
             forCount(layers.size(), "has", "have"));
}

// Where the print starts when its first `first` layers are empty.
QString startText(int first, double layerHeightMm)
{
    if (!PrintFigures::usableLayerHeight(layerHeightMm))
        return counted(first, "layer", "layers");
    return heightText(first * layerHeightMm);
}

// Where the print ends when only its first `lit` of `all` layers print.
QString endText(int lit, int all, double layerHeightMm)
{
    if (!PrintFigures::usableLayerHeight(layerHeightMm))
        return QStringLiteral("after %1 of %2").arg(lit).arg(counted(all, "layer", "layers"));
    return QStringLiteral("at %1 of %2").arg(heightText(lit * layerHeightMm), heightText(all * layerHeightMm));
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
                                QStringLiteral("the first %1 nothing lit: the print starts %2 above the plate")
                                    .arg(layersHave(span(0, first - 1)), startText(first, h))));
    QVector<int> between;
    for (int j = first + 1; j < last; ++j) {
        if (layers[j].litPixels == 0)
            between.append(j);
    }
    if (!between.isEmpty())
        warnings.append(warning(QStringLiteral("emptyLayersBetween"), between,
                                QStringLiteral("%1 nothing lit between lit ones: what is above %2 hangs on nothing")
                                    .arg(layersHave(between), forCount(between.size(), "it", "them"))));
    if (last < layers.size() - 1) {
        const QVector<int> top = span(last + 1, layers.size() - 1);
        warnings.append(warning(QStringLiteral("emptyTopLayers"), top,
                                QStringLiteral("the last %1 nothing lit: the print ends %2")
                                    .arg(layersHave(top), endText(last + 1, layers.size(), h))));
    }
    return warnings;
}

// The layers whose top lies above the build height.
QVector<ReportWarning> heightWarnings(const SliceReport& report)
{
    const PrintTotals& figures = report.totals;
    const PrintSettings& p = report.print;
    if (!(figures.heightMm > p.buildHeightMm) || !(p.buildHeightMm > 0))
        return {};
    // Rounded to a thousandth of a layer, so that a print exactly as tall as
    // the printer is not flagged for a rounding error.
    const double fit = std::floor(p.buildHeightMm / p.layerHeightMm + 1e-3);
    if (fit >= p.layerCount)
        return {};
    const int first = int(qMax(fit, 0.0)), last = p.layerCount - 1;
    const int listedLast = int(qMin<qint64>(last, qint64(first) + kMaxListedLayers - 1));
    const QString layers = first == last ? QStringLiteral("layer %1 lies").arg(first)
                                         : QStringLiteral("layers %1-%2 lie").arg(first).arg(last);
    ReportWarning w = warning(
        QStringLiteral("tallerThanPrinter"), span(first, listedLast),
        QStringLiteral("the print is %1 high, taller than the printer's %2 build height: %3 above it")
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
        .arg(counted(island.pixels, "pixel", "pixels"), placeText(island.box, p));
}

QVector<ReportWarning> islandWarnings(const SliceReport& report)
{
    const IslandSummary& s = report.islands;
    QVector<ReportWarning> warnings;
    if (s.count > 0) {
        const QString what = s.count == 1 ? QStringLiteral("a region that rests on nothing in the layer below, which "
                                                           "cures onto the film or floats away:")
                                          : QStringLiteral("regions that rest on nothing in the layer below, which "
                                                           "cure onto the film or float away; the largest:");
        ReportWarning w = warning(QStringLiteral("islands"), s.layers,
                                  QStringLiteral("%1 in %2 (%3): %4")
                                      .arg(counted(s.count, "island", "islands"), counted(s.layers.size(), "layer", "layers"),
                                           LayerSelection::text(s.layers), what));
        for (const Island& island : s.largest)
            w.details << islandText(island, report.print);
        warnings.append(w);
    }
    if (s.notExaminedFrom >= 0)
        warnings.append(warning(QStringLiteral("islandsNotExamined"), {s.notExaminedFrom},
                                QStringLiteral("layer %1 has more than %2 stretches of lit pixels: "
                                               "islands were not looked for from it on")
                                    .arg(s.notExaminedFrom)
                                    .arg(qulonglong(IslandFinder::kMaxBlocks))));
    return warnings;
}

// A parameter that some layer uses and no printer can: its figures are not
// known. The whole print is concerned, so no layer is named.
QVector<ReportWarning> parameterWarnings(const PrintSettings& p)
{
    const int bottom = qBound(0, p.bottomLayerCount, p.layerCount);
    const struct {
        const char* kind;
        const char* name;
        double value;
        const char* unit;
        bool used;
        bool usable;
        const char* notKnown;
    } parameters[] = {
        {"unusableLayerHeight", "layer height", p.layerHeightMm, "mm", p.layerCount > 0,
         PrintFigures::usableLayerHeight(p.layerHeightMm), "the print's height, the resin volume and the layers' heights are"},
        {"unusableExposure", "exposure time", p.exposureSeconds, "s", p.layerCount > bottom,
         PrintFigures::usableExposure(p.exposureSeconds), "the print's exposure time is"},
        {"unusableBottomExposure", "bottom exposure time", p.bottomExposureSeconds, "s", bottom > 0,
         PrintFigures::usableExposure(p.bottomExposureSeconds), "the print's exposure time is"},
        {"unusableLightOffDelay", "light-off delay", p.lightOffDelaySeconds, "s", p.layerCount > 0,
         PrintFigures::usableDelay(p.lightOffDelaySeconds), "the print's exposure time is"},
    };
    QVector<ReportWarning> warnings;
    for (const auto& parameter : parameters) {
        if (!parameter.used || parameter.usable)
            continue;
        const QString value = std::isnan(parameter.value) ? QStringLiteral("not a number")
                              : std::isinf(parameter.value)
                                  ? QStringLiteral("infinite")
                                  : QStringLiteral("%1 %2").arg(parameter.value, 0, 'g', 6).arg(QLatin1String(parameter.unit));
        warnings.append(warning(QLatin1String(parameter.kind), {},
                                QStringLiteral("the %1 (%2) is not one a printer can use: %3 not known")
                                    .arg(QLatin1String(parameter.name), value, QLatin1String(parameter.notKnown))));
    }
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
        .arg(counted(trap.pixels, "voxel", "voxels"), placeText(trap.box, p));
}

QString cupText(const Cup& cup, const PrintSettings& p)
{
    return QStringLiteral("%1: a face of %2 mm\u00B2 (%3) %4")
        .arg(spanText(cup.firstLayer, cup.lastLayer))
        .arg(cup.maxFacePixels * p.pixelAreaMm2(), 0, 'f', 2)
        .arg(counted(cup.maxFacePixels, "pixel", "pixels"), placeText(cup.box, p));
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
                                  .arg(what, counted(layers.size(), "layer", "layers"), LayerSelection::text(layers),
                                       smaller > 0 ? QStringLiteral(" (and %1 smaller)").arg(smaller) : QString(), why));
    for (const T& item : largest)
        w.details << describe(item, p);
    return w;
}

// The dark space stopped where too much shared data would be read again.
QString rereadText(int layer)
{
    return QStringLiteral("by layer %1 more than %2 MiB of data that table entries share would have been read "
                          "again: traps and cups were not looked for from it on")
        .arg(layer)
        .arg(bounds::kMaxRereadBytes / (1024 * 1024));
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
                .arg(counted(s.significantTraps, "resin trap", "resin traps"))
                .arg(DarkSpaceThresholds::kTrapMm3),
            s.trapLayers(), s.trapCount - s.significantTraps,
            QStringLiteral("hollows sealed on every side, which keep liquid resin in the part"), s.largestTraps,
            trapText, report.print));
    if (s.significantCups > 0)
        warnings.append(sizeWarning(
            QStringLiteral("cups"),
            QStringLiteral("%1 with a face of %2 mm\u00B2 or more sealed through %3 mm or more,")
                .arg(counted(s.significantCups, "suction cup", "suction cups"))
                .arg(DarkSpaceThresholds::kCupFaceMm2)
                .arg(DarkSpaceThresholds::kCupHeightMm),
            s.cupLayers(), s.cupCount - s.significantCups,
            QStringLiteral("hollows open only toward the film, which every peel pulls on"), s.largestCups, cupText,
            report.print));
    if (s.notExaminedFrom >= 0)
        warnings.append(warning(QStringLiteral("darkSpaceNotExamined"), {s.notExaminedFrom},
                                s.rereadBudgetSpent ? rereadText(s.notExaminedFrom)
                                                    : QStringLiteral("layer %1 has more than %2 dark runs, or more than "
                                                                     "%3 sealed hollows reach it: traps and cups were "
                                                                     "not looked for from it on")
                                                          .arg(s.notExaminedFrom)
                                                          .arg(qulonglong(DarkSpaceFinder::kMaxItems))
                                                          .arg(qulonglong(DarkSpaceFinder::kMaxComponents))));
    return warnings;
}

} // namespace

QVector<ReportWarning> PrintWarnings::find(const SliceReport& report)
{
    if (report.print.layerCount == 0)
        return {warning(QStringLiteral("noLayers"), {}, QStringLiteral("the file has no layers: nothing would be printed"))};
    QVector<ReportWarning> warnings = parameterWarnings(report.print);
    if (!report.layers.isEmpty())
        warnings += emptyLayerWarnings(report);
    return warnings + heightWarnings(report) + islandWarnings(report) + darkSpaceWarnings(report);
}

ReportWarning PrintWarnings::missingData(const QVector<int>& layers)
{
    return warning(QStringLiteral("layerDataMissing"), layers,
                   QStringLiteral("the file does not hold all the data of %1 (%2): the missing part reads as dark")
                       .arg(counted(layers.size(), "layer", "layers"), LayerSelection::text(layers)));
}
