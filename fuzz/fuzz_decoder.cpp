// The layer decoder on arbitrary bytes.
//   byte 0, 1  resolution: 1 + b % 64 pixels in X and in Y
//   byte 2     declared size: 0 decodes the held bytes with the (char*, int)
//              form; otherwise the block is declared b - 1 bytes longer than
//              it is held (the missing bytes read as zeros)
//   rest       the layer stream
// The bitmap is followed by a guard area that must stay untouched; under
// AddressSanitizer the guard is poisoned, so a write into it stops at once.
#include "fuzzsupport.h"
#include "tesktoqvx.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_ASAN 1
#endif
#ifdef FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace {
constexpr size_t kGuard = 64;
constexpr uchar kGuardByte = 0xA5;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    TeskToQvx driver{QString(), QString()};
    driver.header.resolutionX = 1 + in.byte() % 64;
    driver.header.resolutionY = 1 + in.byte() % 64;
    const int extra = in.byte();
    const size_t pixels = size_t(driver.header.resolutionX) * size_t(driver.header.resolutionY);

    // A copy of exactly the stream's size, so that a read past it is caught too.
    std::vector<char> stream(in.rest(), in.rest() + in.restSize());
    std::vector<uchar> bitmap(pixels + kGuard, kGuardByte);
    // Values that the decoder must overwrite, to see that it writes every pixel.
    std::memset(bitmap.data(), 0xFF, pixels);
    ASAN_POISON_MEMORY_REGION(bitmap.data() + pixels, kGuard);

    const qint64 held = qint64(stream.size());
    if (extra == 0)
        driver.decodeLayerData(stream.data(), int(held), bitmap.data());
    else
        driver.decodeLayerData(stream.data(), held, held + extra - 1, bitmap.data());

    ASAN_UNPOISON_MEMORY_REGION(bitmap.data() + pixels, kGuard);
    for (size_t i = pixels; i < pixels + kGuard; ++i) {
        if (bitmap[i] != kGuardByte)
            std::abort(); // written past the bitmap
    }
    for (size_t i = 0; i < pixels; ++i) {
        if (bitmap[i] & 1)
            std::abort(); // grey values are even; an odd one was never written
    }
    return 0;
}
