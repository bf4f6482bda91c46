// Writes the seed corpora of the fuzz targets into OUTDIR/<target>/, made with
// the project's own Tesk writer (teskbuilder/teskbuilder.h) and converter.
//   usage: fuzz_seeds OUTDIR
#include "fuzzsupport.h"
#include "layercoding.h"
#include "teskbuilder.h"
#include "tesktoqvx.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPair>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <cstdio>

namespace {

bool writeSeed(const QString& dir, const QString& name, const QByteArray& bytes)
{
    if (!QDir().mkpath(dir))
        return false;
    QFile f(QDir(dir).filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

// A width x height bitmap: a bright box and a disc with grey edges, moved by `shift`.
QByteArray bitmap(int width, int height, int shift)
{
    QByteArray pixels(width * height, '\0');
    const int cx = width / 2 + shift;
    const int cy = height / 2;
    const int radius = std::max(2, std::min(width, height) / 8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double d = std::hypot(x - cx, y - cy) - radius;
            uchar grey = d < -1 ? 254 : d < 0 ? 128 : d < 1 ? 64 : 0;
            if (y >= cy + radius + 2 && y < cy + radius + 2 + height / 40 && x > width / 4 && x < width / 2)
                grey = 200;
            pixels[y * width + x] = char(grey);
        }
    }
    return pixels;
}

QImage preview(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x ^ y) & 0xFF));
    return image;
}

TeskBuilder tesk(const PrinterModel& model, int layers, TokenForm form, bool withPreview)
{
    TeskBuilder b(model);
    const int w = b.header.resolutionX;
    const int h = b.header.resolutionY;
    for (int i = 0; i < layers; ++i)
        b.addLayer(bitmap(w, h, i * 7), form);
    if (withPreview)
        b.setPreview(preview(12, 9));
    return b;
}

QByteArray decoderSeed(int width, int height, int extra, const QByteArray& stream)
{
    QByteArray seed;
    seed.append(char(width - 1)).append(char(height - 1)).append(char(extra));
    return seed + stream;
}

QByteArray encoderSeed(int width, int height, bool wrapped, const QByteArray& pixels)
{
    QByteArray seed;
    seed.append(char(width - 1)).append(char(height - 1)).append(char(wrapped ? 1 : 0));
    return seed + pixels;
}

template <typename T>
void patch(QByteArray& file, qint64 offset, T value)
{
    std::memcpy(file.data() + offset, &value, sizeof value);
}

