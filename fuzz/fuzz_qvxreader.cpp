// The qvx reader on arbitrary bytes: QvxReader::parse on the whole input, then
// QvxReader::decodeRuns on each record it found (for the pixel grid of the
// model in the header, or a small one chosen by the first byte), and on the
// whole input as one run stream.
#include "format/printermodel.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "fuzzsupport.h"

#include <QByteArray>

#include <algorithm>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const qint64 small = size > 0 ? 1 + data[0] % 64 * 64 : 1;
    QByteArray classes;
    QString error;

    QvxReader reader;
    if (reader.parse(bytes, &error)) {
        const PrinterModel* model = PrinterModel::byNumber(reader.modelNumber);
        const qint64 pixels = model ? qint64(model->layerWidth) * model->layerHeight : small;
        const int records = std::min(reader.layerRecords.size(), 16);
        for (int i = 0; i < records; ++i)
            QvxRunDecoder::decode(reader.layerRecords[i], pixels, &classes, &error);
    }
    QvxRunDecoder::decode(bytes, small, &classes, &error);
    // Sizes that are not a layer are refused without touching memory.
    QvxRunDecoder::decode(bytes, -1, &classes, &error);
    QvxRunDecoder::decode(bytes, qint64(1) << 40, &classes, &error);
    return 0;
}
