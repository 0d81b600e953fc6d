// The mutex and locks of the program, annotated for clang's thread-safety analysis (the
// standard library's are not, so members guarded by a std::mutex go unchecked).
//   Mutex mu_;  int n_ GUARDED_BY(mu_);  ...  MutexLock lock(mu_); ++n_;
// Condition-variable predicates read guarded members: give the lambda REQUIRES(mu_).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "util/thread_annotations.h"

namespace wnd {

class CAPABILITY("mutex") Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Lockable, so std::condition_variable_any and std::scoped_lock take it too.
    void lock() ACQUIRE() { mu_.lock(); }
    void unlock() RELEASE() { mu_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mu_.try_lock(); }

    // Tells the analysis the caller holds it; checks nothing at run time.
    void assertHeld() const ASSERT_CAPABILITY(this) {}

  private:
    friend class CondVar;
    std::mutex mu_;
};

// Holds the mutex for its scope. unlock() and lock() let go of it and take it again
// within the scope; the destructor releases it only when held.
class SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mu) ACQUIRE(mu) : mu_(mu) { mu.lock(); }
    // Takes over a mutex the caller has just locked (a successful try_lock).
    MutexLock(Mutex& mu, std::adopt_lock_t) REQUIRES(mu) : mu_(mu) {}
    ~MutexLock() RELEASE() {
        if (held_) {
            mu_.unlock();
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void unlock() RELEASE() {
        mu_.unlock();
        held_ = false;
    }
    void lock() ACQUIRE() {
        mu_.lock();
        held_ = true;
    }

  private:
    friend class CondVar;
    Mutex& mu_;
    bool held_ = true;
};

// A held mutex that can be handed over, e.g. returned to a caller who keeps the lock for a
// while. Clang's analysis (before clang 20) cannot follow a capability through a return
// value, so it does not see this one: where the lock stays in one scope, use MutexLock.
class UniqueMutexLock {
  public:
    explicit UniqueMutexLock(Mutex& mu) NO_THREAD_SAFETY_ANALYSIS : mu_(&mu) { mu.lock(); }
    UniqueMutexLock(UniqueMutexLock&& other) noexcept : mu_(std::exchange(other.mu_, nullptr)) {}
    UniqueMutexLock& operator=(UniqueMutexLock&& other) noexcept NO_THREAD_SAFETY_ANALYSIS {
        if (this != &other) {
            if (mu_ != nullptr) {
                mu_->unlock();
            }
            mu_ = std::exchange(other.mu_, nullptr);
        }
        return *this;
    }
    ~UniqueMutexLock() NO_THREAD_SAFETY_ANALYSIS {
        if (mu_ != nullptr) {
            mu_->unlock();
        }
    }
    UniqueMutexLock(const UniqueMutexLock&) = delete;
    UniqueMutexLock& operator=(const UniqueMutexLock&) = delete;

  private:
    Mutex* mu_;
};

// A condition variable that waits on a MutexLock (which must hold its mutex). The
// predicate forms are those of std::condition_variable: the predicate runs with the mutex
// held, and the timed ones return its last value.
class CondVar {
  public:
    CondVar() = default;
    CondVar(const CondVar&) = delete;
    CondVar& operator=(const CondVar&) = delete;

    void notifyOne() noexcept { cv_.notify_one(); }
    void notifyAll() noexcept { cv_.notify_all(); }

    void wait(MutexLock& lock) {
        Native n(lock);
        cv_.wait(n.lock);
    }
    template <typename Predicate>
    void wait(MutexLock& lock, Predicate pred) {
        Native n(lock);
        cv_.wait(n.lock, std::move(pred));
    }
    template <typename Clock, typename Duration, typename Predicate>
    bool waitUntil(MutexLock& lock, const std::chrono::time_point<Clock, Duration>& deadline,
                   Predicate pred) {
        Native n(lock);
        return cv_.wait_until(n.lock, deadline, std::move(pred));
    }
    template <typename Rep, typename Period, typename Predicate>
    bool waitFor(MutexLock& lock, const std::chrono::duration<Rep, Period>& timeout,
                 Predicate pred) {
        Native n(lock);
        return cv_.wait_for(n.lock, timeout, std::move(pred));
    }

  private:
    // The held std::mutex lent to std::condition_variable for one wait, handed back held
    // whatever happens (the MutexLock still owns it).
    struct Native {
        explicit Native(MutexLock& l) : lock(l.mu_.mu_, std::adopt_lock) {}
        ~Native() { lock.release(); }
        Native(const Native&) = delete;
        Native& operator=(const Native&) = delete;
        std::unique_lock<std::mutex> lock;
    };

    std::condition_variable cv_;
};

}  // namespace wnd
