#include "conversion.h"
#include "format/qvxreader.h"
#include "format/qvxrundecoder.h"
#include "format/tesklayertable.h"
#include "teskbuilder.h"
#include "tesktoqvx.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

constexpr int kWidth = 1440;
constexpr int kHeight = 2560;
constexpr int kPixels = kWidth * kHeight;

// A few grey runs at the top of a model-30 layer; the rest is black.
QByteArray smallLayer(int seed)
{
    QByteArray stream;
    stream += teskRunToken(10 + seed, 100 + seed);
    stream += char(0x7F);
    stream += teskRunToken(64, 3000);
    return stream;
}

// The grey classes a model-30 output layer must hold for smallLayer(seed).
QByteArray smallLayerClasses(int seed)
{
    QByteArray classes(kPixels, '\0');
    std::memset(classes.data(), ((10 + seed) * 2) >> 4, size_t(100 + seed));
    classes[100 + seed] = char(0x0F);
    std::memset(classes.data() + 101 + seed, 128 >> 4, 3000);
    return classes;
}

TeskBuilder twoLayerFile()
{
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayerStream(smallLayer(0));
    b.addLayerStream(smallLayer(1));
    QImage preview(8, 6, QImage::Format_RGB888);
    preview.fill(QColor(200, 40, 90));
    b.setPreview(preview);
    return b;
}

QByteArray layerClasses(const QvxReader& qvx, int layer)
{
    QByteArray classes;
    QString error;
    EXPECT_TRUE(QvxRunDecoder::decode(qvx.layerRecords.value(layer), kPixels, &classes, &error))
        << error.toStdString();
    return classes;
}

QvxReader parsed(const Conversion& c)
{
    QvxReader qvx;
    EXPECT_EQ(c.result, 0) << c.printed;
    QString error;
    EXPECT_TRUE(qvx.parse(c.output, &error)) << error.toStdString();
    return qvx;
}

template <typename Record>
void patch(QByteArray& file, qint64 offset, const Record& record)
{
    std::memcpy(file.data() + offset, &record, sizeof record);
}

template <typename Record>
Record recordAt(const QByteArray& file, qint64 offset)
{
    Record record;
    std::memcpy(&record, file.constData() + offset, sizeof record);
    return record;
}

TEST(Pipeline, ConvertsEveryLayerFromItsOwnEntry)
{
    TeskBuilder b = twoLayerFile();
    const QvxReader qvx = parsed(convertBytes(b.build()));
    ASSERT_EQ(qvx.layerRecords.size(), 2);
    EXPECT_EQ(layerClasses(qvx, 0), smallLayerClasses(0));
    EXPECT_EQ(layerClasses(qvx, 1), smallLayerClasses(1));
}

// The records are views into the file, not copies, so that a file is held
// once; they stay readable when the caller's bytes are gone.
TEST(Pipeline, QvxRecordsAreViewsIntoTheFile)
{
    const QByteArray file = convertBytes(twoLayerFile().build()).output;
    QvxReader qvx;
    ASSERT_TRUE(qvx.parse(QByteArray(file.constData(), file.size()), nullptr));
    ASSERT_EQ(qvx.layerRecords.size(), 2);
    const QByteArray& first = qvx.layerRecords[0];
    EXPECT_EQ(qvx.layerRecords[1].constData(), first.constData() + first.size() + qvx::kRecordSizeBytes);
    const int firstAt = qvx::kHeaderSize + 2 * qvx.previewWidth * qvx.previewHeight + qvx::kRecordSizeBytes;
    EXPECT_EQ(first, file.mid(firstAt, first.size()));
    EXPECT_EQ(qvx.layerRecords[1], file.mid(firstAt + first.size() + qvx::kRecordSizeBytes));
}

using Order = QVector<TeskBuilder::Block>;
class BlockPlacement : public testing::TestWithParam<std::pair<Order, int>> {};

// The blocks may lie anywhere and in any order: the output does not change.
TEST_P(BlockPlacement, GivesTheSameOutput)
{
    TeskBuilder reference = twoLayerFile();
    const Conversion expected = convertBytes(reference.build());
    TeskBuilder b = twoLayerFile();
    b.order = GetParam().first;
    b.gapBetweenBlocks = GetParam().second;
    const Conversion c = convertBytes(b.build());
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.output, expected.output);
}

