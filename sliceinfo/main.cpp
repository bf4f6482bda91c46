// sliceinfo: shows what a Tesk or qvx slice file holds, checks it, and draws
// its preview and layers as PNG files.

#include "common/processguard.h"
#include "pictures/contactsheet.h"
#include "pictures/heightplot.h"
#include "pictures/layerpictures.h"
#include "reading/sliceexaminer.h"
#include "report/htmlpage.h"
#include "report/layerselection.h"
#include "format/failure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <iostream>
#include <new>

namespace {

enum ExitStatus { Sound = 0, ProblemsFound = 1, CannotRun = 2, SoundWithWarnings = 3 };

constexpr int kSheetTiles = 20;
constexpr int kSheetTileWidth = 160;

const char kHelp[] = R"(Usage: sliceinfo [options] FILE

Shows what a Tesk or qvx slice file holds, checks it, and tells what the print
will take and how it may fail. The format is told by content: a file that
starts with the qvx magic is qvx, any other is Tesk.

Summary: printer model, resolution, plate size, layer count, every print
parameter with its unit, preview size, statistics of the layers (encoded
size, share of lit pixels, where the lit pixels lie), and the print figures:
  print height     layers x layer height, beside the printer's build height
  resin volume     the lit area of every layer times the layer height, a pixel
                   counting by its exposure: a Tesk grey g as g / 254 of the
                   pixel, a qvx class k as k / 15
  exposure time    bottom layers x bottom exposure + the other layers x
                   exposure + every layer's light-off delay; the plate's moves
                   take more, but the file does not say how long
The layer table gives each layer's lit area in mm2, counted the same way.

Checks: for Tesk, that every block lies inside the file, that every layer
stream fills its bitmap exactly, and whether tesktoqvx would accept the file
(if not, which check fails, with the expected and the found value); for qvx,
the magic and fixed fields, the records against the layer count, the runs of
every record against the printer's grid, and trailing or missing bytes.

Warnings, each naming its layers: empty layers at the top (the print stops
early), at the bottom (it starts above the plate) or between lit ones (what is
above hangs on nothing), no lit layer at all, a print taller than the printer's
build height, for Tesk, layers whose data the file does not hold in full, and
islands, with the largest few: their layer, area and place in mm.

Islands: a pixel is lit when its grey is not 0 (Tesk) or its class is not 0
(qvx); a region is a set of lit pixels connected through their 8 neighbours
within one layer; a region of a layer n > 0 is an island when none of its
pixels is lit at the same position in layer n - 1 (layer 0 rests on the
plate). An island cures onto the screen's film or floats away instead of onto
the part. Each file is judged on its own grid: a qvx for model 10 on the
printer's grid, half the slicer's. The JSON lists every island as {"layer",
"pixels", "areaMm2", "box": [x0, y0, x1, y1]}, the box in pixels of that grid.

Options:
  --json           print the summary, the checks and the warnings as JSON
  --png DIR        write preview.png, contact-sheet.png (20 evenly spaced
                   layers, labelled with their numbers and heights in mm) and
                   plot.png (the lit area of each layer against the height,
                   with the bottom layers, the build height and the layers with
                   warnings marked) into DIR, creating it if needed; layers
                   with islands have red labels and frames on the sheet; other
                   files in DIR are left alone
  --layers LIST    the layers to list in the table and in the JSON, and to
                   draw as layer-NNNNN.png with --png (islands in red),
                   counting from 0, e.g. 10-20,35, or all
  --html FILE      write FILE, one HTML page with the summary, the checks, the
                   warnings (each layer they name a link to it), the plot and
                   every layer in a viewer (see below); written whole or not
                   at all
  --format F       read the file as F (tesk or qvx) instead of telling by content
  -h, --help       show this help
  --version        show the version

Layers are drawn as 8-bit grey pictures: a Tesk layer with its own grey values
(0 to 254), a qvx layer from its 16 grey classes, class k as grey 17 * k (class
0 black, class 15 white).

The HTML page holds everything it shows and fetches nothing: open it from the
disk in any current browser (FILE.html#layer=N opens at layer N). Its viewer
shows every layer at full resolution, drawn as layer-NNNNN.png draws it, with
its number, the height of its top in mm and its lit area: the slider, the
arrow keys, Page Up/Down (ten layers), Home and End step; the wheel zooms,
dragging pans, 0 fits the layer, 1 shows it 1:1 (a screen pixel a layer pixel,
never smoothed from 1:1 on); the islands are drawn in red, and can be switched
off; a click on the plot opens the layer at that height. The layers travel in
the page as compressed runs; when they take more than 256 MiB in the file, the
page holds the layers a warning names and evenly spaced ones, and says so.

Exit status:
  0  the file is sound: every check passed and there is no warning
  1  the file was read and at least one check failed
  2  wrong usage, a file that cannot be read, or a PNG or page that cannot be
     written
  3  the file is sound, with warnings

Examples:
  sliceinfo print.tesk
  sliceinfo print.qvx --json
  sliceinfo print.tesk --png pictures --layers 10-20,35
  sliceinfo print.qvx --html print.html
)";

struct Options {
    bool help = false;
    bool version = false;
    QString path;
    bool json = false;
    QString pngDir;
    QString htmlPath;
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
    const QCommandLineOption html(QStringLiteral("html"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption layers(QStringLiteral("layers"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({json, png, html, layers, format, helpOption, versionOption});
    if (!parser.parse(arguments))
        return fail(error, parser.errorText());
    options->help = parser.isSet(helpOption);
    options->version = parser.isSet(versionOption);
    if (options->help || options->version)
        return true;
    if (parser.positionalArguments().size() != 1)
        return fail(error, QStringLiteral("give exactly one file"));
    const QString f = parser.value(format);
    if (parser.isSet(format) && f != QLatin1String("tesk") && f != QLatin1String("qvx"))
        return fail(error, QStringLiteral("--format takes tesk or qvx"));
    options->path = parser.positionalArguments().first();
    options->json = parser.isSet(json);
    options->pngDir = parser.value(png);
    options->htmlPath = parser.value(html);
    options->layers = parser.value(layers);
    options->format = !parser.isSet(format) ? SliceExaminer::Detect
                      : f == QLatin1String("qvx") ? SliceExaminer::Qvx
                                                  : SliceExaminer::Tesk;
    return true;
}

// Through a temporary file and a rename, so that a full disk leaves no partial
// picture. A symbolic link of the picture's name is replaced, not followed.
bool writePng(const QImage& image, const QString& path, QString* error)
{
    if (image.isNull())
        return fail(error, QStringLiteral("cannot draw %1: out of memory").arg(path));
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    // A failed final flush would not stop commit() from putting a cut picture in place.
    if (file.open(QIODevice::WriteOnly) && writer.write(image) && file.flush() && file.commit())
        return true;
    const QString reason = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
    file.cancelWriting();
    file.commit(); // discards the temporary file
    *error = QStringLiteral("cannot write %1: %2").arg(path, reason);
    return false;
}

bool writeLayerPictures(SliceExaminer& examiner, const QDir& dir, const QVector<int>& layers, QString* error)
{
    for (int j : layers) {
        const QImage layer = LayerPictures(examiner).picture(j);
        const QString name = QStringLiteral("layer-%1.png").arg(j, 5, 10, QLatin1Char('0'));
        if (!layer.isNull() && !writePng(layer, dir.filePath(name), error))
            return false;
    }
    return true;
}

bool writePictures(SliceExaminer& examiner, const QString& dirPath, const QVector<int>& layers, QString* error)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(error, QStringLiteral("cannot create the directory %1").arg(dirPath));
    const QImage preview = examiner.preview();
    if (!preview.isNull() && !writePng(preview, dir.filePath(QStringLiteral("preview.png")), error))
        return false;
    if (!writeLayerPictures(examiner, dir, layers, error))
        return false;
    const SliceReport& report = examiner.report();
    const QSize thumbnail = ContactSheet::thumbnailSize(examiner.layerSize(), kSheetTileWidth);
    const QVector<int> sheetLayers = ContactSheet::pickLayers(examiner.layerCount(), kSheetTiles);
    LayerPictures pictures(examiner);
    const QImage sheet = ContactSheet::build(sheetLayers, [&](int j) { return pictures.thumbnail(j, thumbnail); },
                                             kSheetTileWidth, report.print.layerHeightMm, report.islands.layers);
    if (!sheetLayers.isEmpty() && !writePng(sheet, dir.filePath(QStringLiteral("contact-sheet.png")), error))
        return false;
    return writePng(HeightPlot::draw(report), dir.filePath(QStringLiteral("plot.png")), error);
}

// Through a temporary file beside it and a rename, so that a full disk leaves
// no partial page.
bool writePage(const QByteArray& page, const QString& path, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(page) == page.size() && file.flush() && file.commit())
        return true;
    const QString reason = file.errorString();
    file.cancelWriting();
    file.commit(); // discards the temporary file
    return fail(error, QStringLiteral("cannot write %1: %2").arg(path, reason));
}

bool writeHtml(SliceExaminer& examiner, const QString& path, QString* error)
{
    return writePage(HtmlPage(examiner).build(), path, error);
}

int run(const Options& options)
{
    QString error;
    const std::unique_ptr<SliceExaminer> examiner = SliceExaminer::open(options.path, options.format, &error);
    if (!examiner)
        return failure(error);
    QVector<int> layers;
    if (!options.layers.isEmpty() && !LayerSelection::parse(options.layers, examiner->layerCount(), &layers, &error))
        return usageError(error);
    const SliceReport& report = examiner->report();
    if (options.json)
        std::cout << (options.layers.isEmpty() ? report.toJson() : report.toJson(layers)).toStdString() << std::flush;
    else
        printText(std::cout, report.toText(layers));
    if (!options.pngDir.isEmpty() && !writePictures(*examiner, options.pngDir, layers, &error))
        return failure(error);
    if (!options.htmlPath.isEmpty() && !writeHtml(*examiner, options.htmlPath, &error))
        return failure(error);
    if (!report.sound())
        return ProblemsFound;
    return report.warnings.isEmpty() ? Sound : SoundWithWarnings;
}

// True when every argument names what its bytes name: a byte that the local
// encoding cannot decode would turn a path into another one.
bool argumentsDecode(int argc, char* argv[])
{
#ifdef Q_OS_UNIX
    for (int i = 1; i < argc; ++i) {
        if (!decodeLocalName(argv[i]).faithful)
            return false;
    }
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    openClosedStandardStreams();
    // The application object only supplies the command line, in full Unicode on Windows.
    QCoreApplication app(argc, argv);
    if (!argumentsDecode(argc, argv))
        return usageError(QStringLiteral("an argument is not valid text in the local encoding"));
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
    try {
        return run(options);
    } catch (const std::bad_alloc&) {
        return failure(QStringLiteral("out of memory"));
    }
}
