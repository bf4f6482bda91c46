// Both programs run in hostile surroundings: closed standard streams, names
// that are not valid text, memory that cannot be had, no threads, odd output
// paths, replaced files of other users, signals.
#include "sanitizers.h"
#include "teskbuilder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ShellRun {
    int exitCode = -1;
    int signal = 0; // the signal that ended it, if one did
    QByteArray out;
    QByteArray err;
};

// Runs `script` with /bin/sh in `dir`, where $T is tesktoqvx and $S sliceinfo,
// in a UTF-8 locale.
ShellRun runShell(const QString& script, const QString& dir)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("T"), QStringLiteral(TESKTOQVX_PROGRAM));
    environment.insert(QStringLiteral("S"), QStringLiteral(SLICEINFO_PROGRAM));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return ShellRun{-2000, 0, process.readAllStandardOutput(), "timed out"};
    }
    ShellRun run{process.exitCode(), 0, process.readAllStandardOutput(), process.readAllStandardError()};
    // The shell reports a child ended by signal N as status 128 + N.
    if (run.exitCode > 128 && run.exitCode < 128 + 65)
        run.signal = run.exitCode - 128;
    return run;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

class Hostile : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        TeskBuilder b(printerModel("Vireld30"));
        b.addLayerStream(QByteArray());
        b.addLayerStream(teskRunToken(0x20, 5000));
        ASSERT_TRUE(b.writeTo(path("in.tesk")));
        ASSERT_EQ(runShell(QStringLiteral("\"$T\" in.tesk good.qvx"), dir.path()).exitCode, 0);
        good = readFile(path("good.qvx"));
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    ShellRun sh(const QString& script) const { return runShell(script, dir.path()); }

    QTemporaryDir dir;
    QByteArray good;
};

// A program started without standard streams must not write its lines into
// the first file it opens.
TEST_F(Hostile, ClosedStandardStreamsLeaveTheOutputAlone)
{
    for (const char* closing : {"<&- >&- 2>&-", ">&-", "<&-", "2>&- >&-"}) {
        const ShellRun run = sh(QStringLiteral("\"$T\" in.tesk out.qvx %1").arg(QLatin1String(closing)));
        EXPECT_EQ(run.exitCode, 0) << closing;
        EXPECT_EQ(readFile(path("out.qvx")), good) << closing;
    }
    const ShellRun info = sh(QStringLiteral("\"$S\" in.tesk --png pictures <&- >&- 2>&-"));
    EXPECT_EQ(info.exitCode, sh(QStringLiteral("\"$S\" in.tesk")).exitCode);
    EXPECT_FALSE(QImage(path("pictures/contact-sheet.png")).isNull());
}

// The bad byte \xff would decode to U+FFFD, whose UTF-8 bytes name another file.
TEST_F(Hostile, NamesThatAreNotTextAreRefusedWithoutTouchingAnyFile)
{
    ASSERT_TRUE(writeAt(path(QString::fromUtf8("r\xef\xbf\xbd.qvx")), 0, "another file"));
    ASSERT_TRUE(writeAt(path(QString::fromUtf8("i\xef\xbf\xbd.tesk")), 0, readFile(path("in.tesk"))));
    const QStringList before = filesIn(dir.path());
    const struct {
        const char* script;
        int exitCode;
        QByteArray out;
    } rows[] = {
        {"\"$T\" in.tesk \"$(printf 'r\\377.qvx')\"", 255, "exit code: -4\n\n"},
        {"\"$T\" \"$(printf 'i\\377.tesk')\" out.qvx", 255, "exit code: -1\n\n"},
        {"\"$S\" in.tesk --png \"$(printf 'p\\377')\"", 2, ""},
        {"\"$S\" \"$(printf 'i\\377.tesk')\"", 2, ""},
    };
    for (const auto& row : rows) {
        const ShellRun run = sh(QLatin1String(row.script));
        EXPECT_EQ(run.exitCode, row.exitCode) << row.script;
        EXPECT_EQ(run.out, row.out) << row.script;
        EXPECT_EQ(filesIn(dir.path()), before) << row.script;
    }
    EXPECT_EQ(readFile(path(QString::fromUtf8("r\xef\xbf\xbd.qvx"))), "another file");
}

