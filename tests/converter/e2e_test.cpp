// Runs the built program as a user would: a real process on real files.
#include "teskbuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace {

// main returns -1 for every failure: a shell sees 255, Windows -1.
#ifdef Q_OS_WIN
constexpr int kFailureStatus = -1;
#else
constexpr int kFailureStatus = 255;
#endif

struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun runProgram(const QStringList& arguments, const QString& workingDirectory = QString(),
                      const QString& program = QStringLiteral(TESKTOQVX_PROGRAM))
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    process.waitForFinished(-1);
    // A Windows console ends its lines with CR LF; the lines themselves are the same.
    return ProgramRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1000,
               process.readAllStandardOutput().replace("\r\n", "\n"), process.readAllStandardError()};
}

QByteArray progress(std::initializer_list<int> intermediate)
{
    QByteArray lines = "progress:0\nprogress:1\n";
    for (int value : intermediate)
        lines += "progress:" + QByteArray::number(value) + "\n";
    return lines + "progress:100\ninfo:done.\nprogress:0\n";
}

QByteArray exitLine(int result)
{
    return "exit code: " + QByteArray::number(result) + "\n\n";
}

class EndToEnd : public testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(TeskBuilder& b, const QString& name = QStringLiteral("in.tesk"))
    {
        EXPECT_TRUE(b.writeTo(path(name)));
        return path(name);
    }

    QTemporaryDir dir;
};

// Little-endian bytes of the values, written out independently of the converter.
template <typename T>
QByteArray littleEndian(std::initializer_list<T> values)
{
    QByteArray out;
    for (T v : values) {
        char b[sizeof v];
        qToLittleEndian(v, b);
        out.append(b, sizeof v);
    }
    return out;
}

QByteArray le32(std::initializer_list<quint32> values) { return littleEndian(values); }
QByteArray leFloats(std::initializer_list<float> values) { return littleEndian(values); }

// The 180-byte header of a file converted from TeskBuilder's defaults:
// layer height 0.05 mm, exposure 8 s, bottom exposure 60 s, 6 bottom layers,
// light-off delay 1.5 s, pass-through values 5, 48, 2, 600.
QByteArray expectedHeader(quint32 model, float pixelsPerMm, float pixelsX, float pixelsY, float maxHeight,
                          quint32 layers)
{
    return QByteArray("QuorvatH") + le32({0xFF000001u, 1, model, 0, 34})
         + leFloats({pixelsPerMm, pixelsPerMm, pixelsX, pixelsY, 0.05f, 8000.0f, 60000.0f, 10.0f, 1500.0f,
                     1500.0f, 0.3f, 0.6f, 5.0f, 2.0f, 600.0f, 600.0f, 48.0f, 48.0f, 5.0f, 60.0f, 10.0f, 600.0f,
                     600.0f, 2.0f, 0.2f, 60.0f, 1.0f, 6.0f, 150.0f, 1001.0f, maxHeight, 0.0f, 0.0f, 0.0f})
         + le32({layers, 4, 120, 150});
}

