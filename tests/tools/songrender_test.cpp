// songrender as a user runs it: pinned seeds give identical files holding
// exactly the Synth's blocks, a bad song, a failed write or a signal leaves no
// file behind, and values out of range are refused by name.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "data/song.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "synth/song_format.h"
#include "synth/synth.h"
#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kSongrender = INTRO_BINARY_DIR "/tools/songrender";

// songrender run to its end; its stdout and stderr.
CommandRun songrender(const std::string& arguments) {
    return runCommand(kSongrender + " " + arguments + " 2>&1");
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}


// The bytes of the WAV file's "data" chunk; empty when there is none.
std::vector<uint8_t> wavData(const std::vector<uint8_t>& wav) {
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
        return {};
    size_t at = 12;
    while (at + 8 <= wav.size()) {
        uint32_t size;
        std::memcpy(&size, wav.data() + at + 4, 4);
        if (std::memcmp(wav.data() + at, "data", 4) == 0) {
            if (at + 8 + size > wav.size()) return {};
            return {wav.begin() + long(at + 8), wav.begin() + long(at + 8 + size)};
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

class Songrender : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.made());
        ASSERT_TRUE(exists(kSongrender)) << "build the songrender target first";
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    const ScratchFolder scratch{"songrender_test"};
    const std::string dir = scratch.path();
};

}  // namespace

