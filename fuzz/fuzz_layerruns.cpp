// The run path of a layer against the bitmap path and against a plain token by
// token decoding, on arbitrary streams: the same record and the same console
// line, or abort.
//   byte 0  model: even Vireld10 (960 x 1708), odd Vireld30 (1440 x 2560)
//   byte 1  0: the stream is all held; otherwise the block is declared
//           (b - 1) * 4096 bytes longer than held (they read as zeros)
//   rest    the layer stream
#include "fuzzsupport.h"
#include "layerpaths.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const bool model10 = in.byte() % 2 == 0;
    const int extra = in.byte();
    const QByteArray stream(reinterpret_cast<const char*>(in.rest()), int(in.restSize()));
    const qint64 declared = stream.size() + (extra == 0 ? 0 : qint64(extra - 1) * 4096);
    static LayerPaths paths10("Vireld10", 960, 1708);
    static LayerPaths paths30("Vireld30", 1440, 2560);
    LayerPaths& paths = model10 ? paths10 : paths30;
    const LayerRecord runs = paths.viaRuns(stream, declared);
    if (!(runs == paths.viaBitmap(stream, declared)) || !(runs == paths.viaPlainDecoding(stream, declared)))
        std::abort();
    return 0;
}