// A malloc that fails for one size, preloaded into the program.
class FailedAllocation : public Hostile {
protected:
    void SetUp() override
    {
        if (kAddressSanitizer)
            GTEST_SKIP() << "runs only without AddressSanitizer, whose malloc a preloaded one cannot replace";
        Hostile::SetUp();
    }
    ShellRun failing(qint64 size, const QString& command) const
    {
        return sh(QStringLiteral("LD_PRELOAD=%1 FAILMALLOC_SIZE=%2 %3")
                      .arg(QStringLiteral(FAILMALLOC_LIBRARY))
                      .arg(size)
                      .arg(command));
    }
};

// The halved model-10 layer (480 x 854 grey bytes) and the 120 x 150 preview
// at four bytes a pixel: without them the run fails and the old file stays.
TEST_F(FailedAllocation, EndsTheConversionWithoutAWrongFile)
{
    TeskBuilder b(printerModel("Vireld10"));
    QByteArray noise(960 * 1708, '\0');
    QRandomGenerator random(19);
    for (char& pixel : noise)
        pixel = char(random.bounded(128) * 2);
    b.addLayer(noise); // many runs: halved from its bitmap
    QImage preview(30, 20, QImage::Format_RGB888);
    preview.fill(Qt::white);
    b.setPreview(preview);
    ASSERT_TRUE(b.writeTo(path("dense.tesk")));
    for (qint64 size : {480 * 854, 120 * 150 * 4}) {
        QFile::remove(path("out.qvx"));
        ASSERT_TRUE(writeAt(path("out.qvx"), 0, "an older print"));
        const ShellRun run = failing(size, QStringLiteral("\"$T\" dense.tesk out.qvx"));
        EXPECT_EQ(run.exitCode, 255) << size;
        EXPECT_TRUE(run.out.endsWith("exit code: -5\n\n")) << size << run.out.toStdString();
        EXPECT_EQ(readFile(path("out.qvx")), "an older print") << size;
        EXPECT_EQ(filesIn(dir.path()), QStringList({"dense.tesk", "good.qvx", "in.tesk", "out.qvx"})) << size;
    }
    EXPECT_EQ(failing(12345, QStringLiteral("\"$T\" dense.tesk out.qvx")).exitCode, 0) << "the shim fails only its size";
}

// The contact sheet of two model-30 layers is 344 x 315 pixels of four bytes.
TEST_F(FailedAllocation, SliceinfoReportsThePictureItCouldNotDraw)
{
    const ShellRun run = failing(344 * 315 * 4, QStringLiteral("\"$S\" in.tesk --layers 0 --png pictures"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("contact-sheet.png")) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("pictures/contact-sheet.png")));
}

class AsNobody : public Hostile {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run as another user and to own files of another user";
        Hostile::SetUp();
        ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
        // Where nobody may not enter the build folder, copies of the programs serve.
        if (asNobody(QStringLiteral("test -x \"$T\"")).exitCode != 0) {
            ASSERT_EQ(sh(QStringLiteral("mkdir bin && cp \"$T\" \"$S\" bin/ && chmod -R a+rX bin")).exitCode, 0);
            programs = QStringLiteral("T=\"$PWD/bin/%1\" S=\"$PWD/bin/%2\"; ")
                           .arg(QFileInfo(QStringLiteral(TESKTOQVX_PROGRAM)).fileName(),
                                QFileInfo(QStringLiteral(SLICEINFO_PROGRAM)).fileName());
        }
    }
    ShellRun asNobody(const QString& command) const
    {
        return sh(programs + QStringLiteral("runuser -u nobody -- ") + command);
    }

    QString programs; // sets $T and $S to the copies, when they are used
};

