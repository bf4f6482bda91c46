// The conversion encodes each layer from its runs, without a bitmap; these
// tests hold it to the bitmap path (decodeLayerData, then writeLayerData),
// byte for byte and console line for console line, for both models.
#include "format/tesklayerreader.h"
#include "layerpaths.h"
#include "teskbuilder.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Model {
    const char* name;
    int width;
    int height;
};

const Model kModels[] = {{"Vireld10", 960, 1708}, {"Vireld30", 1440, 2560}};

void expectSameRecord(const Model& model, const QByteArray& held, qint64 declared, const std::string& what)
{
    LayerPaths paths(model.name, model.width, model.height);
    const LayerRecord plain = paths.viaPlainDecoding(held, declared);
    const LayerRecord bitmap = paths.viaBitmap(held, declared);
    const LayerRecord runs = paths.viaRuns(held, declared);
    EXPECT_TRUE(plain.written) << model.name << ": " << what;
    EXPECT_EQ(bitmap.bytes, plain.bytes) << model.name << ": " << what;
    EXPECT_EQ(bitmap.overflowAt, plain.overflowAt) << model.name << ": " << what;
    EXPECT_EQ(runs.bytes, plain.bytes) << model.name << ": " << what;
    EXPECT_EQ(runs.overflowAt, plain.overflowAt) << model.name << ": " << what;
}

QByteArray repeated(const QByteArray& token, qint64 times)
{
    QByteArray out;
    out.reserve(int(token.size() * times));
    for (qint64 i = 0; i < times; ++i)
        out += token;
    return out;
}

// A random stream of every token form: single pixels, runs with 1 to 4 length
// bytes (some longer than needed), zero-length runs; run lengths up to
// maxRun, greys from a few levels so that neighbouring runs often share a class.
QByteArray randomStream(std::mt19937& random, qint64 pixels, int maxRun)
{
    QByteArray out;
    for (qint64 o = 0; o < pixels;) {
        const int grey = random() % 3 == 0 ? 0 : int(random() % 128);
        const unsigned kind = random() % 8;
        if (kind == 0) {
            out.append(char(grey));
            ++o;
            continue;
        }
        if (kind == 1) {
            out += teskRunToken(grey, 0, 1 + int(random() % 4));
            continue;
        }
        const quint32 length = 1 + quint32(random() % unsigned(maxRun));
        out += teskRunToken(grey, length, kind == 2 ? 4 : 0);
        o += length;
    }
    return out;
}

TEST(LayerRuns, SameRecordAsBitmapForWholeLayers)
{
    for (const Model& m : kModels) {
        const qint64 n = qint64(m.width) * m.height;
        const struct {
            const char* what;
            QByteArray stream;
        } cases[] = {
            {"empty", QByteArray()},
            {"all dark, explicit", teskRunToken(0, quint32(n))},
            {"all bright", teskRunToken(127, quint32(n))},
            {"all bright, one pixel short", teskRunToken(127, quint32(n - 1))},
            {"alternating every pixel", repeated(QByteArray("\x7F\x00", 2), n / 2)},
            {"alternating classes 0x00 and 0x10", repeated(QByteArray("\x08\x07", 2), n / 2)},
            {"alternating every column pair", repeated(teskRunToken(127, 2) + teskRunToken(0, 2), n / 4)},
            {"rows alternating", repeated(teskRunToken(127, quint32(m.width)) + teskRunToken(3, quint32(m.width)),
                                          m.height / 2)},
            {"one odd column lit", repeated(teskRunToken(0, 481) + teskRunToken(90, 1) +
                                                teskRunToken(0, quint32(m.width - 482)),
                                            m.height)},
            {"overflow by one pixel", teskRunToken(127, quint32(n)) + QByteArray(1, '\x05')},
        };
        for (const auto& c : cases)
            expectSameRecord(m, c.stream, c.stream.size(), c.what);
    }
}

// Short runs like the worst case, long runs like a print, and streams that
// stop short, overflow, are cut short or declare bytes the file does not hold.
TEST(LayerRuns, SameRecordAsBitmapForRandomStreams)
{
    std::mt19937 random(11);
    for (const Model& m : kModels) {
        const qint64 n = qint64(m.width) * m.height;
        for (int trial = 0; trial < 24; ++trial) {
            const int maxRun = trial % 3 == 0 ? 3 : trial % 3 == 1 ? 200 : 20000;
            const qint64 pixels = trial % 4 == 0 ? n - qint64(random() % 5000) : n + qint64(random() % 3);
            const QByteArray stream = randomStream(random, pixels, maxRun);
            const std::string what = "trial " + std::to_string(trial);
            expectSameRecord(m, stream, stream.size(), what);
            // Cut anywhere, also inside a token.
            const int cut = int(random() % unsigned(stream.size()));
            expectSameRecord(m, stream.left(cut), cut, what + " cut at " + std::to_string(cut));
            // Declared longer than held: the rest reads as single black pixels.
            const qint64 tail = random() % 2 ? qint64(random() % 64) : n;
            expectSameRecord(m, stream.left(cut), cut + tail, what + " with an unheld tail");
        }
    }
}

