#include "exportqvx.h"

#include "tesklayerreader.h"
#include "tesktoqvx.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Fixed header words between the magic and the float block, and after the
// layer count.
constexpr qint32 kHeaderWord12 = 1;
constexpr qint32 kHeaderWord20 = 0;
constexpr qint32 kHeaderWord168 = 4;

// The printer's pixel grid for model 10 is half the slicer's in both axes.
constexpr int kModel10LayerWidth = 480;
constexpr int kModel10LayerHeight = 854;

// Run lengths are written as hexadecimal digits, one per byte, in the low
// nibble; the grey class takes the high nibble.
constexpr uchar kDigitMask = 0x0F;
constexpr int kDigitBase = 16;
constexpr uchar kClassMask = 0xF0;
constexpr int kMaxRunDigits = 8; // a 32-bit count has at most 8 hex digits
constexpr int kRunBufferStep = 64 * 1024;

const float kDefaultPrintParameters[qvx::kParameterCount] = {
    20.0f,  20.0f,  1920.0f, 1080.0f, 0.1f,  500.0f, 1000.0f, 10.0f,   2000.0f,
    4000.0f, 0.6f,  0.6f,    5.0f,    2.0f,  600.0f, 600.0f,  48.0f,   30.0f,
    5.0f,   60.0f,  10.0f,   600.0f,  600.0f, 2.0f,  0.2f,    60.0f,   1.0f,
    6.0f,   150.0f, 1001.0f, 200.0f,  0.0f,  0.0f,   0.0f,
};

// Plate geometry that a slicer writes for each supported model: plate sizes
// in micrometres (input X is the printer's short side) and resolution.
struct AcceptedGeometry {
    const char* longName;
    const char* shortName;
    qint32 x1000;
    qint32 y1000;
    qint32 z1000;
    qint32 resolutionX;
    qint32 resolutionY;
};

const AcceptedGeometry kAcceptedGeometries[] = {
    {"Vireld10", "Kv10", 55440, 98637, 140000, 960, 1708},
    {"Vireld30", "Kv20", 68040, 120960, 170000, 1440, 2560},
};

struct PreviewSize {
    const char* name;
    int width;
    int height;
};

const PreviewSize kPreviewSizes[] = {
    {"Vireld10", qvx::kPreviewWidth, qvx::kPreviewHeight},
    {"Kv10", qvx::kPreviewWidth, qvx::kPreviewHeight},
    {"Vireld30", qvx::kPreviewWidth, qvx::kPreviewHeight},
    {"Kv20", qvx::kPreviewWidth, qvx::kPreviewHeight},
    {"Vireld120", qvx::kPreviewWidth, qvx::kPreviewHeight},
    {"Vireld20", 200, 150},
    {"Vireld300", 220, 200},
};

machineParameters makeMachine(float pixelsX, float pixelsY, float sizeX, float sizeY,
                              float pixelSize, float maxHeight, const QString& modelName)
{
    machineParameters m;
    m.pixelsX = pixelsX;
    m.pixelsY = pixelsY;
    m.sizeX = sizeX;
    m.sizeY = sizeY;
    m.pixelSizeX = pixelSize;
    m.pixelSizeY = pixelSize;
    m.maxHeight = maxHeight;
    m.swapAxes = false;
    m.formatTag = QStringLiteral("qvx");
    m.formatCode = 4;
    m.modelName = modelName;
    m.makerName = QStringLiteral("Quorvath");
    return m;
}

QString chooseMachineName(const QByteArray& bytes)
{
    const QString text = ExportQvx::machineNameText(bytes);
    if (text.contains(QLatin1String("Vireld10")))
        return QStringLiteral("Vireld10");
    if (text.contains(QLatin1String("Vireld30")))
        return QStringLiteral("Vireld30");
    return text;
}

// Plate size in mm to whole micrometres. The product must be rounded to single
// precision before truncation: 55.44f * 1000 is 55440 in float but 55439.9986
// in double. Values that do not fit an int32 (NaN, infinities) give nothing.
std::optional<qint32> toMicrometres(float millimetres)
{
    const float product = millimetres * 1000.0f;
    if (!(std::fabs(product) < 2147483648.0f))
        return std::nullopt;
    return static_cast<qint32>(product);
}

