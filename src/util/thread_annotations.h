// Clang thread-safety annotations; empty on other compilers.
#pragma once

#if defined(__clang__)
#define WND_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define WND_THREAD_ANNOTATION(x)
#endif

#define GUARDED_BY(x) WND_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) WND_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) WND_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) WND_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) WND_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
