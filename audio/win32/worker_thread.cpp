// WorkerThread on Win32 threads: CreateThread, SetThreadPriority and a join
// by WaitForSingleObject.
#include "audio/worker_thread.h"

#include <windows.h>

#include "runtime/float_mode.h"

struct ThreadEntry {
    // Calls run through the virtual table; its result is the thread's exit
    // code. The system calls it with the stack aligned to 4 bytes only on
    // 32-bit Windows: it realigns it for the SSE code below, and loads the
    // control words, which CreateThread sets to 53-bit x87 precision.
    __attribute__((force_align_arg_pointer)) static DWORD WINAPI enter(void* parameter) {
        enterFloatModes(kRenderFloatMode);
        auto* worker = static_cast<WorkerThread*>(parameter);
        worker->exitCode_ = worker->run();
        return DWORD(worker->exitCode_);
    }
};

WorkerThread::~WorkerThread() {
    join();
}

bool WorkerThread::start(uint32_t flags) {
    if (handle_ != nullptr) return false;
    DWORD id = 0;
    // Default security and stack size; bit 0 of the flags starts it suspended.
    HANDLE handle = CreateThread(nullptr, 0, ThreadEntry::enter, this, (flags & 1u) ? CREATE_SUSPENDED : 0, &id);
    if (handle == nullptr) return false;
    handle_ = handle;
    threadId_ = id;
    setPriority(flags & ~1u);
    return true;
}

void WorkerThread::setPriority(uint32_t kind) {
    priorityKind_ = kind;
    if (handle_ == nullptr) return;
    int priority = THREAD_PRIORITY_TIME_CRITICAL;
    if (kind == kPriorityLowest) {
        priority = THREAD_PRIORITY_LOWEST;
    } else if (kind == kPriorityNormal) {
        priority = THREAD_PRIORITY_NORMAL;
    }
    SetThreadPriority(static_cast<HANDLE>(handle_), priority);
}

void WorkerThread::join() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}