TEST_F(AsNobody, AReadOnlyDirectoryIsRefused)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    ::chmod(QFile::encodeName(path("locked")).constData(), 0555);
    const ShellRun run = asNobody(QStringLiteral("\"$T\" in.tesk locked/out.qvx"));
    EXPECT_EQ(run.out, "exit code: -4\n\n");
    EXPECT_EQ(filesIn(path("locked")), QStringList());
}

// Qt hands large images to a pool of threads; with none to be had it would wait
// for ever (and print to standard error). A 600 x 600 preview is well past the
// size where it would; so are layers narrower than a tile of the contact sheet
// (160 pixels), which are enlarged to it: 150 x 900 pixels (both axes
// enlarged) and 100 x 20,000 (one enlarged, one shrunk).
TEST_F(AsNobody, NoThreadIsNeeded)
{
    TeskBuilder b(printerModel("Vireld30"));
    QImage preview(600, 600, QImage::Format_RGB888);
    preview.fill(QColor(200, 100, 50));
    b.setPreview(preview);
    b.addLayerStream(teskRunToken(0x20, 5000));
    ASSERT_TRUE(b.writeTo(path("big.tesk")));
    // LeakSanitizer's check at the end needs a thread of its own.
    const QString noThreads = QStringLiteral("env ASAN_OPTIONS=detect_leaks=0 timeout 60 prlimit --nproc=1:1 ");
    const ShellRun run = asNobody(noThreads + QStringLiteral("\"$T\" big.tesk big.qvx"));
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(run.err, "");
    for (const QSize layer : {QSize(150, 900), QSize(100, 20000)}) {
        TeskBuilder narrow;
        narrow.header.resolutionX = layer.width();
        narrow.header.resolutionY = layer.height();
        narrow.addLayerStream(teskRunToken(0x20, 5000) + teskRunToken(0x50, 5000));
        ASSERT_TRUE(narrow.writeTo(path(QStringLiteral("narrow-%1.tesk").arg(layer.width()))));
    }
    for (const char* file : {"narrow-150.tesk", "narrow-100.tesk", "big.tesk"}) {
        QDir(path("pictures")).removeRecursively();
        const ShellRun info = asNobody(noThreads + QStringLiteral("\"$S\" %1 --png pictures --layers all").arg(file));
        EXPECT_EQ(info.exitCode, sh(QStringLiteral("\"$S\" %1").arg(file)).exitCode) << file << info.err.toStdString();
        EXPECT_EQ(info.err, "") << file;
        for (const char* picture : {"layer-00000.png", "contact-sheet.png", "plot.png"})
            EXPECT_FALSE(QImage(path(QStringLiteral("pictures/") + picture)).isNull()) << file << " " << picture;
    }
    EXPECT_FALSE(QImage(path(QStringLiteral("pictures/preview.png"))).isNull()) << "big.tesk's";
}

TEST_F(AsNobody, AnotherUsersFileInAStickyDirectoryIsRefusedBeforeConverting)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("sticky"));
    ::chmod(QFile::encodeName(path("sticky")).constData(), 01777);
    ASSERT_TRUE(writeAt(path("sticky/out.qvx"), 0, "root's"));
    ::chmod(QFile::encodeName(path("sticky/out.qvx")).constData(), 0666);
    const ShellRun run = asNobody(QStringLiteral("\"$T\" in.tesk sticky/out.qvx"));
    EXPECT_EQ(run.out, "exit code: -4\n\n");
    EXPECT_EQ(readFile(path("sticky/out.qvx")), "root's");
    EXPECT_EQ(filesIn(path("sticky")), QStringList{"out.qvx"});
}