TEST_F(Songrender, TheSameSeedGivesTheSameFileHoldingExactlyTheSynthsBlocks) {
    const CommandRun first = songrender("-o " + path("a.wav") + " --seconds 1.5 --seed 99");
    const CommandRun second = songrender("-o " + path("b.wav") + " --seconds 1.5 --seed 99");
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(second.status, 0) << second.output;
    const std::vector<uint8_t> a = readBytes(path("a.wav"));
    EXPECT_EQ(a, readBytes(path("b.wav")));

    // 1.5 s is 129.2 blocks: whole blocks, so 130 of them, rendered by the
    // program's Synth start-up from start(0.0) with nothing added.
    pinCounter(99);
    Synth synth;
    ASSERT_TRUE(prepareSynth(synth, kSong, kSongSize));
    start(synth, 0.0f);
    std::vector<uint8_t> expected;
    for (int b = 0; b < 130; ++b) {
        const int16_t* out = nullptr;
        renderBlock(synth, &out);
        ASSERT_NE(out, nullptr);
        const auto* bytes = reinterpret_cast<const uint8_t*>(out);
        expected.insert(expected.end(), bytes, bytes + kBlockFrames * 4);
    }
    unpinCounter();
    const std::vector<uint8_t> data = wavData(a);
    EXPECT_EQ(data.size(), expected.size());
    EXPECT_TRUE(data == expected) << "the file's samples are not the Synth's blocks";

    // One summary line with the figures a user looks for.
    EXPECT_NE(first.output.find("1.51 s rendered"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find("dBFS"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find("clipped samples"), std::string::npos) << first.output;
    EXPECT_EQ(std::count(first.output.begin(), first.output.end(), '\n'), 1) << "no progress bar off a terminal";
}

TEST_F(Songrender, ASongFileInTheProgramsFormatRendersLikeTheBuiltInSong) {
    {
        std::ofstream song(path("song.bin"), std::ios::binary);
        song.write(reinterpret_cast<const char*>(kSong), kSongSize);
    }
    ASSERT_EQ(songrender("-o " + path("file.wav") + " --song " + path("song.bin") + " --seconds 1 --seed 5").status, 0);
    ASSERT_EQ(songrender("-o " + path("built.wav") + " --seconds 1 --seed 5").status, 0);
    EXPECT_EQ(readBytes(path("file.wav")), readBytes(path("built.wav")));
}

TEST_F(Songrender, ASongThatDoesNotLoadEndsWithAMessageAndNoFile) {
    {
        // The song's head with its body cut off.
        std::ofstream cut(path("cut.bin"), std::ios::binary);
        cut.write(reinterpret_cast<const char*>(kSong), 100);
        std::ofstream empty(path("empty.bin"), std::ios::binary);
    }
    for (const char* song : {"cut.bin", "empty.bin", "missing.bin"}) {
        const CommandRun run = songrender("-o " + path("out.wav") + " --seconds 1 --song " + path(song));
        EXPECT_NE(run.status, 0) << song;
        EXPECT_NE(run.output.find(path(song)), std::string::npos) << "the message names the file: " << run.output;
        EXPECT_FALSE(exists(path("out.wav"))) << song;
    }
}

TEST_F(Songrender, ACommandLineThatMakesNoSenseIsRefused) {
    for (const char* arguments : {"--seconds 2", "-o x.wav --seconds 0", "-o x.wav --seconds nan",
                                  "-o x.wav --seed -3", "-o x.wav --loud", "-o"}) {
        const CommandRun run = songrender(std::string(arguments));
        EXPECT_EQ(run.status, 2) << arguments << ": " << run.output;
        EXPECT_NE(run.output.find("usage"), std::string::npos) << arguments;
    }
}

TEST_F(Songrender, ValuesOutsideTheirRangeAreRefusedNamingTheArgumentAndRange) {
    // Seeds are plain decimal numbers within the counter's 32 bits: no
    // wrapping, no clamping, no blanks or signs.
    for (const char* seed : {"99999999999999999999", "' -1'", "+1", "0x10", "4294967296", "18446744073709551615"}) {
        const CommandRun run = songrender("-o " + path("x.wav") + " --seed " + seed);
        EXPECT_EQ(run.status, 2) << seed;
        EXPECT_NE(run.output.find("--seed wants a whole number from 0 to 4294967295"), std::string::npos)
            << run.output;
    }
    const CommandRun largest = songrender("-o " + path("x.wav") + " --seconds 0.01 --seed 4294967295");
    EXPECT_EQ(largest.status, 0) << largest.output;
    for (const char* seconds : {"inf", "1e9", "-1", "' 2'"}) {
        const CommandRun run = songrender("-o " + path("x.wav") + " --seconds " + seconds);
        EXPECT_EQ(run.status, 2) << seconds;
        EXPECT_NE(run.output.find("--seconds wants a number above 0 and at most 3600"), std::string::npos)
            << run.output;
    }
    // A flag that does not exist is unknown, with or without something after it.
    for (const char* arguments : {"-o x.wav --loud", "--loud -o x.wav"}) {
        const CommandRun run = songrender(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.output.find("unknown option --loud"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("needs a value"), std::string::npos) << run.output;
    }
}

TEST_F(Songrender, AFailedWriteFailsTheRunAndLeavesNothingHalfMade) {
    // A device that takes nothing: the run fails and the device stays.
    const CommandRun full = songrender("-o /dev/full --seconds 1");
    EXPECT_EQ(full.status, 1) << full.output;
    EXPECT_NE(full.output.find("/dev/full"), std::string::npos) << full.output;
    EXPECT_TRUE(exists("/dev/full"));
    // The picture's folder is missing: a spectrogram asked for and not made
    // is a failure.
    const CommandRun spectrogram =
        songrender("-o " + path("s.wav") + " --seconds 1 --spectrogram " + path("missing/s.png"));
    EXPECT_EQ(spectrogram.status, 1) << spectrogram.output;
    EXPECT_NE(spectrogram.output.find("cannot write " + path("missing/s.png") + ": No such file"), std::string::npos)
        << spectrogram.output;
    EXPECT_FALSE(exists(path("missing/s.png")));
    const CommandRun drawn = songrender("-o " + path("s.wav") + " --seconds 1 --spectrogram " + path("s.png"));
    EXPECT_EQ(drawn.status, 0) << drawn.output;
    EXPECT_TRUE(exists(path("s.png")));
}

TEST_F(Songrender, ASongFileLargerThanAnySongIsRefusedBeforeItIsRead) {
    EXPECT_EQ(kLargestSongBytes, songByteSize(kMaxInstruments, uint64_t(kMaxInstruments) * 65535));
    // An endless file, and a sparse one byte over the limit.
    ASSERT_EQ(runCommand("truncate -s " + std::to_string(kLargestSongBytes + 1) + " " + path("big.bin")).status, 0);
    for (const std::string& song : {std::string("/dev/zero"), path("big.bin")}) {
        const auto began = std::chrono::steady_clock::now();
        const CommandRun run = songrender("-o " + path("out.wav") + " --song " + song);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("larger than the largest song (8392144 bytes)"), std::string::npos) << run.output;
        EXPECT_LT(seconds, 5.0) << song;
        EXPECT_FALSE(exists(path("out.wav")));
    }
}

// Every signal that ends a run: the render stops at once with 128 + the
// signal, its temporary file goes, and a file of the same name made by
// another run is left as it was.
TEST_F(Songrender, EveryStopSignalEndsTheRunAndRemovesOnlyItsOwnFile) {
    const std::string kept = "made by another run";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
        writeText(path("long.wav"), kept);
        ChildProcess render({kSongrender, "-o", path("long.wav"), "--seconds", "3600"}, {});
        ASSERT_GT(render.pid, 0);
        for (int i = 0; i < 300 && namesIn(dir).size() < 2; ++i) usleep(10000);
        ASSERT_EQ(namesIn(dir).size(), 2u) << "the render never started";
        usleep(200000);
        kill(render.pid, signal);
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(render.waitExit(std::chrono::milliseconds(2000)), 128 + signal) << strsignal(signal);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), 1.0);
        EXPECT_EQ(namesIn(dir), std::vector<std::string>{"long.wav"}) << strsignal(signal);
        EXPECT_EQ(readText(path("long.wav")), kept) << strsignal(signal);
    }
}

