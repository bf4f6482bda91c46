#include "sharedislands.h"

SharedIslands::SharedIslands(int width, int height)
    : finder(width, height)
{
}

IslandFinder* SharedIslands::begin(int layer, int below, int block, const Feed& feedBelow)
{
    this->layer = layer;
    pair = Pair(below, block);
    feeding = !finder.gaveUp() && below != block && !islandsOf.find(pair);
    if (!feeding)
        return nullptr;
    if (below >= 0 && held != below) {
        feedBelow(finder);
        finder.endLayerUnexamined();
    }
    return &finder;
}

QVector<Island> SharedIslands::end()
{
    if (feeding) {
        feeding = false;
        held = pair.second;
        const QVector<Island> islands = finder.endLayer(layer);
        if (!finder.gaveUp())
            islandsOf.keep(pair, islands, qint64(islands.size()) * qint64(sizeof(Island)));
        return islands;
    }
    const QVector<Island>* known = finder.gaveUp() ? nullptr : islandsOf.find(pair);
    if (!known)
        return {};
    QVector<Island> islands = *known;
    for (Island& island : islands)
        island.layer = layer;
    return islands;
}