// As `install` and editors do: the replaced file's mode, and when root
// replaces it, its owner and group; a hard link keeps the old content.
TEST_F(AsNobody, AReplacedFileKeepsItsOwnerAndMode)
{
    for (int mode : {0444, 0555, 0000, 04751, 02640, 0600}) {
        ASSERT_TRUE(writeAt(path("out.qvx"), 0, "old"));
        const QByteArray out = QFile::encodeName(path("out.qvx"));
        ASSERT_EQ(::chown(out.constData(), 65534, 65534), 0);
        ::chmod(out.constData(), mode_t(mode));
        QFile::remove(path("link.qvx"));
        ASSERT_EQ(::link(out.constData(), QFile::encodeName(path("link.qvx")).constData()), 0);
        EXPECT_EQ(sh(QStringLiteral("\"$T\" in.tesk out.qvx")).exitCode, 0) << std::oct << mode;
        struct stat st {};
        ASSERT_EQ(::stat(out.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode_t(mode)) << std::oct << mode;
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(readFile(path("out.qvx")), good);
        EXPECT_EQ(readFile(path("link.qvx")), "old");
        QFile::remove(path("out.qvx"));
    }
    // Through a symbolic link its target is replaced, as before.
    ASSERT_TRUE(writeAt(path("target.qvx"), 0, "old"));
    ASSERT_TRUE(QFile::link(QStringLiteral("target.qvx"), path("symlink.qvx")));
    EXPECT_EQ(sh(QStringLiteral("\"$T\" in.tesk symlink.qvx")).exitCode, 0);
    EXPECT_TRUE(QFileInfo(path("symlink.qvx")).isSymLink());
    EXPECT_EQ(readFile(path("target.qvx")), good);
}

TEST_F(Hostile, ANewFileGetsTheUsualMode)
{
    EXPECT_EQ(sh(QStringLiteral("umask 027; \"$T\" in.tesk new.qvx")).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("new.qvx")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));
}

// The temporary name is short whatever the output's: names up to the file
// system's limit (255 bytes here) are created and replaced.
TEST_F(Hostile, LongNamesAreReplacedAndEmptyOnesRefusedFirst)
{
    for (int length : {200, 249, 250, 255}) {
        const QString name = QString(length - 4, QLatin1Char('a')) + QStringLiteral(".qvx");
        ASSERT_TRUE(writeAt(path(name), 0, "old"));
        const ShellRun run = sh(QStringLiteral("\"$T\" in.tesk ") + name);
        EXPECT_EQ(run.exitCode, 0) << length << run.out.toStdString();
        EXPECT_EQ(readFile(path(name)), good) << length;
        QFile::remove(path(name));
    }
    const QStringList before = filesIn(dir.path());
    EXPECT_EQ(sh(QStringLiteral("\"$T\" in.tesk ") + QString(256, QLatin1Char('b'))).out, "exit code: -4\n\n");
    EXPECT_EQ(sh(QStringLiteral("\"$T\" in.tesk ''")).out, "exit code: -4\n\n");
    EXPECT_EQ(filesIn(dir.path()), before);
}

// A file whose 2000 layers alternate between two noisy blocks: converting it
// takes long enough to be caught in the middle.
QByteArray slowToConvert()
{
    TeskBuilder b(printerModel("Vireld10"));
    QRandomGenerator random(7);
    for (int j = 0; j < 2; ++j) {
        QByteArray noise(960 * 1708, '\0');
        for (char& pixel : noise)
            pixel = char(random.bounded(128) * 2);
        b.addLayer(noise);
    }
    for (int j = 2; j < 2000; ++j)
        b.addLayerStream(QByteArray());
    QByteArray file = b.build();
    const int table = b.header.layerTableOffset;
    for (int j = 2; j < 2000; ++j)
        file.replace(table + 36 * j, 36, file.mid(table + 36 * (j % 2), 36));
    return file;
}

