#include "slicereport.h"

#include "layerselection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kLabelWidth = 24;

// Text from a file shown on a terminal: control characters (which could clear
// the screen or start a forged line) and invisible format characters (which
// could reorder or hide it) are written as escapes, code point by code point:
// \x1b, \u202e, \U000e0001. Bytes that are not UTF-8 were decoded to U+FFFD
// already.
QString escapedText(const QString& text)
{
    QString escaped;
    for (const uint code : text.toUcs4()) {
        if (code < 0x20 || code == 0x7F)
            escaped += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else if ((code >= 0x80 && code < 0xA0) || QChar::category(code) == QChar::Other_Format)
            escaped += code > 0xFFFF ? QStringLiteral("\\U%1").arg(code, 8, 16, QLatin1Char('0'))
                                     : QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        else
            escaped += QString::fromUcs4(&code, 1);
    }
    return escaped;
}

QString valueText(const QJsonValue& value)
{
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 12);
    if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& v : value.toArray())
            parts << valueText(v);
        return parts.join(QLatin1String(" x "));
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return escapedText(value.toString());
}

QString fieldLine(const ReportField& f, const QString& indent, int width = kLabelWidth)
{
    return indent + (f.label + QLatin1Char(':')).leftJustified(width) + f.shownText() + QLatin1Char('\n');
}

int labelWidth(const QVector<ReportField>& fields)
{
    int width = kLabelWidth;
    for (const ReportField& f : fields)
        width = qMax(width, f.label.size() + 2);
    return width;
}

QString boxText(const QRect& box)
{
    if (box.isNull())
        return QStringLiteral("-");
    return QStringLiteral("x %1..%2, y %3..%4").arg(box.left()).arg(box.right()).arg(box.top()).arg(box.bottom());
}

QString percent(double share)
{
    return QString::number(share * 100.0, 'f', 2);
}

QJsonObject fieldObject(const ReportField& f)
{
    QJsonObject o{{QStringLiteral("key"), f.key}, {QStringLiteral("name"), f.label}, {QStringLiteral("value"), f.value}};
    if (!f.unit.isEmpty())
        o.insert(QStringLiteral("unit"), f.unit);
    return o;
}

QJsonValue number(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QJsonArray boxArray(const QRect& box)
{
    return QJsonArray{box.left(), box.top(), box.right(), box.bottom()};
}

QJsonObject warningObject(const ReportWarning& w)
{
    QJsonArray layers;
    for (int j : w.layers)
        layers.append(j);
    QJsonObject o{{QStringLiteral("kind"), w.kind}, {QStringLiteral("layers"), layers}, {QStringLiteral("text"), w.text}};
    if (w.unlisted > 0)
        o.insert(QStringLiteral("layersNotListed"), double(w.unlisted));
    return o;
}

} // namespace

QString ReportField::shownText() const
{
    if (!text.isEmpty())
        return text;
    return unit.isEmpty() ? valueText(value) : valueText(value) + QLatin1Char(' ') + unit;
}

void IslandSummary::add(const QVector<Island>& layerIslands)
{
    if (layerIslands.isEmpty())
        return;
    count += layerIslands.size();
    layers.append(layerIslands.first().layer);
    listed += layerIslands.mid(0, qMax(0, kMaxListed - listed.size()));
    for (const Island& island : layerIslands) {
        if (largest.size() == kLargestShown && island.pixels <= largest.last().pixels)
            continue;
        auto at = std::upper_bound(largest.begin(), largest.end(), island,
                                   [](const Island& a, const Island& b) { return a.pixels > b.pixels; });
        largest.insert(at, island);
        if (largest.size() > kLargestShown)
            largest.removeLast();
    }
}

QJsonObject SliceReport::islandObject(const Island& island) const
{
    return QJsonObject{{QStringLiteral("layer"), island.layer},
                       {QStringLiteral("pixels"), double(island.pixels)},
                       {QStringLiteral("areaMm2"), number(island.pixels * print.pixelAreaMm2())},
                       {QStringLiteral("box"), boxArray(island.box)}};
}

QJsonObject SliceReport::trapObject(const Trap& trap) const
{
    return QJsonObject{{QStringLiteral("firstLayer"), trap.firstLayer},
                       {QStringLiteral("lastLayer"), trap.lastLayer},
                       {QStringLiteral("pixels"), double(trap.pixels)},
                       {QStringLiteral("volumeMl"), number(trap.pixels * print.voxelMl())},
                       {QStringLiteral("box"), boxArray(trap.box)}};
}