// Named after the first block and the gap between blocks.
std::string placementName(const testing::TestParamInfo<std::pair<Order, int>>& info)
{
    const char* blocks[] = {"MachineName", "PreviewHead", "PreviewData", "LayerTable", "LayerData"};
    return blocks[info.param.first[0]] + std::string("FirstGap") + std::to_string(info.param.second);
}

using B = TeskBuilder;
INSTANTIATE_TEST_SUITE_P(
    Orders, BlockPlacement,
    testing::Values(std::make_pair(Order{B::LayerData, B::LayerTable, B::PreviewData, B::PreviewHead, B::MachineName}, 0),
                    std::make_pair(Order{B::LayerTable, B::MachineName, B::LayerData, B::PreviewHead, B::PreviewData}, 3),
                    std::make_pair(Order{B::PreviewData, B::LayerData, B::MachineName, B::LayerTable, B::PreviewHead}, 17)),
    placementName);

TEST(Pipeline, FirstEightBytesAreNotLookedAt)
{
    TeskBuilder b = twoLayerFile();
    QByteArray file = b.build();
    const Conversion expected = convertBytes(file);
    ASSERT_EQ(expected.result, Converted);
    file.replace(0, 8, "\xde\xad\xbe\xef\x01\x02\x03\x04");
    const Conversion changed = convertBytes(file);
    EXPECT_EQ(changed.result, Converted);
    EXPECT_EQ(changed.output, expected.output);
}

TEST(Pipeline, OnlyTheFirstLayerSetIsUsed)
{
    TeskBuilder b = twoLayerFile();
    b.layerSetCount = 2;
    QByteArray file = b.build();
    // Let the second set point at nothing: were it used, its layers would be black.
    for (int j = 2; j < 4; ++j) {
        const qint64 at = b.header.layerTableOffset + j * qint64(sizeof(TeskDatHead_t));
        auto entry = recordAt<TeskDatHead_t>(file, at);
        entry.dataSize = 0;
        patch(file, at, entry);
    }
    const QvxReader qvx = parsed(convertBytes(file));
    EXPECT_EQ(layerClasses(qvx, 1), smallLayerClasses(1));
}

TEST(Pipeline, RepeatedDataBlocksAreReadForEachLayer)
{
    TeskBuilder b = twoLayerFile();
    QByteArray file = b.build();
    const qint64 second = b.header.layerTableOffset + qint64(sizeof(TeskDatHead_t));
    patch(file, second, recordAt<TeskDatHead_t>(file, b.header.layerTableOffset));
    const QvxReader qvx = parsed(convertBytes(file));
    EXPECT_EQ(layerClasses(qvx, 1), smallLayerClasses(0));
}

// The layer table is read a part at a time; entries on both sides of a part's
// end must each find their own layer.
TEST(Pipeline, LongLayerTable)
{
    TeskBuilder b(printerModel("Vireld30"));
    for (int j = 0; j < 4100; ++j)
        b.addLayerStream(j >= 4094 ? smallLayer(j - 4094) : QByteArray());
    const QvxReader qvx = parsed(convertBytes(b.build()));
    ASSERT_EQ(qvx.layerRecords.size(), 4100);
    for (int j = 4094; j < 4100; ++j)
        EXPECT_EQ(layerClasses(qvx, j), smallLayerClasses(j - 4094)) << j;
}

// A table at a negative offset reads as zeros whole, however many parts it is
// read in: its later parts must not be taken from where they would fall.
TEST(Pipeline, ALayerTableAtANegativeOffsetReadsAsZeros)
{
    constexpr int kLayers = TeskLayerTable::kPartEntries + 4;
    TeskBuilder b(printerModel("Vireld30"));
    b.order = {B::LayerTable, B::MachineName, B::PreviewHead, B::PreviewData, B::LayerData};
    for (int j = 0; j < kLayers; ++j)
        b.addLayerStream(smallLayer(j % 4));
    QByteArray file = b.build();
    TeskFileHead_t header = recordAt<TeskFileHead_t>(file, 0);
    // The second part of the table would start at the real table's start.
    header.layerTableOffset -= TeskLayerTable::kPartEntries * qint32(sizeof(TeskDatHead_t));
    ASSERT_LT(header.layerTableOffset, 0);
    patch(file, 0, header);
    const QvxReader qvx = parsed(convertBytes(file));
    ASSERT_EQ(qvx.layerRecords.size(), kLayers);
    for (int j : {0, TeskLayerTable::kPartEntries - 1, TeskLayerTable::kPartEntries, kLayers - 1})
        EXPECT_EQ(layerClasses(qvx, j), QByteArray(kPixels, '\0')) << j;
}