TEST_F(EndToEnd, ConvertsVireld30ByteForByte)
{
    TeskBuilder b(printerModel("Vireld30"));
    QImage white(30, 20, QImage::Format_RGB888);
    white.fill(Qt::white);
    b.setPreview(white);
    b.addLayerStream(QByteArray());                          // all black
    b.addLayerStream(teskRunToken(0x20, 5));                 // 5 pixels of grey 64, then black
    b.addLayerStream(teskRunToken(0x7F, 1440 * 2560, 4));    // all white
    const ProgramRun run = runProgram({write(b), path("out.qvx")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, progress({10, 20}) + exitLine(0));
    EXPECT_EQ(run.err, "");

    QByteArray expected = expectedHeader(30, 1000.0f / 47.25f, 2560, 1440, 170, 3);
    expected += QByteArray(2 * 120 * 150, char(0xFF));
    expected += QByteArray::fromHex("06000000" "030804000000");
    // 5 pixels of class 4, then 3686395 = 0x383FFB of class 0.
    expected += QByteArray::fromHex("07000000" "45" "0308030F0F0B");
    expected += QByteArray::fromHex("06000000" "F3F8F4F0F0F0");
    EXPECT_EQ(readFile(path("out.qvx")).toHex(), expected.toHex());
}

TEST_F(EndToEnd, ConvertsVireld10ByteForByte)
{
    TeskBuilder b(printerModel("Vireld10"));
    QImage red(7, 3, QImage::Format_RGB888);
    red.fill(QColor(255, 0, 0));
    b.setPreview(red);
    b.addLayerStream(QByteArray());
    const ProgramRun run = runProgram({write(b), path("out.qvx")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, progress({}) + exitLine(0));

    QByteArray expected = expectedHeader(10, 1000.0f / 115.5f, 854, 480, 140, 1);
    for (int i = 0; i < 120 * 150; ++i)
        expected += QByteArray::fromHex("F800");
    // 480 x 854 = 409920 = 0x64140 black pixels.
    expected += QByteArray::fromHex("05000000" "0604010400");
    EXPECT_EQ(readFile(path("out.qvx")).toHex(), expected.toHex());
}

TEST_F(EndToEnd, ShortNamesAreAccepted)
{
    for (const char* name : {"Kv10", "Kv20"}) {
        TeskBuilder b(name == QByteArray("Kv10") ? printerModel("Vireld10") : printerModel("Vireld30"));
        b.machineName = name;
        const ProgramRun run = runProgram({write(b), path("out.qvx")});
        EXPECT_EQ(run.out, progress({}) + exitLine(0)) << name;
        EXPECT_EQ(readFile(path("out.qvx")).mid(16, 4), le32({name == QByteArray("Kv10") ? 10u : 30u})) << name;
    }
}

struct ProgressCase {
    int layers;
    std::vector<int> intermediate;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << "Layers" << c.layers; }

class ProgressLines : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressLines, FollowTheLayers)
{
    QTemporaryDir dir;
    TeskBuilder b(printerModel("Vireld30"));
    for (int j = 0; j < GetParam().layers; ++j)
        b.addLayerStream(QByteArray());
    ASSERT_TRUE(b.writeTo(dir.filePath("in.tesk")));
    const ProgramRun run = runProgram({dir.filePath("in.tesk"), dir.filePath("out.qvx")});
    QByteArray expected = "progress:0\nprogress:1\n";
    for (int value : GetParam().intermediate)
        expected += "progress:" + QByteArray::number(value) + "\n";
    expected += "progress:100\ninfo:done.\nprogress:0\n" + exitLine(0);
    EXPECT_EQ(run.out, expected);
}

std::vector<int> tens(int from, int to, int repeatLast = 0)
{
    std::vector<int> v;
    for (int x = from; x <= to; x += 10)
        v.push_back(x);
    v.insert(v.end(), size_t(repeatLast), to);
    return v;
}

INSTANTIATE_TEST_SUITE_P(Counts, ProgressLines,
                         testing::Values(ProgressCase{0, {}}, ProgressCase{1, {}}, ProgressCase{2, {10}},
                                         ProgressCase{9, tens(10, 80)}, ProgressCase{10, tens(10, 90)},
                                         ProgressCase{11, tens(10, 100)}, ProgressCase{15, tens(10, 100, 4)},
                                         ProgressCase{19, tens(10, 100, 8)}, ProgressCase{20, tens(10, 90)},
                                         ProgressCase{29, tens(10, 100, 4)}, ProgressCase{1005, tens(10, 100)}),
                         testing::PrintToStringParamName());

TEST_F(EndToEnd, TooFewArgumentsPrintUsage)
{
    for (const QStringList& args : {QStringList(), QStringList{path("in.tesk")}}) {
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.exitCode, kFailureStatus);
#ifdef Q_OS_WIN
        // Windows hands the program its own path in its own spelling.
        EXPECT_TRUE(run.out.startsWith("error:Invalid parameter,format:")) << run.out.toStdString();
        EXPECT_TRUE(run.out.endsWith("tesktoqvx.exe input output\n")) << run.out.toStdString();
#else
        EXPECT_EQ(run.out, "error:Invalid parameter,format:" TESKTOQVX_PROGRAM " input output\n");
#endif
        EXPECT_EQ(run.err, "");
    }
}