QJsonObject SliceReport::cupObject(const Cup& cup) const
{
    return QJsonObject{{QStringLiteral("firstLayer"), cup.firstLayer},
                       {QStringLiteral("lastLayer"), cup.lastLayer},
                       {QStringLiteral("maxFacePixels"), double(cup.maxFacePixels)},
                       {QStringLiteral("maxFaceMm2"), number(cup.maxFacePixels * print.pixelAreaMm2())},
                       {QStringLiteral("box"), boxArray(cup.box)}};
}

QJsonObject SliceReport::layerObject(int layer) const
{
    const LayerStats& s = layers[layer];
    const QRect box = s.box();
    QJsonObject o{{QStringLiteral("layer"), layer},
                  {QStringLiteral("encodedBytes"), double(s.encodedBytes)},
                  {QStringLiteral("litPixels"), double(s.litPixels)},
                  {QStringLiteral("litShare"), s.litShare()},
                  {QStringLiteral("areaMm2"), number(areaMm2(layer))}};
    o.insert(QStringLiteral("boundingBox"),
             box.isNull() ? QJsonValue() : QJsonValue(QJsonArray{box.left(), box.top(), box.right(), box.bottom()}));
    return o;
}

QJsonValue floatValue(float value)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text.toDouble();
    }
    return QString::number(double(value), 'g', 9).toDouble();
}

QLatin1String forCount(qint64 n, const char* one, const char* many)
{
    return QLatin1String(n == 1 ? one : many);
}

QString counted(qint64 n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(forCount(n, one, many));
}

void SliceReport::addField(const QString& key, const QString& label, const QJsonValue& value, const QString& unit)
{
    fields.append(ReportField{key, label, value, unit, QString()});
}

void SliceReport::addParameter(const QString& key, const QString& label, const QJsonValue& value, const QString& unit)
{
    parameters.append(ReportField{key, label, value, unit, QString()});
}

void SliceReport::addCheck(const QString& name, const QStringList& problems, int shown)
{
    ReportCheck check{name, problems.mid(0, shown)};
    if (problems.size() > shown)
        check.problems << QStringLiteral("and %1 more").arg(problems.size() - shown);
    checks.append(check);
}

int SliceReport::failedChecks() const
{
    int failed = 0;
    for (const ReportCheck& c : checks)
        failed += c.passed() ? 0 : 1;
    return failed;
}

bool SliceReport::sound() const { return failedChecks() == 0; }

double SliceReport::areaMm2(int layer) const
{
    return layers[layer].exposedPixels() * print.pixelAreaMm2();
}

QString SliceReport::toText(const QVector<int>& tableLayers) const
{
    QString text = fieldLine(ReportField{QString(), QStringLiteral("file"), path, QString(), QString()}, QString())
        + fieldLine(ReportField{QString(), QStringLiteral("format"), format, QString(), QString()}, QString());
    for (const ReportField& f : fields)
        text += fieldLine(f, QString());
    text += QStringLiteral("print parameters:\n");
    for (const ReportField& f : parameters)
        text += fieldLine(f, QStringLiteral("  "), labelWidth(parameters));
    return text + layerSummaryText() + layerTableText(tableLayers) + checksText() + warningsText() + verdictText();
}

QString SliceReport::verdictText() const
{
    const int failed = failedChecks();
    if (failed > 0)
        return QStringLiteral("verdict: problems found (%1 of %2 checks failed)\n").arg(failed).arg(checks.size());
    return warnings.isEmpty() ? QStringLiteral("verdict: sound\n") : QStringLiteral("verdict: sound, with warnings\n");
}

QString SliceReport::warningsText() const
{
    if (warnings.isEmpty())
        return QString();
    QString text = QStringLiteral("warnings:\n");
    for (const ReportWarning& w : warnings) {
        text += QStringLiteral("  ") + w.text + QLatin1Char('\n');
        for (const QString& line : w.details)
            text += QStringLiteral("    ") + line + QLatin1Char('\n');
    }
    return text;
}

QString SliceReport::layerSummaryText() const
{
    if (layers.isEmpty())
        return QStringLiteral("layers: none examined\n");
    qint64 total = 0, smallest = layers[0].encodedBytes, largest = 0;
    int busiest = 0, empty = 0;
    QRect box;
    for (int j = 0; j < layers.size(); ++j) {
        const LayerStats& s = layers[j];
        total += s.encodedBytes;
        smallest = qMin(smallest, s.encodedBytes);
        largest = qMax(largest, s.encodedBytes);
        busiest = s.litShare() > layers[busiest].litShare() ? j : busiest;
        empty += s.litPixels == 0 ? 1 : 0;
        box = box.united(s.box());
    }
    return QStringLiteral("layers:\n  %1%2 to %3 bytes, %4 in all\n  %5%6 % at most (layer %7), %8 without lit pixels\n"
                          "  %9%10\n%11")
        .arg(QStringLiteral("encoded size:").leftJustified(kLabelWidth - 2))
        .arg(smallest)
        .arg(largest)
        .arg(total)
        .arg(QStringLiteral("lit share:").leftJustified(kLabelWidth - 2), percent(layers[busiest].litShare()))
        .arg(busiest)
        .arg(counted(empty, "layer", "layers"))
        .arg(QStringLiteral("lit pixels within:").leftJustified(kLabelWidth - 2), boxText(box))
        .arg(darkSpaceText());
}