TEST(Pipeline, LayerDataAbove4GiB)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.tesk"));
    TeskBuilder b = twoLayerFile();
    QByteArray file = b.build();
    const qint64 second = b.header.layerTableOffset + qint64(sizeof(TeskDatHead_t));
    auto entry = recordAt<TeskDatHead_t>(file, second);
    entry.dataOffsetHigh = 1;
    entry.dataOffset = 12345;
    patch(file, second, entry);
    ASSERT_TRUE(writeAt(path, 0, file));
    ASSERT_TRUE(writeAt(path, (qint64(1) << 32) + 12345, smallLayer(5)));
    const QvxReader qvx = parsed(convertFile(path));
    EXPECT_EQ(layerClasses(qvx, 1), smallLayerClasses(5));
}

TEST(Pipeline, DriverKeepsHeaderAndMachineNameBytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.tesk"));
    TeskBuilder b = twoLayerFile();
    b.machineName = QByteArray("Vireld30\0junk\0\0", 15);
    const QByteArray file = b.build();
    ASSERT_TRUE(writeAt(path, 0, file));
    TeskToQvx driver(path, dir.filePath(QStringLiteral("out.qvx")));
    CoutCapture quiet;
    EXPECT_EQ(driver.process(), 0);
    EXPECT_EQ(driver.machineNameBytes, b.machineName);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&driver.header), 216), file.left(216));
}

TEST(Pipeline, BlocksPastTheEndOfTheFileReadAsZeros)
{
    TeskBuilder b = twoLayerFile();
    b.order = {B::MachineName, B::PreviewHead, B::PreviewData, B::LayerTable, B::LayerData};
    QByteArray file = b.build();
    // Cut the second layer's data in the middle of its first run token: the
    // missing length bytes read as zero, a run of length 0.
    const auto entry = recordAt<TeskDatHead_t>(file, b.header.layerTableOffset + qint64(sizeof(TeskDatHead_t)));
    file.truncate(int(entry.dataOffset) + 1);
    const QvxReader qvx = parsed(convertBytes(file));
    EXPECT_EQ(layerClasses(qvx, 0), smallLayerClasses(0));
    EXPECT_EQ(layerClasses(qvx, 1), QByteArray(kPixels, '\0'));
}

TEST(Pipeline, DeclaredSizesBeyondTheFileAllocateNothing)
{
    TeskBuilder b = twoLayerFile();
    QByteArray file = b.build();
    auto entry = recordAt<TeskDatHead_t>(file, b.header.layerTableOffset);
    entry.dataSize = 0x7FFFFFFF;
    patch(file, b.header.layerTableOffset, entry);
    auto header = recordAt<TeskFileHead_t>(file, 0);
    header.machineNameLength = 0x7FFFFFFF;
    patch(file, 0, header);
    const Conversion c = convertBytes(file);
    EXPECT_EQ(c.result, 0);
    // The first layer's bytes run on into the second's and then into the
    // zeros the file does not hold: more than the bitmap.
    EXPECT_NE(c.printed.find("Error!overflow...\n"), std::string::npos);
}

