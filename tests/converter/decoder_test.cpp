#include "conversion.h"
#include "teskbuilder.h"
#include "tesktoqvx.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// GoogleTest looks for a parameter's printer in the namespace of its type.
static void PrintTo(TokenForm form, std::ostream* os)
{
    const char* names[] = {"Shortest", "LongLengths", "SinglePixels", "ZeroRuns"};
    *os << names[int(form)];
}

namespace {

struct Decoded {
    std::vector<uchar> pixels;
    bool overflowed;
};

Decoded decode(int width, int height, const QByteArray& stream, uchar fill = 0xAB)
{
    TeskToQvx driver{QString(), QString()};
    driver.header.resolutionX = width;
    driver.header.resolutionY = height;
    // One byte more than the bitmap, to see that nothing is written past it.
    Decoded d{std::vector<uchar>(size_t(width * height) + 1, fill), {}};
    QByteArray copy = stream;
    // It returns true whatever it decodes: the pixels and the overflow tell.
    driver.decodeLayerData(copy.data(), copy.size(), d.pixels.data());
    d.overflowed = driver.layerOverflowAt() >= 0;
    EXPECT_EQ(d.pixels.back(), fill) << "wrote past the bitmap";
    d.pixels.pop_back();
    return d;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

std::vector<uchar> pixels(std::initializer_list<int> values)
{
    return std::vector<uchar>(values.begin(), values.end());
}


struct TokenCase {
    const char* name;
    int width, height;
    QByteArray stream;
    std::vector<uchar> expected;
    bool overflow;
};

// Names the case in test names and failure messages.
void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }

class DecoderTokens : public testing::TestWithParam<TokenCase> {};

TEST_P(DecoderTokens, DecodesToExpectedBitmap)
{
    const TokenCase& c = GetParam();
    const Decoded d = decode(c.width, c.height, c.stream);
    EXPECT_EQ(d.pixels, c.expected);
    EXPECT_EQ(d.overflowed, c.overflow);
}

std::vector<uchar> run(int value, int count, int total)
{
    std::vector<uchar> v(size_t(total), 0);
    std::fill(v.begin(), v.begin() + count, uchar(value));
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, DecoderTokens,
    testing::Values(
        TokenCase{"SinglePixel", 4, 1, bytes({0x05}), pixels({10, 0, 0, 0}), false},
        TokenCase{"ShortRun", 4, 1, bytes({0x85, 0x03}), pixels({10, 10, 10, 0}), false},
        TokenCase{"TwoLengthBytes", 4, 1, bytes({0xFF, 0x40, 0x02}), pixels({254, 254, 0, 0}), false},
        TokenCase{"ThreeLengthBytes", 4, 1, bytes({0xFF, 0x80, 0x00, 0x02}), pixels({254, 254, 0, 0}), false},
        TokenCase{"FourLengthBytes", 4, 1, bytes({0xFF, 0xC0, 0x00, 0x00, 0x02}), pixels({254, 254, 0, 0}), false},
        TokenCase{"FiveByteTokenEndsTheData", 4, 1, bytes({0x01, 0xFF, 0xC0, 0x00, 0x00, 0x02}), pixels({2, 254, 254, 0}), false},
        TokenCase{"TokensInTheLastFourBytes", 8, 1, bytes({0x85, 0x02, 0x01, 0x81, 0x02, 0x03}), pixels({10, 10, 2, 2, 2, 6, 0, 0}), false},
        TokenCase{"ZeroLengthRunWritesNothing", 4, 1, bytes({0x81, 0x00, 0x7F}), pixels({254, 0, 0, 0}), false},
        TokenCase{"ExplicitDarkRun", 64, 1, bytes({0x80, 0x3F, 0x01}), [] { auto v = run(0, 64, 64); v[63] = 2; return v; }(), false},
        TokenCase{"RunCrossesRowEnd", 3, 2, bytes({0x81, 0x04, 0x10}), pixels({2, 2, 2, 2, 32, 0}), false},
        TokenCase{"ExactFill", 2, 2, bytes({0x83, 0x04}), pixels({6, 6, 6, 6}), false},
        TokenCase{"ZeroRunAfterExactFill", 2, 2, bytes({0x83, 0x04, 0x90, 0x00}), pixels({6, 6, 6, 6}), false},
        TokenCase{"RunOverflowAppliesNothing", 2, 2, bytes({0x83, 0x05}), pixels({0, 0, 0, 0}), true},
        TokenCase{"PixelAfterExactFillOverflows", 2, 2, bytes({0x83, 0x04, 0x01}), pixels({6, 6, 6, 6}), true},
        TokenCase{"OverflowKeepsEarlierTokens", 2, 2, bytes({0x09, 0x83, 0x04, 0x02}), pixels({18, 0, 0, 0}), true},
        TokenCase{"StreamStopsShort", 2, 2, bytes({0x84, 0x02}), pixels({8, 8, 0, 0}), false},
        TokenCase{"EmptyStream", 2, 2, QByteArray(), pixels({0, 0, 0, 0}), false},
        // A run token whose length bytes would lie past the data ends the layer there.
        TokenCase{"HeadByteAtEnd", 2, 2, bytes({0x05, 0x85}), pixels({10, 0, 0, 0}), false},
        TokenCase{"LengthBytesCutShort", 2, 2, bytes({0x05, 0x85, 0x40}), pixels({10, 0, 0, 0}), false},
        TokenCase{"FourLengthBytesCutShort", 2, 2, bytes({0x85, 0xC0, 0x00, 0x00}), pixels({0, 0, 0, 0}), false}),
    testing::PrintToStringParamName());

TEST(Decoder, ReusedBufferKeepsNothingOfThePreviousLayer)
{
    TeskToQvx driver{QString(), QString()};
    driver.header.resolutionX = 3;
    driver.header.resolutionY = 2;
    std::vector<uchar> bitmap(6);
    QByteArray first = bytes({0xFF, 0x06});
    QByteArray second = bytes({0x01});
    driver.decodeLayerData(first.data(), first.size(), bitmap.data());
    driver.decodeLayerData(second.data(), second.size(), bitmap.data());
    EXPECT_EQ(bitmap, pixels({2, 0, 0, 0, 0, 0}));
}

// Zero bytes that a block declares but the file does not hold decode as if they
// were there: single black pixels, which overflow once they pass the bitmap.
TEST(Decoder, UnheldZeroTailCountsAsBlackPixels)
{
    TeskToQvx driver{QString(), QString()};
    driver.header.resolutionX = 2;
    driver.header.resolutionY = 2;
    const QByteArray held = bytes({0x83, 0x02});
    struct Case {
        qint64 declared;
        qint64 overflowAt;
    } cases[] = {{2, -1}, {4, -1}, {5, 4}, {qint64(1) << 40, 4}};
    for (const Case& c : cases) {
        std::vector<uchar> bitmap(4, 0xAB);
        EXPECT_EQ(driver.decodeLayerData(held.constData(), held.size(), c.declared, bitmap.data()), c.overflowAt)
            << c.declared;
        EXPECT_EQ(bitmap, pixels({6, 6, 0, 0})) << c.declared;
    }
    // A run token whose length bytes fall in the unheld tail reads them as zeros.
    const struct {
        QByteArray held;
        qint64 declared;
        std::vector<uchar> expected;
        qint64 overflowAt;
    } cut[] = {
        {bytes({0x03, 0x85}), 4, pixels({6, 0, 0, 0}), -1},
        {bytes({0x01, 0x7F, 0x85, 0xC0}), 9, pixels({2, 254, 0, 0}), -1}, // zero run, then 2 black pixels
        {bytes({0x01, 0x7F, 0x85, 0xC0}), 10, pixels({2, 254, 0, 0}), 9}, // 3 black pixels
        {bytes({0x01, 0x7F, 0x85, 0x40}), 5, pixels({2, 254, 0, 0}), -1},
    };
    for (const auto& c : cut) {
        std::vector<uchar> bitmap(4, 0xAB);
        EXPECT_EQ(driver.decodeLayerData(c.held.constData(), c.held.size(), c.declared, bitmap.data()), c.overflowAt)
            << c.held.toHex().constData() << " " << c.declared;
        EXPECT_EQ(bitmap, c.expected) << c.held.toHex().constData() << " " << c.declared;
    }
}

class DecoderRoundTrip : public testing::TestWithParam<TokenForm> {};

// Every token form the slicer may use decodes back to the bitmap it encodes.
TEST_P(DecoderRoundTrip, RandomLayerSurvivesEncoding)
{
    const struct { int width, height, maxRun; } sizes[] = {{37, 23, 70}, {960, 1708, 5000}};
    for (const auto& size : sizes) {
        std::mt19937 random(7);
        QByteArray bitmap(size.width * size.height, '\0');
        for (int i = 0; i < bitmap.size();) {
            const int value = int(random() % 128) * 2;
            const int length = 1 + int(random() % unsigned(size.maxRun));
            for (int k = 0; k < length && i < bitmap.size(); ++k)
                bitmap[i++] = char(value);
        }
        const Decoded d = decode(size.width, size.height, encodeTeskLayer(bitmap, GetParam()));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(d.pixels.data()), int(d.pixels.size())), bitmap)
            << size.width;
        EXPECT_FALSE(d.overflowed);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, DecoderRoundTrip,
                         testing::Values(TokenForm::Shortest, TokenForm::LongLengths, TokenForm::SinglePixels,
                                         TokenForm::ZeroRuns),
                         testing::PrintToStringParamName());

TEST(Decoder, LongestRunLengths)
{
    const struct {
        quint32 length;
        int lengthBytes;
    } cases[] = {{63, 1}, {16383, 2}, {4194303, 3}, {1u << 23, 4}};
    for (const auto& c : cases) {
        const Decoded d = decode(4096, 2048, teskRunToken(1, c.length, c.lengthBytes));
        EXPECT_EQ(d.pixels[c.length - 1], 2) << c.length;
        EXPECT_EQ(c.length < d.pixels.size() ? d.pixels[c.length] : 0, 0) << c.length;
    }
}

} // namespace
