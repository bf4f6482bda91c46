#ifndef HTMLPAGE_H
#define HTMLPAGE_H

#include "report/pagelayers.h"
#include "report/slicereport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QSize>

#include <vector>

class SliceExaminer;

// sliceinfo's report as one self-contained HTML page: the template of page/
// (built into the program) with the report's JSON, the page's own figures,
// every layer as coded runs (PageLayers) and what is drawn over them. The
// page needs no network and nothing beside it; its script decodes a layer
// when it is shown.
//
// Data elements, before the script:
//   <script type="application/json" id="report-json">  the JSON report
//   <script type="application/json" id="page-json">    pageObject()
//   <script type="text/plain" id="chunk-N">        chunk N, base64
//   <script type="text/plain" id="overlay-N">      overlays[N].coded, zlib, base64;
//                                                  empty when it is
class HtmlPage {
public:
    explicit HtmlPage(SliceExaminer& examiner);

    // Reads every layer once and returns the page.
    QByteArray build();

    // Past this much layer data in the file the page shows only some layers.
    qint64 maxFileBytes = PageLayers::kMaxFileBytes;

private:
    QJsonObject pageObject(const PageLayers& layers, const QVector<int>& shown,
                           const std::vector<PageOverlay>& overlays) const;
    QByteArray dataElements(const PageLayers& layers, const QVector<int>& shown,
                            const std::vector<PageOverlay>& overlays) const;

    SliceExaminer& examiner;
    const SliceReport& report;
    QSize grid;
};

#endif