const AcceptedGeometry* geometryFor(const QString& name)
{
    for (const AcceptedGeometry& g : kAcceptedGeometries) {
        if (name == QLatin1String(g.longName) || name == QLatin1String(g.shortName))
            return &g;
    }
    return nullptr;
}

// Bitwise, so that a signalling NaN is carried over as it is.
void copyBits(float& dst, const float& src)
{
    std::memcpy(&dst, &src, sizeof(float));
}

quint32 floatBits(const float& value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

quint16 packRgb565(QRgb colour)
{
    return quint16(((qRed(colour) >> 3) << 11) | ((qGreen(colour) >> 2) << 5) | (qBlue(colour) >> 3));
}

QImage scaledPreview(const QImage& preview, const QString& name)
{
    if (preview.isNull())
        return QImage();
    for (const PreviewSize& size : kPreviewSizes) {
        if (name == QLatin1String(size.name))
            return preview.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return QImage();
}

// Encoded runs go straight into the storage of a byte vector. The vector grows
// in steps, so that only what is used gets zero-filled, and keeps its storage
// for the next layer.
class RunWriter {
public:
    explicit RunWriter(QVector<uchar>& out)
        : out(out)
    {
        out.clear();
    }

    // count must not be 0.
    void append(uchar grey, quint32 count)
    {
        if (out.size() - used < kMaxRunDigits) {
            out.resize(out.size() + kRunBufferStep);
            data = out.data();
        }
        const int digits = (35 - qCountLeadingZeroBits(count)) / 4;
        uchar* digit = data + used + digits;
        do {
            *--digit = uchar(grey | (count & kDigitMask));
            count /= kDigitBase;
        } while (count != 0);
        used += digits;
    }

    void finish() { out.resize(used); }

private:
    QVector<uchar>& out;
    uchar* data = nullptr;
    int used = 0;
};

// Runs of pixels of any grey, in raster order, encoded as runs of classes:
// neighbouring runs of one class become one.
class ClassRuns {
public:
    explicit ClassRuns(QVector<uchar>& out)
        : writer(out)
    {
    }

    void add(uchar grey, qint64 length)
    {
        if (length == 0)
            return;
        const uchar cls = grey & kClassMask;
        if (cls != current && count != 0) {
            writer.append(current, count);
            count = 0;
        }
        current = cls;
        count += quint32(length);
    }

    void finish()
    {
        if (count != 0)
            writer.append(current, count);
        writer.finish();
    }

private:
    RunWriter writer;
    uchar current = 0;
    quint32 count = 0;
};

// A stretch of one grey in a row, ending before column `end`.
struct Stretch {
    int end;
    uchar grey;
};

// Cuts a layer's runs into rows of stretches. Past the end of the layer every
// pixel is black.
class RowCutter {
public:
    RowCutter(TeskLayerReader& layer, int width)
        : layer(layer)
        , width(width)
    {
    }

    // The grey of the next pixels and how many of them have it.
    const TeskRun& pending()
    {
        if (run.length == 0 && !layer.next(run))
            run = {0, std::numeric_limits<qint64>::max()};
        return run;
    }

    void skip(qint64 pixels) { run.length -= pixels; }

    void nextRow(std::vector<Stretch>& row)
    {
        row.clear();
        int x = 0;
        while (x < width) {
            const TeskRun& r = pending();
            const int take = int(std::min<qint64>(r.length, width - x));
            x += take;
            if (!row.empty() && row.back().grey == r.grey)
                row.back().end = x;
            else
                row.push_back({x, r.grey});
            skip(take);
        }
    }

private:
    TeskLayerReader& layer;
    const int width;
    TeskRun run{0, 0};
};

// Halves a pair of rows as halveGrey does, one step per stretch: a block inside
// stretches of greys t (top) and u (bottom) is (2t + 2u) / 4; only a block
// across a change at an odd column needs its four pixels.
void halveRowPair(const std::vector<Stretch>& top, const std::vector<Stretch>& bottom, int width, ClassRuns& runs)
{
    size_t i = 0;
    size_t j = 0;
    for (int x0 = 0; x0 < width;) {
        const uchar t = top[i].grey;
        const uchar u = bottom[j].grey;
        const int x1 = std::min(top[i].end, bottom[j].end);
        runs.add(uchar((t + u) / 2), std::max(x1 / 2 - (x0 + 1) / 2, 0));
        i += top[i].end == x1;
        j += bottom[j].end == x1;
        if (x1 % 2 == 1)
            runs.add(uchar((t + top[i].grey + u + bottom[j].grey) / 4), 1);
        x0 = x1;
    }
}

// The first pixel from p on whose class is not `grey`, or end.
const uchar* classRunEnd(const uchar* p, const uchar* end, uchar grey)
{
#if defined(__SSE2__)
    const __m128i classMask = _mm_set1_epi8(char(kClassMask));
    const __m128i wanted = _mm_set1_epi8(char(grey));
    const auto same = [&](const uchar* at) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_cmpeq_epi8(_mm_and_si128(pixels, classMask), wanted);
    };
    while (end - p >= 16) {
        const int sameBits = _mm_movemask_epi8(same(p));
        if (sameBits != 0xFFFF)
            return p + qCountTrailingZeroBits(quint32(~sameBits));
        p += 16;
        // Inside a long run, 64 pixels per test.
        while (end - p >= 64) {
            const __m128i all = _mm_and_si128(_mm_and_si128(same(p), same(p + 16)),
                                              _mm_and_si128(same(p + 32), same(p + 48)));
            if (_mm_movemask_epi8(all) != 0xFFFF)
                break;
            p += 64;
        }
    }
#endif
    const quint64 wordClassMask = 0xF0F0F0F0F0F0F0F0ull;
    const quint64 wordWanted = grey * 0x0101010101010101ull;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if ((word & wordClassMask) != wordWanted)
            break;
    }
    while (p != end && (*p & kClassMask) == grey)
        ++p;
    return p;
}

