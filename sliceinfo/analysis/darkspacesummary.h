#ifndef DARKSPACESUMMARY_H
#define DARKSPACESUMMARY_H

#include <QRect>
#include <QVector>

#include <vector>

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

// What makes a trap or a cup worth a warning: a trap of kTrapMm3 or more; a
// cup whose largest face has kCupFaceMm2 or more and that is sealed through
// kCupHeightMm of height or more. Smaller ones are only counted and listed.
struct DarkSpaceThresholds {
    static constexpr double kTrapMm3 = 1.0;
    static constexpr double kCupFaceMm2 = 1.0;
    static constexpr double kCupHeightMm = 0.5;

    // The same in pixels and layers of a print; where its pixel area or layer
    // height is not a usable number, every trap and cup counts.
    static DarkSpaceThresholds forPrint(double pixelAreaMm2, double layerHeightMm);

    qint64 trapPixels = 1;
    qint64 cupFacePixels = 1;
    int cupLayers = 1;
};

// The traps and cups of a print: every one counted, the first kMaxListed of
// each kept (a damaged file may have millions); those past the thresholds
// counted apart, with the layers they concern and the largest few of them.
class DarkSpaceSummary {
public:
    static constexpr int kMaxListed = 100000;
    static constexpr int kLargestShown = 5;

    void add(const Trap& trap);
    void add(const Cup& cup);
    bool significant(const Trap& trap) const;
    bool significant(const Cup& cup) const;
    // The layers that hold a significant trap, and those where a significant
    // cup is sealed, in order.
    QVector<int> trapLayers() const;
    QVector<int> cupLayers() const;

    DarkSpaceThresholds thresholds;
    QVector<Trap> traps;
    qint64 trapCount = 0;
    qint64 significantTraps = 0;
    QVector<Trap> largestTraps; // significant, by pixels, largest first
    QVector<Cup> cups;
    qint64 cupCount = 0;
    qint64 significantCups = 0;
    QVector<Cup> largestCups; // significant, by largest face, largest first
    int notExaminedFrom = -1; // the layer from which they were not looked for
    // Why: the data that table entries share, read again, passed
    // bounds::kMaxRereadBytes (otherwise a layer held too much).
    bool rereadBudgetSpent = false;

private:
    // Per layer, how many significant ones start there less how many ended
    // before it.
    std::vector<int> trapSteps;
    std::vector<int> cupSteps;
};

#endif
