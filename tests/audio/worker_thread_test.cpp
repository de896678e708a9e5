// WorkerThread: run on its own thread, exit code, join and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/worker_thread.h"
#include "runtime/float_mode.h"

#include <xmmintrin.h>

namespace {

class Counting : public WorkerThread {
public:
    Counting() : WorkerThread(7) {}
    ~Counting() override { join(); }
    int32_t run() override {
        thread = std::this_thread::get_id();
        while (!release.load()) std::this_thread::yield();
        return 42;
    }
    std::atomic<bool> release{false};
    std::thread::id thread;
};

// Records the control words its thread starts with, and one division in
// extended precision.
class FloatModes : public WorkerThread {
public:
    FloatModes() : WorkerThread(0) {}
    ~FloatModes() override { join(); }
    int32_t run() override {
        control = extendedControlWord();
        mxcsr = _mm_getcsr() & 0xFFC0u;  // without the status flags
        third = one / 3.0L;
        return 0;
    }
    volatile long double one = 1.0L;
    uint16_t control = 0;
    uint32_t mxcsr = 0;
    long double third = 0.0L;
};

}  // namespace

// Whatever modes the thread that starts it has (here 53-bit x87 precision and
// no flush-to-zero, as a Windows thread starts), a worker renders with the
// program's own: otherwise long double steps round differently from thread
// to thread and the music is not the same bits.
TEST(WorkerThread, StartsWithTheProgramsControlWords) {
    const uint16_t savedControl = extendedControlWord();
    const uint32_t savedMxcsr = _mm_getcsr();
    const uint16_t doublePrecision = 0x027F;
    __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
    _mm_setcsr(0x1F80);
    FloatModes worker;
    const bool started = worker.start(kPriorityNormal);
    worker.join();
    volatile long double one = 1.0L;
    const long double thirdHere = one / 3.0L;  // at 53 bits
    __asm__ volatile("fldcw %0" : : "m"(savedControl));
    _mm_setcsr(savedMxcsr);
    ASSERT_TRUE(started);
    EXPECT_EQ(worker.control, kExtendedPrecisionControl);
    EXPECT_EQ(worker.mxcsr, floatModeValue(kRenderFloatMode));
    EXPECT_NE(worker.third, thirdHere) << "the worker divided at the creator's precision";
    EXPECT_EQ(worker.third, one / 3.0L);
}

TEST(WorkerThread, RunsOnAThreadOfItsOwnAndKeepsItsResult) {
    Counting worker;
    ASSERT_TRUE(worker.start(kPriorityNormal));
    EXPECT_TRUE(worker.running());
    EXPECT_FALSE(worker.start(kPriorityNormal)) << "one thread per object";
    worker.release = true;
    worker.join();
    EXPECT_FALSE(worker.running());
    EXPECT_NE(worker.thread, std::this_thread::get_id());
    EXPECT_EQ(worker.exitCode(), 42);
    worker.join();  // a second join finds nothing to wait for
    EXPECT_EQ(worker.context(), 7);
}

TEST(WorkerThread, TheBaseRunReturnsZeroAndDestructionJoins) {
    WorkerThread plain(0);
    ASSERT_TRUE(plain.start(kPriorityLowest));
    plain.join();
    EXPECT_EQ(plain.exitCode(), 0);

    // Deleting a thread object whose thread may still run must join it, not
    // abandon it (an unjoined std::thread ends the process).
    auto* counting = new Counting;
    WorkerThread* worker = counting;
    ASSERT_TRUE(worker->start(kPriorityNormal));
    counting->release = true;
    delete worker;  // through the base: the destructor is virtual
}

TEST(WorkerThread, ARefusedPriorityIsRecordedAndLeavesTheThreadRunning) {
    Counting worker;
    worker.setPriority(kPriorityLowest);  // no thread yet: only recorded
    EXPECT_EQ(worker.priorityKind(), kPriorityLowest);
    ASSERT_TRUE(worker.start(kPriorityTimeCritical | 1u));  // real time is refused to most users
    EXPECT_EQ(worker.priorityKind(), kPriorityTimeCritical);
    worker.setPriority(kPriorityNormal);
    worker.release = true;
    worker.join();
    EXPECT_EQ(worker.exitCode(), 42);
}
