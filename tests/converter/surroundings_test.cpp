// The converter's library in hostile surroundings: layer tables that repeat
// one block, the output file's temporary name and signals, no threads.
#include "common/inputfile.h"
#include "common/outputfile.h"
#include "common/smoothscaler.h"
#include "conversion.h"
#include "format/sharedblocks.h"
#include "teskbuilder.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QThreadPool>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// Model-10 layers, so that both the runs and the bitmap path are taken: a
// few runs, a noisy layer with a run every pixel, and one that overflows.
QVector<QByteArray> distinctLayers()
{
    QByteArray noise(960 * 1708, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 37 + i / 960) % 128 * 2);
    return {teskRunToken(40, 5000) + char(0x7F), encodeTeskLayer(noise), teskRunToken(90, 960 * 1708 + 5)};
}

// The file with each entry of `pattern` pointing at its own copy of a layer,
// and the same layers with every repeated entry pointing at one shared block.
struct TwoFiles {
    QByteArray ownBlocks;
    QByteArray sharedBlocks;
};

TwoFiles withPattern(const std::vector<int>& pattern)
{
    const QVector<QByteArray> layers = distinctLayers();
    TeskBuilder own(printerModel("Vireld10"));
    TeskBuilder shared(printerModel("Vireld10"));
    for (int k : pattern)
        own.addLayerStream(layers[k]);
    for (const QByteArray& layer : layers)
        shared.addLayerStream(layer);
    return {own.build(), buildSharingBlocks(shared, pattern)};
}

// A block shared by entries, neighbours or not, is decoded once and its record
// written again; the file and the lines must be those of decoding every layer.
TEST(SharedBlocks, GiveWhatDecodingEveryLayerGives)
{
    const std::vector<std::vector<int>> patterns = {
        {0, 1, 2, 0, 1, 2}, {0, 0, 0, 0}, {1, 1, 1, 0, 0}, {2, 2, 2, 1}, {0, 1, 1, 0, 0, 2, 2, 1},
        {0, 1, 0, 1, 0, 1}, {2, 0, 2, 2, 1, 0, 0, 2}, {1, 0, 2, 1, 1, 2, 0, 0, 1},
    };
    for (const std::vector<int>& pattern : patterns) {
        const TwoFiles files = withPattern(pattern);
        const Conversion own = convertBytes(files.ownBlocks);
        const Conversion shared = convertBytes(files.sharedBlocks);
        EXPECT_EQ(own.result, 0);
        EXPECT_EQ(shared.result, 0);
        EXPECT_EQ(shared.printed, own.printed) << pattern.size();
        EXPECT_TRUE(shared.output == own.output) << pattern.size();
    }
}

TEST(SharedBlocks, KeepResultsWithinTheirBudget)
{
    SharedBlocks<BlockKey, QByteArray> kept(10);
    kept.keep(BlockKey(100, 6), QByteArray("first"), 6);
    kept.keep(BlockKey(100, 6), QByteArray("again"), 1); // the first result stays
    kept.keep(BlockKey(200, 6), QByteArray("passes"), 6); // over the budget: dropped
    EXPECT_TRUE(kept.fits(4));
    EXPECT_FALSE(kept.fits(5));
    kept.keep(BlockKey(300, 4), QByteArray("last"), 4);
    ASSERT_TRUE(kept.find(BlockKey(100, 6)));
    EXPECT_EQ(*kept.find(BlockKey(100, 6)), QByteArray("first"));
    EXPECT_FALSE(kept.find(BlockKey(200, 6)));
    EXPECT_FALSE(kept.find(BlockKey(100, 7))); // the same place, another size
    ASSERT_TRUE(kept.find(BlockKey(300, 4)));
}

// Noise, or one colour when `colour` is given.
QImage picture(int width, int height, QRgb colour = 0)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(quint32(width * 7919 + height));
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int i = 0; i < 3 * width; ++i)
            line[i] = colour ? uchar(colour >> (16 - 8 * (i % 3))) : uchar(random.bounded(256));
    }
    return image;
}

