#ifndef PRINTFIGURES_H
#define PRINTFIGURES_H

#include "report/slicereport.h"

// The figures one checks before a print, from the report's print settings and
// layers: the height against the printer's build height, the resin volume (a
// pixel counting by its exposure) and the time the light is on or waiting
// (bottom layers x bottom exposure + the others x exposure + every layer's
// light-off delay; the plate's moves are not in the file, so not counted).
// A figure that rests on a parameter no printer can use is not known (NaN).
class PrintFigures {
public:
    // Above zero (a delay may be zero), a finite number, and no more than any
    // printer uses: a metre a layer, some eleven days of light a layer.
    static constexpr double kMaxLayerHeightMm = 1000;
    static constexpr double kMaxSeconds = 1e6;
    static bool usableLayerHeight(double mm);
    static bool usableExposure(double seconds);
    static bool usableDelay(double seconds);

    explicit PrintFigures(const SliceReport& report);

    // Adds the figures to the report's summary and totals.
    void addTo(SliceReport& report) const;

    double heightMm = 0;
    double buildHeightMm = 0;
    double volumeMl = 0;
    double exposureSeconds = 0;
};

// "1 h 02 min 05 s"; a duration that is not a finite number is "not known".
QString durationText(double seconds);

#endif
