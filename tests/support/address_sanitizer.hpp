// Defines ZORV_ADDRESS_SANITIZER when this code is built with AddressSanitizer, by either
// compiler (g++ names it __SANITIZE_ADDRESS__, clang answers __has_feature), and then brings in
// the allocator's interface: a test that measures memory must know that freed memory is held.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ZORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORV_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef ZORV_ADDRESS_SANITIZER
#include <sanitizer/allocator_interface.h>
#endif
