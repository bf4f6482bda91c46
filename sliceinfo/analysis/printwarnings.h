#ifndef PRINTWARNINGS_H
#define PRINTWARNINGS_H

#include "report/slicereport.h"

// The ways a well-formed file still prints badly that its layers show: empty
// layers at the top (the print stops early), at the bottom (it starts above
// the plate) or between lit ones (what is above hangs on nothing), no lit
// layer at all, a print taller than the printer's build height, islands,
// resin traps and suction cups.
class PrintWarnings {
public:
    static QVector<ReportWarning> find(const SliceReport& report);
    // Layers whose data the file does not hold in full.
    static ReportWarning missingData(const QVector<int>& layers);
};

#endif
