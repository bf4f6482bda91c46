#ifndef DARKSPACESUMMARY_H
#define DARKSPACESUMMARY_H

#include <QRect>
#include <QVector>

// A closed hollow that keeps liquid resin: a component of the print's dark
// space that never reaches the border, the plate (layer 0) or the last layer.
struct Trap {
    int firstLayer = 0;
    int lastLayer = 0;
    qint64 pixels = 0; // voxels
    QRect box;         // in pixels of the layers' grid, over all its layers

    bool operator==(const Trap& o) const
    {
        return firstLayer == o.firstLayer && lastLayer == o.lastLayer && pixels == o.pixels && box == o.box;
    }
};

// A hollow that the film seals at each layer from firstLayer to lastLayer,
// so that every peel pulls on it; maxFacePixels is its largest sealed face.
struct Cup {
    int firstLayer = 0;
    int lastLayer = 0;
    qint64 maxFacePixels = 0;
    QRect box; // in pixels of the layers' grid, over all its faces

    bool operator==(const Cup& o) const
    {
        return firstLayer == o.firstLayer && lastLayer == o.lastLayer && maxFacePixels == o.maxFacePixels && box == o.box;
    }
};

// The traps and cups of a print: every one counted, the first kMaxListed of
// each kept (a damaged file may have millions), and the largest few.
struct DarkSpaceSummary {
    static constexpr int kMaxListed = 100000;
    static constexpr int kLargestShown = 5;

    void add(const Trap& trap);
    void add(const Cup& cup);

    QVector<Trap> traps;
    qint64 trapCount = 0;
    QVector<Trap> largestTraps; // by pixels, largest first
    QVector<Cup> cups;
    qint64 cupCount = 0;
    QVector<Cup> largestCups; // by largest face, largest first
    int notExaminedFrom = -1; // the layer from which they were not looked for
};

#endif
