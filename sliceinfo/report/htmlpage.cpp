#include "htmlpage.h"

#include "pagetemplate.h"
#include "reading/sliceexaminer.h"
#include "report/darkspaceoverlay.h"
#include "report/islandoverlay.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

// JSON inside a script element: '<' only occurs in its strings, where \u003c
// means the same and cannot close the element.
QByteArray jsonElement(const char* id, const QJsonObject& object)
{
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    json.replace('<', "\\u003c");
    return QByteArrayLiteral("<script type=\"application/json\" id=\"") + id + "\">" + json + "</script>\n";
}

QByteArray textElement(const QByteArray& id, const QByteArray& base64)
{
    return "<script type=\"text/plain\" id=\"" + id + "\">" + base64 + "</script>\n";
}

QJsonArray fieldRows(const QVector<ReportField>& fields)
{
    QJsonArray rows;
    for (const ReportField& f : fields)
        rows.append(QJsonArray{f.label, f.shownText()});
    return rows;
}

// The lines shown under each warning in the text, which the JSON has not.
QJsonArray warningDetails(const QVector<ReportWarning>& warnings)
{
    QJsonArray details;
    for (const ReportWarning& w : warnings)
        details.append(QJsonArray::fromStringList(w.details));
    return details;
}

QJsonArray intArray(const QVector<int>& values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

QJsonArray channels(const std::array<int, 3>& c)
{
    return QJsonArray{c[0], c[1], c[2]};
}

QJsonArray overlayObjects(const std::vector<PageOverlay>& overlays)
{
    QJsonArray list;
    for (const PageOverlay& o : overlays) {
        list.append(QJsonObject{{QStringLiteral("kind"), o.kind},
                                {QStringLiteral("label"), o.label},
                                {QStringLiteral("scale"), channels(o.scale)},
                                {QStringLiteral("floor"), channels(o.floor)},
                                {QStringLiteral("intervals"), double(o.intervalCount)},
                                {QStringLiteral("cut"), o.cut}});
    }
    return list;
}

template <size_t N>
QByteArray embedded(const unsigned char (&bytes)[N])
{
    return QByteArray(reinterpret_cast<const char*>(bytes), int(N));
}

// The template with each {{name}} replaced once, in the order they stand in it.
QByteArray fillTemplate(const QVector<QPair<QByteArray, QByteArray>>& values)
{
    const QByteArray html = embedded(kPageHtml);
    QByteArray page;
    int from = 0;
    for (const auto& v : values) {
        const int at = html.indexOf("{{" + v.first + "}}", from);
        page += html.mid(from, at - from) + v.second;
        from = at + v.first.size() + 4;
    }
    return page + html.mid(from);
}

} // namespace

HtmlPage::HtmlPage(SliceExaminer& examiner)
    : examiner(examiner)
    , report(examiner.report())
    , grid(examiner.layerSize())
{
}

QByteArray HtmlPage::build()
{
    // A qvx file of an unknown model has no grid to draw on.
    const QVector<int> shown = grid.isEmpty() ? QVector<int>() : PageLayers::pick(report, maxFileBytes);
    PageLayers layers(grid, [this](int layer, const RunSink& sink) { return examiner.readRuns(layer, sink); });
    layers.sameLayerAs = [this](int layer) { return examiner.sameLayerAs(layer); };
    layers.dataBytes = [this](int layer) { return report.layers[layer].encodedBytes; };
    IslandOverlay islands(grid.width(), grid.height());
    DarkSpaceOverlay darkSpace(grid.width(), grid.height());
    // Every source sees each layer once, in the one pass; the page draws their
    // overlays in this order, later ones over earlier ones.
    const std::vector<OverlaySource*> sources{&islands, &darkSpace};
    for (OverlaySource* source : sources)
        layers.addSource(source);
    layers.build(shown.isEmpty() ? 0 : report.layers.size(), shown);
    std::vector<PageOverlay> overlays;
    for (OverlaySource* source : sources) {
        const std::vector<PageOverlay> drawn = source->overlays();
        overlays.insert(overlays.end(), drawn.begin(), drawn.end());
    }
    const QString title = QStringLiteral("sliceinfo: %1").arg(QFileInfo(report.path).fileName());
    return fillTemplate({{"title", title.toHtmlEscaped().toUtf8()},
                         {"style", embedded(kPageCss)},
                         {"data", dataElements(layers, shown, overlays)},
                         {"script", embedded(kPageJs)}});
}

QByteArray HtmlPage::dataElements(const PageLayers& layers, const QVector<int>& shown,
                                  const std::vector<PageOverlay>& overlays) const
{
    QByteArray data = jsonElement("report-json", QJsonDocument::fromJson(report.toJson()).object())
                      + jsonElement("page-json", pageObject(layers, shown, overlays));
    for (int i = 0; i < layers.chunks.size(); ++i)
        data += textElement("chunk-" + QByteArray::number(i), layers.chunks[i].toBase64());
    for (size_t i = 0; i < overlays.size(); ++i)
        data += textElement("overlay-" + QByteArray::number(qulonglong(i)), PageLayers::compress(overlays[i].coded).toBase64());
    return data;
}

QJsonObject HtmlPage::pageObject(const PageLayers& layers, const QVector<int>& shown,
                                 const std::vector<PageOverlay>& overlays) const
{
    const PrintSettings& p = report.print;
    QJsonObject page{{QStringLiteral("width"), grid.width()},
                     {QStringLiteral("height"), grid.height()},
                     {QStringLiteral("layerCount"), report.layers.size()},
                     {QStringLiteral("layerHeightMm"), p.layerHeightMm},
                     {QStringLiteral("pixelMm"), QJsonArray{p.pixelWidthMm, p.pixelHeightMm}},
                     {QStringLiteral("bottomLayerCount"), p.bottomLayerCount},
                     {QStringLiteral("buildHeightMm"), p.buildHeightMm},
                     {QStringLiteral("fields"), fieldRows(report.fields)},
                     {QStringLiteral("parameters"), fieldRows(report.parameters)},
                     {QStringLiteral("warningDetails"), warningDetails(report.warnings)},
                     {QStringLiteral("chunks"), intArray(layers.chunkLayers)},
                     {QStringLiteral("overlays"), overlayObjects(overlays)}};
    if (shown.size() < report.layers.size()) {
        page.insert(QStringLiteral("shown"), intArray(shown));
        page.insert(QStringLiteral("maxFileBytes"), double(maxFileBytes));
    }
    return page;
}
