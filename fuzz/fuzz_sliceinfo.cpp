// sliceinfo's inspection of an arbitrary file, Tesk or qvx (told apart by
// content): the report as text and JSON, the preview, the first and last
// layer pictures and thumbnails, and the height plot.
#include "fuzzsupport.h"
#include "pictures/heightplot.h"
#include "reading/sliceexaminer.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir(fuzzScratchDirectory()).filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    SliceExaminer inspector;
    QString error;
    if (!inspector.inspect(path, SliceExaminer::Detect, &error))
        return 0;
    const SliceReport& report = inspector.report();
    report.toText({0, 1});
    report.toJson();
    inspector.preview();
    if (inspector.layerCount() > 0) {
        for (int j : {0, inspector.layerCount() - 1}) {
            inspector.layerImage(j);
            inspector.layerThumbnail(j, QSize(16, 16));
        }
    }
    HeightPlot::draw(report);
    return 0;
}
