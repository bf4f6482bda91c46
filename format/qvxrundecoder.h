#ifndef QVXRUNDECODER_H
#define QVXRUNDECODER_H

#include "runsink.h"

#include <QByteArray>
#include <QString>

// Reads the runs of a qvx layer record, as QvxRunEncoder writes them: each run
// is the hexadecimal digits of its length, most significant first, one byte per
// digit with the class in the high nibble. A run ends where the class changes,
// so two neighbouring runs of one class read as one run of their joined digits
// and show as a wrong total.
class QvxRunDecoder {
public:
    // Hands each run to `sink` as sink(class, length). False, with `error` set,
    // when the runs do not add up to exactly pixelCount or a run's first digit
    // is 0; the runs before the fault have been handed on.
    static bool walk(const QByteArray& runs, qint64 pixelCount, const RunSink& sink, QString* error);
    // The same into one byte per pixel holding the class (0 to 15); pixels
    // after a fault stay 0.
    static bool decode(const QByteArray& runs, qint64 pixelCount, QByteArray* classes, QString* error);
};

#endif
