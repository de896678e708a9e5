// The development player's music: the render thread, the device callback that
// plays a recording from any position, seeks and the hand-over to a new song.
#include "tools/intro_dev/song_player.h"

#include <SDL2/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audio_output.h"
#include "audio/sdl2/open_device.h"
#include "driver/heard_music.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"

namespace {

constexpr double kBlockSeconds = double(kBlockFrames) / double(kSampleRate);
// A new song takes over once it is rendered this far past the position, so
// that the device does not run dry right after the switch...
constexpr int64_t kHandOverLead = kSampleRate / 10;
// ...or at once when its render would take longer than this to catch up with
// the position, which moves on in real time. A render no faster than the
// music (a sanitizer build, a busy machine) never would; after the hand-over
// the device plays silence until the render reaches the position, as after a
// seek. The render's speed is judged once it has made a second of music.
constexpr double kLongestCatchUpSeconds = 2.0;
constexpr int64_t kJudgeSpeedAfter = kSampleRate;

uint64_t packTake(int64_t position, uint32_t micros) {
    return (uint64_t(micros) << 32) | uint32_t(position);
}

void playCallback(void* user, Uint8* stream, int length) {
    playSongFrames(*static_cast<SongPlayer*>(user), stream, length);
}

// The render thread: one job at a time, each a whole song from its start.
void renderLoop(SongPlayer* player) {
    setFloatMode(kRenderFloatMode);  // the show's audio thread renders this way
    using Clock = std::chrono::steady_clock;
    while (!player->quit.load(std::memory_order_acquire)) {
        if (!player->go.exchange(false, std::memory_order_acq_rel)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const Clock::time_point began = Clock::now();
        uint32_t blocks = 0;
        while (!player->cancel.load(std::memory_order_relaxed)) {
            const Clock::time_point blockBegan = Clock::now();
            if (!recordSongBlock(*player->target, *player->job)) break;
            ++blocks;
            const Clock::time_point now = Clock::now();
            const double spent = std::chrono::duration<double>(now - blockBegan).count();
            player->renderShare.store(float(spent / kBlockSeconds), std::memory_order_relaxed);
            const double wall = std::chrono::duration<double>(now - began).count();
            player->renderFactor.store(float(blocks * kBlockSeconds / wall), std::memory_order_relaxed);
        }
        player->busy.store(false, std::memory_order_release);
    }
}

// Ends the render thread's job, if any, and waits until it has let go.
void stopRender(SongPlayer& player) {
    player.cancel.store(true, std::memory_order_release);
    while (player.busy.load(std::memory_order_acquire)) std::this_thread::sleep_for(std::chrono::microseconds(200));
    player.cancel.store(false, std::memory_order_release);
}

void startRender(SongPlayer& player, Synth* synth, SongRecording* target) {
    player.job = synth;
    player.target = target;
    player.busy.store(true, std::memory_order_release);
    player.go.store(true, std::memory_order_release);
}

// Whether the new song's render, `recorded` frames in, catches up with the
// position soon enough to keep the old song playing until it does.
bool worthWaiting(const SongPlayer& player, int64_t position, int64_t recorded) {
    if (recorded < kJudgeSpeedAfter) return true;
    const double factor = player.renderFactor.load(std::memory_order_relaxed);
    const double behind = double(position + kHandOverLead - recorded) / kSampleRate;
    return factor > 1.0 && behind / (factor - 1.0) <= kLongestCatchUpSeconds;
}

// A Synth ready to play `song` from its start with the pinned counter, as
// the offline render makes it; null when the bytes do not load.
Synth* makeSynth(const uint8_t* song, uint32_t size, uint64_t seed) {
    pinCounter(seed);
    Synth* synth = new Synth;
    if (!prepareSynth(*synth, song, size)) {
        delete synth;
        return nullptr;
    }
    start(*synth, 0.0f);
    return synth;
}

bool openDevice(SongPlayer& player) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) player.device = openStereoDevice(kSampleRate, playCallback, &player);
    if (player.device == 0) {
        // Without a sound device the dummy driver keeps time all the same.
        std::fprintf(stderr, "intro_dev: no sound device (%s); playing silently\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_AudioInit("dummy") == 0) player.device = openStereoDevice(kSampleRate, playCallback, &player);
        player.silentDevice = true;
    }
    if (player.device == 0) {
        std::fprintf(stderr, "intro_dev: cannot open even the dummy sound device: %s\n", SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(player.device, 0);
    return true;
}

}  // namespace

void playSongFrames(SongPlayer& player, uint8_t* stream, int32_t length) {
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    const uint32_t frames = uint32_t(length) / 4;
    int64_t start = player.position.load(std::memory_order_acquire);
    int64_t position = start;
    uint32_t done = 0;
    const SongRecording* recording = player.heard.load(std::memory_order_acquire);
    if (recording != nullptr && !player.paused.load(std::memory_order_relaxed)) {
        const int64_t recorded = int64_t(recordedFrames(*recording));
        const int64_t loopStart = player.loopStart.load(std::memory_order_relaxed);
        const int64_t loopEnd = player.loopEnd.load(std::memory_order_relaxed);
        const bool looping = loopEnd > loopStart;
        while (done < frames) {
            if (looping && position >= loopEnd) position = loopStart;
            int64_t run = frames - done;
            if (looping) run = std::min(run, loopEnd - position);
            run = std::min(run, recorded - position);
            if (run <= 0 || position < 0) break;
            std::memcpy(out + 2 * done, recording->frames + 2 * position, size_t(run) * 4);
            done += uint32_t(run);
            position += run;
        }
    }
    std::memset(out + 2 * done, 0, size_t(frames - done) * 4);
    // A seek made during this take wins over the position it moved on.
    if (position != start) player.position.compare_exchange_strong(start, position, std::memory_order_acq_rel);
    const uint32_t now = playerMicros();
    player.takeFrames.store(done, std::memory_order_relaxed);
    player.lastTake.store(packTake(position, now), std::memory_order_release);
    if (done > 0 && player.waitingSince.load(std::memory_order_relaxed) != 0 &&
        player.soundAt.load(std::memory_order_relaxed) == 0)
        player.soundAt.store(now, std::memory_order_release);
}

uint32_t playerMicros() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    const uint32_t micros = uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
    return micros == 0 ? 1 : micros;
}

bool openSongPlayer(SongPlayer& player, const uint8_t* song, uint32_t size, float seconds, uint64_t seed) {
    player.seed = seed;
    if (!initSongRecording(player.recordings[0], seconds) || !initSongRecording(player.recordings[1], seconds)) {
        std::fprintf(stderr, "intro_dev: no memory for %g s of recorded music\n", double(seconds));
        return false;
    }
    player.synths[0] = makeSynth(song, size, seed);
    if (player.synths[0] == nullptr) {
        std::fprintf(stderr, "intro_dev: the song does not load\n");
        return false;
    }
    player.paused.store(true);
    player.heard.store(&player.recordings[0]);
    player.renderer = std::thread(renderLoop, &player);
    startRender(player, player.synths[0], &player.recordings[0]);
    return openDevice(player);
}

void closeSongPlayer(SongPlayer& player) {
    if (player.device != 0) SDL_CloseAudioDevice(player.device);
    player.device = 0;
    if (player.renderer.joinable()) {
        player.cancel.store(true);
        player.quit.store(true);
        player.renderer.join();
    }
    for (int i = 0; i < 2; ++i) {
        delete player.synths[i];
        player.synths[i] = nullptr;
        releaseSongRecording(player.recordings[i]);
    }
}

bool changeSong(SongPlayer& player, const uint8_t* song, uint32_t size) {
    SongRecording* heard = player.heard.load(std::memory_order_relaxed);
    const int spare = heard == &player.recordings[0] ? 1 : 0;
    stopRender(player);
    delete player.synths[spare];
    player.synths[spare] = makeSynth(song, size, player.seed);
    if (player.synths[spare] == nullptr) {
        player.pending = nullptr;
        // The song that plays goes on rendering where it stopped, if it had
        // not finished.
        if (!heard->finished.load()) startRender(player, player.synths[1 - spare], heard);
        return false;
    }
    clearSongRecording(player.recordings[spare]);
    player.pending = &player.recordings[spare];
    startRender(player, player.synths[spare], player.pending);
    return true;
}

bool updateSongPlayer(SongPlayer& player) {
    if (player.pending == nullptr) return false;
    const int64_t position = player.position.load(std::memory_order_relaxed);
    const int64_t recorded = int64_t(recordedFrames(*player.pending));
    const bool caughtUp =
        recorded >= position + kHandOverLead || player.pending->finished.load(std::memory_order_acquire);
    if (!caughtUp && worthWaiting(player, position, recorded)) return false;
    // The device callback must not be inside the old recording while the
    // pointer moves: SDL's device lock holds it off for that instant.
    SDL_LockAudioDevice(player.device);
    player.heard.store(player.pending, std::memory_order_release);
    player.soundAt.store(0, std::memory_order_relaxed);
    player.waitingSince.store(playerMicros(), std::memory_order_relaxed);
    SDL_UnlockAudioDevice(player.device);
    player.pending = nullptr;
    return true;
}

void seekSong(SongPlayer& player, int64_t frame) {
    if (frame < 0) frame = 0;
    const uint32_t now = playerMicros();
    player.position.store(frame, std::memory_order_release);
    player.soundAt.store(0, std::memory_order_relaxed);
    player.waitingSince.store(now, std::memory_order_relaxed);
    // The clock starts again from here, one device take ahead.
    player.takeFrames.store(kDeviceFrames, std::memory_order_relaxed);
    player.lastTake.store(packTake(frame + kDeviceFrames, now), std::memory_order_release);
}

void pauseSong(SongPlayer& player, bool paused) {
    player.paused.store(paused, std::memory_order_release);
    if (!paused) seekSong(player, player.position.load(std::memory_order_acquire));
}

int64_t heardFrame(const SongPlayer& player) {
    const int64_t position = player.position.load(std::memory_order_acquire);
    if (player.paused.load(std::memory_order_relaxed)) return position;
    const uint64_t take = player.lastTake.load(std::memory_order_acquire);
    const uint32_t frames = player.takeFrames.load(std::memory_order_relaxed);
    const int32_t elapsed = int32_t(playerMicros() - uint32_t(take >> 32));
    // The device plays a take over the period after it: what is heard now is
    // the take's end less what it has not played yet.
    const double unplayed = unplayedBytes(frames * 4, elapsed, kSampleRate * 4) / 4.0;
    // The take's end in 32 bits: positions stay far below 2^32 frames.
    const int64_t end = int64_t(uint32_t(take));
    const int64_t heard = end - int64_t(unplayed);
    return heard < 0 ? 0 : heard;
}

int64_t takeSoundLatency(SongPlayer& player) {
    const uint32_t since = player.waitingSince.load(std::memory_order_relaxed);
    const uint32_t at = player.soundAt.load(std::memory_order_acquire);
    if (since == 0 || at == 0) return -1;
    player.waitingSince.store(0, std::memory_order_relaxed);
    player.soundAt.store(0, std::memory_order_relaxed);
    return int64_t(int32_t(at - since));
}
