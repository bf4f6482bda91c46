// sliceinfo: shows what a Tesk or qvx slice file holds, checks it, and draws
// its preview and layers as PNG files.

#include "common/processguard.h"
#include "format/bounds.h"
#include "pictures/contactsheet.h"
#include "pictures/heightplot.h"
#include "pictures/layerpictures.h"
#include "report/reportfile.h"
#include "reading/sliceexaminer.h"
#include "report/htmlpage.h"
#include "report/layerselection.h"
#include "format/failure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <iostream>
#include <new>

namespace {

enum ExitStatus { Sound = 0, ProblemsFound = 1, CannotRun = 2, SoundWithWarnings = 3 };

constexpr int kSheetTiles = 20;
constexpr int kSheetTileWidth = 160;

const char kHelp[] = R"(Usage: sliceinfo [options] FILE

Shows what a Tesk or qvx slice file holds, checks it, and tells what the print
will take and how it may fail. The format is told by content: a file that
starts with the qvx magic is qvx, any other is Tesk. FILE must be a regular
file (a link to one, or standard input redirected from one, will do): a pipe,
a FIFO or a device is refused at once (exit status 2), as the file is read at
the places its tables point to.

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
above hangs on nothing), no layers or no lit layer at all, a print taller than
the printer's build height, for Tesk, layers whose data the file does not hold
in full, islands, with the largest few: their layer, area and place in mm, and
resin traps and suction cups, with the largest few: their layers, volume or
face area, and place in mm. A layer height or exposure time (bottom exposure,
light-off delay) that no printer can use (zero, negative, not a number,
infinite or beyond any printer) is a warning of its own, and the figures
resting on it are "not known".

Islands: a pixel is lit when its grey is not 0 (Tesk) or its class is not 0
(qvx); a region is a set of lit pixels connected through their 8 neighbours
within one layer; a region of a layer n > 0 is an island when none of its
pixels is lit at the same position in layer n - 1 (layer 0 rests on the
plate). An island cures onto the screen's film or floats away instead of onto
the part. Each file is judged on its own grid: a qvx for model 10 on the
printer's grid, half the slicer's. The JSON lists every island as {"layer",
"pixels", "areaMm2", "box": [x0, y0, x1, y1]}, the box in pixels of that grid.

Traps and cups: a dark pixel is one that is not lit; dark pixels connect
through their 4 neighbours within a layer (so a wall whose lit pixels meet at
a corner still seals) and through the same place in the layers before and
after. A resin trap is a connected dark space of the whole print with no pixel
on the picture's border, in layer 0 (on the plate) or in the last layer: a
sealed hollow that keeps liquid resin in the part. At layer n, a connected
dark space of layers 0 to n alone with pixels in layer n and none on the border
is a face sealed by the film while layer n is cured and peeled; faces at n and
n + 1 belong to one suction cup when the space at n + 1 holds the one at n. A
trap of 1 mm3 or more, and a cup whose largest face has 1 mm2 or more and that
is sealed through 0.5 mm or more, are warned of (kinds "traps" and "cups");
smaller ones are counted. The JSON lists every trap as {"firstLayer",
"lastLayer", "pixels", "volumeMl", "box"} in "traps", and every cup as
{"firstLayer", "lastLayer", "maxFacePixels", "maxFaceMm2", "box"} in "cups"
(the first 100,000 of each; "trapCount" and "cupCount" count them all).

Options:
  --json           print the summary, the checks and the warnings as JSON
  --png DIR        write preview.png, contact-sheet.png (20 evenly spaced
                   layers, labelled with their numbers and heights in mm) and
                   plot.png (the lit area of each layer against the height,
                   with the bottom layers, the build height and the layers with
                   warnings marked, and a cyan strip under the layers that
                   seal a suction cup) into DIR, creating it if needed; layers
                   with islands have red labels and frames on the sheet, layers
                   with traps or cups cyan frames; other files in DIR are left
                   alone; a link or pipe with a picture's name is replaced,
                   never followed, and a picture that would replace FILE is
                   refused
  --layers LIST    the layers to list in the table and in the JSON, and to
                   draw as layer-NNNNN.png with --png (islands red, trapped
                   dark pixels orange, the other sealed faces cyan), counting
                   from 0, e.g. 10-20,35, or all
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
  2  wrong usage, a file that cannot be read or is not a regular file, a PNG
     or page that cannot be written, a PNG or page that would replace FILE,
     or a layer too large to draw (over 64 Mi pixels)
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
    // An empty value would otherwise read as the option not given.
    if (parser.isSet(png) && parser.value(png).isEmpty())
        return fail(error, QStringLiteral("--png needs a directory"));
    if (parser.isSet(html) && parser.value(html).isEmpty())
        return fail(error, QStringLiteral("--html needs a file name"));
    if (parser.isSet(layers) && parser.value(layers).isEmpty())
        return fail(error, QStringLiteral("--layers needs a list of layers, e.g. 10-20,35, or all"));
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