// Every way of shrinking (both axes, one axis with the other enlarged or kept),
// enlarging both (the contact sheet's tiles of narrow layers), sizes that do
// not divide, white, whose sums are the largest, and grey layers as sliceinfo
// scales them.
TEST(SmoothScaler, GivesQtsBytes)
{
    constexpr bool grey = true;
    const struct {
        int width, height, toWidth, toHeight;
        QRgb colour;
        bool grey;
    } rows[] = {
        {600, 600, 120, 150, 0, false},     {600, 600, 120, 150, 0xffffff, false}, {513, 511, 120, 150, 0, false},
        {2000, 100, 120, 150, 0, false},    {2000, 150, 120, 150, 0, false},       {100, 2000, 120, 150, 0, false},
        {120, 1200, 120, 150, 0, false},    {4096, 33, 120, 150, 0xffffff, false}, {33, 4096, 120, 150, 0xffffff, false},
        {2048, 2048, 120, 150, 0, false},   {1440, 2560, 160, 284, 0, false},      {300, 300, 120, 150, 0, false},
        {40, 30, 120, 150, 0, false},       {1000, 1000, 3, 2, 0, false},          {131072, 1, 120, 150, 0, false},
        {150, 900, 160, 960, 0, false},     {150, 900, 160, 960, 0xffffff, false}, {300, 500, 601, 1001, 0, false},
        {150, 900, 160, 900, 0, false},     {150, 900, 160, 960, 0, grey},         {100, 20000, 160, 640, 0, grey},
        {1, 40000, 160, 640, 0, grey},      {700, 700, 160, 160, 0, grey},         {131, 1000, 1000, 1001, 0, grey},
    };
    for (const auto& r : rows) {
        const QImage colour = picture(r.width, r.height, r.colour);
        const QImage source = r.grey ? colour.convertToFormat(QImage::Format_Grayscale8) : colour;
        const QImage expected = source.scaled(r.toWidth, r.toHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage scaled = SmoothScaler::scaled(source, r.toWidth, r.toHeight);
        EXPECT_EQ(scaled.format(), expected.format()) << r.width << "x" << r.height;
        EXPECT_TRUE(scaled == expected) << r.width << "x" << r.height << " to " << r.toWidth << "x" << r.toHeight;
    }
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Which paths are refused, written in place, or written beside and renamed.
TEST(OutputFile, RefusesWritesInPlaceOrReplacesByThePath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeAt(dir.filePath(QStringLiteral("old.qvx")), 0, "old"));
#ifdef Q_OS_WIN
    const QString device = QStringLiteral("nul.qvx"), console = QStringLiteral("CON");
#else
    const QString device = QStringLiteral("/dev/null"), console = QStringLiteral("/dev/stdout");
#endif
    const struct {
        QString path;
        bool opens;
    } cases[] = {
        {QString(), false},
        {dir.path(), false},
        {console, false},
        {device, true},
        {dir.filePath(QStringLiteral("new.qvx")), true},
        {dir.filePath(QStringLiteral("old.qvx")), true},
    };
    for (const auto& c : cases) {
        OutputFile file;
        ASSERT_EQ(file.open(c.path), c.opens) << c.path.toStdString();
        if (!c.opens)
            continue;
        file.device().write("written");
        EXPECT_TRUE(file.commit()) << c.path.toStdString();
    }
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("new.qvx"))), "written");
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("old.qvx"))), "written");
    EXPECT_EQ(entries(dir.path()), (QStringList{"new.qvx", "old.qvx"}));
}

// Only a regular file is opened; anything else is refused with the reason,
// a FIFO without waiting for a writer.
TEST(InputFile, OpensOnlyARegularFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeAt(dir.filePath(QStringLiteral("file")), 0, "qvx"));
#ifdef Q_OS_WIN
    const QString device = QStringLiteral("NUL");
