// Preloaded into a program under test: malloc fails for the one size given in
// FAILMALLOC_SIZE, as it would when memory runs out at that request.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" void* __libc_malloc(size_t size);

static size_t failingSize(void)
{
    static long long size = -1;
    if (size < 0) {
        const char* text = getenv("FAILMALLOC_SIZE");
        size = text ? atoll(text) : 0;
    }
    return size_t(size);
}

extern "C" void* malloc(size_t size)
{
    if (size != 0 && size == failingSize()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}
