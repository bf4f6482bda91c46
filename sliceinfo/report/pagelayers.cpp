#include "pagelayers.h"

#include "format/bounds.h"

namespace {

// The size prefix that qCompress puts before its zlib stream.
constexpr int kQCompressPrefix = 4;
// zlib's level: on anti-aliased layers, 4 compresses within 5 % of 6 in half the time.
constexpr int kCompressionLevel = 4;

void keepWithin(QVector<bool>& keep, const SliceReport& report, int layer, qint64 maxBytes, qint64& used)
{
    if (layer < 0 || layer >= keep.size() || keep[layer] || used + report.layers[layer].encodedBytes > maxBytes)
        return;
    keep[layer] = true;
    used += report.layers[layer].encodedBytes;
}

} // namespace

QVector<int> PageLayers::pick(const SliceReport& report, qint64 maxBytes)
{
    const int count = report.layers.size();
    qint64 total = 0;
    for (const LayerStats& s : report.layers)
        total += s.encodedBytes;
    QVector<bool> keep(count, total <= maxBytes);
    if (total > maxBytes) {
        qint64 used = 0;
        // The first and last layers, then those a warning names.
        keepWithin(keep, report, 0, maxBytes, used);
        keepWithin(keep, report, count - 1, maxBytes, used);
        for (const ReportWarning& w : report.warnings) {
            for (int j : w.layers)
                keepWithin(keep, report, j, maxBytes, used);
        }
        // From the first layer to the last, which are held already.
        const qint64 spaced = qBound<qint64>(1, (maxBytes - used) / qMax<qint64>(1, total / count) + 2, count);
        for (qint64 i = 0; i < spaced; ++i)
            keepWithin(keep, report, int(spaced > 1 ? i * (count - 1) / (spaced - 1) : 0), maxBytes, used);
    }
    QVector<int> shown;
    for (int j = 0; j < count; ++j) {
        if (keep[j])
            shown.append(j);
    }
    return shown;
}

QByteArray PageLayers::compress(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QByteArray() : qCompress(bytes, kCompressionLevel).mid(kQCompressPrefix);
}

PageLayers::PageLayers(QSize grid, RunReader readRuns)
    : grid(grid)
    , readRuns(std::move(readRuns))
{
}

void PageLayers::addSource(OverlaySource* source)
{
    sources.append(source);
}

void PageLayers::build(int layerCount, const QVector<int>& shown)
{
    RunCoding coding(grid.width(), grid.height());
    const auto same = [this](int layer) { return sameLayerAs ? sameLayerAs(layer) : layer; };
    bool feeding = !sources.isEmpty();
    bool shownBefore = false;
    qint64 reread = 0;
    int next = 0;
    for (int layer = 0; layer < layerCount; ++layer) {
        const bool show = next < shown.size() && shown[next] == layer;
        next += show ? 1 : 0;
        const int block = same(layer);
        const bool repeat = layer > 0 && block == same(layer - 1) && (!show || shownBefore);
        if (feeding && !repeat && block != layer && dataBytes && (reread += dataBytes(layer)) > bounds::kMaxRereadBytes) {
            for (OverlaySource* source : qAsConst(sources))
                source->stopAt(layer);
            feeding = false;
        }
        shownBefore = show;
        if (repeat) {
            for (int k = 0; feeding && k < sources.size(); ++k)
                sources[k]->repeatLayer(layer);
            if (show)
                addToChunk(previousShown);
            continue;
        }
        if (!show && !feeding)
            continue;
        RasterCursor at(grid.width());
        readRuns(layer, [&](int grey, qint64 length) {
            if (show)
                coding.addRun(grey, length);
            for (int k = 0; feeding && grey != 0 && k < sources.size(); ++k)
                sources[k]->addLit(at, length);
            at.advance(length);
        });
        for (int k = 0; feeding && k < sources.size(); ++k)
            sources[k]->endLayer(layer);
        if (show) {
            previousShown = coding.finish();
            addToChunk(previousShown);
        }
    }
    closeChunk();
}

void PageLayers::addToChunk(const RunCoding::Layer& coded)
{
    const qint64 size = coded.rows.size() + coded.greys.size() + coded.lengths.size();
    codedBytes += size;
    const bool repeated = !chunk.isEmpty() && coded == lastCoded;
    chunk.append(repeated ? RunCoding::Layer() : coded);
    if (!repeated) {
        chunkBytes += size;
        lastCoded = coded;
    }
    if (chunkBytes >= kChunkBytes)
        closeChunk();
}

void PageLayers::closeChunk()
{
    if (chunk.isEmpty())
        return;
    QByteArray bytes;
    for (const RunCoding::Layer& layer : qAsConst(chunk)) {
        appendVarint(bytes, quint64(layer.rows.size()));
        appendVarint(bytes, quint64(layer.greys.size()));
        appendVarint(bytes, quint64(layer.lengths.size()));
    }
    for (QByteArray RunCoding::Layer::*stream : {&RunCoding::Layer::rows, &RunCoding::Layer::greys, &RunCoding::Layer::lengths}) {
        for (const RunCoding::Layer& layer : qAsConst(chunk))
            bytes += layer.*stream;
    }
    chunks.append(compress(bytes));
    chunkLayers.append(chunk.size());
    chunk.clear();
    chunkBytes = 0;
}