// An overflowing token at every position of a stream of a few tokens: the
// layer ends before it, and the message is printed once.
TEST(LayerRuns, OverflowAtEveryToken)
{
    for (const Model& m : kModels) {
        const qint64 n = qint64(m.width) * m.height;
        const QByteArray tokens[] = {teskRunToken(60, 1000), QByteArray(1, '\x30'), teskRunToken(0, 0),
                                     teskRunToken(127, quint32(n / 3), 4), teskRunToken(9, 7)};
        for (int at = 0; at <= 5; ++at) {
            QByteArray stream;
            for (int k = 0; k < 5; ++k) {
                if (k == at)
                    stream += teskRunToken(100, quint32(n));
                stream += tokens[k];
            }
            if (at == 5)
                stream += teskRunToken(100, quint32(n));
            expectSameRecord(m, stream, stream.size(), "overflow at token " + std::to_string(at));
        }
    }
}

// The tokens that start in the last four held bytes are read from a padded
// copy, the others where they are: every token form, ending at and around the
// end of the held bytes, cut anywhere in it, with and without unheld bytes, and
// a layer that overflows there.
TEST(LayerRuns, TokensAtTheEndOfTheHeldBytes)
{
    // Some lengths have bits in their first length byte, so that a token cut
    // short there does not read as a run of length 0.
    const QByteArray lastTokens[] = {
        QByteArray(1, '\x41'),    teskRunToken(90, 3),        teskRunToken(90, 3, 3),
        teskRunToken(90, 0x0105), teskRunToken(90, 0x010005), teskRunToken(90, 0x01000005),
        teskRunToken(20, 0, 4),
    };
    for (const Model& m : kModels) {
        LayerPaths paths(m.name, m.width, m.height);
        const qint64 n = qint64(m.width) * m.height;
        for (const qint64 room : {qint64(4), qint64(300), qint64(70000)}) {
            for (const int singles : {0, 1, 3}) {
                for (const QByteArray& last : lastTokens) {
                    const QByteArray stream = teskRunToken(127, quint32(n - room), 4)
                                              + QByteArray(singles, '\x7F') + last;
                    for (int cut = 5; cut <= stream.size(); ++cut) {
                        for (const qint64 unheld : {0, 3}) {
                            const std::string what = std::to_string(room) + " pixels left, " + std::to_string(singles)
                                + " singles, last token " + last.toHex().toStdString() + ", cut at "
                                + std::to_string(cut) + ", unheld " + std::to_string(unheld);
                            const LayerRecord plain = paths.viaPlainDecoding(stream.left(cut), cut + unheld);
                            const LayerRecord runs = paths.viaRuns(stream.left(cut), cut + unheld);
                            EXPECT_EQ(runs.bytes, plain.bytes) << m.name << ": " << what;
                            EXPECT_EQ(runs.overflowAt, plain.overflowAt) << m.name << ": " << what;
                        }
                    }
                }
            }
        }
    }
}

// A run is written with one store, whatever the number of its digits.
TEST(LayerRuns, RunLengthsOfEveryDigitCount)
{
    const Model& m = kModels[1];
    const qint64 n = qint64(m.width) * m.height;
    QByteArray stream;
    QByteArray expected;
    const auto addRun = [&](int grey, quint32 length) {
        stream += teskRunToken(grey, length);
        QByteArray digits;
        for (quint32 left = length; left != 0; left /= 16)
            digits.prepend(char(((grey * 2) & 0xF0) | int(left % 16)));
        expected += digits;
    };
    qint64 covered = 0;
    int grey = 127;
    for (const quint32 length : {1, 2, 15, 16, 17, 255, 256, 4095, 4096, 65535, 65536, 1048575, 1048576}) {
        addRun(grey, length);
        covered += length;
        grey = 127 - grey;
    }
    addRun(grey, quint32(n - covered));
    LayerPaths paths(m.name, m.width, m.height);
    const LayerRecord runs = paths.viaRuns(stream, stream.size());
    QByteArray record(4, '\0');
    qToLittleEndian<quint32>(quint32(expected.size()), record.data());
    EXPECT_EQ(runs.bytes.toHex(), (record + expected).toHex());
}

// sliceinfo reports these positions.
TEST(LayerRuns, ReaderTellsWhereTheStreamEnded)
{
    const QByteArray run = teskRunToken(5, 3); // 2 bytes
    const struct {
        const char* what;
        QByteArray held;
        qint64 declared;
        qint64 written, overflowAt, cutShortAt, decoded;
    } cases[] = {
        {"exact fill", run + teskRunToken(5, 1), 4, 4, -1, -1, 4},
        {"overflow", run + teskRunToken(5, 2), 4, 3, 2, -1, 2},
        {"cut short", run + QByteArray(1, '\x85'), 3, 3, -1, 2, 3},
        {"unheld tail that fits", run, 3, 4, -1, -1, 3},
        {"unheld tail that overflows", run, 9, 4, 3, -1, 3},
    };
    for (const auto& c : cases) {
        TeskLayerReader reader(c.held.constData(), c.held.size(), c.declared, 4);
        reader.readRuns([](uchar, qint64) {});
        EXPECT_EQ(reader.pixelsWritten(), c.written) << c.what;
        EXPECT_EQ(reader.overflowAt(), c.overflowAt) << c.what;
        EXPECT_EQ(reader.cutShortAt(), c.cutShortAt) << c.what;
        EXPECT_EQ(reader.decodedLength(), c.decoded) << c.what;
    }
}

} // namespace