// Bit i set where the class of p[i] differs from that of p[i - 1], for i from
// 0 to 15; p[-1] must be readable.
int classChanges(const uchar* p)
{
#if defined(__SSE2__)
    const __m128i classMask = _mm_set1_epi8(char(kClassMask));
    const __m128i here = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), classMask);
    const __m128i before = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1)), classMask);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(here, before)) ^ 0xFFFF;
#else
    int changes = 0;
    for (int i = 0; i < 16; ++i)
        changes |= int(((p[i] ^ p[i - 1]) & kClassMask) != 0) << i;
    return changes;
#endif
}

// One row of a halved grey image from two rows of the full one.
void averageBlocks(const uchar* top, const uchar* bottom, uchar* out, int outWidth)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    const auto load = [](const uchar* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto pairSums = [&](__m128i pixels) {
        return _mm_add_epi16(_mm_and_si128(pixels, lowBytes), _mm_srli_epi16(pixels, 8));
    };
    for (; x + 16 <= outWidth; x += 16) {
        const __m128i topLeft = load(top + 2 * x);
        const __m128i topRight = load(top + 2 * x + 16);
        const __m128i bottomLeft = load(bottom + 2 * x);
        const __m128i bottomRight = load(bottom + 2 * x + 16);
        __m128i averages = zero;
        // Most of a layer is dark, and dark blocks need no arithmetic.
        const __m128i any = _mm_or_si128(_mm_or_si128(topLeft, topRight), _mm_or_si128(bottomLeft, bottomRight));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) != 0xFFFF) {
            const __m128i left = _mm_add_epi16(pairSums(topLeft), pairSums(bottomLeft));
            const __m128i right = _mm_add_epi16(pairSums(topRight), pairSums(bottomRight));
            averages = _mm_packus_epi16(_mm_srli_epi16(left, 2), _mm_srli_epi16(right, 2));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), averages);
    }
#endif
    for (; x < outWidth; ++x)
        out[x] = uchar((top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1]) / 4);
}

