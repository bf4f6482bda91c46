#ifndef REPORTFILE_H
#define REPORTFILE_H

#include <QByteArray>
#include <QImage>
#include <QString>

// The files sliceinfo writes, its pictures and its page, in a directory that
// other users may be able to write. Each is made whole in memory (a picture
// encoded there, so that a failed write never reaches the PNG library, which
// would print its own line), then written to a temporary file of sliceinfo's
// own beside its name, created exclusively, and renamed over the name:
// whatever has the name, a symbolic link or a pipe planted there even during
// the write, is replaced and never followed, and a failure leaves no partial
// file.
class ReportFile {
public:
    // False, with `error` naming the file and the reason, when the bytes could
    // not be put in place.
    static bool write(const QByteArray& bytes, const QString& path, QString* error);
    // The same for a picture, which may fail to be made.
    static bool writePng(const QImage& image, const QString& path, QString* error);

    // True when writing `path` would replace the file at `input`: the same
    // path, or a name of the same file.
    static bool wouldReplace(const QString& path, const QString& input);
};

#endif
