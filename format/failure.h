#ifndef FAILURE_H
#define FAILURE_H

#include <QString>

// The one way a step that can fail reports it, in both programs' libraries: it
// returns false and says why in *error. This does both.
inline bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

#endif
