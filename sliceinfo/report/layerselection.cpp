#include "layerselection.h"
#include "format/failure.h"
#include "slicereport.h"

#include <QStringList>

#include <algorithm>

namespace {

// Reads "a" or "a-b" into first and last; false when it is neither.
bool parseItem(const QString& item, int* first, int* last)
{
    const QStringList ends = item.trimmed().split(QLatin1Char('-'));
    if (ends.isEmpty() || ends.size() > 2)
        return false;
    bool ok1 = false, ok2 = false;
    *first = ends.first().toInt(&ok1);
    *last = ends.last().toInt(&ok2);
    return ok1 && ok2 && *first >= 0 && *first <= *last;
}

} // namespace

bool LayerSelection::parse(const QString& text, int layerCount, QVector<int>* layers, QString* error)
{
    layers->clear();
    if (text.trimmed() == QLatin1String("all"))
        return *layers = all(layerCount), true;
    for (const QString& item : text.split(QLatin1Char(','))) {
        int first = 0, last = 0;
        if (!parseItem(item, &first, &last))
            return fail(error, QStringLiteral("\"%1\" is not a layer or a range of layers like 10-20").arg(item));
        if (last >= layerCount)
            return fail(error, QStringLiteral("layer %1 does not exist: the file has %2")
                                   .arg(last)
                                   .arg(counted(layerCount, "layer", "layers")));
        for (int j = first; j <= last; ++j)
            layers->append(j);
    }
    std::sort(layers->begin(), layers->end());
    layers->erase(std::unique(layers->begin(), layers->end()), layers->end());
    return true;
}

QString LayerSelection::text(const QVector<int>& layers, int shownRanges)
{
    QStringList items;
    int i = 0;
    for (; i < layers.size() && items.size() < shownRanges; ++i) {
        const int first = layers[i];
        while (i + 1 < layers.size() && layers[i + 1] == layers[i] + 1)
            ++i;
        items << (layers[i] == first ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(layers[i]));
    }
    const QString shown = items.join(QLatin1String(", "));
    return i < layers.size() ? QStringLiteral("%1 and %2 more").arg(shown).arg(layers.size() - i) : shown;
}

QVector<int> LayerSelection::all(int layerCount)
{
    QVector<int> layers(qMax(layerCount, 0));
    for (int j = 0; j < layers.size(); ++j)
        layers[j] = j;
    return layers;
}
