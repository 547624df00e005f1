#pragma once
// Hot loops built several times on x86 (for the processor's wide vectors
// and for any processor), the fitting one chosen when the program starts:
//
//   TOLMERA_TARGET_CLONES("avx2", "default") void loop(...);
//
// The choice is made by resolvers that run while the program is loaded,
// before a sanitizer's runtime is ready (ThreadSanitizer crashes there), so
// a sanitized build, or one configured with TOLMERA_NO_TARGET_CLONES, gets
// the default build of each loop only.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define TOLMERA_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define TOLMERA_SANITIZED_BUILD 1
#endif
#endif

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(TOLMERA_SANITIZED_BUILD) && \
    !defined(TOLMERA_NO_TARGET_CLONES)
#define TOLMERA_TARGET_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#else
#define TOLMERA_TARGET_CLONES(...)
#endif