struct MalformedCase {
    const char* name;
    void (*damage)(TeskFileHead_t&);
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedLayerTable : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedLayerTable, IsRefusedBeforeTheOutputIsMade)
{
    TeskBuilder b = twoLayerFile();
    QByteArray file = b.build();
    auto header = recordAt<TeskFileHead_t>(file, 0);
    GetParam().damage(header);
    patch(file, 0, header);
    const Conversion c = convertBytes(file);
    EXPECT_EQ(c.result, -6);
    EXPECT_EQ(c.printed, "");
    EXPECT_FALSE(c.outputExists);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedLayerTable,
    testing::Values(MalformedCase{"NegativeLayerCount", [](TeskFileHead_t& h) { h.layerCount = -1; }},
                    MalformedCase{"NoLayerSet", [](TeskFileHead_t& h) { h.layerSetCount = 0; }},
                    MalformedCase{"NegativeLayerSetCount", [](TeskFileHead_t& h) { h.layerSetCount = -3; }},
                    MalformedCase{"TableLargerThanFile", [](TeskFileHead_t& h) { h.layerCount = 1000000; }},
                    MalformedCase{"BillionLayers", [](TeskFileHead_t& h) { h.layerCount = 1000000000; }}),
    testing::PrintToStringParamName());

TEST(Pipeline, NoLayersAndNoLayerSetIsFine)
{
    TeskBuilder b(printerModel("Vireld30"));
    b.layerSetCount = 0;
    const Conversion c = convertBytes(b.build());
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.output.size(), 180); // no preview, no layers
}

struct PreviewCase {
    const char* name;
    int width, height, dataSize;
    int outWidth, outHeight;
};

void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.name; }

class PreviewDescriptor : public testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewDescriptor, GivesAPreviewOrNone)
{
    const PreviewCase& p = GetParam();
    TeskBuilder b(printerModel("Vireld30"));
    QImage red(2, 1, QImage::Format_RGB888);
    red.fill(QColor(255, 0, 0));
    b.setPreview(red);
    QByteArray file = b.build();
    TeskPreviewHead_t head = recordAt<TeskPreviewHead_t>(file, b.header.previewOffset);
    head.width = p.width;
    head.height = p.height;
    head.dataSize = p.dataSize;
    patch(file, b.header.previewOffset, head);
    const QvxReader qvx = parsed(convertBytes(file));
    EXPECT_EQ(qvx.previewWidth, p.outWidth);
    EXPECT_EQ(qvx.previewHeight, p.outHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreviewDescriptor,
    testing::Values(PreviewCase{"Whole", 2, 1, 6, 120, 150}, PreviewCase{"ZeroWidth", 0, 1, 6, 0, 0},
                    PreviewCase{"NegativeHeight", 2, -1, 6, 0, 0},
                    PreviewCase{"ShortData", 2, 1, 3, 120, 150},
                    PreviewCase{"NegativeDataSize", 2, 1, -5, 120, 150},
                    PreviewCase{"HugeDeclared", 100000, 100000, 6, 0, 0},
                    PreviewCase{"LargestAccepted", 2048, 2048, 6, 120, 150},
                    PreviewCase{"OnePixelRowTooLarge", 2048, 2049, 6, 0, 0},
                    PreviewCase{"ProductOverflows64Bits", 2000000000, 2000000000, 6, 0, 0}),
    testing::PrintToStringParamName());

// Pixel data shorter than the picture is padded with black.
TEST(Pipeline, ShortPreviewDataIsPaddedWithBlack)
{
    TeskBuilder b(printerModel("Vireld30"));
    QImage red(2, 1, QImage::Format_RGB888);
    red.fill(QColor(255, 0, 0));
    b.setPreview(red);
    b.previewPixels.chop(3);
    const QvxReader qvx = parsed(convertBytes(b.build()));
    ASSERT_EQ(qvx.previewPixels.size(), 120 * 150);
    EXPECT_EQ(qvx.previewPixels.first(), 0xF800);
    EXPECT_EQ(qvx.previewPixels[119], 0x0000);
}

// Every prefix of a small file converts or is refused; none crashes or reads
// outside a buffer (the sanitizer build checks the latter).
TEST(Pipeline, EveryTruncationIsSurvived)
{
    TeskBuilder b(printerModel("Vireld30"));
    b.addLayerStream(smallLayer(0));
    QImage preview(2, 2, QImage::Format_RGB888);
    preview.fill(Qt::white);
    b.setPreview(preview);
    const QByteArray file = b.build();
    for (int size = 0; size <= file.size(); size += size < 240 ? 7 : 1) {
        const Conversion c = convertBytes(file.left(size));
        EXPECT_TRUE(c.result == 0 || c.result == -3 || c.result == -6) << size << ": " << c.result;
    }
}

} // namespace
