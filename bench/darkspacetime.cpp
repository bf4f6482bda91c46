// Follows the dark space of a Tesk file as sliceinfo does, and little else:
// every layer read, its lit runs handed to DarkSpaceFinder. Prints what it
// found and the dark runs it was fed; with --read-only, the runs are read and
// gathered but not handed on, so that bench/instructions.sh can tell the
// finder's instructions from the reading's.
//   usage: darkspacetime [--read-only] FILE.tesk
#include "analysis/darkspacefinder.h"
#include "format/tesklayerreader.h"
#include "format/tesklayertable.h"
#include "format/teskformat.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const bool readOnly = argc == 3 && std::strcmp(argv[1], "--read-only") == 0;
    if (argc != 2 && !readOnly) {
        std::fprintf(stderr, "usage: %s [--read-only] FILE.tesk\n", argv[0]);
        return 2;
    }
    const char* path = argv[argc - 1];
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return 2;
    }
    const qint64 fileSize = file.size();
    TeskFileHead_t header{};
    const QByteArray head = readHeld(file, 0, sizeof header);
    std::memcpy(&header, head.constData(), size_t(head.size()));
    if (layerTableIsMalformed(header, fileSize) || header.resolutionX <= 0 || header.resolutionY <= 0) {
        std::fprintf(stderr, "%s has no layers to read\n", path);
        return 2;
    }
    const qint64 pixels = qint64(header.resolutionX) * header.resolutionY;
    TeskLayerTable table(file, fileSize, header);
    DarkSpaceFinder finder(header.resolutionX, header.resolutionY);
    QByteArray data;
    qint64 darkRuns = 0;
    for (int j = 0; j < header.layerCount; ++j) {
        const TeskDatHead_t entry = table.entry(j);
        const qint64 declared = qMax(entry.dataSize, 0);
        readHeld(file, fileSize, entry.dataPosition(), declared, data);
        TeskLayerReader reader(data.constData(), data.size(), declared, pixels);
        // Lit runs of any grey next to each other go to the finder as one.
        qint64 position = 0, litStart = 0, litLength = 0, litEnd = 0;
        RasterCursor at(header.resolutionX);
        const auto handOn = [&] {
            at.advance(litStart - at.start);
            if (!readOnly)
                finder.addLit(at, litLength);
            darkRuns += litStart > litEnd ? 1 : 0;
            litEnd = litStart + litLength;
        };
        reader.readRuns([&](uchar grey, qint64 length) {
            if (grey == 0 && litLength != 0) {
                handOn();
                litLength = 0;
            } else if (grey != 0) {
                litStart = litLength == 0 ? position : litStart;
                litLength += length;
            }
            position += length;
        });
        if (litLength != 0)
            handOn();
        darkRuns += pixels > litEnd ? 1 : 0;
        finder.endLayer(j);
    }
    const DarkSpaceSummary& found = finder.finish();
    std::printf("%lld traps, %lld cups; %lld dark runs in %d layers, at most %zu dark items a layer%s\n",
                static_cast<long long>(found.trapCount), static_cast<long long>(found.cupCount),
                static_cast<long long>(darkRuns), header.layerCount, finder.peakItems(),
                found.notExaminedFrom >= 0 ? ", gave up" : "");
    return 0;
}
