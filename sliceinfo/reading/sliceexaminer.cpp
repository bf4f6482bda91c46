#include "sliceexaminer.h"

#include "analysis/printfigures.h"
#include "analysis/printwarnings.h"
#include "common/inputfile.h"
#include "format/failure.h"
#include "format/qvxformat.h"
#include "qvxexaminer.h"
#include "teskexaminer.h"


namespace {

// Peeked, so that the examiner reads the file from its start.
SliceExaminer::Format detect(QFile& file)
{
    return file.peek(qvx::kMagicSize) == QByteArray(qvx::kMagic) ? SliceExaminer::Qvx : SliceExaminer::Tesk;
}

} // namespace

SliceExaminer::SliceExaminer(std::unique_ptr<QFile> input, const QString& path)
    : input(std::move(input))
    , path(path)
{
}

std::unique_ptr<SliceExaminer> SliceExaminer::open(const QString& path, Format format, QString* error)
{
    if (!QFile::exists(path)) {
        fail(error, QStringLiteral("%1 does not exist").arg(path));
        return nullptr;
    }
    auto file = std::make_unique<QFile>(path);
    if (!openInputFile(*file, QIODevice::ReadOnly, error))
        return nullptr;
    std::unique_ptr<SliceExaminer> examiner;
    if ((format == Detect ? detect(*file) : format) == Qvx)
        examiner = std::make_unique<QvxExaminer>(std::move(file), path);
    else
        examiner = std::make_unique<TeskExaminer>(std::move(file), path);
    if (!examiner->inspect(error))
        return nullptr;
    return examiner;
}

bool SliceExaminer::openInput(QString* error)
{
    return input->isOpen() || openInputFile(*input, QIODevice::ReadOnly, error);
}

void SliceExaminer::addPrintFigures(const PrintSettings& settings)
{
    sliceReport.print = settings;
    PrintFigures(sliceReport).addTo(sliceReport);
    sliceReport.warnings.append(PrintWarnings::find(sliceReport));
}
