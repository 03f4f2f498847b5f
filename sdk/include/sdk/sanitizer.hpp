// AddressSanitizer and code that reads a whole module image.
//
// The game's image is scanned from its first byte to its last, .data and .bss included. In an
// instrumented build those hold the redzones that AddressSanitizer puts around every global: memory
// that is mapped and readable, but poisoned, so an instrumented read of it is reported as a
// global-buffer-overflow although nothing is wrong. The functions that walk the image are exempted
// with SDK_IMAGE_READER, and nothing else is. ThreadSanitizer is kept out of them too: the memory
// they read is the game's, written by the engine without our locks (no race it could report is
// ours), and some of it lies where ThreadSanitizer keeps no shadow, so an instrumented read of it
// faults.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SDK_ADDRESS_SANITIZER 1
#endif
#endif
#if !defined(SDK_ADDRESS_SANITIZER) && defined(__SANITIZE_ADDRESS__)
#define SDK_ADDRESS_SANITIZER 1
#endif

#if defined(__clang__) || defined(__GNUC__)
#define SDK_IMAGE_READER __attribute__((no_sanitize("address"), no_sanitize("thread")))
#elif defined(_MSC_VER)
#define SDK_IMAGE_READER __declspec(no_sanitize_address)
#else
#define SDK_IMAGE_READER
#endif