// Qt 5.15's smooth scaling of a grey image to half its width and height gives
// each 2 x 2 block a, b, c, d the value (a + b + c + d) / 4 rounded down (checked
// for every possible block); a test holds the linked Qt to it.
void halveGrey(const QImage& image, QImage& half)
{
    const QSize size(image.width() / 2, image.height() / 2);
    if (half.size() != size || half.format() != QImage::Format_Grayscale8)
        half = QImage(size, QImage::Format_Grayscale8);
    for (int y = 0; y < half.height(); ++y)
        averageBlocks(image.constScanLine(2 * y), image.constScanLine(2 * y + 1), half.scanLine(y), half.width());
}

} // namespace

ExportQvx::ExportQvx(TeskToQvx* driver)
    : driver(driver)
    , machineName(chooseMachineName(driver->machineNameBytes))
{
    initParameters();
}

void ExportQvx::initParameters()
{
    modelNumbers = {
        {"Kv10", 10},      {"Vireld10", 10},  {"Kv20", 30},          {"Vireld30", 30},
        {"Vireld120", 120}, {"Vireld200", 200}, {"Vireld200Pro", 240}, {"Vireld300", 300},
    };
    formatTags = {
        {"Kv10", "qvx"},          {"Vireld10", "qvx"},       {"Kv20", "qvx30"},
        {"Vireld30", "qvx30"},    {"Vireld120", "qvx120"},   {"Vireld200", "qvx200"},
        {"Vireld200Pro", "qvx200p"}, {"Vireld300", "qvx300"},
    };
    const machineParameters model10 =
        makeMachine(854.0f, 480.0f, 98.637f, 55.44f, 115.5f, 140.0f, QStringLiteral("Vireld10"));
    const machineParameters model30 =
        makeMachine(2560.0f, 1440.0f, 120.96f, 68.04f, 47.25f, 170.0f, QStringLiteral("Vireld30"));
    machineTable = {
        {"Vireld10", model10}, {"Kv10", model10}, {"Vireld30", model30}, {"Kv20", model30},
    };
    std::memcpy(printParameters, kDefaultPrintParameters, sizeof printParameters);
}

bool ExportQvx::validate()
{
    const bool accepted = validateMachineName();
    if (accepted)
        evaluatePrintingParameters();
    return accepted;
}

bool ExportQvx::validateMachineName() const
{
    const AcceptedGeometry* expected = geometryFor(machineName);
    if (!expected)
        return false;
    const TeskFileHead_t& h = driver->header;
    return toMicrometres(h.bedSizeX) == expected->x1000
        && toMicrometres(h.bedSizeY) == expected->y1000
        && toMicrometres(h.bedSizeZ) == expected->z1000
        && h.resolutionX == expected->resolutionX
        && h.resolutionY == expected->resolutionY;
}

void ExportQvx::evaluatePrintingParameters()
{
    const machineParameters m = machineTable.value(machineName);
    const TeskFileHead_t& h = driver->header;
    float* p = printParameters;

    p[0] = 1000.0f / (m.swapAxes ? m.pixelSizeY : m.pixelSizeX);
    p[1] = 1000.0f / (m.swapAxes ? m.pixelSizeX : m.pixelSizeY);
    p[2] = m.swapAxes ? m.pixelsY : m.pixelsX;
    p[3] = m.swapAxes ? m.pixelsX : m.pixelsY;

    copyBits(p[4], h.layerHeight);
    p[5] = h.exposureTime * 1000.0f;
    p[6] = h.bottomExposureTime * 1000.0f;
    p[8] = h.lightOffDelay * 1000.0f;
    p[9] = p[8];
    p[10] = static_cast<float>(h.bottomLayerCount) * h.layerHeight;
    copyBits(p[12], h.param140);
    copyBits(p[13], h.param148);
    copyBits(p[14], h.param152);
    copyBits(p[15], h.param152);
    copyBits(p[16], h.param144);
    copyBits(p[17], h.param144);
    p[30] = m.maxHeight;
}

