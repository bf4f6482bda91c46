#include "printfigures.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kSignificantDigits = 6;

// Rounded to what the inputs can tell; null when it is not a number.
QJsonValue figure(double value)
{
    return std::isfinite(value) ? QJsonValue(QString::number(value, 'g', kSignificantDigits).toDouble()) : QJsonValue();
}

// A length the file gives in single precision, as the shortest decimal of it.
QJsonValue length(double value)
{
    return std::isfinite(float(value)) ? floatValue(float(value)) : figure(value);
}

// Longer durations would print as digits without meaning.
constexpr double kLongestShownSeconds = 1e15;

bool durationShown(double seconds)
{
    return std::isfinite(seconds) && std::fabs(seconds) <= kLongestShownSeconds;
}

QString figureText(double value, int decimals, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("not known");
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(unit);
}

} // namespace

bool PrintFigures::usableLayerHeight(double mm)
{
    return mm > 0 && mm <= kMaxLayerHeightMm;
}

bool PrintFigures::usableExposure(double seconds)
{
    return seconds > 0 && seconds <= kMaxSeconds;
}

bool PrintFigures::usableDelay(double seconds)
{
    return seconds >= 0 && seconds <= kMaxSeconds;
}

PrintFigures::PrintFigures(const SliceReport& report)
{
    const PrintSettings& p = report.print;
    const double notKnown = std::numeric_limits<double>::quiet_NaN();
    const bool heightKnown = usableLayerHeight(p.layerHeightMm);
    heightMm = heightKnown ? float(p.layerCount) * float(p.layerHeightMm) : notKnown;
    buildHeightMm = p.buildHeightMm;
    double area = 0;
    for (int j = 0; j < report.layers.size(); ++j)
        area += report.areaMm2(j);
    volumeMl = heightKnown ? area * p.layerHeightMm / PrintSettings::kCubicMmPerMl : notKnown;
    // Only the times that some layer uses count.
    const int bottom = qBound(0, p.bottomLayerCount, p.layerCount);
    const bool timesKnown = (bottom == 0 || usableExposure(p.bottomExposureSeconds))
                            && (bottom == p.layerCount || usableExposure(p.exposureSeconds))
                            && (p.layerCount == 0 || usableDelay(p.lightOffDelaySeconds));
    exposureSeconds = !timesKnown ? notKnown
                                  : bottom * p.bottomExposureSeconds + (p.layerCount - bottom) * p.exposureSeconds
                                        + p.layerCount * p.lightOffDelaySeconds;
}

void PrintFigures::addTo(SliceReport& report) const
{
    report.totals = PrintTotals{heightMm, buildHeightMm, volumeMl, exposureSeconds};
    const QString mm = QStringLiteral("mm");
    report.fields.append(ReportField{QStringLiteral("heightMm"), QStringLiteral("print height"), length(heightMm), mm,
                                     figureText(heightMm, 2, mm)});
    report.fields.append(ReportField{QStringLiteral("buildHeightMm"), QStringLiteral("printer's build height"),
                                     length(buildHeightMm), mm, figureText(buildHeightMm, 2, mm)});
    report.fields.append(ReportField{QStringLiteral("volumeMl"), QStringLiteral("resin volume"), figure(volumeMl),
                                     QStringLiteral("ml"), figureText(volumeMl, 2, QStringLiteral("ml"))});
    const QString time = durationShown(exposureSeconds)
        ? QStringLiteral("%1 (%2 s), light and delays; the plate's moves not counted")
              .arg(durationText(exposureSeconds))
              .arg(exposureSeconds, 0, 'f', 1)
        : durationText(exposureSeconds);
    report.fields.append(ReportField{QStringLiteral("exposureSeconds"), QStringLiteral("exposure time"),
                                     durationShown(exposureSeconds) ? figure(exposureSeconds) : QJsonValue(),
                                     QStringLiteral("s"), time});
}

QString durationText(double seconds)
{
    if (!durationShown(seconds))
        return QStringLiteral("not known");
    const qint64 whole = qRound64(seconds);
    const QString sign = whole < 0 ? QStringLiteral("-") : QString();
    const qint64 s = std::abs(whole);
    if (s < 60)
        return QStringLiteral("%1%2 s").arg(sign).arg(s);
    if (s < 3600)
        return QStringLiteral("%1%2 min %3 s").arg(sign).arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1%2 h %3 min %4 s")
        .arg(sign)
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
