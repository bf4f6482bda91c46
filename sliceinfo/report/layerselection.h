#ifndef LAYERSELECTION_H
#define LAYERSELECTION_H

#include <QString>
#include <QVector>

// A choice of layers written as "10-20,35": numbers and inclusive ranges,
// separated by commas, counting from 0.
class LayerSelection {
public:
    // The chosen layers in increasing order, each once. False, with `error`
    // set, for a malformed text or a layer at or beyond layerCount.
    // "all" chooses every layer.
    static bool parse(const QString& text, int layerCount, QVector<int>* layers, QString* error);
    // Layers in increasing order written as "10-12,35", the first `shownRanges`
    // items of it, then how many layers more.
    static QString text(const QVector<int>& layers, int shownRanges = 12);
    // 0 to layerCount - 1.
    static QVector<int> all(int layerCount);
};

#endif
