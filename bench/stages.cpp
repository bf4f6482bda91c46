// The layer stages one at a time, on layers taken from sample files:
//
//   stage_benchmarks [benchmark options] FILE.tesk...
//
// Each file (made by makesample) gives benchmarks named STAGE/STEM, STEM being
// the file name without ".tesk". Every benchmark handles one layer per
// iteration, cycling through layers spread over the file, and reports pixels/s
// (of the input layer) and x_floor: its time per layer as a multiple of the
// floor, the time to clear one input layer bitmap and scan it once (memset +
// memchr), measured first in the same run.
//
//   Floor         memset + memchr over the input layer's bytes
//   Decode        TeskToQvx::decodeLayerData
//   Encode        ExportQvx::compressImage of the prepared layer
//   EncodeWrite   Encode, then the layer record (count, then bytes) onto the
//                 writer's stream, as writeLayerData writes it
//   WriteLayer    ExportQvx::writeLayerData: preparation, Encode and the record
//   Layer         Decode and WriteLayer: the bitmap path, everything done per
//                 layer but reading it and the file system's share of the write
//   Runs          ExportQvx::writeLayerRuns: the same record from the layer's
//                 runs, without a bitmap, as a conversion makes it
//
// The writer's stream goes to a device that drops the bytes. The summary at
// the end also prints two differences: RecordWrite (EncodeWrite minus Encode)
// and Prepare (WriteLayer minus EncodeWrite: the halving for model 10, nothing
// for model 30).

#include "exportqvx.h"
#include "format/tesklayerreader.h"
#include "tesktoqvx.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSampleLayers = 20;

class DiscardDevice : public QIODevice {
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override { return size; }
};

struct Sample {
    std::string stem;
    TeskToQvx driver{QString(), QString()};
    std::vector<QByteArray> layerData;    // coded layers
    std::vector<std::vector<uchar>> bitmaps; // the same layers decoded
    std::vector<QImage> prepared;         // and brought to the printer's grid

    int width() const { return driver.header.resolutionX; }
    int height() const { return driver.header.resolutionY; }
    qint64 pixels() const { return qint64(width()) * height(); }
    QImage layerImage(size_t k)
    {
        return QImage(bitmaps[k].data(), width(), height(), width(), QImage::Format_Grayscale8);
    }
};

// Milliseconds per layer of the last run of each benchmark, by name.
std::map<std::string, double> msPerLayer;

QByteArray readAt(QFile& file, qint64 offset, qint64 size)
{
    file.seek(offset);
    QByteArray bytes = file.read(size);
    bytes.append(QByteArray(int(size - bytes.size()), '\0'));
    return bytes;
}

bool loadSample(const QString& path, Sample& sample)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    TeskFileHead_t& header = sample.driver.header;
    std::memcpy(&header, readAt(file, 0, sizeof header).constData(), sizeof header);
    sample.driver.machineNameBytes = readAt(file, header.machineNameOffset, header.machineNameLength);
    if (header.layerCount < 1 || header.resolutionX <= 0 || header.resolutionY <= 0)
        return false;
    const QByteArray table = readAt(file, header.layerTableOffset, qint64(header.layerCount) * sizeof(TeskDatHead_t));
    ExportQvx writer(&sample.driver);
    if (!writer.validate())
        return false;
    for (int k = 0; k < kSampleLayers; ++k) {
        TeskDatHead_t entry;
        const qint64 j = (2 * k + 1) * qint64(header.layerCount) / (2 * kSampleLayers);
        std::memcpy(&entry, table.constData() + j * sizeof entry, sizeof entry);
        const qint64 offset = qint64((quint64(entry.dataOffsetHigh) << 32) | entry.dataOffset);
        sample.layerData.push_back(readAt(file, offset, entry.dataSize));
        sample.bitmaps.emplace_back(size_t(sample.pixels()));
        QByteArray& data = sample.layerData.back();
        sample.driver.decodeLayerData(data.data(), data.size(), sample.bitmaps.back().data());
        const QImage layer = sample.layerImage(sample.bitmaps.size() - 1);
        sample.prepared.push_back(
            writer.modelNumber() == 10
                ? layer.scaled(480, 854, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .convertToFormat(QImage::Format_Grayscale8)
                : layer.copy());
    }
    sample.stem = QFileInfo(path).completeBaseName().toStdString();
    return true;
}

double cpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// What the pipeline keeps from layer to layer: one bitmap, the writer, and here
// also one image of the printer's grid.
struct Work {
    std::vector<uchar> bitmap;
    QImage prepared;
    ExportQvx& writer;
};

// Runs `setup` untimed and `body` timed for each layer in turn. The setup brings
// into the cache what the pipeline would have there at the start of the stage,
// such as the bitmap the decoder has just written. Times are processor time,
// as the machine may be shared.
template <typename Setup, typename Body>
void timeLayers(benchmark::State& state, const std::string& name, const std::string& floorName,
                qint64 pixelsPerLayer, Setup setup, Body body)
{
    size_t layer = 0;
    double total = 0;
    for (auto _ : state) {
        setup(layer);
        const double start = cpuSeconds();
        body(layer);
        const double seconds = cpuSeconds() - start;
        state.SetIterationTime(seconds);
        total += seconds;
        layer = (layer + 1) % kSampleLayers;
    }
    const double ms = 1000.0 * total / double(state.iterations());
    msPerLayer[name] = ms;
    state.counters["pixels/s"] = double(pixelsPerLayer) / ms * 1000.0;
    if (msPerLayer.count(floorName))
        state.counters["x_floor"] = ms / msPerLayer[floorName];
}

std::string floorName(const Sample& sample)
{
    return "Floor/" + std::to_string(sample.width()) + "x" + std::to_string(sample.height());
}

void registerFloor(const Sample& sample, std::set<std::string>& registered)
{
    const std::string name = floorName(sample);
    if (!registered.insert(name).second)
        return;
    const size_t size = size_t(sample.pixels());
    benchmark::RegisterBenchmark(name.c_str(), [name, size](benchmark::State& state) {
        std::vector<uchar> bitmap(size);
        timeLayers(
            state, name, name, qint64(size), [](size_t) {},
            [&](size_t) {
                std::memset(bitmap.data(), 0, size);
                benchmark::DoNotOptimize(bitmap.data());
                benchmark::DoNotOptimize(std::memchr(bitmap.data(), 1, size));
            });
    })->UseManualTime();
}