struct FailureCase {
    const char* name;
    int result;
    // Prepares the input and output paths in dir; returns {input, output}.
    QStringList (*prepare)(const QTemporaryDir& dir);
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class Failures : public testing::TestWithParam<FailureCase> {};

TEST_P(Failures, PrintOnlyTheExitCodeAndMakeNoOutput)
{
    QTemporaryDir dir;
    const QStringList args = GetParam().prepare(dir);
    const ProgramRun run = runProgram(args);
    EXPECT_EQ(run.exitCode, kFailureStatus);
    EXPECT_EQ(run.out, exitLine(GetParam().result));
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(QFileInfo(args[1]).isFile());
}

QString validInput(const QTemporaryDir& dir, TeskBuilder b = TeskBuilder(printerModel("Vireld30")))
{
    b.addLayerStream(QByteArray());
    b.writeTo(dir.filePath("in.tesk"));
    return dir.filePath("in.tesk");
}

INSTANTIATE_TEST_SUITE_P(
    Results, Failures,
    testing::Values(
        FailureCase{"MissingInput", -1, [](const QTemporaryDir& d) { return QStringList{d.filePath("none.tesk"), d.filePath("o.qvx")}; }},
        FailureCase{"EmptyInputPath", -1, [](const QTemporaryDir& d) { return QStringList{"", d.filePath("o.qvx")}; }},
        FailureCase{"InputIsADirectory", -2, [](const QTemporaryDir& d) { return QStringList{d.path(), d.filePath("o.qvx")}; }},
        FailureCase{"UnsupportedModel", -3,
                    [](const QTemporaryDir& d) {
                        TeskBuilder b(printerModel("Vireld30"));
                        b.machineName = "Vireld120";
                        return QStringList{validInput(d, b), d.filePath("o.qvx")};
                    }},
        FailureCase{"WrongResolution", -3,
                    [](const QTemporaryDir& d) {
                        TeskBuilder b(printerModel("Vireld10"));
                        b.header.resolutionY = 1707;
                        return QStringList{validInput(d, b), d.filePath("o.qvx")};
                    }},
        FailureCase{"OutputDirectoryMissing", -4,
                    [](const QTemporaryDir& d) { return QStringList{validInput(d), d.filePath("no/such/o.qvx")}; }},
        FailureCase{"OutputIsADirectory", -4, [](const QTemporaryDir& d) { return QStringList{validInput(d), d.path()}; }},
        FailureCase{"MalformedLayerCount", -6,
                    [](const QTemporaryDir& d) {
                        QString in = validInput(d);
                        writeAt(in, 36, QByteArray("\xff\xff\xff\xff", 4));
                        return QStringList{in, d.filePath("o.qvx")};
                    }}),
    testing::PrintToStringParamName());

TEST_F(EndToEnd, ExtraArgumentsAreIgnored)
{
    const QString in = validInput(dir);
    const ProgramRun run = runProgram({in, path("out.qvx"), "--force", path("other.qvx")});
    EXPECT_EQ(run.out, progress({}) + exitLine(0));
    EXPECT_TRUE(QFile::exists(path("out.qvx")));
    EXPECT_FALSE(QFile::exists(path("other.qvx")));
}

TEST_F(EndToEnd, PathsWithSpacesAndNonAsciiCharacters)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("drücke und 模型")));
    const QString sub = QStringLiteral("drücke und 模型/");
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayerStream(QByteArray());
    ASSERT_TRUE(b.writeTo(path(sub + QStringLiteral("teil ü.tesk"))));
    const ProgramRun run = runProgram({path(sub + QStringLiteral("teil ü.tesk")), path(sub + QStringLiteral("teil ü.qvx"))});
    EXPECT_EQ(run.out, progress({}) + exitLine(0));
    EXPECT_TRUE(QFile::exists(path(sub + QStringLiteral("teil ü.qvx"))));
}

TEST_F(EndToEnd, RelativePathsAndAnExistingOutputFile)
{
    const QString in = validInput(dir);
    ASSERT_TRUE(writeAt(path("out.qvx"), 0, QByteArray(100000, 'x')));
    const ProgramRun run = runProgram({QStringLiteral("in.tesk"), QStringLiteral("out.qvx")}, dir.path());
    EXPECT_EQ(run.out, progress({}) + exitLine(0));
    EXPECT_EQ(QFileInfo(path("out.qvx")).size(), 180 + 4 + 6); // no preview
}