// Malformed files of 1 KiB: a valid Vireld10 file of one layer with one field
// made absurd. They are seeds of the conversion targets and the inputs of the
// peak-memory measurement.
QVector<QPair<QString, QByteArray>> malformedFiles()
{
    TeskBuilder b(printerModel("Vireld10"));
    b.addLayerStream(teskRunToken(0, 960 * 1708 / 2) + teskRunToken(100, 960 * 1708 / 2));
    b.setPreview(preview(4, 4));
    QByteArray valid = b.build();
    valid.append(QByteArray(1024 - valid.size(), '\0'));
    const qint64 entry = b.header.layerTableOffset;
    const qint64 previewHead = b.header.previewOffset;

    QVector<QPair<QString, QByteArray>> files;
    auto add = [&](const char* name, const std::function<void(QByteArray&)>& change) {
        QByteArray file = valid;
        change(file);
        files.append({QString::fromLatin1(name), file});
    };
    add("datasize-2g", [&](QByteArray& f) { patch<qint32>(f, entry + offsetof(TeskDatHead_t, dataSize), 0x7FFFFFFF); });
    add("dataoffset-far", [&](QByteArray& f) { patch<quint32>(f, entry + offsetof(TeskDatHead_t, dataOffsetHigh), 0xFFFFFFFF); });
    add("namelength-2g", [&](QByteArray& f) { patch<qint32>(f, offsetof(TeskFileHead_t, machineNameLength), 0x7FFFFFFF); });
    add("layers-1e9", [&](QByteArray& f) { patch<qint32>(f, offsetof(TeskFileHead_t, layerCount), 1000000000); });
    add("layers-fill", [&](QByteArray& f) {
        // As many layers as the converter accepts for the file's size; the
        // entries past the first read the bytes behind the table (mostly zeros).
        patch<qint32>(f, offsetof(TeskFileHead_t, layerCount), 1024 / qint32(sizeof(TeskDatHead_t)));
    });
    add("preview-100000x100000", [&](QByteArray& f) {
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, width), 100000);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, height), 100000);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, dataSize), 0x7FFFFFFF);
    });
    add("preview-2e9x2e9", [&](QByteArray& f) {
        // width x height x 3 does not fit 64 bits.
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, width), 2000000000);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, height), 2000000000);
    });
    add("preview-64mib", [&](QByteArray& f) {
        // 4096 x 5461 x 3 bytes: just under 64 MiB.
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, width), 4096);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, height), 5461);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, dataSize), 64 * 1024 * 1024);
    });
    add("preview-negative", [&](QByteArray& f) {
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, width), -4);
        patch<qint32>(f, previewHead + offsetof(TeskPreviewHead_t, height), -4);
    });
    return files;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    silenceStdout();
    const QDir out(QFile::decodeName(argv[1]));
    bool ok = true;

    // Whole Tesk files for the conversion targets.
    const QString convert = out.filePath(QStringLiteral("convert"));
    QVector<QByteArray> teskFiles;
    {
        TeskBuilder b = tesk(printerModel("Vireld10"), 1, TokenForm::Shortest, true);
        teskFiles.append(b.build());
    }
    {
        TeskBuilder b = tesk(printerModel("Vireld30"), 2, TokenForm::Shortest, true);
        teskFiles.append(b.build());
    }
    {
        TeskBuilder b = tesk(printerModel("Vireld10"), 2, TokenForm::LongLengths, false);
        b.machineName = QByteArray("Kv10\0\0\0\0", 8);
        teskFiles.append(b.build());
    }
    {
        TeskBuilder b = tesk(printerModel("Vireld30"), 1, TokenForm::ZeroRuns, true);
        b.machineName = "Kv20";
        b.order = {TeskBuilder::LayerTable, TeskBuilder::LayerData, TeskBuilder::PreviewData,
                   TeskBuilder::PreviewHead, TeskBuilder::MachineName};
        b.gapBetweenBlocks = 3;
        b.layerSetCount = 2;
        teskFiles.append(b.build());
    }
    {
        // A layer that runs past the bitmap, and one cut short.
        TeskBuilder b(printerModel("Vireld10"));
        b.addLayerStream(teskRunToken(100, 960 * 1708 + 5) + teskRunToken(3, 2));
        b.addLayerStream(QByteArray("\x10\x20", 2) + teskRunToken(127, 5000).left(2));
        teskFiles.append(b.build());
    }
    for (int i = 0; i < teskFiles.size(); ++i)
        ok &= writeSeed(convert, QStringLiteral("tesk%1").arg(i), teskFiles[i]);
    for (const auto& file : malformedFiles())
        ok &= writeSeed(convert, QStringLiteral("malformed-") + file.first, file.second);

    // Layer streams for the decoder, on small bitmaps.
    const QString decoder = out.filePath(QStringLiteral("decoder"));
    const TokenForm forms[] = {TokenForm::Shortest, TokenForm::LongLengths, TokenForm::SinglePixels,
                               TokenForm::ZeroRuns};
    int n = 0;
    for (TokenForm form : forms) {
        ok &= writeSeed(decoder, QStringLiteral("layer%1").arg(n++),
                        decoderSeed(16, 12, 0, encodeTeskLayer(bitmap(16, 12, 0), form)));
        ok &= writeSeed(decoder, QStringLiteral("layer%1").arg(n++),
                        decoderSeed(37, 5, 9, encodeTeskLayer(bitmap(37, 5, 1), form)));
    }
    ok &= writeSeed(decoder, QStringLiteral("overflow"),
                    decoderSeed(8, 8, 0, teskRunToken(5, 60) + teskRunToken(9, 300, 3)));
    ok &= writeSeed(decoder, QStringLiteral("cut"), decoderSeed(8, 8, 4, teskRunToken(5, 60, 4).left(3)));

    // Full-size layer streams for the run path: a ring of grey-edged runs per
    // row, an overflow, a cut-short token and an unheld tail.
    const QString runs = out.filePath(QStringLiteral("layerruns"));
    for (int model = 0; model < 2; ++model) {
        const int width = model == 0 ? 960 : 1440;
        QByteArray rows;
        for (int y = 0; y < 40; ++y)
            rows += teskRunToken(0, quint32(width / 2 - y)) + QByteArray(1, char(30 + y)) +
                    teskRunToken(127, quint32(2 * y + 1)) + QByteArray(1, char(60 - y)) +
                    teskRunToken(0, quint32(width / 2 - y - 3));
        const QByteArray head(1, char(model));
        ok &= writeSeed(runs, QStringLiteral("rows%1").arg(model), head + '\0' + teskRunToken(0, 5000) + rows);
        ok &= writeSeed(runs, QStringLiteral("overflow%1").arg(model),
                        head + '\0' + teskRunToken(60, 4000000) + teskRunToken(3, 2));
        ok &= writeSeed(runs, QStringLiteral("cut%1").arg(model), head + '\0' + rows + teskRunToken(9, 70).left(1));
        ok &= writeSeed(runs, QStringLiteral("tail%1").arg(model), head + '\x05' + rows);
    }

    // Images for the encoder.
    const QString encoder = out.filePath(QStringLiteral("encoder"));
    ok &= writeSeed(encoder, QStringLiteral("box"), encoderSeed(16, 12, false, bitmap(16, 12, 0)));
    ok &= writeSeed(encoder, QStringLiteral("odd"), encoderSeed(13, 7, true, bitmap(13, 7, 2)));
    QByteArray ramp;
    for (int i = 0; i < 5 * 9; ++i)
        ramp.append(char(i * 6));
    ok &= writeSeed(encoder, QStringLiteral("ramp"), encoderSeed(5, 9, false, ramp));

    // Pairs of small layers for the island finder: a box with a disc beside it
    // over the box alone, as Tesk streams (split at the middle) and as qvx runs.
    const QString islands = out.filePath(QStringLiteral("islands"));
    {
        QByteArray below = bitmap(24, 20, 0);
        for (char& grey : below)
            grey = grey == char(200) ? grey : '\0';
        const QByteArray layer = bitmap(24, 20, 5);
        const QByteArray teskPair = encodeTeskLayer(below) + encodeTeskLayer(layer);
        const char split = char(encodeTeskLayer(below).size() * 256 / teskPair.size() & ~1);
        ok &= writeSeed(islands, QStringLiteral("tesk"), QByteArray("\x17\x13", 2) + split + teskPair);
        ok &= writeSeed(islands, QStringLiteral("qvx"),
                        QByteArray("\x17\x13\x81\x31\x30\xf1\x32\x30\x21\x30\x81\x32\x3f", 13));
    }

    // Small prints for the dark-space finder: a 12 x 12 box of 10 layers with a
    // hollow, closed and with a vent in its top hollow layer, in both codings.
    const QString darkspace = out.filePath(QStringLiteral("darkspace"));
    for (const bool vented : {false, true}) {
        for (const LayerCoding coding : {LayerCoding::Tesk, LayerCoding::Qvx}) {
            QByteArray seed("\x0b\x0b", 2);
            seed += char(9 << 1 | (coding == LayerCoding::Qvx ? 1 : 0));
            for (int z = 0; z < 10; ++z) {
                QByteArray layer(144, '\0');
                for (int y = 2; y < 10; ++y)
                    for (int x = 2; x < 10; ++x) {
                        const bool hollow = x >= 4 && x < 8 && y >= 4 && y < 8 && z >= 3 && z <= 6;
                        const bool vent = vented && z == 6 && y == 5 && x >= 8;
                        layer[y * 12 + x] = z >= 1 && z <= 8 && !hollow && !vent ? char(254) : '\0';
                    }
                const QByteArray stream = encodeLayer(coding, layer);
                seed += char(stream.size()) + stream;
            }
            ok &= writeSeed(darkspace, QStringLiteral("box%1-%2").arg(vented ? "vented" : "closed").arg(int(coding)), seed);
        }
    }

    // qvx files, converted from the Tesk seeds.
    const QString qvxDir = out.filePath(QStringLiteral("qvxreader"));
    QTemporaryDir scratch;
    for (int i = 0; i < teskFiles.size(); ++i) {
        const QString input = scratch.filePath(QStringLiteral("in.tesk"));
        const QString output = scratch.filePath(QStringLiteral("out.qvx"));
        QFile f(input);
        ok &= f.open(QIODevice::WriteOnly) && f.write(teskFiles[i]) == teskFiles[i].size() && f.flush();
        f.close();
        TeskToQvx driver(input, output);
        if (driver.process() != Converted) {
            std::fprintf(stderr, "seed %d did not convert\n", i);
            ok = false;
            continue;
        }
        ok &= writeSeed(qvxDir, QStringLiteral("qvx%1").arg(i), readFile(output));
    }

    if (!ok)
        std::fprintf(stderr, "could not write every seed into %s\n", argv[1]);
    return ok ? 0 : 1;
}
