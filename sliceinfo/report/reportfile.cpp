#include "reportfile.h"

#include "common/outputfile.h"
#include "format/failure.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Qt gives the system's reason for a failed write only when nothing was
// written: after a short write (a disk that fills up) the rest is tried again.
bool writeWhole(QIODevice& device, const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = device.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool ReportFile::write(const QByteArray& bytes, const QString& path, QString* error)
{
    OutputFile file(OutputFile::UnnamedWherePossible, OutputFile::ReplaceTheName, "sliceinfo");
    if (!file.open(path) || !writeWhole(file.device(), bytes) || !file.commit())
        return fail(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool ReportFile::writePng(const QImage& image, const QString& path, QString* error)
{
    QByteArray png;
    QBuffer buffer(&png);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !writer.write(image))
        return fail(error, QStringLiteral("cannot draw %1: out of memory").arg(path));
    return write(png, path, error);
}

bool ReportFile::wouldReplace(const QString& path, const QString& input)
{
    const QFileInfo picture(path), file(input);
    if (QDir::cleanPath(picture.absoluteFilePath()) == QDir::cleanPath(file.absoluteFilePath()) || picture == file)
        return true;
#ifdef Q_OS_UNIX
    struct stat a {}, b {};
    return ::stat(QFile::encodeName(path).constData(), &a) == 0 && ::stat(QFile::encodeName(input).constData(), &b) == 0
        && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
#else
    return false;
#endif
}
