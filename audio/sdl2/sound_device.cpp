// The sound device on Linux: an SDL2 device whose callback plays the output's
// SoundRing. The callback consumes the ring and records each take, so the
// play cursor is simply the ring's own.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "audio/audio_output.h"
#include "audio/sdl2/open_device.h"
#include "audio/sound_device.h"
#include "runtime/memory.h"

struct SoundDevice {
    SDL_AudioDeviceID id;  // 0 until the device is open
    bool audioSystem;      // SDL's audio subsystem was started for it
};

namespace {

bool fail(AudioOutput& output, const char* what, const char* detail) {
    static char text[256];
    std::snprintf(text, sizeof(text), "%s%s%s", what, detail[0] ? ": " : "", detail);
    output.failure = text;
    return false;
}

// Device side: runs on SDL's audio thread for every 1024 frames. It must stay
// cheap: the dummy and disk drivers pace themselves by the buffer time plus
// the time this takes.
void playFromRing(void* user, Uint8* stream, int length) {
    AudioOutput& output = *static_cast<AudioOutput*>(user);
    playRing(output.ring, stream, uint32_t(length));
    recordTake(output, uint32_t(length), deviceMicros());
}

// Holds stderr on /dev/null while it lives. ALSA prints a screenful of its
// own on stderr when there is no sound card; the caller reports the reason in
// one line from SDL's error text instead. Only used during start-up, before
// any other thread of ours writes there.
struct QuietStderr {
    int saved = dup(STDERR_FILENO);
    QuietStderr() {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    ~QuietStderr() {
        if (saved < 0) return;
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
};

}  // namespace

// SDL's audio subsystem and the default device, opened paused.
bool openSoundDevice(AudioOutput& output, uint32_t rate) {
    QuietStderr quiet;
    output.device = static_cast<SoundDevice*>(allocate(sizeof(SoundDevice)));
    if (output.device == nullptr) return fail(output, "no memory for the sound device", "");
    *output.device = SoundDevice{0, false};
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail(output, "no sound system", SDL_GetError());
    output.device->audioSystem = true;

    output.device->id = openStereoDevice(rate, playFromRing, &output);
    if (output.device->id == 0) return fail(output, "no sound device", SDL_GetError());
    return true;
}

// The ring is the buffer: it needs no device, so tests make streams without one.
bool makeSoundBuffer(AudioOutput& output) {
    return initSoundRing(output.ring, output.bufferBytes, output.writeCursor);
}

bool hasSoundBuffer(const AudioOutput& output) {
    return output.ring.frames != nullptr;
}

bool playSoundDevice(AudioOutput& output) {
    if (output.device == nullptr || output.device->id == 0) return false;
    SDL_PauseAudioDevice(output.device->id, 0);
    return true;
}

void stopSoundDevice(AudioOutput& output) {
    // Once this returns the callback is not called again.
    if (output.device != nullptr && output.device->id != 0) SDL_PauseAudioDevice(output.device->id, 1);
}

void closeSoundDevice(AudioOutput& output) {
    if (output.device != nullptr) {
        if (output.device->id != 0) SDL_CloseAudioDevice(output.device->id);
        if (output.device->audioSystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        deallocate(output.device);
        output.device = nullptr;
    }
    releaseSoundRing(output.ring);
}

uint32_t soundPlayCursor(AudioOutput& output) {
    return playCursor(output.ring);
}

void copyToSoundBuffer(AudioOutput& output, uint32_t offset, const void* data, uint32_t count) {
    writeRing(output.ring, offset, data, count);
}
