// sliceinfo on files that try to take over the terminal, and on a full disk or
// planted links where it writes its pictures.
#include "sanitizers.h"
#include "teskbuilder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct SliceinfoRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// sliceinfo as a shell starts it, under `limit` (prlimit options), ignoring
// SIGXFSZ so that a file-size limit shows as a failed write.
SliceinfoRun sliceinfo(const QStringList& arguments, const QString& limit = QString())
{
    QProcess process;
    QStringList shell{QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; exec \"$0\" \"$@\"")};
    if (!limit.isEmpty())
        shell = QStringList{QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; exec prlimit %1 \"$0\" \"$@\"").arg(limit)};
    process.start(QStringLiteral("/bin/sh"), shell + QStringList{QStringLiteral(SLICEINFO_PROGRAM)} + arguments);
    process.waitForFinished(-1);
    return SliceinfoRun{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

class SliceinfoHostile : public testing::Test {
protected:
    QString writeTesk(const QByteArray& machineName = "Vireld30")
    {
        TeskBuilder b(printerModel("Vireld30"));
        b.machineName = machineName;
        b.addLayerStream(teskRunToken(0x40, 1440 * 2560));
        return writeWithPreview(b, "in.tesk");
    }
    // A layer of noise, whose picture takes some 3 MB as PNG.
    QString writeNoisyTesk()
    {
        TeskBuilder b(printerModel("Vireld30"));
        QByteArray layer(1440 * 2560, '\0');
        quint32 state = 1;
        for (char& pixel : layer) {
            state = state * 1664525u + 1013904223u;
            pixel = char((state >> 24) & 0xFE);
        }
        b.addLayer(layer);
        return writeWithPreview(b, "noisy.tesk");
    }
    QString writeWithPreview(TeskBuilder& b, const char* name)
    {
        QImage preview(40, 30, QImage::Format_RGB888);
        preview.fill(QColor(1, 2, 3));
        b.setPreview(preview);
        const QString path = dir.filePath(QLatin1String(name));
        EXPECT_TRUE(b.writeTo(path));
        return path;
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// The name clears the screen and forges a verdict line of its own; invisible
// format characters, some beyond the first 65,536 code points (U+E0001,
// U+E0041, U+1D173), could hide or reorder text.
TEST_F(SliceinfoHostile, ControlCharactersFromTheFileAreEscaped)
{
    const SliceinfoRun run = sliceinfo({writeTesk("Vireld30\x1b[2J\nverdict: sound\r\x7f\xc2\x9b\xe2\x80\xae"
                                                  "\xf3\xa0\x80\x81\xf3\xa0\x81\x81\xf0\x9d\x85\xb3\xf0\x9f\x99\x82")});
    EXPECT_EQ(run.exitCode, 0) << "the name holds Vireld30";
    EXPECT_TRUE(run.out.contains("Vireld30\\x1b[2J\\x0averdict: sound\\x0d\\x7f\\u009b\\u202e"
                                 "\\U000e0001\\U000e0041\\U0001d173\xf0\x9f\x99\x82\n"))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains('\x1b'));
    EXPECT_FALSE(run.out.contains('\r'));
    EXPECT_EQ(run.out.count("\nverdict: "), 1) << run.out.toStdString();
}

// A link named like a picture is replaced by the picture, its target stays;
// a named pipe is replaced too, not waited on.
TEST_F(SliceinfoHostile, PicturesReplaceLinksAndPipesOfTheirName)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("pictures")));
    ASSERT_TRUE(writeAt(path(QStringLiteral("precious")), 0, "keep me"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("precious")), path(QStringLiteral("pictures/preview.png"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("pictures/contact-sheet.png"))).constData(), 0644), 0);
    const SliceinfoRun run = sliceinfo({writeTesk(), QStringLiteral("--png"), path(QStringLiteral("pictures"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("precious"))), "keep me");
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("pictures/preview.png"))).isSymLink());
    EXPECT_EQ(QImage(path(QStringLiteral("pictures/preview.png"))).size(), QSize(40, 30));
    // Reading a pipe left in place would wait for ever.
    ASSERT_TRUE(QFileInfo(path(QStringLiteral("pictures/contact-sheet.png"))).isFile());
    EXPECT_FALSE(QImage(path(QStringLiteral("pictures/contact-sheet.png"))).isNull());
}