#else
    const QString device = QStringLiteral("/dev/null");
#endif
#ifdef Q_OS_LINUX
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
#endif
    const struct {
        QString path;
        const char* says; // empty when it opens
    } cases[] = {
        {dir.filePath(QStringLiteral("file")), ""},
        {dir.filePath(QStringLiteral("missing")), "cannot open"},
        {dir.path(), "not a regular file"},
        {device, "not a regular file"},
#ifdef Q_OS_LINUX
        {dir.filePath(QStringLiteral("fifo")), "is a pipe or FIFO, not a regular file"},
#endif
    };
    for (const auto& c : cases) {
        QFile file(c.path);
        QString error;
        const bool opens = *c.says == '\0';
        ASSERT_EQ(openInputFile(file, QIODevice::ReadOnly, &error), opens) << c.path.toStdString();
        if (opens)
            EXPECT_EQ(file.readAll(), "qvx");
        else
            EXPECT_TRUE(error.contains(QLatin1String(c.says)) && !file.isOpen()) << error.toStdString();
    }
}

// A device that reports no size and gives `length` zero bytes, or zeros for
// ever for a negative length, as /dev/zero does; it counts what it gave.
class Zeros : public QIODevice {
public:
    explicit Zeros(qint64 length)
        : length(length)
    {
        open(ReadOnly | Unbuffered);
    }
    bool isSequential() const override { return true; }

    qint64 given = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = length < 0 ? maxSize : std::min(maxSize, length - given);
        std::memset(data, 0, size_t(n));
        given += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const qint64 length;
};

// Reading stops one byte past the limit whatever size the input reports, and
// a file within it is held in one buffer of its size.
TEST(InputFile, ReadsWholeUpToTheLimitAndNoFurther)
{
    constexpr qint64 kLimit = 300000;
    const struct {
        qint64 length; // -1: endless
        bool sized;    // reports its size, as a regular file does
        bool held;
    } cases[] = {
        {0, true, true},          {kLimit, true, true},   {kLimit + 1, true, false},
        {100, false, true},       {kLimit, false, true},  {kLimit + 1, false, false},
        {-1, false, false},
    };
    for (const auto& c : cases) {
        const QByteArray content(int(std::max<qint64>(c.length, 0)), 'q');
        QBuffer file;
        file.setData(content);
        file.open(QIODevice::ReadOnly);
        Zeros zeros(c.length);
        QIODevice& input = c.sized ? static_cast<QIODevice&>(file) : zeros;
        QByteArray bytes;
        QString error;
        EXPECT_EQ(readWholeInput(input, kLimit, &bytes, &error), c.held) << c.length;
        if (c.held) {
            EXPECT_EQ(bytes, c.sized ? content : QByteArray(int(c.length), '\0')) << c.length;
        } else {
            EXPECT_TRUE(bytes.isEmpty()) << c.length;
            EXPECT_TRUE(error.contains(QStringLiteral("more than 300000 bytes"))) << error.toStdString();
        }
        if (c.sized && c.held) {
            EXPECT_LE(bytes.capacity(), c.length + 1) << "read into one buffer of its size";
        }
        EXPECT_LE(zeros.given, kLimit + 1) << c.length;
    }
}

#ifdef Q_OS_LINUX

// Where the file system has no unnamed files the temporary file is named,
// with a short name beside the output.
TEST(OutputFile, ANamedTemporaryFileIsPutInPlaceOrRemoved)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QString(251, QLatin1Char('n')) + QStringLiteral(".qvx"));
    ASSERT_TRUE(writeAt(path, 0, "old"));
    {
        OutputFile file(OutputFile::Named);
        ASSERT_TRUE(file.open(path));
        EXPECT_TRUE(file.temporaryPath().startsWith(dir.filePath(".tesktoqvx.")));
        file.device().write("abandoned");
    }
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(entries(dir.path()).size(), 1);
    OutputFile file(OutputFile::Named);
    ASSERT_TRUE(file.open(path));
    file.device().write("new");
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(entries(dir.path()).size(), 1);
}

