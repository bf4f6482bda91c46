#include "examinedreports.h"

#include "conversion.h"
#include "reading/qvxexaminer.h"
#include "reading/teskexaminer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

SliceReport teskReport(const QByteArray& tesk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.tesk"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(tesk) == tesk.size());
    file.close();
    TeskExaminer examiner(path);
    QString error;
    EXPECT_TRUE(examiner.inspect(&error)) << error.toStdString();
    return examiner.report();
}

SliceReport qvxReport(const QByteArray& tesk)
{
    const Conversion converted = convertBytes(tesk);
    EXPECT_EQ(converted.result, 0) << converted.printed;
    QvxExaminer examiner(QStringLiteral("out.qvx"));
    examiner.inspectBytes(converted.output);
    return examiner.report();
}
