#ifndef SLICEREPORT_H
#define SLICEREPORT_H

#include "analysis/darkspacesummary.h"
#include "analysis/islandfinder.h"
#include "analysis/layerstats.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

// One line of a summary: a number, a text, or an array shown as "a x b".
struct ReportField {
    QString key;   // JSON name
    QString label; // text name
    QJsonValue value;
    QString unit;
    QString text;  // shown instead of the value and the unit, when set

    // The value as the text report shows it, with its unit.
    QString shownText() const;
};

// One check of a file; it passed when it found no problem.
struct ReportCheck {
    QString name;
    QStringList problems;
    bool passed() const { return problems.isEmpty(); }
};

// A way the print may fail although the file is well formed, and the layers
// it concerns.
struct ReportWarning {
    QString kind; // JSON name
    QVector<int> layers;
    QString text;
    qint64 unlisted = 0;  // layers it concerns beyond those listed
    QStringList details;  // lines shown under it in the text
};

// What a print asks of the printer, as the file gives it.
struct PrintSettings {
    int layerCount = 0;
    double layerHeightMm = 0;
    int bottomLayerCount = 0;
    double exposureSeconds = 0;
    double bottomExposureSeconds = 0;
    double lightOffDelaySeconds = 0;
    double buildHeightMm = 0; // of the printer
    double pixelWidthMm = 0;
    double pixelHeightMm = 0;

    static constexpr double kCubicMmPerMl = 1000.0;

    double pixelAreaMm2() const { return pixelWidthMm * pixelHeightMm; }
    // A pixel of one layer.
    double voxelMl() const { return pixelAreaMm2() * layerHeightMm / kCubicMmPerMl; }
};

// The islands of a print: every one counted, the first kMaxListed kept (a
// damaged file may have millions), and the largest few.
struct IslandSummary {
    static constexpr int kMaxListed = 100000;
    static constexpr int kLargestShown = 5;

    // Adds the islands of the next layer.
    void add(const QVector<Island>& layerIslands);

    QVector<Island> listed;
    qint64 count = 0;
    QVector<int> layers;     // the layers with islands
    QVector<Island> largest; // largest first
    int notExaminedFrom = -1; // the layer from which islands were not looked for
};

// The figures of a whole print (PrintFigures says how they are found); NaN
// where a figure is not known.
struct PrintTotals {
    double heightMm = 0;
    double buildHeightMm = 0;
    double volumeMl = 0;
    double exposureSeconds = 0;
};

// What sliceinfo tells about one file: the summary, the print parameters, the
// statistics of every layer and the checks, as text or as JSON.
class SliceReport {
public:
    void addField(const QString& key, const QString& label, const QJsonValue& value, const QString& unit = QString());
    void addParameter(const QString& key, const QString& label, const QJsonValue& value, const QString& unit);
    // Adds a check; at most `shown` problems are listed, the rest counted.
    void addCheck(const QString& name, const QStringList& problems, int shown = 8);

    bool sound() const;
    int failedChecks() const;
    // Lit area of a layer in mm², each pixel counted by its exposure.
    double areaMm2(int layer) const;

    // The per-layer table lists only the layers in `tableLayers`.
    QString toText(const QVector<int>& tableLayers) const;
    // The JSON layer list holds every layer, or only `jsonLayers`.
    QByteArray toJson() const;
    QByteArray toJson(const QVector<int>& jsonLayers) const;

    QString path;
    QString format;
    QVector<ReportField> fields;
    QVector<ReportField> parameters;
    QVector<LayerStats> layers;
    QVector<ReportCheck> checks;
    PrintSettings print;
    PrintTotals totals;
    IslandSummary islands;
    DarkSpaceSummary darkSpace;
    QVector<ReportWarning> warnings;

private:
    QString layerSummaryText() const;
    QString layerTableText(const QVector<int>& tableLayers) const;
    QString checksText() const;
    QString warningsText() const;
    QString verdictText() const;
    QJsonObject layerObject(int layer) const;
    QJsonObject islandObject(const Island& island) const;
    QJsonObject trapObject(const Trap& trap) const;
    QJsonObject cupObject(const Cup& cup) const;
    QString darkSpaceText() const;
};

// A float as the shortest decimal that reads back as the same float, so that
// 55.44f shows as 55.44.
QJsonValue floatValue(float value);

// `one` for a count of 1, `many` for any other, so that sentences agree with
// their counts: "1 layer has", "2 layers have".
QLatin1String forCount(qint64 n, const char* one, const char* many);
// "1 layer", "2 layers".
QString counted(qint64 n, const char* one, const char* many);

#endif
