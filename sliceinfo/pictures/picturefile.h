#ifndef PICTUREFILE_H
#define PICTUREFILE_H

#include <QImage>
#include <QString>

// sliceinfo's pictures as PNG files, in a directory that other users may be
// able to write. A picture is encoded in memory, so that a failed write never
// reaches the PNG library (which would print its own line), then written to a
// temporary file of sliceinfo's own beside its name, created exclusively, and
// renamed over the name: whatever has the name, a symbolic link or a pipe
// planted there even during the write, is replaced and never followed, and a
// failure leaves no partial picture.
class PictureFile {
public:
    // False, with `error` naming the picture and the reason, when the picture
    // could not be made or put in place.
    static bool write(const QImage& image, const QString& path, QString* error);

    // True when writing `path` would replace the file at `input`: the same
    // path, or a name of the same file.
    static bool wouldReplace(const QString& path, const QString& input);
};

#endif
