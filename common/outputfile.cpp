#include "outputfile.h"

#include <QFileInfo>
#ifdef Q_OS_WIN
#include <QDir>
#include <QRegularExpression>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <optional>

namespace {

// Devices and pipes are written in place: renaming a finished file over one
// would put a plain file where the node was, and a reader of a pipe would wait
// forever. Gives the name to open in place, or nothing for a path that is
// written beside and renamed.
#ifdef Q_OS_WIN
// On Windows the device names (NUL, COM1, ...) open a device in any folder, in
// any letter case and with any extension. Qt would make "NUL" absolute as
// \\.\NUL and then put its long-path prefix before that, a name Windows
// refuses; a name already in the \\.\ form it passes to the system unchanged.
std::optional<QString> inPlaceName(const QString& path)
{
    static const QRegularExpression deviceName(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]|CONIN\\$|CONOUT\\$) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\.\\")))
        return native;
    const QRegularExpressionMatch match = deviceName.match(QFileInfo(path).fileName());
    if (match.hasMatch())
        return QStringLiteral("\\\\.\\") + match.captured(1);
    return std::nullopt;
}
#else
std::optional<QString> inPlaceName(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir())
        return path;
    return std::nullopt;
}
#endif

// The qvx bytes would be mixed with the console lines.
bool isStandardOutput(const QString& path)
{
#ifdef Q_OS_WIN
    static const QRegularExpression console(QStringLiteral("^(CON|CONOUT\\$) *(\\..*)?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return console.match(QFileInfo(path).fileName()).hasMatch();
#else
    struct stat target, out;
    return ::stat(QFile::encodeName(path).constData(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0
        && target.st_dev == out.st_dev && target.st_ino == out.st_ino;
#endif
}

// Qt keeps the system's reason for a failed write only when nothing was
// written: after a short write (a disk that fills up) the next attempt gives it.
bool flushWhole(QFileDevice& file)
{
    for (qint64 left = file.bytesToWrite(); !file.flush(); left = file.bytesToWrite()) {
        if (file.bytesToWrite() == left)
            return false;
    }
    return true;
}

} // namespace

bool OutputFile::open(const QString& path)
{
    if (path.isEmpty())
        return fail(ENOENT);
    // The name alone is replaced, so where it leads does not matter.
    if (atThePath == ReplaceTheName)
        return openReplacement(path);
    // The file is written beside the path, so a directory there would only be
    // found when the finished file is put in place.
    if (QFileInfo(path).isDir())
        return fail(EISDIR);
    if (isStandardOutput(path)) {
        failure = QStringLiteral("it is where the console lines go");
        return false;
    }
    if (const std::optional<QString> name = inPlaceName(path)) {
        inPlace.setFileName(*name);
        writingInPlace = inPlace.open(QIODevice::WriteOnly);
        return writingInPlace;
    }
    return openReplacement(path);
}

bool OutputFile::fail(int error)
{
    failure = qt_error_string(error);
    return false;
}

QString OutputFile::errorString() const
{
    if (!failure.isEmpty())
        return failure;
    return writingInPlace ? inPlace.errorString() : file.errorString();
}

QFileDevice& OutputFile::device()
{
    if (writingInPlace)
        return inPlace;
    return file;
}

// What was written before a fault has reached a device or pipe; only the
// fault is reported.
bool OutputFile::commit()
{
    if (!writingInPlace)
        return commitReplacement();
    const bool written = inPlace.flush();
    inPlace.close();
    return written;
}

void OutputFile::discard()
{
    if (writingInPlace)
        inPlace.close();
    else
        discardReplacement();
}

#ifdef Q_OS_WIN

OutputFile::OutputFile(Temporary, AtThePath atThePath, const char*)
    : atThePath(atThePath)
{
}

OutputFile::~OutputFile() = default;

// QSaveFile follows a link that is there when it opens; a link made later is
// replaced by the rename.
bool OutputFile::openReplacement(const QString& path)
{
    if (atThePath == ReplaceTheName && QFileInfo(path).isSymLink() && !QFile::remove(path))
        return fail(EACCES);
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly);
}

// A failed final flush would not stop commit() from putting a truncated file
// in place.
bool OutputFile::commitReplacement()
{
    if (!flushWhole(file)) {
        failure = file.errorString();
        discardReplacement();
        return false;
    }
    return file.commit();
}

void OutputFile::discardReplacement()
{
    if (!file.isOpen())
        return;
    file.cancelWriting();
    file.commit(); // discards the temporary file
}

QString OutputFile::temporaryPath() const { return QString(); }

#else

#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRandomLetters = 6;
constexpr int kLinkAttempts = 100;
constexpr int kMaxSymlinkDepth = 128;

// The named temporary file that a signal handler removes; empty (first byte
// zero) when there is none. Written only with the first byte zero, so that the
// handler never sees half a path.
char signalPendingPath[PATH_MAX];

void setSignalPendingPath(const QByteArray& path)
{
    signalPendingPath[0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (path.isEmpty() || path.size() >= PATH_MAX)
        return;
    std::memcpy(signalPendingPath + 1, path.constData() + 1, size_t(path.size()));
    std::atomic_signal_fence(std::memory_order_seq_cst);
    signalPendingPath[0] = path[0];
}

// Only async-signal-safe calls. The handler is reset to the default on entry,
// and the signal raised again is delivered when the handler returns: the
// process ends with the usual status for it.
extern "C" void removePendingFile(int signal)
{
    if (signalPendingPath[0] != '\0')
        ::unlink(signalPendingPath);
    ::raise(signal);
}

// A signal that the caller ignores (nohup) stays ignored.
void catchInterruptions()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = removePendingFile;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

// QSaveFile's rule: a symbolic link is followed to the file it names.
QString resolveLinks(const QString& path)
{
    QFileInfo info(path);
    int depth = kMaxSymlinkDepth;
    while (--depth && info.isSymLink())
        info.setFile(info.symLinkTarget());
    return depth > 0 ? info.filePath() : path;
}

// `stem` is the directory and the start of the name.
QByteArray randomName(const QByteArray& stem)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = stem;
    for (int i = 0; i < kRandomLetters; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

unsigned currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

OutputFile::OutputFile(Temporary temporary, AtThePath atThePath, const char* program)
    : atThePath(atThePath)
    , temporary(temporary)
    , temporaryPrefix(QByteArray("/.") + program + '.')
{
}

OutputFile::~OutputFile() { discardReplacement(); }

bool OutputFile::openReplacement(const QString& path)
{
    if (file.isOpen())
        return false;
    const QFileInfo target(atThePath == FollowLinksAndNodes ? resolveLinks(path) : path);
    finalPath = QFile::encodeName(target.filePath());
    directory = QFile::encodeName(target.path());
    if (!checkTarget())
        return false;
    catchInterruptions();
    const int fd = createTemporary();
    if (fd < 0)
        return fail(errno);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        discardReplacement();
        return false;
    }
    return true;
}

// What would only fail at the rename, after the whole conversion, is refused
// before anything is written.
bool OutputFile::checkTarget()
{
    const QByteArray name = finalPath.mid(finalPath.lastIndexOf('/') + 1);
    const long nameMax = ::pathconf(directory.constData(), _PC_NAME_MAX);
    struct stat dir {};
    if (name.isEmpty())
        return fail(EISDIR);
    if (name.size() > (nameMax > 0 ? nameMax : NAME_MAX))
        return fail(ENAMETOOLONG);
    if (::stat(directory.constData(), &dir) != 0 || ::access(directory.constData(), W_OK | X_OK) != 0)
        return fail(errno);
    if (!S_ISDIR(dir.st_mode))
        return fail(ENOTDIR);
    finalMode = 0666 & ~currentUmask();
    struct stat existing {};
    const bool found = (atThePath == ReplaceTheName ? ::lstat : ::stat)(finalPath.constData(), &existing) == 0;
    if (!found)
        return true;
    // Only the owner of a file or of a sticky directory may replace the file there.
    const uid_t user = ::geteuid();
    if ((dir.st_mode & S_ISVTX) && user != 0 && user != existing.st_uid && user != dir.st_uid)
        return fail(EPERM);
    if (S_ISDIR(existing.st_mode))
        return fail(EISDIR);
    // A link, pipe or device node with the name is not written, only replaced.
    if (atThePath == ReplaceTheName && !S_ISREG(existing.st_mode))
        return true;
    if (::access(finalPath.constData(), W_OK) != 0)
        return fail(errno);
    replacing = atThePath == FollowLinksAndNodes;
    if (replacing) {
        finalMode = existing.st_mode & 07777;
        replacedOwner = existing.st_uid;
        replacedGroup = existing.st_gid;
    }
    return true;
}

// A file without a name, where the file system has them and /proc can give it
// one at the end; otherwise a short name that cannot clash with the output's.
int OutputFile::createTemporary()
{
#ifdef O_TMPFILE
    if (temporary == UnnamedWherePossible && ::access("/proc/self/fd", X_OK) == 0) {
        const int fd = ::open(directory.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
    }
#endif
    QByteArray name = directory + temporaryPrefix + QByteArray(kRandomLetters, 'X');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        pendingPath = name;
        setSignalPendingPath(pendingPath);
    }
    return fd;
}

bool OutputFile::commitReplacement()
{
    if (!file.isOpen())
        return false;
    bool complete = flushWhole(file) && file.error() == QFileDevice::NoError;
    if (!complete) {
        failure = file.errorString();
    } else {
        keepOwnerAndMode();
        // A file system that cannot sync (EINVAL) has nothing to sync.
        complete = (::fsync(file.handle()) == 0 || errno == EINVAL) && (!pendingPath.isEmpty() || linkTemporary())
                && ::rename(pendingPath.constData(), finalPath.constData()) == 0;
        if (!complete)
            fail(errno);
    }
    if (!complete) {
        discardReplacement();
        return false;
    }
    setSignalPendingPath(QByteArray());
    pendingPath.clear();
    file.close();
    return true;
}

// Ownership first: changing it clears the set-user-ID and set-group-ID bits.
// A file system without owners or modes keeps what it has.
void OutputFile::keepOwnerAndMode()
{
    const int fd = file.handle();
    if (replacing && ::geteuid() == 0)
        (void)::fchown(fd, replacedOwner, replacedGroup);
    (void)::fchmod(fd, finalMode);
}

// The unnamed file gets a temporary name beside the output, which rename()
// then puts over it in one step.
bool OutputFile::linkTemporary()
{
    const QByteArray source = "/proc/self/fd/" + QByteArray::number(file.handle());
    for (int attempt = 0; attempt < kLinkAttempts; ++attempt) {
        const QByteArray name = randomName(directory + temporaryPrefix);
        setSignalPendingPath(name);
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            pendingPath = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    setSignalPendingPath(QByteArray());
    return false;
}

void OutputFile::discardReplacement()
{
    if (!pendingPath.isEmpty()) {
        ::unlink(pendingPath.constData());
        setSignalPendingPath(QByteArray());
        pendingPath.clear();
    }
    file.close();
}

QString OutputFile::temporaryPath() const { return QFile::decodeName(pendingPath); }

#endif

bool namesDeviceOrPipe(const QString& path)
{
    return inPlaceName(path).has_value();
}
