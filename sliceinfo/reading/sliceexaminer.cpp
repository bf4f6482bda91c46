#include "sliceexaminer.h"

#include "analysis/printfigures.h"
#include "analysis/printwarnings.h"
#include "format/failure.h"
#include "format/qvxformat.h"
#include "qvxexaminer.h"
#include "teskexaminer.h"

#include <QFile>

namespace {

SliceExaminer::Format detect(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.read(qvx::kMagicSize) == QByteArray(qvx::kMagic))
        return SliceExaminer::Qvx;
    return SliceExaminer::Tesk;
}

} // namespace

std::unique_ptr<SliceExaminer> SliceExaminer::open(const QString& path, Format format, QString* error)
{
    if (!QFile::exists(path)) {
        fail(error, QStringLiteral("%1 does not exist").arg(path));
        return nullptr;
    }
    std::unique_ptr<SliceExaminer> examiner;
    if ((format == Detect ? detect(path) : format) == Qvx)
        examiner = std::make_unique<QvxExaminer>(path);
    else
        examiner = std::make_unique<TeskExaminer>(path);
    if (!examiner->inspect(error))
        return nullptr;
    return examiner;
}

void SliceExaminer::addPrintFigures(const PrintSettings& settings)
{
    sliceReport.print = settings;
    PrintFigures(sliceReport).addTo(sliceReport);
    sliceReport.warnings.append(PrintWarnings::find(sliceReport));
}