// Two runs writing one name: the second, stopped, takes nothing from the
// first, which ends with its whole file in place.
TEST_F(Songrender, AStoppedRunLeavesAnotherRunsFileAlone) {
    ChildProcess first({kSongrender, "-o", path("c.wav"), "--seconds", "20"}, {});
    ChildProcess second({kSongrender, "-o", path("c.wav"), "--seconds", "3600"}, {});
    ASSERT_GT(first.pid, 0);
    ASSERT_GT(second.pid, 0);
    for (int i = 0; i < 300 && namesIn(dir).size() < 2; ++i) usleep(10000);
    usleep(100000);
    kill(second.pid, SIGINT);
    EXPECT_EQ(second.waitExit(std::chrono::milliseconds(2000)), 128 + SIGINT);
    EXPECT_EQ(first.waitExit(std::chrono::milliseconds(60000)), 0) << first.errors();
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"c.wav"});
    EXPECT_EQ(wavData(readBytes(path("c.wav"))).size(), size_t(std::ceil(20.0 * kSampleRate / kBlockFrames)) *
                                                           kBlockFrames * 4);
}

// Outputs that would overwrite an input or each other, and a full disk:
// refused or failed, with the old file kept whole.
TEST_F(Songrender, OutputsThatWouldLoseDataAreRefusedAndAFullDiskKeepsTheOldFile) {
    writeText(path("old.wav"), "the previous render");
    struct Case {
        std::string command;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"-o " + path("old.wav") + " --spectrogram " + path("old.wav"), 2, "are one file, named twice as an output"},
        {"-o " + path("old.wav") + " --song " + path("old.wav"), 2, "is both an input and an output"},
        // The file-size limit stands in for a full disk.
        {"sh -c \"trap '' XFSZ; ulimit -f 64; " + kSongrender + " -o " + path("old.wav") + " --seconds 2 2>&1\"", 1,
         "writing " + path("old.wav")},
    };
    for (const Case& c : cases) {
        const CommandRun run =
            c.command[0] == '-' ? songrender(c.command) : runCommand(c.command);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(readText(path("old.wav")), "the previous render");
        EXPECT_EQ(namesIn(dir), std::vector<std::string>{"old.wav"});
    }
}

// A helper that hangs (a stand-in sox that records its process id and
// sleeps): a signal to songrender, even SIGKILL, which no handler sees,
// ends the helper too. After a handled signal nothing is left; SIGKILL
// leaves the hidden temporary picture (no code runs to remove it), never a
// half-made file under the picture's own name.
TEST_F(Songrender, NoHelperOutlivesTheRender) {
    ASSERT_EQ(runCommand("mkdir " + path("bin") + " && printf '#!/bin/sh\\necho $$ > " + path("sox.pid") +
                         "\\nexec sleep 600\\n' > " + path("bin/sox") + " && chmod +x " + path("bin/sox"))
                  .status,
              0);
    for (const int signal : {SIGHUP, SIGKILL}) {
        unlink(path("sox.pid").c_str());
        ChildProcess render({kSongrender, "-o", path("s.wav"), "--seconds", "0.5", "--spectrogram", path("s.png")},
                            {"PATH=" + path("bin") + ":" + getenv("PATH")});
        for (int i = 0; i < 500 && readText(path("sox.pid")).empty(); ++i) usleep(10000);
        const pid_t sox = pid_t(std::atoi(readText(path("sox.pid")).c_str()));
        ASSERT_GT(sox, 0) << render.errors();
        kill(render.pid, signal);
        EXPECT_EQ(render.waitExit(std::chrono::milliseconds(2000)), 128 + signal);
        bool gone = false;
        for (int i = 0; i < 200 && !gone; ++i, usleep(10000)) gone = kill(sox, 0) != 0;
        EXPECT_TRUE(gone) << "the helper outlived songrender after " << strsignal(signal);
        if (!gone) kill(sox, SIGKILL);
        // The WAV was whole before the picture was begun; the picture is not there.
        EXPECT_FALSE(exists(path("s.png")));
        if (signal != SIGKILL) {
            EXPECT_EQ(runCommand("ls -A " + dir + " | grep '^\\.'").output, "");
        }
    }
}
