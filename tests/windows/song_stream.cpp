// The Windows half of the music-bits comparison: renders the built-in song
// the way the show's audio thread does (a WorkerThread, so the same thread
// entry and control words, and the same block renderer, after the Synth was
// prepared on the main thread), with the counter pinned, and writes the
// 16-bit stereo stream raw to a file. The test compares it with songrender's
// output for the same seed on Linux. Prints the control words its rendering
// thread runs with.
//   song_stream.exe OUT.raw SEED BLOCKS
#include <windows.h>
#include <xmmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/worker_thread.h"
#include "data/song.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"

namespace {

constexpr uint32_t kBlockBytes = kBlockFrames * 4;

class StreamThread : public WorkerThread {
public:
    StreamThread(Synth& synth, uint8_t* stream, uint32_t blocks)
        : WorkerThread(0), synth_(synth), stream_(stream), blocks_(blocks) {}
    ~StreamThread() override { join(); }
    int32_t run() override {
        setFloatMode(kRenderFloatMode);  // as AudioThread::run
        // What the thread renders with: the test expects the program's own
        // words, whatever CreateThread set.
        std::printf("song_stream: control=%04x mxcsr=%04x\n", extendedControlWord(), _mm_getcsr() & 0xFFC0u);
        for (uint32_t b = 0; b < blocks_; ++b) {
            const int16_t* out = nullptr;
            renderBlock(synth_, &out);
            if (out == nullptr) return 1;
            std::memcpy(stream_ + size_t(b) * kBlockBytes, out, kBlockBytes);
        }
        return 0;
    }

private:
    Synth& synth_;
    uint8_t* stream_;
    uint32_t blocks_;
};

Synth synth;  // about 350 KiB

}  // namespace

__attribute__((force_align_arg_pointer)) int main(int argc, char** argv) {
    enterFloatModes(kMainFloatMode);
    if (argc != 4) {
        std::fprintf(stderr, "usage: song_stream OUT.raw SEED BLOCKS\n");
        return 2;
    }
    pinCounter(std::strtoull(argv[2], nullptr, 10));
    const uint32_t blocks = uint32_t(std::strtoul(argv[3], nullptr, 10));
    auto* stream = static_cast<uint8_t*>(std::malloc(size_t(blocks) * kBlockBytes));
    if (stream == nullptr || !prepareSynth(synth, kSong, kSongSize)) {
        std::fprintf(stderr, "song_stream: no memory or no song\n");
        return 1;
    }
    start(synth, 0.0f);
    StreamThread thread(synth, stream, blocks);
    if (!thread.start(kPriorityNormal)) return 1;
    thread.join();
    if (thread.exitCode() != 0) {
        std::fprintf(stderr, "song_stream: the Synth rendered no block\n");
        return 1;
    }
    FILE* file = std::fopen(argv[1], "wb");
    const bool written = file != nullptr && std::fwrite(stream, kBlockBytes, blocks, file) == blocks;
    if (file != nullptr && std::fclose(file) != 0) return 1;
    return written ? 0 : 1;
}
