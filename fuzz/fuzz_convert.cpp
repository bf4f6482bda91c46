// The whole conversion of an arbitrary input file, through TeskToQvx::process()
// and the real file reading code, to a temporary output file. A successful
// conversion must give a qvx file that QvxReader accepts, with one record per
// layer whose runs cover exactly the printer's pixel grid.
//
// Built twice. fuzz_convert takes the bytes as they are: most inputs end at
// the machine check. fuzz_convert_model (FUZZ_FIX_GEOMETRY) first overwrites
// the resolution and plate size of the header with those of one supported
// model, so that mutations reach the layer table, the layer data, the preview
// and the machine name: the model is Vireld30 when bit 2 of header byte 65
// (the second byte of resolutionX: 0x05 for 1440, 0x03 for 960) is set.
//
// Every layer is a full-size bitmap (up to 1440 x 2560), so an accepted
// layer count above kMaxLayers is lowered to it to keep runs short; counts
// that the converter refuses are left alone.
#include "format/printermodel.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "fuzzsupport.h"
#include "tesktoqvx.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <cstring>

namespace {

constexpr qint32 kMaxLayers = 8;

template <typename T>
void put(QByteArray& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename T>
T get(const QByteArray& bytes, size_t offset)
{
    T value;
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

#ifdef FUZZ_FIX_GEOMETRY
void fixGeometry(QByteArray& file)
{
    if (file.size() < int(sizeof(TeskFileHead_t)))
        file.append(QByteArray(int(sizeof(TeskFileHead_t)) - file.size(), '\0'));
    const bool model30 = uchar(file[int(offsetof(TeskFileHead_t, resolutionX)) + 1]) & 4;
    put<qint32>(file, offsetof(TeskFileHead_t, resolutionX), model30 ? 1440 : 960);
    put<qint32>(file, offsetof(TeskFileHead_t, resolutionY), model30 ? 2560 : 1708);
    put<float>(file, offsetof(TeskFileHead_t, bedSizeX), model30 ? 68.04f : 55.44f);
    put<float>(file, offsetof(TeskFileHead_t, bedSizeY), model30 ? 120.96f : 98.637f);
    put<float>(file, offsetof(TeskFileHead_t, bedSizeZ), model30 ? 170.0f : 140.0f);
}
#endif

void capLayerCount(QByteArray& file)
{
    if (file.size() < int(sizeof(TeskFileHead_t)))
        return;
    const size_t at = offsetof(TeskFileHead_t, layerCount);
    const qint32 count = get<qint32>(file, at);
    if (count > kMaxLayers && qint64(count) * qint64(sizeof(TeskDatHead_t)) <= file.size())
        put<qint32>(file, at, kMaxLayers);
}

void checkOutput(const QString& path, const TeskToQvx& driver)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::abort(); // converted, but no output file
    QvxReader reader;
    QString error;
    if (!reader.parse(f.readAll(), &error) || reader.layerCount != driver.header.layerCount)
        std::abort(); // the output is not a well-formed qvx file
    const PrinterModel* model = PrinterModel::byNumber(reader.modelNumber);
    if (!model)
        std::abort(); // written for a model the table does not know
    const qint64 pixels = qint64(model->layerWidth) * model->layerHeight;
    QByteArray classes;
    for (const QByteArray& record : reader.layerRecords) {
        if (!QvxRunDecoder::decode(record, pixels, &classes, &error))
            std::abort(); // a layer record does not cover the printer's grid
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray file(reinterpret_cast<const char*>(data), int(size));
#ifdef FUZZ_FIX_GEOMETRY
    fixGeometry(file);
#endif
    capLayerCount(file);

    const QDir dir(fuzzScratchDirectory());
    const QString input = dir.filePath(QStringLiteral("in.tesk"));
    const QString output = dir.filePath(QStringLiteral("out.qvx"));
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size() || !f.flush())
            std::abort();
    }
    QFile::remove(output);

    TeskToQvx driver(input, output);
    const int result = driver.process();
    if (result > 0 || result < -6)
        std::abort(); // not a ConversionResult
    if (result == Converted)
        checkOutput(output, driver);
    return 0;
}
