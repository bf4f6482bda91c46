// Follows the layers of a Tesk file as sliceinfo does, and little else: every
// layer read and scanned (TeskLayerScan: its runs gathered into lit spans and
// counted), the spans handed to the finder named, or to none, for the reading
// alone. bench/run.sh times it against the conversion of the same file;
// bench/instructions.sh divides the dark-space finder's instructions, less the
// reading's, by the dark runs it prints.
//   usage: findertime islands|darkspace|none FILE.tesk
#include "analysis/darkspacefinder.h"
#include "analysis/islandfinder.h"
#include "format/teskformat.h"
#include "format/tesklayertable.h"
#include "reading/tesklayerscan.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const QByteArray finder = argc == 3 ? QByteArray(argv[1]) : QByteArray();
    if (finder != "islands" && finder != "darkspace" && finder != "none") {
        std::fprintf(stderr, "usage: %s islands|darkspace|none FILE.tesk\n", argv[0]);
        return 2;
    }
    QFile file(QFile::decodeName(argv[2]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", argv[2]);
        return 2;
    }
    const qint64 fileSize = file.size();
    TeskFileHead_t header{};
    const QByteArray head = readHeld(file, 0, sizeof header);
    std::memcpy(&header, head.constData(), size_t(head.size()));
    if (layerTableIsMalformed(header, fileSize) || header.resolutionX <= 0 || header.resolutionY <= 0) {
        std::fprintf(stderr, "%s has no layers to read\n", argv[2]);
        return 2;
    }
    const qint64 pixels = qint64(header.resolutionX) * header.resolutionY;
    TeskLayerTable table(file, fileSize, header);
    IslandFinder islands(header.resolutionX, header.resolutionY);
    DarkSpaceFinder darkSpace(header.resolutionX, header.resolutionY);
    IslandFinder* const islandsFed = finder == "islands" ? &islands : nullptr;
    DarkSpaceFinder* const darkSpaceFed = finder == "darkspace" ? &darkSpace : nullptr;
    QByteArray data;
    qint64 islandCount = 0;
    for (int j = 0; j < header.layerCount; ++j) {
        const TeskDatHead_t entry = table.entry(j);
        const qint64 declared = qMax(entry.dataSize, 0);
        readHeld(file, fileSize, entry.dataPosition(), declared, data);
        TeskLayerScan::scan(data.constData(), data.size(), declared, header.resolutionX, pixels, islandsFed,
                            darkSpaceFed);
        islandCount += islandsFed ? islands.endLayer(j).size() : 0;
        if (darkSpaceFed)
            darkSpace.endLayer(j);
    }
    const DarkSpaceSummary& found = darkSpace.finish();
    if (islandsFed)
        std::printf("%lld islands in %d layers\n", static_cast<long long>(islandCount), header.layerCount);
    if (darkSpaceFed)
        std::printf("%lld traps, %lld cups; %lld dark runs in %d layers, at most %zu a layer%s\n",
                    static_cast<long long>(found.trapCount), static_cast<long long>(found.cupCount),
                    static_cast<long long>(darkSpace.darkRuns()), header.layerCount, darkSpace.peakItems(),
                    found.notExaminedFrom >= 0 ? "; gave up" : "");
    return 0;
}
