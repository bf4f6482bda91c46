#include "printfigures.h"

#include <cmath>

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

QString figureText(double value, int decimals, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("not known");
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(unit);
}

} // namespace

PrintFigures::PrintFigures(const SliceReport& report)
{
    const PrintSettings& p = report.print;
    heightMm = float(p.layerCount) * float(p.layerHeightMm);
    buildHeightMm = p.buildHeightMm;
    double area = 0;
    for (int j = 0; j < report.layers.size(); ++j)
        area += report.areaMm2(j);
    volumeMl = area * p.layerHeightMm / PrintSettings::kCubicMmPerMl;
    const int bottom = qBound(0, p.bottomLayerCount, p.layerCount);
    exposureSeconds = bottom * p.bottomExposureSeconds + (p.layerCount - bottom) * p.exposureSeconds
                      + p.layerCount * p.lightOffDelaySeconds;
}

void PrintFigures::addTo(SliceReport& report) const
{
    const QString mm = QStringLiteral("mm");
    report.fields.append(ReportField{QStringLiteral("heightMm"), QStringLiteral("print height"), length(heightMm), mm,
                                     figureText(heightMm, 2, mm)});
    report.fields.append(ReportField{QStringLiteral("buildHeightMm"), QStringLiteral("printer's build height"),
                                     length(buildHeightMm), mm, figureText(buildHeightMm, 2, mm)});
    report.fields.append(ReportField{QStringLiteral("volumeMl"), QStringLiteral("resin volume"), figure(volumeMl),
                                     QStringLiteral("ml"), figureText(volumeMl, 2, QStringLiteral("ml"))});
    const QString time = std::isfinite(exposureSeconds)
        ? QStringLiteral("%1 (%2 s), light and delays; the plate's moves not counted")
              .arg(durationText(exposureSeconds))
              .arg(exposureSeconds, 0, 'f', 1)
        : durationText(exposureSeconds);
    report.fields.append(ReportField{QStringLiteral("exposureSeconds"), QStringLiteral("exposure time"),
                                     figure(exposureSeconds), QStringLiteral("s"), time});
}

QString durationText(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e15)
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
