// WorkerThread: run on its own thread, exit code, join and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/worker_thread.h"

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

}  // namespace

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
