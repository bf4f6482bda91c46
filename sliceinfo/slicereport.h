#ifndef SLICEREPORT_H
#define SLICEREPORT_H

#include "layerstats.h"

#include <QByteArray>
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
};

// One check of a file; it passed when it found no problem.
struct ReportCheck {
    QString name;
    QStringList problems;
    bool passed() const { return problems.isEmpty(); }
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

    // The per-layer table lists only the layers in `tableLayers`.
    QString toText(const QVector<int>& tableLayers) const;
    QByteArray toJson() const;

    QString path;
    QString format;
    QVector<ReportField> fields;
    QVector<ReportField> parameters;
    QVector<LayerStats> layers;
    QVector<ReportCheck> checks;

private:
    QString layerSummaryText() const;
    QString layerTableText(const QVector<int>& tableLayers) const;
    QString checksText() const;
};

// A float as the shortest decimal that reads back as the same float, so that
// 55.44f shows as 55.44.
QJsonValue floatValue(float value);

#endif
