// WorkerThread on POSIX threads: Win32-style priority kinds mapped onto
// scheduling policies.
#include "audio/worker_thread.h"

#include <pthread.h>
#include <sched.h>

#include <new>

#include "runtime/float_mode.h"
#include "runtime/memory.h"

struct ThreadEntry {
    static void* enter(void* parameter) {
        // A new thread inherits its creator's control words here; it starts
        // from the program's own instead, as on Windows.
        enterFloatModes(kRenderFloatMode);
        auto* worker = static_cast<WorkerThread*>(parameter);
        worker->exitCode_ = worker->run();
        return nullptr;
    }
};

namespace {
pthread_t& nativeThread(void* handle) {
    return *static_cast<pthread_t*>(handle);
}
}  // namespace

WorkerThread::~WorkerThread() {
    join();
}

bool WorkerThread::start(uint32_t flags) {
    if (handle_ != nullptr) return false;
    // The pthread_t lives in a heap block of its own, so that the class needs
    // nothing of the platform's headers.
    void* handle = allocate(sizeof(pthread_t));
    if (handle == nullptr) return false;
    new (handle) pthread_t{};
    if (pthread_create(&nativeThread(handle), nullptr, ThreadEntry::enter, this) != 0) {
        deallocate(handle);
        return false;
    }
    handle_ = handle;
    setPriority(flags & ~1u);
    return true;
}

void WorkerThread::setPriority(uint32_t kind) {
    priorityKind_ = kind;
    if (handle_ == nullptr) return;
    // Lowest: the batch policy yields to interactive threads. Normal: the
    // default time-sharing policy. Time-critical: first-in-first-out real
    // time, which needs a privilege most users lack; the thread then simply
    // stays as it was.
    sched_param param{};
    int policy = SCHED_OTHER;
    if (kind == kPriorityLowest) {
        policy = SCHED_BATCH;
    } else if (kind != kPriorityNormal) {
        policy = SCHED_FIFO;
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    }
    pthread_setschedparam(nativeThread(handle_), policy, &param);
}

void WorkerThread::join() {
    if (handle_ == nullptr) return;
    pthread_join(nativeThread(handle_), nullptr);
    deallocate(handle_);
    handle_ = nullptr;
}