void registerStages(Sample& s)
{
    const std::string floor = floorName(s);
    auto add = [&](const std::string& stage, auto setup, auto body) {
        const std::string name = stage + "/" + s.stem;
        benchmark::RegisterBenchmark(name.c_str(), [name, floor, &s, setup, body](benchmark::State& state) {
            ExportQvx writer(&s.driver);
            writer.validate();
            DiscardDevice discard;
            discard.open(QIODevice::WriteOnly);
            writer.stream.setDevice(&discard);
            writer.stream.setByteOrder(QDataStream::LittleEndian);
            Work work{std::vector<uchar>(size_t(s.pixels())), s.prepared[0].copy(), writer};
            timeLayers(
                state, name, floor, s.pixels(), [&](size_t k) { setup(k, work); },
                [&](size_t k) { body(k, work); });
        })->UseManualTime();
    };
    // The coded layer has just been read.
    auto readLayer = [&s](size_t k, Work&) {
        uchar sum = 0;
        for (const char byte : s.layerData[k])
            sum = uchar(sum + byte);
        benchmark::DoNotOptimize(sum);
    };
    // The layer has just been decoded, or prepared.
    auto decodedLayer = [&s](size_t k, Work& work) {
        std::memcpy(work.bitmap.data(), s.bitmaps[k].data(), work.bitmap.size());
    };
    auto preparedLayer = [&s](size_t k, Work& work) {
        std::memcpy(work.prepared.bits(), s.prepared[k].constBits(), size_t(s.prepared[k].sizeInBytes()));
    };
    auto decode = [&s](size_t k, Work& work) {
        s.driver.decodeLayerData(s.layerData[k].data(), s.layerData[k].size(), work.bitmap.data());
    };
    auto writeLayer = [&s](size_t, Work& work) {
        QImage layer(work.bitmap.data(), s.width(), s.height(), s.width(), QImage::Format_Grayscale8);
        work.writer.writeLayerData(layer);
    };
    add("Decode", readLayer, decode);
    add("Encode", preparedLayer, [](size_t, Work& work) { work.writer.compressImage(work.prepared); });
    add("EncodeWrite", preparedLayer, [](size_t, Work& work) {
        ExportQvx& writer = work.writer;
        writer.compressImage(work.prepared);
        writer.stream << quint32(writer.compressedData.size());
        writer.stream.writeRawData(reinterpret_cast<const char*>(writer.compressedData.constData()),
                                   writer.compressedData.size());
    });
    add("WriteLayer", decodedLayer, writeLayer);
    add("Layer", readLayer, [=](size_t k, Work& work) {
        decode(k, work);
        writeLayer(k, work);
    });
    add("Runs", readLayer, [&s](size_t k, Work& work) {
        const QByteArray& data = s.layerData[k];
        TeskLayerReader layer(data.constData(), data.size(), data.size(), s.pixels());
        work.writer.writeLayerRuns(layer, s.width(), s.height());
    });
}

void printSummary(const std::vector<std::unique_ptr<Sample>>& samples)
{
    std::printf("\nPer layer, as multiples of the floor (ms per layer in brackets):\n");
    std::printf("%-12s", "stage");
    for (const auto& s : samples)
        std::printf(" %22s", s->stem.c_str());
    std::printf("\n");
    const char* stages[] = {"Floor", "Decode", "Prepare", "Encode", "RecordWrite", "WriteLayer", "Layer", "Runs"};
    for (const std::string stage : stages) {
        std::printf("%-12s", stage.c_str());
        for (const auto& s : samples) {
            auto ms = [&](const std::string& name) {
                const auto found = msPerLayer.find(name == "Floor" ? floorName(*s) : name + "/" + s->stem);
                return found == msPerLayer.end() ? -1.0 : found->second;
            };
            // Differences may come out slightly below zero; missing times are -1.
            bool known = ms(stage) >= 0;
            double value = ms(stage);
            const auto difference = [&](const char* whole, const char* part) {
                known = ms(whole) >= 0 && ms(part) >= 0;
                value = ms(whole) - ms(part);
            };
            if (stage == "RecordWrite")
                difference("EncodeWrite", "Encode");
            if (stage == "Prepare")
                difference("WriteLayer", "EncodeWrite");
            if (!known || ms("Floor") <= 0)
                std::printf(" %22s", "-");
            else
                std::printf(" %12.2fx (%6.3f)", value / ms("Floor"), value);
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::vector<std::unique_ptr<Sample>> samples;
    for (int i = 1; i < argc; ++i) {
        auto sample = std::make_unique<Sample>();
        if (!loadSample(QString::fromLocal8Bit(argv[i]), *sample)) {
            std::fprintf(stderr, "%s: not a Tesk file for a supported printer\n", argv[i]);
            return 1;
        }
        samples.push_back(std::move(sample));
    }
    if (samples.empty()) {
        std::fprintf(stderr, "usage: %s [benchmark options] FILE.tesk...\n", argv[0]);
        return 1;
    }
    std::set<std::string> floors;
    for (const auto& s : samples)
        registerFloor(*s, floors);
    for (const auto& s : samples)
        registerStages(*s);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary(samples);
    return 0;
}
