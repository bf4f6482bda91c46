#ifndef ISLANDLABELS_H
#define ISLANDLABELS_H

#include "analysis/islandfinder.h"

#include <QByteArray>

// The islands of a layer found the plain way, for comparison with
// IslandFinder: the lit pixels (bytes not 0) of the width x height bitmap
// `layer` labelled by a flood fill through their 8 neighbours, in the raster
// order of their first pixels; islands are the regions with no pixel lit at
// the same place in `below`.
QVector<Island> floodFillIslands(int width, int height, const QByteArray& layer, const QByteArray& below, int layerNumber);

#endif
