// sliceinfo: shows what a Tesk or qvx slice file holds, checks it, and draws
// its preview and layers as PNG files.

#include "contactsheet.h"
#include "layerselection.h"
#include "sliceexaminer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>

#include <iostream>

namespace {

enum ExitStatus { Sound = 0, ProblemsFound = 1, CannotRun = 2 };

constexpr int kSheetTiles = 20;

const char kHelp[] = R"(Usage: sliceinfo [options] FILE

Shows what a Tesk or qvx slice file holds and checks it. The format is told
by content: a file that starts with the qvx magic is qvx, any other is Tesk.

Summary: printer model, resolution, plate size, layer count, every print
parameter with its unit, preview size, and statistics of the layers (encoded
size, share of lit pixels, where the lit pixels lie).

Checks: for Tesk, that every block lies inside the file, that every layer
stream fills its bitmap exactly, and whether tesktoqvx would accept the file
(if not, which check fails, with the expected and the found value); for qvx,
the magic and fixed fields, the records against the layer count, the runs of
every record against the printer's grid, and trailing or missing bytes.

Options:
  --json           print the summary and the checks as JSON
  --png DIR        write preview.png, layer-NNNNN.png for the chosen layers and
                   contact-sheet.png (20 evenly spaced layers, labelled with
                   their numbers) into DIR, creating it if needed
  --layers LIST    the layers to draw and to list in the table, counting from
                   0, e.g. 10-20,35 (default with --png: all layers)
  --format F       read the file as F (tesk or qvx) instead of telling by content
  -h, --help       show this help
  --version        show the version

Layers are drawn as 8-bit grey pictures: a Tesk layer with its own grey values
(0 to 254), a qvx layer from its 16 grey classes, class k as grey 16 * k + 15.

Exit status:
  0  the file is sound: every check passed
  1  the file was read and at least one check failed
  2  wrong usage, a file that cannot be read, or a PNG that cannot be written

Examples:
  sliceinfo print.tesk
  sliceinfo print.qvx --json
  sliceinfo print.tesk --png pictures --layers 10-20,35
)";

struct Options {
    bool help = false;
    bool version = false;
    QString path;
    bool json = false;
    QString pngDir;
    QString layers;
    SliceExaminer::Format format = SliceExaminer::Detect;
};

void printText(std::ostream& out, const QString& text)
{
    out << text.toStdString() << std::flush;
}

int failure(const QString& message)
{
    printText(std::cerr, QStringLiteral("sliceinfo: %1\n").arg(message));
    return CannotRun;
}

int usageError(const QString& message)
{
    printText(std::cerr, QStringLiteral("sliceinfo: %1\nTry 'sliceinfo --help'.\n").arg(message));
    return CannotRun;
}

// Fills `options`; false with `error` set when the command line is wrong.
bool parseOptions(const QStringList& arguments, Options* options, QString* error)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption png(QStringLiteral("png"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption layers(QStringLiteral("layers"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({json, png, layers, format, helpOption, versionOption});
    if (!parser.parse(arguments))
        return *error = parser.errorText(), false;
    options->help = parser.isSet(helpOption);
    options->version = parser.isSet(versionOption);
    if (options->help || options->version)
        return true;
    if (parser.positionalArguments().size() != 1)
        return *error = QStringLiteral("give exactly one file"), false;
    const QString f = parser.value(format);
    if (parser.isSet(format) && f != QLatin1String("tesk") && f != QLatin1String("qvx"))
        return *error = QStringLiteral("--format takes tesk or qvx"), false;
    options->path = parser.positionalArguments().first();
    options->json = parser.isSet(json);
    options->pngDir = parser.value(png);
    options->layers = parser.value(layers);
    options->format = !parser.isSet(format) ? SliceExaminer::Detect
                      : f == QLatin1String("qvx") ? SliceExaminer::Qvx
                                                  : SliceExaminer::Tesk;
    return true;
}

bool writePng(const QImage& image, const QString& path, QString* error)
{
    QImageWriter writer(path, "png");
    if (writer.write(image))
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, writer.errorString());
    return false;
}

bool writePictures(SliceExaminer& inspector, const QString& dirPath, const QVector<int>& layers, QString* error)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral(".")))
        return *error = QStringLiteral("cannot create the directory %1").arg(dirPath), false;
    const QImage preview = inspector.preview();
    if (!preview.isNull() && !writePng(preview, dir.filePath(QStringLiteral("preview.png")), error))
        return false;
    for (int j : layers) {
        const QImage layer = inspector.layerImage(j);
        const QString name = QStringLiteral("layer-%1.png").arg(j, 5, 10, QLatin1Char('0'));
        if (!layer.isNull() && !writePng(layer, dir.filePath(name), error))
            return false;
    }
    const QImage sheet = ContactSheet::build(ContactSheet::pickLayers(inspector.layerCount(), kSheetTiles),
                                             [&inspector](int j) { return inspector.layerImage(j); });
    return sheet.isNull() || writePng(sheet, dir.filePath(QStringLiteral("contact-sheet.png")), error);
}

QVector<int> allLayers(int count)
{
    QVector<int> layers(count);
    for (int j = 0; j < count; ++j)
        layers[j] = j;
    return layers;
}

int run(const Options& options)
{
    SliceExaminer inspector;
    QString error;
    if (!inspector.inspect(options.path, options.format, &error))
        return failure(error);
    QVector<int> layers;
    if (!options.layers.isEmpty() && !LayerSelection::parse(options.layers, inspector.layerCount(), &layers, &error))
        return usageError(error);
    const SliceReport& report = inspector.report();
    if (options.json)
        std::cout << report.toJson().toStdString() << std::flush;
    else
        printText(std::cout, report.toText(layers));
    if (!options.pngDir.isEmpty()) {
        const QVector<int> drawn = options.layers.isEmpty() ? allLayers(inspector.layerCount()) : layers;
        if (!writePictures(inspector, options.pngDir, drawn, &error))
            return failure(error);
    }
    return report.sound() ? Sound : ProblemsFound;
}

} // namespace

int main(int argc, char* argv[])
{
    // The application object only supplies the command line, in full Unicode on Windows.
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!parseOptions(QCoreApplication::arguments(), &options, &error))
        return usageError(error);
    if (options.help) {
        std::cout << kHelp << std::flush;
        return Sound;
    }
    if (options.version) {
        std::cout << "sliceinfo " TESKTOQVX_VERSION "\n" << std::flush;
        return Sound;
    }
    return run(options);
}
