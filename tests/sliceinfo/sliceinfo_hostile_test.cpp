// sliceinfo on files that try to take over the terminal, and on a full disk or
// planted links where it writes its pictures.
#include "teskbuilder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
namespace {

struct SliceinfoRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// sliceinfo as a shell starts it, ignoring SIGXFSZ so that a file-size limit
// shows as a failed write.
SliceinfoRun sliceinfo(const QStringList& arguments, qint64 fileSizeLimit = -1)
{
    QProcess process;
    QStringList shell{QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; exec \"$0\" \"$@\"")};
    if (fileSizeLimit >= 0)
        shell = QStringList{QStringLiteral("-c"),
                            QStringLiteral("trap '' XFSZ; exec prlimit --fsize=%1 \"$0\" \"$@\"").arg(fileSizeLimit)};
    process.start(QStringLiteral("/bin/sh"), shell + QStringList{QStringLiteral(SLICEINFO_PROGRAM)} + arguments);
    process.waitForFinished(-1);
    return SliceinfoRun{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

class SliceinfoHostile : public testing::Test {
protected:
    QString writeTesk(const QByteArray& machineName = "Vireld30")
    {
        TeskBuilder b(TeskModel::Vireld30);
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

// A link named like a picture is replaced by the picture; its target stays.
TEST_F(SliceinfoHostile, PicturesReplaceLinksOfTheirName)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("pictures")));
    ASSERT_TRUE(writeAt(path(QStringLiteral("precious")), 0, "keep me"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("precious")), path(QStringLiteral("pictures/preview.png"))));
    const SliceinfoRun run = sliceinfo({writeTesk(), QStringLiteral("--png"), path(QStringLiteral("pictures"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("precious"))), "keep me");
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("pictures/preview.png"))).isSymLink());
    EXPECT_EQ(QImage(path(QStringLiteral("pictures/preview.png"))).size(), QSize(40, 30));
}

// A disk that fills up while a picture is written: exit status 2 naming the
// picture, and no partial picture or temporary file is left.
TEST_F(SliceinfoHostile, AFullDiskLeavesNoPartialPicture)
{
    const QString tesk = writeTesk();
    for (qint64 limit : {0, 100, 4096}) {
        QDir(path(QStringLiteral("pictures"))).removeRecursively();
        const SliceinfoRun run = sliceinfo({tesk, QStringLiteral("--png"), path(QStringLiteral("pictures"))}, limit);
        EXPECT_EQ(run.exitCode, 2) << limit;
        EXPECT_TRUE(run.err.contains(".png")) << run.err.toStdString();
        for (const QString& name : QDir(path(QStringLiteral("pictures"))).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(QImage(path(QStringLiteral("pictures/") + name)).isNull()) << name.toStdString() << " " << limit;
    }
}

} // namespace
#endif
