#ifndef SANITIZERS_H
#define SANITIZERS_H

// True in the AddressSanitizer build: its allocator replaces malloc and its
// runtime must be the first library loaded, so a preloaded malloc cannot
// stand in; its shadow memory needs terabytes of address space.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

#endif
