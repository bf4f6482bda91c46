#include "processguard.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

void openClosedStandardStreams()
{
#ifdef Q_OS_UNIX
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() returns the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd && opened >= 0)
            ::close(opened);
    }
#endif
}

namespace {
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

void dropQtMessages()
{
    qInstallMessageHandler(dropMessage);
}

LocalName decodeLocalName(const char* bytes)
{
    LocalName decoded;
    decoded.name = QFile::decodeName(bytes);
    decoded.faithful = QFile::encodeName(decoded.name) == QByteArray(bytes);
    return decoded;
}
