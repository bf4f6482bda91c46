#include "conversion.h"

#include "tesktoqvx.h"

#include <QFile>
#include <QTemporaryDir>

Conversion convertFile(const QString& inputPath)
{
    QTemporaryDir dir;
    const QString outputPath = dir.filePath(QStringLiteral("out.qvx"));
    Conversion c;
    {
        CoutCapture capture;
        TeskToQvx driver(inputPath, outputPath);
        c.result = driver.process();
        c.printed = capture.text();
    }
    QFile output(outputPath);
    c.outputExists = output.exists();
    if (output.open(QIODevice::ReadOnly))
        c.output = output.readAll();
    return c;
}

Conversion convertBytes(const QByteArray& tesk)
{
    QTemporaryDir dir;
    const QString inputPath = dir.filePath(QStringLiteral("in.tesk"));
    QFile input(inputPath);
    if (!input.open(QIODevice::WriteOnly) || input.write(tesk) != tesk.size())
        return Conversion{-100, "cannot write the test input", false, {}};
    input.close();
    return convertFile(inputPath);
}

std::string progressLines(std::initializer_list<int> intermediate)
{
    std::string lines = "progress:0\nprogress:1\n";
    for (int value : intermediate)
        lines += "progress:" + std::to_string(value) + "\n";
    return lines + "progress:100\ninfo:done.\nprogress:0\n";
}
