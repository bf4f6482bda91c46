// Writes the Tesk files that once made the programs work without bound, for
// bench/hostile.sh to time:
//   tall.tesk          a 1 x 8,388,600 grid, 1000 layers: a whole-grid run (one
//                      5-byte token) every other layer, nothing between
//   alternating16.tesk 200 table entries alternating between two 16 MiB blocks
//   alternating64.tesk the same with 64 MiB blocks
//   shared32.tesk      200 table entries all at one 32 MiB block
//   overlapping64.tesk 20 table entries at as many blocks that overlap: a
//                      64 MiB block of empty runs and its tails from 2, 4, ...
//                      bytes on; being distinct, each is decoded (the worst
//                      case left)
//   blocks.tesk        a 2 x 4,194,304 grid, 20 layers: every other one of
//                      runs of 3 lit pixels and 1 dark one, two blocks every
//                      3 bytes, all one island; nothing between
// The large blocks hold a model-30 layer of squares, filled out to the
// block's size with empty runs.
//   usage: hostilefiles DIR
#include "teskbuilder.h"

#include <QDir>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kTallRows = 8388600;

bool writeTall(const QString& path)
{
    TeskBuilder tall(printerModel("Vireld30"));
    tall.header.resolutionX = 1;
    tall.header.resolutionY = kTallRows;
    for (int j = 0; j < 1000; ++j)
        tall.addLayerStream(j % 2 ? QByteArray() : teskRunToken(127, kTallRows));
    return tall.writeTo(path);
}

bool writeBlocks(const QString& path)
{
    TeskBuilder blocks(printerModel("Vireld30"));
    blocks.header.resolutionX = 2;
    blocks.header.resolutionY = 4 * 1024 * 1024;
    const QByteArray period = teskRunToken(127, 3) + char(0);
    const QByteArray layer = period.repeated(1024 * 1024);
    for (int j = 0; j < 20; ++j)
        blocks.addLayerStream(j % 2 ? QByteArray() : layer);
    return blocks.writeTo(path);
}

// A model-30 layer of squares of `side` pixels, followed by empty runs up to
// `size` bytes.
QByteArray bigBlock(qint64 size, int side)
{
    const int width = 1440, height = 2560;
    QByteArray bitmap(width * height, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap[y * width + x] = char((x / side + y / side) % 2 ? 254 : 0);
    QByteArray block = encodeTeskLayer(bitmap);
    const QByteArray empty = teskRunToken(0, 0);
    block += empty.repeated(int((size - block.size()) / empty.size()));
    return block;
}

// `entries` table entries, entry j at block pattern[j % pattern.size()].
bool writeShared(const QString& path, const std::vector<QByteArray>& blocks, const std::vector<int>& pattern,
                 int entries)
{
    TeskBuilder builder(printerModel("Vireld30"));
    for (const QByteArray& block : blocks)
        builder.addLayerStream(block);
    std::vector<int> entryBlocks;
    for (int j = 0; j < entries; ++j)
        entryBlocks.push_back(pattern[size_t(j) % pattern.size()]);
    const QByteArray file = buildSharingBlocks(builder, entryBlocks);
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

// Entry j at `block` (of 2-byte tokens) less its first j tokens.
bool writeOverlapping(const QString& path, const QByteArray& block, int entries)
{
    TeskBuilder builder(printerModel("Vireld30"));
    builder.addLayerStream(block);
    QByteArray file = buildSharingBlocks(builder, std::vector<int>(size_t(entries), 0));
    TeskFileHead_t head;
    std::memcpy(&head, file.constData(), sizeof head);
    const int table = head.layerTableOffset;
    for (int j = 0; j < entries; ++j) {
        TeskDatHead_t entry;
        std::memcpy(&entry, file.constData() + table + j * int(sizeof entry), sizeof entry);
        entry.dataOffset += quint32(2 * j);
        entry.dataSize -= 2 * j;
        std::memcpy(file.data() + table + j * int(sizeof entry), &entry, sizeof entry);
    }
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QFile::decodeName(argv[1]));
    const qint64 mib = 1024 * 1024;
    const bool written = writeTall(dir.filePath(QStringLiteral("tall.tesk")))
        && writeBlocks(dir.filePath(QStringLiteral("blocks.tesk")))
        && writeShared(dir.filePath(QStringLiteral("alternating16.tesk")), {bigBlock(16 * mib, 16), bigBlock(16 * mib, 20)},
                       {0, 1}, 200)
        && writeShared(dir.filePath(QStringLiteral("alternating64.tesk")), {bigBlock(64 * mib, 16), bigBlock(64 * mib, 20)},
                       {0, 1}, 200)
        && writeShared(dir.filePath(QStringLiteral("shared32.tesk")), {bigBlock(32 * mib, 16)}, {0}, 200)
        && writeOverlapping(dir.filePath(QStringLiteral("overlapping64.tesk")),
                            teskRunToken(0, 0).repeated(int(32 * mib)), 20);
    if (!written) {
        std::fprintf(stderr, "cannot write the files in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
