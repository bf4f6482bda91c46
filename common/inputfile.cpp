#include "inputfile.h"

#include "format/failure.h"
#include "outputfile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Bytes asked for at a time once the reported size is used up.
constexpr qint64 kReadChunk = 64 * 1024;

QString notRegular(const QString& path, const QString& kind)
{
    return QStringLiteral("%1 is %2, not a regular file; save it to a file first").arg(path, kind);
}

QString cannotOpen(const QString& path, const QString& why)
{
    return QStringLiteral("cannot open %1: %2").arg(path, why);
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe or FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a file");
}

// O_NONBLOCK keeps open() from waiting for a FIFO's writer; reads of a
// regular file never wait, but the flag is cleared all the same.
bool openRegular(QFile& file, QIODevice::OpenMode mode, QString* error)
{
    const QString path = file.fileName();
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return fail(error, notRegular(path, kindOf(status.st_mode)));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, cannotOpen(path, qt_error_string(errno)));
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(error, notRegular(path, kindOf(status.st_mode)));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, cannotOpen(path, file.errorString()));
    }
    return true;
}
#endif

} // namespace

bool openInputFile(QFile& file, QIODevice::OpenMode mode, QString* error)
{
#ifdef Q_OS_UNIX
    return openRegular(file, mode, error);
#else
    const QFileInfo info(file.fileName());
    if (namesDeviceOrPipe(file.fileName()) || (info.exists() && !info.isFile()))
        return fail(error, notRegular(file.fileName(), QStringLiteral("a device, a pipe or a directory")));
    if (!file.open(mode))
        return fail(error, cannotOpen(file.fileName(), file.errorString()));
    return true;
#endif
}

bool readWholeInput(QIODevice& device, qint64 limit, QByteArray* bytes, QString* error)
{
    // A QByteArray holds less than 2 GiB.
    limit = std::clamp<qint64>(limit, 0, std::numeric_limits<int>::max() - 1);
    const qint64 reported = device.isSequential() ? 0 : std::max<qint64>(device.size() - device.pos(), 0);
    // One byte past the reported size, so that its end is found without growing.
    bytes->resize(int(std::min(reported, limit) + 1));
    qint64 held = 0;
    for (;;) {
        if (held == bytes->size()) {
            if (held > limit)
                break;
            bytes->resize(int(std::min(std::max(2 * held, held + kReadChunk), limit + 1)));
        }
        const qint64 got = device.read(bytes->data() + held, bytes->size() - held);
        if (got < 0) {
            bytes->clear();
            return fail(error, QStringLiteral("reading it failed: %1").arg(device.errorString()));
        }
        if (got == 0)
            break;
        held += got;
    }
    bytes->resize(int(held));
    if (held > limit) {
        bytes->clear();
        return fail(error, QStringLiteral("it holds more than %1 bytes, the most that is read of it").arg(limit));
    }
    return true;
}
