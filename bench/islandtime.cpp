// Finds the islands of a Tesk file as sliceinfo does, and little else: every
// layer read and scanned (TeskLayerScan: its runs, gathered into lit spans,
// counted and handed to IslandFinder). bench/run.sh times it against the
// conversion of the same file.
//   usage: islandtime FILE.tesk
#include "analysis/islandfinder.h"
#include "format/tesklayertable.h"
#include "reading/tesklayerscan.h"
#include "format/teskformat.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.tesk\n", argv[0]);
        return 2;
    }
    QFile file(QFile::decodeName(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }
    const qint64 fileSize = file.size();
    TeskFileHead_t header{};
    const QByteArray head = readHeld(file, 0, sizeof header);
    std::memcpy(&header, head.constData(), size_t(head.size()));
    if (layerTableIsMalformed(header, fileSize) || header.resolutionX <= 0 || header.resolutionY <= 0) {
        std::fprintf(stderr, "%s has no layers to read\n", argv[1]);
        return 2;
    }
    const qint64 pixels = qint64(header.resolutionX) * header.resolutionY;
    TeskLayerTable table(file, fileSize, header);
    IslandFinder finder(header.resolutionX, header.resolutionY);
    QByteArray data;
    qint64 islands = 0;
    int layersWithIslands = 0;
    for (int j = 0; j < header.layerCount; ++j) {
        const TeskDatHead_t entry = table.entry(j);
        const qint64 declared = qMax(entry.dataSize, 0);
        readHeld(file, fileSize, entry.dataPosition(), declared, data);
        TeskLayerScan::scan(data.constData(), data.size(), declared, header.resolutionX, pixels, &finder);
        const int found = finder.endLayer(j).size();
        islands += found;
        layersWithIslands += found > 0 ? 1 : 0;
    }
    std::printf("%lld islands in %d of %d layers\n", static_cast<long long>(islands), layersWithIslands, header.layerCount);
    return 0;
}
