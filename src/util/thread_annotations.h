// Clang thread-safety annotations; empty on other compilers. A clang build with
// -Wthread-safety checks them (scripts/check-thread-safety). util/mutex.h has the mutex
// and locks they name.
#pragma once

#if defined(__clang__)
#define WND_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define WND_THREAD_ANNOTATION(x)
#endif

// On classes.
#define CAPABILITY(x) WND_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY WND_THREAD_ANNOTATION(scoped_lockable)

// On members.
#define GUARDED_BY(x) WND_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) WND_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) WND_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) WND_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// On functions (and lambdas, after the parameter list).
#define REQUIRES(...) WND_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) WND_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) WND_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) WND_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) WND_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) WND_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) WND_THREAD_ANNOTATION(lock_returned(x))
// Only where the analysis cannot follow the code; say why beside it.
#define NO_THREAD_SAFETY_ANALYSIS WND_THREAD_ANNOTATION(no_thread_safety_analysis)
