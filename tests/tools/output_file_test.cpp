// The tools' output writer: a new file appears whole or not at all, a failed
// write leaves the old file as it was, devices and FIFOs are written in place
// and never removed, and two names for one file are told apart from two files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"
#include "tools/common/output_file.h"

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.made()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    void writeText(const std::string& name, const std::string& text, mode_t mode = 0644) const {
        std::ofstream(path(name), std::ios::binary) << text;
        chmod(path(name).c_str(), mode);
    }
    bool write(const std::string& name, const std::string& text) const {
        return writeWholeFile("test", path(name).c_str(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    // A temporary file left behind shows up here.
    std::vector<std::string> names() const { return namesIn(dir); }
    const ScratchFolder scratch{"output_file_test"};
    const std::string dir = scratch.path();
};

mode_t modeOf(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

}  // namespace

TEST_F(OutputFileTest, ReplacesAFileWholeKeepingItsModeAndLeavesNoTemporary) {
    writeText("song.bin", "old bytes", 0640);
    ASSERT_TRUE(write("song.bin", "new bytes, more of them"));
    EXPECT_EQ(readText(path("song.bin")), "new bytes, more of them");
    EXPECT_EQ(modeOf(path("song.bin")) & 07777, 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"song.bin"});

    // Through a link, the file it names gets the bytes and the link stays.
    ASSERT_EQ(symlink("song.bin", path("link.bin").c_str()), 0);
    ASSERT_TRUE(write("link.bin", "through the link"));
    EXPECT_TRUE(S_ISLNK(modeOf(path("link.bin"))));
    EXPECT_EQ(readText(path("song.bin")), "through the link");
}

// A full disk, as the file-size limit makes one: the write fails, the old
// file keeps every byte, and no temporary file is left.
TEST_F(OutputFileTest, AFailedWriteLeavesThePreviousFileAsItWas) {
    writeText("song.bin", "the previous good file");
    struct rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = write("song.bin", std::string(20000, 'x'));
    const bool created = write("new.bin", std::string(20000, 'x'));
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(created);
    EXPECT_EQ(readText(path("song.bin")), "the previous good file");
    EXPECT_EQ(names(), std::vector<std::string>{"song.bin"});
    // A folder that does not exist, or a folder as the target.
    EXPECT_FALSE(write("missing/song.bin", "x"));
    EXPECT_FALSE(writeWholeFile("test", dir.c_str(), reinterpret_cast<const uint8_t*>("x"), 1));
    EXPECT_EQ(names(), std::vector<std::string>{"song.bin"});
}

TEST_F(OutputFileTest, ADeviceIsWrittenInPlaceAndNeverRemoved) {
    if (mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0 ||
        mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make device nodes here: " << std::strerror(errno);
    EXPECT_FALSE(write("full", "bytes for a full disk"));
    EXPECT_TRUE(write("null", "bytes for nobody"));
    EXPECT_TRUE(S_ISCHR(modeOf(path("full"))));
    EXPECT_TRUE(S_ISCHR(modeOf(path("null"))));
    EXPECT_EQ(names(), (std::vector<std::string>{"full", "null"}));
}

TEST_F(OutputFileTest, AFifoIsWrittenToItsReaderAndOneWithoutAReaderFailsInTime) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(path("fifo"), std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    EXPECT_TRUE(write("fifo", "through the pipe"));
    reader.join();
    EXPECT_EQ(received, "through the pipe");

    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(write("fifo", "nobody reads this"));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_GT(waited, 1.0);
    EXPECT_LT(waited, 15.0);
    EXPECT_TRUE(S_ISFIFO(modeOf(path("fifo"))));
    EXPECT_EQ(names(), std::vector<std::string>{"fifo"});
}

TEST_F(OutputFileTest, TwoNamesForOneFileAreRefusedAndTwoFilesAreNot) {
    writeText("in.txt", "source");
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("in.txt", path("alias.txt").c_str()), 0);
    struct Case {
        std::vector<std::string> inputs, outputs;
        bool refused;
    };
    const Case cases[] = {
        {{"in.txt"}, {"in.txt"}, true},
        {{"in.txt"}, {"sub/../in.txt"}, true},
        {{"in.txt"}, {"alias.txt"}, true},
        {{}, {"a.wav", "sub/../a.wav"}, true},  // neither exists yet
        {{}, {"a.wav", "a.png"}, false},
        {{"in.txt"}, {"sub/in.txt"}, false},
        {{"in.txt"}, {"out.txt", "missing/out.txt"}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> in, out;
        for (const std::string& name : c.inputs) in.push_back(path(name));
        for (const std::string& name : c.outputs) out.push_back(path(name));
        const bool allowed = refuseSameFiles("test", {in.empty() ? nullptr : in[0].c_str()},
                                             {out[0].c_str(), out.size() > 1 ? out[1].c_str() : nullptr});
        EXPECT_EQ(!allowed, c.refused) << c.outputs[0];
    }
}
