// Counts the tokens of every layer of a Tesk file, the unit that
// bench/instructions.sh divides instructions by:
//
//   tokencount FILE.tesk
//
// prints "LAYERS TOKENS". A token is a head byte with its length bytes; the
// bytes a layer declares past the end of the file are not counted.
#include "format/tesklayertable.h"
#include "tesktoqvx.h"

#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

qint64 countTokens(const QByteArray& data)
{
    const uchar* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    qint64 tokens = 0;
    for (qint64 i = 0; i < size; ++tokens)
        i += p[i] < 0x80 ? 1 : i + 1 < size ? 2 + (p[i + 1] >> 6) : 1;
    return tokens;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.tesk\n", argv[0]);
        return 2;
    }
    QFile file(QFile::decodeName(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    TeskFileHead_t header;
    const QByteArray head = readHeld(file, 0, sizeof header);
    if (head.size() != int(sizeof header))
        return 1;
    std::memcpy(&header, head.constData(), sizeof header);
    TeskLayerTable table(file, file.size(), header);
    qint64 tokens = 0;
    for (int j = 0; j < header.layerCount; ++j) {
        const TeskDatHead_t entry = table.entry(j);
        tokens += countTokens(readHeld(file, entry.dataPosition(), entry.dataSize));
    }
    std::printf("%d %lld\n", header.layerCount, static_cast<long long>(tokens));
    return 0;
}
