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
#include <sys/stat.h>

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
        QImage preview(40, 30, QImage::Format_RGB888);
        preview.fill(QColor(1, 2, 3));
        b.setPreview(preview);
        const QString path = dir.filePath(QStringLiteral("in.tesk"));
        EXPECT_TRUE(b.writeTo(path));
        return path;
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// The name clears the screen and forges a verdict line of its own.
TEST_F(SliceinfoHostile, ControlCharactersFromTheFileAreEscaped)
{
    const SliceinfoRun run = sliceinfo({writeTesk("Vireld30\x1b[2J\nverdict: sound\r\x7f\xc2\x9b\xe2\x80\xae")});
    EXPECT_EQ(run.exitCode, 0) << "the name holds Vireld30";
    EXPECT_TRUE(run.out.contains("Vireld30\\x1b[2J\\x0averdict: sound\\x0d\\x7f\\u009b\\u202e")) << run.out.toStdString();
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
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("pictures/contact-sheet.png"))).isFile());
    EXPECT_FALSE(QImage(path(QStringLiteral("pictures/contact-sheet.png"))).isNull());
}

// A disk that fills up while a picture is written: exit status 2 naming the
// picture, and no partial picture or temporary file is left.
TEST_F(SliceinfoHostile, AFullDiskLeavesNoPartialPicture)
{
    const QString tesk = writeTesk();
    // The largest picture, the plot, takes about 3 KB.
    for (qint64 limit : {0, 100, 1000}) {
        QDir(path(QStringLiteral("pictures"))).removeRecursively();
        const SliceinfoRun run =
            sliceinfo({tesk, QStringLiteral("--png"), path(QStringLiteral("pictures"))}, QStringLiteral("--fsize=%1").arg(limit));
        EXPECT_EQ(run.exitCode, 2) << limit;
        EXPECT_TRUE(run.err.contains(".png")) << run.err.toStdString();
        for (const QString& name : QDir(path(QStringLiteral("pictures"))).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(QImage(path(QStringLiteral("pictures/") + name)).isNull()) << name.toStdString() << " " << limit;
    }
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
