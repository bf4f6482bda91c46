#include "layercoding.h"

#include "format/qvxrundecoder.h"
#include "format/qvxrunencoder.h"
#include "format/tesklayerreader.h"
#include "teskbuilder.h"

#include <cstring>
#include <vector>

QByteArray encodeLayer(LayerCoding coding, const QByteArray& greys)
{
    if (coding == LayerCoding::Tesk)
        return encodeTeskLayer(greys, TokenForm::Shortest);
    std::vector<uchar> storage;
    QvxRunEncoder encoder(storage, greys.size(), greys.size());
    const auto* pixels = reinterpret_cast<const uchar*>(greys.constData());
    encoder.addPixels(pixels, pixels + greys.size());
    const int size = encoder.finish();
    return QByteArray(reinterpret_cast<const char*>(QvxRunEncoder::encoded(storage)), size);
}

bool readLitRuns(LayerCoding coding, const QByteArray& stream, int pixels,
                 const std::function<void(qint64 start, qint64 length)>& addLit, QByteArray* lit, QString* error)
{
    if (lit)
        *lit = QByteArray(pixels, '\0');
    qint64 start = 0;
    const RunSink sink = [&](int level, qint64 length) {
        if (level != 0) {
            if (lit)
                std::memset(lit->data() + start, 1, size_t(length));
            addLit(start, length);
        }
        start += length;
    };
    if (coding == LayerCoding::Qvx) {
        QString ignored;
        return QvxRunDecoder::walk(stream, pixels, sink, error ? error : &ignored);
    }
    TeskLayerReader(stream.constData(), stream.size(), stream.size(), pixels).readRuns(sink);
    return true;
}
