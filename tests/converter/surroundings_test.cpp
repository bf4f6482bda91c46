// The converter's library in hostile surroundings: layer tables that repeat
// one block, the output file's temporary name and signals, no threads.
#include "conversion.h"
#include "outputfile.h"
#include "teskbuilder.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <csignal>
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
    TeskBuilder own(TeskModel::Vireld10);
    TeskBuilder shared(TeskModel::Vireld10);
    for (int k : pattern)
        own.addLayerStream(layers[k]);
    for (const QByteArray& layer : layers)
        shared.addLayerStream(layer);
    for (size_t j = layers.size(); j < pattern.size(); ++j)
        shared.addLayerStream(QByteArray());
    QByteArray file = shared.build();
    const int table = shared.header.layerTableOffset;
    const QByteArray entries = file.mid(table, 36 * layers.size());
    for (size_t j = 0; j < pattern.size(); ++j)
        file.replace(table + 36 * int(j), 36, entries.mid(36 * pattern[j], 36));
    return {own.build(), file};
}

// A block shared by neighbouring entries is decoded once and its record
// written again; the file and the lines must be those of decoding every layer.
TEST(SharedBlocks, GiveWhatDecodingEveryLayerGives)
{
    const std::vector<std::vector<int>> patterns = {
        {0, 1, 2, 0, 1, 2}, {0, 0, 0, 0}, {1, 1, 1, 0, 0}, {2, 2, 2, 1}, {0, 1, 1, 0, 0, 2, 2, 1},
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

#ifdef Q_OS_LINUX
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

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

#endif

} // namespace
