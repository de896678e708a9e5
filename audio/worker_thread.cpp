// WorkerThread on POSIX threads: Win32-style priority kinds mapped onto
// scheduling policies.
#include "audio/worker_thread.h"

#include <pthread.h>
#include <sched.h>

#include <system_error>

WorkerThread::~WorkerThread() {
    join();
}

bool WorkerThread::start(uint32_t flags) {
    if (thread_.joinable()) return false;
    try {
        thread_ = std::thread([this] { exitCode_ = run(); });
    } catch (const std::system_error&) {
        return false;
    }
    setPriority(flags & ~1u);
    return true;
}

void WorkerThread::setPriority(uint32_t kind) {
    priorityKind_ = kind;
    if (!thread_.joinable()) return;
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
    pthread_setschedparam(thread_.native_handle(), policy, &param);
}

void WorkerThread::join() {
    if (thread_.joinable()) thread_.join();
}