QString layerPictureName(int layer)
{
    return QStringLiteral("layer-%1.png").arg(layer, 5, 10, QLatin1Char('0'));
}

// The file among those that --png and --html may write that would replace the
// input file, or nothing.
QString outputOverInput(const Options& options, const QVector<int>& layers)
{
    QStringList paths;
    if (!options.pngDir.isEmpty()) {
        const QDir dir(options.pngDir);
        paths << dir.filePath(QStringLiteral("preview.png")) << dir.filePath(QStringLiteral("contact-sheet.png"))
              << dir.filePath(QStringLiteral("plot.png"));
        for (int j : layers)
            paths << dir.filePath(layerPictureName(j));
    }
    if (!options.htmlPath.isEmpty())
        paths << options.htmlPath;
    for (const QString& path : paths) {
        if (ReportFile::wouldReplace(path, options.path))
            return path;
    }
    return QString();
}

// Why a layer that was asked for has no picture.
QString unDrawnReason(const SliceExaminer& examiner)
{
    const QSize grid = examiner.layerSize();
    const qint64 pixels = qint64(grid.width()) * grid.height();
    if (pixels > bounds::kMaxLayerPixels)
        return QStringLiteral("the file's layers have %1 pixels, more than the %2 that sliceinfo draws")
            .arg(pixels)
            .arg(bounds::kMaxLayerPixels);
    return QStringLiteral("the layer could not be read or drawn");
}

// A layer that cannot be drawn is named in `notDrawn`, and the others are
// written still.
bool writeLayerPictures(SliceExaminer& examiner, const QDir& dir, const QVector<int>& layers, QStringList* notDrawn,
                        QString* error)
{
    LayerPictures pictures(examiner);
    pictures.followDarkSpace(layers);
    for (int j : layers) {
        const QImage layer = pictures.picture(j);
        const QString path = dir.filePath(layerPictureName(j));
        if (layer.isNull())
            *notDrawn << QStringLiteral("%1 not written: %2").arg(path, unDrawnReason(examiner));
        else if (!ReportFile::writePng(layer, path, error))
            return false;
    }
    return true;
}

// The layers with traps or cups worth a warning, in order.
QVector<int> darkSpaceLayers(const DarkSpaceSummary& found)
{
    QVector<int> layers = found.trapLayers() + found.cupLayers();
    std::sort(layers.begin(), layers.end());
    layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
    return layers;
}

bool writePictures(SliceExaminer& examiner, const QString& dirPath, const QVector<int>& layers, QStringList* notDrawn,
                   QString* error)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(error, QStringLiteral("cannot create the directory %1").arg(dirPath));
    const QImage preview = examiner.preview();
    if (!preview.isNull() && !ReportFile::writePng(preview, dir.filePath(QStringLiteral("preview.png")), error))
        return false;
    if (!writeLayerPictures(examiner, dir, layers, notDrawn, error))
        return false;
    const SliceReport& report = examiner.report();
    const QSize thumbnail = ContactSheet::thumbnailSize(examiner.layerSize(), kSheetTileWidth);
    const QVector<int> sheetLayers = ContactSheet::pickLayers(examiner.layerCount(), kSheetTiles);
    LayerPictures pictures(examiner);
    const QImage sheet = ContactSheet::build(sheetLayers, [&](int j) { return pictures.thumbnail(j, thumbnail); },
                                             kSheetTileWidth, report.print.layerHeightMm, report.islands.layers,
                                             darkSpaceLayers(report.darkSpace));
    if (!sheetLayers.isEmpty() && !ReportFile::writePng(sheet, dir.filePath(QStringLiteral("contact-sheet.png")), error))
        return false;
    return ReportFile::writePng(HeightPlot::draw(report), dir.filePath(QStringLiteral("plot.png")), error);
}

bool writeHtml(SliceExaminer& examiner, const QString& path, QString* error)
{
    return ReportFile::write(HtmlPage(examiner).build(), path, error);
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
    const QString over = outputOverInput(options, layers);
    if (!over.isEmpty())
        return failure(QStringLiteral("%1 would replace the file being examined").arg(over));
    const SliceReport& report = examiner->report();
    if (options.json)
        std::cout << (options.layers.isEmpty() ? report.toJson() : report.toJson(layers)).toStdString() << std::flush;
    else
        printText(std::cout, report.toText(layers));
    QStringList notDrawn;
    if (!options.pngDir.isEmpty() && !writePictures(*examiner, options.pngDir, layers, &notDrawn, &error))
        return failure(error);
    if (!options.htmlPath.isEmpty() && !writeHtml(*examiner, options.htmlPath, &error))
        return failure(error);
    for (const QString& picture : notDrawn)
        failure(picture);
    if (!notDrawn.isEmpty())
        return CannotRun;
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
    // sliceinfo says what failed itself; Qt's own warnings (the PNG library's
    // among them) would only repeat it.
    dropQtMessages();
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