// Whatever has the name is replaced by the finished file, never followed nor
// written: a link (also one left dangling), a pipe, a file; a directory is
// refused.
TEST(OutputFile, ReplacingTheNameNeverWritesThroughIt)
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(writeAt(victim, 0, "keep me"));
    const QString link = dir.filePath(QStringLiteral("link.png")), pipe = dir.filePath(QStringLiteral("pipe.png"));
    const QString dangling = dir.filePath(QStringLiteral("dangling.png")), file = dir.filePath(QStringLiteral("file.png"));
    ASSERT_TRUE(QFile::link(victim, link));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("nowhere")), dangling));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(writeAt(file, 0, "old"));
    for (const QString& path : {link, pipe, dangling, file, dir.filePath(QStringLiteral("new.png"))}) {
        OutputFile output(OutputFile::Named, OutputFile::ReplaceTheName, "sliceinfo");
        ASSERT_TRUE(output.open(path)) << path.toStdString();
        EXPECT_TRUE(output.temporaryPath().startsWith(dir.filePath(QStringLiteral(".sliceinfo."))));
        output.device().write("new");
        EXPECT_TRUE(output.commit()) << path.toStdString();
        EXPECT_TRUE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink()) << path.toStdString();
        EXPECT_EQ(readFile(path), "new") << path.toStdString();
    }
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("nowhere"))));
    OutputFile output(OutputFile::UnnamedWherePossible, OutputFile::ReplaceTheName, "sliceinfo");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("dir.png")));
    EXPECT_FALSE(output.open(dir.filePath(QStringLiteral("dir.png"))));
    EXPECT_EQ(output.errorString(), QStringLiteral("Is a directory"));
}

// In a child process, so that the signal ends only it.
TEST(OutputFile, SignalsRemoveTheNamedTemporaryFile)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.qvx"));
        ASSERT_TRUE(writeAt(path, 0, "old"));
        const pid_t child = ::fork();
        if (child == 0) {
            OutputFile file(OutputFile::Named);
            if (!file.open(path) || !QFileInfo::exists(file.temporaryPath()))
                ::_exit(3);
            file.device().write("partial");
            file.device().flush();
            ::raise(signal);
            ::_exit(4);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(entries(dir.path()), QStringList{"out.qvx"});
        EXPECT_EQ(readFile(path), "old");
    }
}

// Converting a 600 x 600 preview and a full model-10 layer starts no thread.
TEST(Threads, AConversionStartsNone)
{
    TeskBuilder b(printerModel("Vireld10"));
    QImage preview(600, 600, QImage::Format_RGB888);
    preview.fill(QColor(10, 20, 30));
    b.setPreview(preview);
    b.addLayerStream(distinctLayers()[1]);
    QThreadPool::globalInstance()->waitForDone(); // ends the threads that other tests made Qt start
    const int before = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    EXPECT_EQ(convertBytes(b.build()).result, 0);
    EXPECT_EQ(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), before);
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// The contact sheet's tiles of narrow or tall grey layers, enlarged along one
// axis or both, start no thread either.
TEST(Threads, ScalingNarrowAndTallLayersStartsNone)
{
    QThreadPool::globalInstance()->waitForDone(); // ends the threads that other tests made Qt start
    const int before = threadCount();
    for (const QSize layer : {QSize(150, 900), QSize(100, 20000), QSize(1, 40000)}) {
        QImage grey(layer, QImage::Format_Grayscale8);
        grey.fill(90);
        EXPECT_EQ(SmoothScaler::scaled(grey, 160, 640).pixel(80, 320), qRgb(90, 90, 90));
    }
    EXPECT_EQ(threadCount(), before);
}
#endif

} // namespace
