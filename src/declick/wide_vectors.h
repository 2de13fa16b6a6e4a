#pragma once
// Loops built for wider vectors as well where the processor has them (x86-64 Linux builds with
// GCC or Clang), chosen at load time. The choice is made by the dynamic loader before
// ThreadSanitizer or MemorySanitizer can run, and they crash in it, so those builds go without.

#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TOLMAR_NARROW_VECTORS_ONLY
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define TOLMAR_NARROW_VECTORS_ONLY
#endif
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && \
    !defined(TOLMAR_NARROW_VECTORS_ONLY)
#define TOLMAR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define TOLMAR_WIDE_VECTORS
#endif
