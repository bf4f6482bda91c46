// The input and output work that any safe conversion must do, and nothing else:
//
//   iofloor INPUT OUTPUT_SIZE OUTPUT
//
// reads the whole of INPUT, writes OUTPUT_SIZE bytes to a new file beside
// OUTPUT, syncs it and renames it over OUTPUT, as the converter's QSaveFile does.
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT_SIZE OUTPUT\n", argv[0]);
        return 2;
    }
    constexpr qint64 kChunk = 1 << 20;
    QByteArray chunk(int(kChunk), '\x5A');
    QFile input(QFile::decodeName(argv[1]));
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return 1;
    while (input.read(chunk.data(), kChunk) > 0) {
    }
    QSaveFile output(QFile::decodeName(argv[3]));
    if (!output.open(QIODevice::WriteOnly))
        return 1;
    for (qint64 left = std::atoll(argv[2]); left > 0; left -= kChunk) {
        if (output.write(chunk.constData(), std::min(left, kChunk)) < 0)
            return 1;
    }
    return output.commit() ? 0 : 1;
}
