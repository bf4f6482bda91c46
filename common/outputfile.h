#ifndef OUTPUTFILE_H
#define OUTPUTFILE_H

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

// The output file's policy: which paths are refused and how the others are
// written.
//
// Refused: an empty path, a directory, and the program's own standard output
// (/dev/stdout, a file it is redirected to; CON and CONOUT$ on Windows), since
// the console lines go there. Devices and pipes (on Windows the device names
// NUL, COM1, ... in any folder and with any extension, and \\.\ paths) are
// written in place: renaming a finished file over one would put a plain file
// where the node was, and a reader of a pipe would wait forever.
//
// Any other path is written beside itself and put in place by commit() only
// when it is complete: until then a file at the path keeps its content, and a
// failed or abandoned write leaves nothing behind.
//
// On Linux the file being written has no name where the file system allows
// it; otherwise, and for the moment of the rename, it is ".tesktoqvx.XXXXXX"
// in the output's directory, short whatever the output's name, and SIGINT,
// SIGTERM and SIGHUP remove it before the process ends. The file put in place
// has the permission bits of the file it replaces, and, when the process runs
// as root, its owner and group; a new file has the usual mode (0666 less the
// umask). Hard links to the old file keep the old content. A symbolic link at
// the path is followed: its target is replaced. Elsewhere QSaveFile does the
// work.
//
// With ReplaceTheName, whatever has the name (a symbolic link, a pipe, a
// device node) is replaced by the finished file instead of being followed or
// written, and the path itself is never opened: a link that another user of
// the directory plants there, even during the write, cannot turn the write
// onto another file. The file put in place is then always a new file, with
// the usual mode and the process's owner. On Windows, where making a link
// takes a privilege, a link at the path is removed before QSaveFile opens it.
class OutputFile {
public:
    enum Temporary { UnnamedWherePossible, Named };
    enum AtThePath { FollowLinksAndNodes, ReplaceTheName };
    // The temporary name is ".PROGRAM.XXXXXX", `program` naming the writer.
    explicit OutputFile(Temporary temporary = UnnamedWherePossible, AtThePath atThePath = FollowLinksAndNodes,
                        const char* program = "tesktoqvx");
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False, having created nothing, when the path is refused or the finished
    // file could not be put there: a name longer than the file system allows,
    // a directory that cannot be written, an existing file that cannot be
    // written or, in a sticky directory, belongs to another user.
    bool open(const QString& path);
    QFileDevice& device();
    QFileDevice::FileError error() const { return writingInPlace ? inPlace.error() : file.error(); }
    // Why open() or commit() failed, in the system's words where it gave any.
    QString errorString() const;
    // Puts the file in place; false when a write, the flush or the rename
    // failed, and then the file is discarded and the path left as it was. A
    // device or pipe is flushed and closed.
    bool commit();
    void discard();

    // Where the file is being written while it has a name there (tests).
    QString temporaryPath() const;

private:
    bool openReplacement(const QString& path);
    bool commitReplacement();
    void discardReplacement();
    bool fail(int error); // records the system's reason; false

    QFile inPlace; // a device or pipe
    bool writingInPlace = false;
    const AtThePath atThePath;
    QString failure; // set where a step other than writing failed
#ifdef Q_OS_WIN
    QSaveFile file;
#else
    bool checkTarget();
    int createTemporary();
    bool linkTemporary();
    void keepOwnerAndMode();

    const Temporary temporary;
    const QByteArray temporaryPrefix;
    QFile file;
    QByteArray finalPath;
    QByteArray directory;
    QByteArray pendingPath; // the named temporary file, if there is one
    bool replacing = false; // keeping the replaced file's owner and mode
    unsigned finalMode = 0;
    unsigned replacedOwner = 0;
    unsigned replacedGroup = 0;
#endif
};

// Whether the path names a device or a pipe, as the output's policy tells
// them: on Windows also a device name in any folder, or a \\.\ path.
bool namesDeviceOrPipe(const QString& path);

#endif