bool ExportQvx::openFile(const QString& path)
{
    // The file is written beside the path, so a directory there would only be
    // found when the finished file is put in place.
    if (QFileInfo(path).isDir())
        return false;
    outputFile.setFileName(path);
    if (!outputFile.open(QIODevice::WriteOnly))
        return false;
    stream.setDevice(&outputFile);
    return true;
}

bool ExportQvx::writeFrontData(QImage& preview)
{
    stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    stream.setByteOrder(QDataStream::LittleEndian);

    stream.writeRawData(qvx::kMagic, qvx::kMagicSize);
    stream << qvx::kVersionTag << kHeaderWord12 << qint32(modelNumber()) << kHeaderWord20
           << qint32(qvx::kParameterCount);
    // Written as raw bits: passing a float through an x87 register on 32-bit
    // builds would quiet a signalling NaN taken over from the input.
    for (const float& value : printParameters)
        stream << floatBits(value);
    stream << qint32(driver->header.layerCount) << kHeaderWord168;

    const QImage picture = scaledPreview(preview, machineName);
    stream << qint32(picture.width()) << qint32(picture.height());
    stream.setByteOrder(QDataStream::BigEndian);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            stream << packRgb565(picture.pixel(x, y));
    }
    stream.setByteOrder(QDataStream::LittleEndian);
    return writesSucceeded();
}

bool ExportQvx::writeLayerData(QImage& layer)
{
    const bool grey = layer.format() == QImage::Format_Grayscale8;
    QImage prepared;
    switch (modelNumber()) {
    case 10:
        if (grey && layer.width() == 2 * kModel10LayerWidth && layer.height() == 2 * kModel10LayerHeight) {
            halveGrey(layer, halfLayer);
            prepared = halfLayer;
        } else {
            prepared = layer.scaled(kModel10LayerWidth, kModel10LayerHeight, Qt::IgnoreAspectRatio,
                                    Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_Grayscale8);
        }
        break;
    case 30:
        // Copying a grey image and converting it to its own format change nothing.
        prepared = grey ? layer : layer.copy().convertToFormat(QImage::Format_Grayscale8);
        break;
    default:
        return false;
    }
    if (!compressImage(prepared))
        return false;
    return writeLayerRecord();
}

bool ExportQvx::writeLayerRuns(TeskLayerReader& layer, int width, int height)
{
    if (!compressRuns(layer, width, height))
        return false;
    return writeLayerRecord();
}

bool ExportQvx::writeLayerRecord()
{
    stream << quint32(compressedData.size());
    stream.writeRawData(reinterpret_cast<const char*>(compressedData.constData()), compressedData.size());
    return writesSucceeded();
}

bool ExportQvx::compressRuns(TeskLayerReader& layer, int width, int height)
{
    ClassRuns runs(compressedData);
    switch (modelNumber()) {
    case 10: {
        // Only the halving of a layer of exactly twice the printer's grid is
        // done in runs; validate admits no other size.
        if (width != 2 * kModel10LayerWidth || height != 2 * kModel10LayerHeight)
            return false;
        RowCutter rows(layer, width);
        std::vector<Stretch> top, bottom;
        for (int y = 0; y < kModel10LayerHeight;) {
            // Row pairs inside one run are one grey, whatever it is.
            const TeskRun& r = rows.pending();
            const qint64 pairs = std::min<qint64>(r.length / (2 * width), kModel10LayerHeight - y);
            if (pairs > 0) {
                runs.add(r.grey, pairs * kModel10LayerWidth);
                rows.skip(pairs * 2 * width);
                y += int(pairs);
                continue;
            }
            rows.nextRow(top);
            rows.nextRow(bottom);
            halveRowPair(top, bottom, width, runs);
            ++y;
        }
        // The rest of the stream is still read, to find a token that overflows.
        for (TeskRun rest; layer.next(rest);) {
        }
        break;
    }
    case 30: {
        TeskRun run;
        while (layer.next(run))
            runs.add(run.grey, run.length);
        runs.add(0, layer.pixelsLeft());
        break;
    }
    default:
        return false;
    }
    runs.finish();
    return true;
}

