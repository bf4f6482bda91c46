#ifndef PROCESSGUARD_H
#define PROCESSGUARD_H

#include <QString>

// What both programs do first, before they open anything, so that the
// surroundings they were started in cannot redirect or block their work.

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so that no file the program opens later gets one of those numbers
// and receives its console lines. Nothing on Windows.
void openClosedStandardStreams();

// Qt's own warnings (image and file warnings, a thread that could not be
// made) are dropped: the converter prints nothing to standard error.
void dropQtMessages();

// The argument decoded as a file name, and whether encoding that name again
// gives back the same bytes. A byte that is not valid in the local encoding
// decodes to U+FFFD, which would name another file: such a name is not used.
struct LocalName {
    QString name;
    bool faithful = false;
};
LocalName decodeLocalName(const char* bytes);

#endif
