// WorkerThread: a small thread class whose subclasses supply `run`. It owns
// one system thread from `start` to `join`: a POSIX thread on Linux
// (audio/posix/worker_thread.cpp), a Win32 thread on Windows
// (audio/win32/worker_thread.cpp).
#pragma once
#include <cstdint>

// Kinds for setPriority and start.
constexpr uint32_t kPriorityLowest = 2;
constexpr uint32_t kPriorityNormal = 4;
// Any other kind asks for the highest (real-time) priority.
constexpr uint32_t kPriorityTimeCritical = 0;

class WorkerThread {
public:
    explicit WorkerThread(int32_t context) : context_(context) {}
    // Joins the thread first: a subclass's destructor must do the same before
    // its own members go away, since `run` may still be using them.
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // The thread's work; its result is kept as the thread's exit code. The
    // base class has nothing to do.
    virtual int32_t run() { return 0; }

    // Starts the thread running `run` at once, then setPriority(flags with
    // bit 0 cleared). Bit 0 starts a Win32 thread suspended; POSIX threads have
    // no such state and ignore it. False when the system refused to make a thread.
    bool start(uint32_t flags);
    // kPriorityLowest, kPriorityNormal, anything else time-critical. Applied
    // when a thread runs, best effort: an unprivileged process may not raise
    // its priority, and a refusal is ignored. The kind is recorded either way.
    void setPriority(uint32_t kind);
    // Waits for `run` to return; nothing when no thread was started or it
    // was already joined.
    void join();

    bool running() const { return handle_ != nullptr; }
    uint32_t priorityKind() const { return priorityKind_; }
    int32_t exitCode() const { return exitCode_; }
    int32_t context() const { return context_; }

private:
    // The platform's thread entry: calls run and keeps its result.
    friend struct ThreadEntry;

    uint32_t priorityKind_ = kPriorityNormal;
    uint32_t threadId_ = 0;    // the system's id of the thread (Win32 only)
    void* handle_ = nullptr;   // the platform's thread; null when none runs or after join
    int32_t context_;  // given at construction; the class does not read it
    int32_t exitCode_ = 0;
};