// A short write is recorded only by the stream, and a failed final flush would
// not stop commit() from putting a truncated file in place: both are checked
// before the file is committed.
bool ExportQvx::closeFile()
{
    if (!writesSucceeded() || !outputFile.flush()) {
        outputFile.cancelWriting();
        outputFile.commit(); // discards the temporary file
        return false;
    }
    return outputFile.commit();
}

bool ExportQvx::writesSucceeded() const
{
    return stream.status() == QDataStream::Ok && outputFile.error() == QFileDevice::NoError;
}

// An image without pixels encodes to an empty stream (and still succeeds);
// a conversion never produces one, since validate admits only full-size layers.
bool ExportQvx::compressImage(QImage& image)
{
    RunWriter runs(compressedData);
    if (image.width() <= 0 || image.height() <= 0)
        return true;

    // Rows without padding between them are searched as one stretch of pixels.
    const bool padded = image.bytesPerLine() != image.width();
    const int stretches = padded ? image.height() : 1;
    const qint64 stretchLength = padded ? image.width() : qint64(image.width()) * image.height();
    uchar current = image.constScanLine(0)[0] & kClassMask;
    quint32 count = 0;
    for (int stretch = 0; stretch < stretches; ++stretch) {
        const uchar* p = image.constScanLine(stretch);
        const uchar* const end = p + stretchLength;
        const auto onePixel = [&] {
            const uchar grey = *p++ & kClassMask;
            if (grey != current) {
                runs.append(current, count);
                current = grey;
                count = 0;
            }
            ++count;
        };
        // The pixel before the first one in memory may be row padding.
        onePixel();
        while (end - p >= 16) {
            const int changes = classChanges(p);
            if (changes == 0) {
                const uchar* runEnd = classRunEnd(p + 16, end, current);
                count += quint32(runEnd - p);
                p = runEnd;
                continue;
            }
            // Short runs: every run that ends in these 16 pixels, without a test per pixel.
            int done = 0;
            for (int bits = changes; bits != 0; bits &= bits - 1) {
                const int at = qCountTrailingZeroBits(quint32(bits));
                runs.append(current, count + quint32(at - done));
                current = p[at] & kClassMask;
                count = 0;
                done = at;
            }
            count += quint32(16 - done);
            p += 16;
        }
        while (p != end)
            onePixel();
    }
    runs.append(current, count);
    runs.finish();
    return true;
}

int ExportQvx::modelNumber() const { return modelNumbers.value(machineName, 0); }

// The name is a zero-terminated text inside a block of declared size.
QString ExportQvx::machineNameText(const QByteArray& bytes)
{
    const int length = int(qstrnlen(bytes.constData(), uint(bytes.size())));
    return QString::fromUtf8(bytes.constData(), length);
}

QStringList ExportQvx::rejectionReasons() const
{
    const AcceptedGeometry* expected = geometryFor(machineName);
    if (!expected) {
        QStringList names;
        for (const AcceptedGeometry& g : kAcceptedGeometries)
            names << QLatin1String(g.longName) << QLatin1String(g.shortName);
        return {QStringLiteral("machine name \"%1\" is none of %2").arg(machineName, names.join(QLatin1String(", ")))};
    }
    const TeskFileHead_t& h = driver->header;
    QStringList reasons;
    auto compare = [&](const char* what, std::optional<qint32> found, qint32 wanted) {
        if (found != wanted)
            reasons << QStringLiteral("%1 for %2: expected %3, found %4")
                           .arg(QLatin1String(what), machineName)
                           .arg(wanted)
                           .arg(found ? QString::number(*found) : QStringLiteral("no number"));
    };
    compare("resolution X", h.resolutionX, expected->resolutionX);
    compare("resolution Y", h.resolutionY, expected->resolutionY);
    compare("plate size X in thousandths of a mm", toMicrometres(h.bedSizeX), expected->x1000);
    compare("plate size Y in thousandths of a mm", toMicrometres(h.bedSizeY), expected->y1000);
    compare("build height in thousandths of a mm", toMicrometres(h.bedSizeZ), expected->z1000);
    return reasons;
}