TEST_F(EndToEnd, OverflowingLayerIsReportedAndStillWritten)
{
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayerStream(teskRunToken(0x10, 1440 * 2560) + char(0x01));
    b.addLayerStream(QByteArray());
    const ProgramRun run = runProgram({write(b), path("out.qvx")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "progress:0\nprogress:1\nError!overflow...\nprogress:10\nprogress:100\ninfo:done.\n"
                       "progress:0\n" + exitLine(0));
    // The first record holds the filled layer: one run of class 0x20.
    EXPECT_EQ(readFile(path("out.qvx")).mid(180, 10).toHex(), QByteArray("06000000232824202020"));
}

} // namespace

namespace {

#ifdef Q_OS_LINUX
// Runs the program with its file size limited to `limitBytes` and SIGXFSZ
// ignored, so that writes past the limit fail as on a full disk.
ProgramRun runWithFileSizeLimit(qint64 limitBytes, const QStringList& arguments)
{
    return runProgram(QStringList{"-c", "trap '' XFSZ; exec prlimit --fsize=" + QString::number(limitBytes)
                                            + " \"$0\" \"$@\"",
                                  QStringLiteral(TESKTOQVX_PROGRAM)}
                          + arguments,
                      QString(), QStringLiteral("/bin/sh"));
}

class WriteFaults : public testing::TestWithParam<qint64> {};

// The limits cut the header, the preview, a layer record and the bytes still
// buffered when the finished file is committed (36211 bytes in all).
TEST_P(WriteFaults, FailWithoutTouchingTheOutputPath)
{
    QTemporaryDir dir;
    TeskBuilder b(printerModel("Vireld30"));
    QImage white(30, 20, QImage::Format_RGB888);
    white.fill(Qt::white);
    b.setPreview(white);
    b.addLayerStream(QByteArray());
    b.addLayerStream(teskRunToken(0x20, 5));
    b.addLayerStream(QByteArray());
    ASSERT_TRUE(b.writeTo(dir.filePath("in.tesk")));
    const QByteArray older = "an older print";
    ASSERT_TRUE(writeAt(dir.filePath("out.qvx"), 0, older));

    const ProgramRun run = runWithFileSizeLimit(GetParam(), {dir.filePath("in.tesk"), dir.filePath("out.qvx")});
    EXPECT_EQ(run.exitCode, kFailureStatus);
    EXPECT_TRUE(run.out.endsWith("exit code: -5\n\n")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("info:done."));
    EXPECT_EQ(readFile(dir.filePath("out.qvx")), older);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Limits, WriteFaults, testing::Values(0, 100, 20000, 36185, 36200, 36210),
                         testing::PrintToStringParamName());

TEST(WriteFaults, AFileThatJustFitsIsWritten)
{
    QTemporaryDir dir;
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayerStream(QByteArray());
    ASSERT_TRUE(b.writeTo(dir.filePath("in.tesk")));
    const ProgramRun run = runWithFileSizeLimit(190, {dir.filePath("in.tesk"), dir.filePath("out.qvx")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QFileInfo(dir.filePath("out.qvx")).size(), 190);
}
#endif

#ifdef Q_OS_LINUX
// Outputs that are not plain files are written in place and stay what they were.
class OutputNodes : public testing::Test {
protected:
    void SetUp() override
    {
        TeskBuilder b(printerModel("Vireld10"));
        b.addLayerStream(teskRunToken(90, 5000) + QByteArray(1, '\x30'));
        b.addLayerStream(QByteArray());
        input = dir.filePath("in.tesk");
        ASSERT_TRUE(b.writeTo(input));
        ASSERT_EQ(runProgram({input, dir.filePath("plain.qvx")}).exitCode, 0);
        plain = readFile(dir.filePath("plain.qvx"));
    }

    QString node(const char* name) const { return dir.filePath(name); }
    static bool isCharDevice(const QString& path)
    {
        struct stat st;
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
    }

    QTemporaryDir dir;
    QString input;
    QByteArray plain;
};

TEST_F(OutputNodes, DeviceNodesAreWrittenIntoAndStayDevices)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "runs only as root, who alone may make device nodes";
    // The same devices as /dev/null, which swallows everything, and /dev/full,
    // on which every write fails.
    ASSERT_EQ(::mknod(QFile::encodeName(node("null")).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod(QFile::encodeName(node("full")).constData(), S_IFCHR | 0666, makedev(1, 7)), 0);
    const ProgramRun null = runProgram({input, node("null")});
    EXPECT_EQ(null.out, progress({10}) + exitLine(0));
    EXPECT_TRUE(isCharDevice(node("null")));
    const ProgramRun full = runProgram({input, node("full")});
    EXPECT_EQ(full.exitCode, kFailureStatus);
    EXPECT_TRUE(full.out.endsWith(exitLine(-5))) << full.out.toStdString();
    EXPECT_TRUE(isCharDevice(node("full")));
}

TEST_F(OutputNodes, APipeReceivesTheFileBytes)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(node("pipe")).constData(), 0600), 0);
    QProcess reader;
    reader.start(QStringLiteral("cat"), {node("pipe")});
    ASSERT_TRUE(reader.waitForStarted());
    const ProgramRun run = runProgram({input, node("pipe")});
    ASSERT_TRUE(reader.waitForFinished(-1));
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(reader.readAllStandardOutput(), plain);
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(node("pipe")).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(OutputNodes, ALinkIsWrittenThroughAndStays)
{
    ASSERT_TRUE(writeAt(node("target.qvx"), 0, "an older print"));
    ASSERT_TRUE(QFile::link(node("target.qvx"), node("link.qvx")));
    EXPECT_EQ(runProgram({input, node("link.qvx")}).exitCode, 0);
    EXPECT_TRUE(QFileInfo(node("link.qvx")).isSymLink());
    EXPECT_EQ(readFile(node("target.qvx")), plain);
}

