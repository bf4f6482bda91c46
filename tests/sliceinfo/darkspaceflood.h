#ifndef DARKSPACEFLOOD_H
#define DARKSPACEFLOOD_H

#include "analysis/darkspacesummary.h"
#include "analysis/islandfinder.h"

#include <QByteArray>
#include <QVector>

// The traps and cups of a small print found the plain way, for comparison
// with DarkSpaceFinder: flood fills of the dark voxels through their 6
// neighbours, of the whole print for the traps and of layers 0..n for the
// faces at n, each definition taken as it reads.
struct FloodedDarkSpace {
    QVector<Trap> traps; // by last layer, then by their first pixel in it
    QVector<Cup> cups;   // the same
    // Per layer, one byte a pixel: 1 where the pixel belongs to a trap, and
    // where it is a sealed face at that layer.
    QVector<QByteArray> trapped;
    QVector<QByteArray> faces;
};

// `layers` holds width x height bytes a layer, lit where not 0, layer 0 first.
FloodedDarkSpace floodFillDarkSpace(int width, int height, const QVector<QByteArray>& layers);

// The pixels of `intervals` in a width x height layer, one byte a pixel: 1 in
// them, else 0; to compare the finder's kept pixels with the flood fill's.
QByteArray intervalMask(int width, int height, const std::vector<IslandFinder::Interval>& intervals);

#endif
