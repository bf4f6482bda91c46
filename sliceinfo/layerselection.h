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
    static bool parse(const QString& text, int layerCount, QVector<int>* layers, QString* error);
};

#endif