// The console lines go to standard output, so the file may not go there too.
TEST_F(OutputNodes, StandardOutputIsRefused)
{
    const ProgramRun run = runProgram({input, QStringLiteral("/dev/stdout")});
    EXPECT_EQ(run.out, exitLine(-4));
    EXPECT_EQ(run.exitCode, kFailureStatus);
}
#endif

// Where a user sends a conversion to see whether the file converts.
TEST(WriteFaults, TheNullDeviceIsWrittenInto)
{
#ifdef Q_OS_WIN
    // In any folder, letter case and extension, and in the device namespace.
    const QStringList nulls{QStringLiteral("NUL"), QStringLiteral("nul.qvx"), QStringLiteral("sub/Nul.tar.qvx"),
                            QStringLiteral("\\\\.\\NUL"), QStringLiteral("//./nul")};
#else
    const QStringList nulls{QStringLiteral("/dev/null")};
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString in = validInput(dir);
    for (const QString& null : nulls) {
        const ProgramRun run = runProgram({in, null}, dir.path());
        EXPECT_EQ(run.out, progress({}) + exitLine(0)) << null.toStdString();
        EXPECT_FALSE(QFileInfo(dir.filePath(null)).isFile()) << null.toStdString();
    }
#ifdef Q_OS_LINUX
    struct stat st;
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
#endif
}

#ifdef Q_OS_WIN
// A serial or printer port that this machine lacks cannot be opened; no file
// of that name is made instead.
TEST(WriteFaults, AMissingPortIsRefused)
{
    QTemporaryDir dir;
    const QString in = validInput(dir);
    for (const QString& port : {QStringLiteral("COM9"), QStringLiteral("lpt9.qvx"), QStringLiteral("\\\\.\\COM9")}) {
        const ProgramRun run = runProgram({in, port}, dir.path());
        EXPECT_EQ(run.out, exitLine(-4)) << port.toStdString();
        EXPECT_EQ(run.exitCode, kFailureStatus) << port.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("in.tesk")}) << port.toStdString();
    }
}
#endif

// The input stays readable until the end, so it may be converted onto itself.
TEST(WriteFaults, InputMayBeTheOutput)
{
    QTemporaryDir dir;
    const QString in = validInput(dir);
    const ProgramRun run = runProgram({in, in});
    EXPECT_EQ(run.out, progress({}) + exitLine(0));
    EXPECT_EQ(readFile(in).left(8), "QuorvatH");
    EXPECT_EQ(QFileInfo(in).size(), 180 + 4 + 6);
}

} // namespace