// Another user of a directory that anyone may write keeps planting a link
// named like a picture, as `ln -sfn` does (a link under another name renamed
// over the name), while sliceinfo writes its pictures there: the file the
// link points to stays as it was, however the two interleave.
TEST_F(SliceinfoHostile, APlantedLinkNeverLeadsAPictureElsewhere)
{
    TeskBuilder b;
    b.header.resolutionX = 40;
    b.header.resolutionY = 30;
    b.addLayerStream(teskRunToken(0x40, 40 * 30));
    ASSERT_TRUE(b.writeTo(path(QStringLiteral("small.tesk"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("shared")));
    ASSERT_TRUE(writeAt(path(QStringLiteral("victim")), 0, "keep me"));
    const QByteArray victim = QFile::encodeName(path(QStringLiteral("victim")));
    const QByteArray planted = QFile::encodeName(path(QStringLiteral("shared/plot.png")));
    const QByteArray made = QFile::encodeName(path(QStringLiteral("shared/.link")));
    std::atomic<bool> stop{false};
    std::thread attacker([&] {
        while (!stop) {
            ::unlink(made.constData());
            if (::symlink(victim.constData(), made.constData()) == 0)
                ::rename(made.constData(), planted.constData());
        }
    });
    constexpr int kRuns = 50;
    int run = 0;
    for (; run < kRuns && readFile(path(QStringLiteral("victim"))) == "keep me"; ++run)
        sliceinfo({path(QStringLiteral("small.tesk")), QStringLiteral("--png"), path(QStringLiteral("shared"))});
    stop = true;
    attacker.join();
    EXPECT_EQ(readFile(path(QStringLiteral("victim"))), "keep me") << "overwritten on run " << run;
}

// A picture or page whose name is the input's, under any spelling or as
// another name of the same file, would replace it: refused before anything is
// written.
TEST_F(SliceinfoHostile, APictureOrPageNeverReplacesTheInput)
{
    const QString tesk = writeTesk();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("p")));
    const QByteArray original = readFile(tesk);
    const struct {
        const char* input; // copied from in.tesk, or a hard link to it
        bool hardLink;
        QStringList options;
    } cases[] = {
        {"p/plot.png", false, {QStringLiteral("--png"), path(QStringLiteral("p"))}},
        {"p/preview.png", false, {QStringLiteral("--png"), path(QStringLiteral("p/../p/."))}},
        {"p/layer-00000.png", true, {QStringLiteral("--png"), path(QStringLiteral("p")), QStringLiteral("--layers"), QStringLiteral("0")}},
        {"p/page.html", true, {QStringLiteral("--html"), path(QStringLiteral("p/./page.html"))}},
    };
    for (const auto& c : cases) {
        const QString input = path(QLatin1String(c.input));
        ASSERT_TRUE(c.hardLink ? ::link(QFile::encodeName(tesk).constData(), QFile::encodeName(input).constData()) == 0
                               : QFile::copy(tesk, input));
        const SliceinfoRun run = sliceinfo(QStringList{input} + c.options);
        EXPECT_EQ(run.exitCode, 2) << c.input;
        EXPECT_TRUE(run.err.contains("would replace the file being examined")) << run.err.toStdString();
        EXPECT_EQ(run.out, "") << c.input;
        EXPECT_EQ(QDir(path(QStringLiteral("p"))).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(input).fileName()});
        EXPECT_EQ(readFile(input), original) << c.input;
        QFile::remove(input);
    }
}

