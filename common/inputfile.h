#ifndef INPUTFILE_H
#define INPUTFILE_H

#include <QIODevice>
#include <QString>

class QByteArray;
class QFile;

// How both programs take their input. A slice file is read at the places its
// tables point to, and sliceinfo tells the format from its first bytes, so
// the input must be a regular file: a pipe, a FIFO or a device could be read
// only once and in order, and would be taken for a damaged file. It is refused
// before anything is read from it, with the reason.

// Opens `file` (its name set) once, for reading in `mode`: false, with `error`
// saying why, when it cannot be opened or is not a regular file. On Linux a
// device is looked at but never opened, and a FIFO put in a file's place in
// the meantime is opened without waiting for a writer, then refused.
bool openInputFile(QFile& file, QIODevice::OpenMode mode, QString* error);

// Reads `device` from where it stands to its end into `bytes`, never more than
// limit + 1 bytes, whatever size it reports: false, with `error` saying why,
// when it holds more than `limit` bytes or a read fails. The reported size
// only sizes the buffer, so that a file is held in one allocation of its size.
bool readWholeInput(QIODevice& device, qint64 limit, QByteArray* bytes, QString* error);

#endif
