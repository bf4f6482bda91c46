// sliceinfo's inspection of an arbitrary file, Tesk or qvx (told apart by
// content): the report, the preview and the first and last layer pictures.
#include "fuzzsupport.h"
#include "sliceexaminer.h"

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
    inspector.report();
    inspector.preview();
    if (inspector.layerCount() > 0) {
        inspector.layerImage(0);
        inspector.layerImage(inspector.layerCount() - 1);
    }
    return 0;
}