// Each signal ends the run with its usual status; no temporary file stays and
// the old output is kept.
TEST_F(Hostile, SignalsLeaveTheOldOutput)
{
    ASSERT_TRUE(writeAt(path("slow.tesk"), 0, slowToConvert()));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QFile::remove(path("out.qvx"));
        ASSERT_TRUE(writeAt(path("out.qvx"), 0, "old"));
        QProcess process;
        process.start(QStringLiteral(TESKTOQVX_PROGRAM), {path("slow.tesk"), path("out.qvx")});
        QByteArray lines;
        while (!lines.contains("progress:10") && process.waitForReadyRead(60000))
            lines += process.readAllStandardOutput();
        ASSERT_TRUE(lines.contains("progress:10")) << lines.toStdString();
        ::kill(pid_t(process.processId()), signal);
        process.waitForFinished(60000);
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << signal;
        EXPECT_EQ(process.exitCode(), signal);
        EXPECT_EQ(readFile(path("out.qvx")), "old") << signal;
        EXPECT_EQ(filesIn(dir.path()), QStringList({"good.qvx", "in.tesk", "out.qvx", "slow.tesk"})) << signal;
    }
}

// Input that is not a regular file is refused at once by both programs, with
// the reason, and no output is made: a FIFO with a writer or without one, a
// pipe as standard input, a device. Each would otherwise read as a damaged
// file, or wait for ever for a writer.
TEST_F(Hostile, InputThatIsNotARegularFileIsRefusedAtOnce)
{
    const QByteArray unreadable = "exit code: -2\n\n";
    const QByteArray fifo = "is a pipe or FIFO, not a regular file";
    const struct {
        const char* script;
        int exitCode;
        QByteArray says; // the converter's whole output, or a part of sliceinfo's message
    } cases[] = {
        {"mkfifo p; cat in.tesk > p & \"$T\" p out.qvx; s=$?; kill $!; exit $s", 255, unreadable},
        {"mkfifo p; \"$T\" p out.qvx", 255, unreadable},
        {"cat in.tesk | \"$T\" /dev/stdin out.qvx", 255, unreadable},
        {"\"$T\" /dev/zero out.qvx", 255, unreadable},
        {"mkfifo p; cat good.qvx > p & \"$S\" p; s=$?; kill $!; exit $s", 2, "sliceinfo: p " + fifo},
        {"mkfifo p; cat in.tesk > p & \"$S\" --json p; s=$?; kill $!; exit $s", 2, "sliceinfo: p " + fifo},
        {"mkfifo p; \"$S\" p", 2, "sliceinfo: p " + fifo},
        {"cat good.qvx | \"$S\" /dev/stdin", 2, "sliceinfo: /dev/stdin " + fifo},
        {"cat in.tesk | \"$S\" /dev/stdin", 2, "sliceinfo: /dev/stdin " + fifo},
        {"\"$S\" --format qvx /dev/zero", 2, "sliceinfo: /dev/zero is a character device, not a regular file"},
    };
    for (const auto& c : cases) {
        QFile::remove(path("p"));
        const ShellRun run = sh(QString::fromLatin1(c.script));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.script << "\n" << run.err.toStdString();
        if (c.exitCode == 255)
            EXPECT_EQ(run.out, c.says) << c.script;
        else
            EXPECT_TRUE(run.out.isEmpty() && run.err.contains(c.says)) << c.script << "\n" << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("out.qvx"))) << c.script;
    }
}

// A regular file given as standard input is a file: both read it as such.
TEST_F(Hostile, ARegularFileAsStandardInputIsReadAsTheFile)
{
    EXPECT_EQ(sh(QStringLiteral("\"$T\" /dev/stdin out.qvx < in.tesk")).exitCode, 0);
    EXPECT_EQ(readFile(path("out.qvx")), good);
    for (const char* file : {"good.qvx", "in.tesk"}) {
        const ShellRun named = sh(QStringLiteral("\"$S\" --json %1").arg(QLatin1String(file)));
        const ShellRun asInput = sh(QStringLiteral("\"$S\" --json /dev/stdin < %1").arg(QLatin1String(file)));
        EXPECT_EQ(asInput.exitCode, named.exitCode) << file;
        EXPECT_EQ(asInput.out, QByteArray(named.out).replace(file, "/dev/stdin")) << file;
    }
}

} // namespace
#endif