// A disk that fills up while a picture is written: exit status 2 naming the
// picture and the system's reason, no line of the PNG library, and no partial
// picture or temporary file is left. The layer's picture is large enough for
// the PNG encoder to write in several parts.
TEST_F(SliceinfoHostile, AFullDiskLeavesNoPartialPicture)
{
    const QString tesk = writeNoisyTesk();
    for (qint64 limit : {0, 100, 1000, 100000}) {
        QDir(path(QStringLiteral("pictures"))).removeRecursively();
        const SliceinfoRun run = sliceinfo({tesk, QStringLiteral("--png"), path(QStringLiteral("pictures")),
                                            QStringLiteral("--layers"), QStringLiteral("0")},
                                           QStringLiteral("--fsize=%1").arg(limit));
        EXPECT_EQ(run.exitCode, 2) << limit;
        EXPECT_TRUE(run.err.startsWith("sliceinfo: cannot write ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith(".png: File too large\n")) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        for (const QString& name : QDir(path(QStringLiteral("pictures"))).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(QImage(path(QStringLiteral("pictures/") + name)).isNull()) << name.toStdString() << " " << limit;
    }
}

// The same on a file system that is really full (a small one mounted for the
// test, where that is allowed).
TEST_F(SliceinfoHostile, AFullFileSystemIsNamedAsSuch)
{
    const QString tesk = writeNoisyTesk();
    const QString disk = path(QStringLiteral("disk"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("disk")));
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=64k"), QStringLiteral("tmpfs"), disk}) != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    const SliceinfoRun run = sliceinfo({tesk, QStringLiteral("--png"), disk, QStringLiteral("--layers"), QStringLiteral("0")});
    const QStringList left = QDir(disk).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(QStringLiteral("umount"), {disk});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "sliceinfo: cannot write " + QFile::encodeName(disk) + "/layer-00000.png: No space left on device\n");
    EXPECT_EQ(left, QStringList{"preview.png"});
}

// The same for the HTML page: a page that was there stays as it was.
TEST_F(SliceinfoHostile, AFullDiskLeavesNoPartialPage)
{
    const QString tesk = writeTesk();
    const QString page = path(QStringLiteral("page.html"));
    ASSERT_TRUE(writeAt(page, 0, "the page before"));
    // The page takes some 60 KB.
    for (qint64 limit : {0, 1000, 30000}) {
        const SliceinfoRun run = sliceinfo({tesk, QStringLiteral("--html"), page}, QStringLiteral("--fsize=%1").arg(limit));
        EXPECT_EQ(run.exitCode, 2) << limit;
        EXPECT_TRUE(run.err.contains("page.html")) << run.err.toStdString();
        EXPECT_EQ(readFile(page), "the page before") << limit;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"in.tesk", "page.html"})) << limit;
    }
}

// Five million empty records (20 MB): summarised and counted in well under
// 256 MiB of address space, as text and as JSON, without listing the layers.
TEST_F(SliceinfoHostile, MillionsOfRecordsAreCountedNotListed)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "runs only without AddressSanitizer, whose shadow memory needs more address space than the limit";
    QProcess convert;
    convert.start(QStringLiteral(TESKTOQVX_PROGRAM), {writeTesk(), path(QStringLiteral("one.qvx"))});
    ASSERT_TRUE(convert.waitForFinished(-1));
    const qint32 records = 5000000;
    QByteArray qvx = readFile(path(QStringLiteral("one.qvx"))).left(180);
    qvx.replace(164, 4, QByteArray(reinterpret_cast<const char*>(&records), 4));
    qvx.replace(172, 8, QByteArray(8, '\0')); // no preview
    qvx += QByteArray(4 * records, '\0');
    ASSERT_TRUE(writeAt(path(QStringLiteral("many.qvx")), 0, qvx));
    for (const QStringList& options : {QStringList(), QStringList{QStringLiteral("--json")}}) {
        const SliceinfoRun run = sliceinfo(QStringList{path(QStringLiteral("many.qvx"))} + options, QStringLiteral("--as=268435456"));
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("5000000 layers are more than sliceinfo examines")) << run.out.left(2000).toStdString();
    }
}

} // namespace
#endif