// How many traps and cups there are, and how many of them are warned of.
QString SliceReport::darkSpaceText() const
{
    const DarkSpaceSummary& d = darkSpace;
    const auto line = [](const char* label, qint64 all, qint64 warned) {
        return QStringLiteral("  %1%2%3\n")
            .arg(QString::fromLatin1(label).leftJustified(kLabelWidth - 2))
            .arg(all)
            .arg(all > 0 ? QStringLiteral(", %1 large enough for a warning").arg(warned) : QString());
    };
    const QString notExamined = d.notExaminedFrom >= 0
        ? QStringLiteral("  (not looked for from layer %1 on)\n").arg(d.notExaminedFrom)
        : QString();
    return line("resin traps:", d.trapCount, d.significantTraps) + line("suction cups:", d.cupCount, d.significantCups)
        + notExamined;
}

QString SliceReport::layerTableText(const QVector<int>& tableLayers) const
{
    if (tableLayers.isEmpty())
        return QString();
    QString text = QStringLiteral("  %1 %2 %3 %4 %5\n")
                       .arg(QStringLiteral("layer"), 7)
                       .arg(QStringLiteral("bytes"), 10)
                       .arg(QStringLiteral("lit %"), 7)
                       .arg(QStringLiteral("area mm\u00B2"), 10)
                       .arg(QStringLiteral("lit pixels within"));
    for (int j : tableLayers) {
        if (j < 0 || j >= layers.size())
            continue;
        const LayerStats& s = layers[j];
        text += QStringLiteral("  %1 %2 %3 %4 %5\n")
                    .arg(j, 7)
                    .arg(s.encodedBytes, 10)
                    .arg(percent(s.litShare()), 7)
                    .arg(areaMm2(j), 10, 'f', 2)
                    .arg(boxText(s.box()));
    }
    return text;
}

QString SliceReport::checksText() const
{
    QString text = QStringLiteral("checks:\n");
    for (const ReportCheck& c : checks) {
        text += (c.passed() ? QStringLiteral("  ok    ") : QStringLiteral("  FAIL  ")) + c.name + QLatin1Char('\n');
        for (const QString& p : c.problems)
            text += QStringLiteral("          ") + escapedText(p) + QLatin1Char('\n');
    }
    return text;
}

QByteArray SliceReport::toJson() const
{
    return toJson(LayerSelection::all(layers.size()));
}

QByteArray SliceReport::toJson(const QVector<int>& jsonLayers) const
{
    QJsonObject summary;
    for (const ReportField& f : fields)
        summary.insert(f.key, f.value);
    QJsonArray params, layerArray, checkArray, warningArray, islandArray, trapArray, cupArray;
    for (const ReportField& f : parameters)
        params.append(fieldObject(f));
    for (int j : jsonLayers) {
        if (j >= 0 && j < layers.size())
            layerArray.append(layerObject(j));
    }
    for (const ReportWarning& w : warnings)
        warningArray.append(warningObject(w));
    for (const Island& island : islands.listed)
        islandArray.append(islandObject(island));
    for (const Trap& trap : darkSpace.traps)
        trapArray.append(trapObject(trap));
    for (const Cup& cup : darkSpace.cups)
        cupArray.append(cupObject(cup));
    for (const ReportCheck& c : checks)
        checkArray.append(QJsonObject{{QStringLiteral("check"), c.name},
                                      {QStringLiteral("passed"), c.passed()},
                                      {QStringLiteral("problems"), QJsonArray::fromStringList(c.problems)}});
    const QJsonObject root{{QStringLiteral("file"), path},       {QStringLiteral("format"), format},
                           {QStringLiteral("summary"), summary}, {QStringLiteral("parameters"), params},
                           {QStringLiteral("layers"), layerArray}, {QStringLiteral("checks"), checkArray},
                           {QStringLiteral("sound"), sound()},   {QStringLiteral("warnings"), warningArray},
                           {QStringLiteral("islands"), islandArray},
                           {QStringLiteral("islandCount"), double(islands.count)},
                           {QStringLiteral("traps"), trapArray},
                           {QStringLiteral("trapCount"), double(darkSpace.trapCount)},
                           {QStringLiteral("cups"), cupArray},
                           {QStringLiteral("cupCount"), double(darkSpace.cupCount)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
