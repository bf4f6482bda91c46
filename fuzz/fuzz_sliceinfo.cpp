// sliceinfo's inspection of an arbitrary file, Tesk or qvx (told apart by
// content): the report as text and JSON, the preview, the first and last
// layer pictures and thumbnails, and the height plot.
#include "fuzzsupport.h"
#include "pictures/heightplot.h"
#include "pictures/layerpictures.h"
#include "reading/sliceexaminer.h"

#include <QDir>
#include <QFile>

#include <memory>

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

    QString error;
    const std::unique_ptr<SliceExaminer> examiner = SliceExaminer::open(path, SliceExaminer::Detect, &error);
    if (!examiner)
        return 0;
    const SliceReport& report = examiner->report();
    report.toText({0, 1});
    report.toJson();
    examiner->preview();
    LayerPictures pictures(*examiner);
    pictures.followDarkSpace({0, examiner->layerCount() - 1});
    for (int j : {0, examiner->layerCount() - 1}) {
        if (j >= 0) {
            pictures.picture(j);
            pictures.thumbnail(j, QSize(16, 16));
        }
    }
    HeightPlot::draw(report);
    return 0;
}
