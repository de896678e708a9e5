// The sound device on Windows: a DirectSound 8 secondary buffer of one second
// that loops on its own. The audio thread reads its play cursor and writes
// blocks into it through Lock and Unlock; the ring's counters follow the
// cursor so that the stream's accounting (what was written, what was heard)
// is the same as on Linux.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstring>

#include "audio/audio_output.h"
#include "audio/sound_device.h"
#include "runtime/memory.h"

struct SoundDevice {
    IDirectSound8* device;       // null before open and after close
    IDirectSoundBuffer* buffer;  // the looping secondary buffer; null likewise
    uint32_t lastCursor;         // play cursor at the previous poll (audio thread)
};

namespace {

bool fail(AudioOutput& output, const char* what) {
    output.failure = what;
    return false;
}

IDirectSoundBuffer* bufferOf(const AudioOutput& output) {
    return output.device != nullptr ? output.device->buffer : nullptr;
}

// Locks `count` bytes at `offset`; a lost buffer is restored and started
// again once, then locked anew at the same offset, so the block still lands
// where the stream expects it. False when no lock was obtained: the regions
// are then not valid and nothing may be copied.
bool lockRegions(IDirectSoundBuffer* buffer, uint32_t offset, uint32_t count, void** first, DWORD* firstBytes,
                 void** second, DWORD* secondBytes) {
    HRESULT result = buffer->Lock(offset, count, first, firstBytes, second, secondBytes, 0);
    if (result == DSERR_BUFFERLOST) {
        // A lost buffer has also stopped playing.
        buffer->Restore();
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        result = buffer->Lock(offset, count, first, firstBytes, second, secondBytes, 0);
    }
    return SUCCEEDED(result);
}

}  // namespace

bool openSoundDevice(AudioOutput& output, uint32_t) {
    output.device = static_cast<SoundDevice*>(allocate(sizeof(SoundDevice)));
    if (output.device == nullptr) return fail(output, "no memory for the sound device");
    *output.device = SoundDevice{nullptr, nullptr, 0};
    // The default device, no aggregation.
    if (FAILED(DirectSoundCreate8(nullptr, &output.device->device, nullptr))) {
        output.device->device = nullptr;
        return fail(output, "no sound device (DirectSoundCreate8 failed)");
    }
    // The show's own window does not exist yet: the window in front stands in.
    if (FAILED(output.device->device->SetCooperativeLevel(GetForegroundWindow(), DSSCL_NORMAL)))
        return fail(output, "the sound device refused the cooperative level");
    return true;
}

bool makeSoundBuffer(AudioOutput& output) {
    if (output.device == nullptr || output.device->device == nullptr) return false;
    // 16-bit stereo PCM at the output's rate.
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = output.sampleRate;
    format.nAvgBytesPerSec = output.sampleRate * kFrameBytes;
    format.nBlockAlign = kFrameBytes;
    format.wBitsPerSample = 16;
    // A play cursor that is exact, play on while another window is in front,
    // and position notifications allowed.
    DSBUFFERDESC description{};
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLPOSITIONNOTIFY;
    description.dwBufferBytes = output.bufferBytes;
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(output.device->device->CreateSoundBuffer(&description, &buffer, nullptr))) return false;
    output.device->buffer = buffer;
    output.device->lastCursor = 0;

    // A new buffer's contents are not promised to be silence, and its first
    // half second plays before the first block arrives.
    void* all = nullptr;
    DWORD allBytes = 0;
    if (SUCCEEDED(buffer->Lock(0, 0, &all, &allBytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER))) {
        std::memset(all, 0, allBytes);
        buffer->Unlock(all, allBytes, nullptr, 0);
    }
    // The sound lives in the DirectSound buffer; the ring keeps only the counts.
    SoundRing& ring = output.ring;
    ring.frames = nullptr;
    ring.bufferBytes = output.bufferBytes;
    ring.consumed.store(0, std::memory_order_relaxed);
    ring.written.store(output.writeCursor, std::memory_order_relaxed);
    ring.underruns.store(0, std::memory_order_relaxed);
    return true;
}

bool hasSoundBuffer(const AudioOutput& output) {
    return bufferOf(output) != nullptr;
}

bool playSoundDevice(AudioOutput& output) {
    IDirectSoundBuffer* buffer = bufferOf(output);
    if (buffer == nullptr || FAILED(buffer->SetCurrentPosition(0))) return false;
    return SUCCEEDED(buffer->Play(0, 0, DSBPLAY_LOOPING));
}

void stopSoundDevice(AudioOutput& output) {
    if (IDirectSoundBuffer* buffer = bufferOf(output)) buffer->Stop();
}

void closeSoundDevice(AudioOutput& output) {
    if (output.device == nullptr) return;
    if (output.device->buffer != nullptr) {
        output.device->buffer->Release();
        output.device->buffer = nullptr;
    }
    if (output.device->device != nullptr) {
        output.device->device->Release();
        output.device->device = nullptr;
    }
    deallocate(output.device);
    output.device = nullptr;
    output.ring.bufferBytes = 0;
}

uint32_t soundPlayCursor(AudioOutput& output) {
    SoundDevice& device = *output.device;
    DWORD play = 0;
    DWORD write = 0;
    // A cursor that cannot be read counts as not moved.
    if (FAILED(device.buffer->GetCurrentPosition(&play, &write)) || play >= output.bufferBytes)
        return device.lastCursor;
    // Whole frames only, like every count of the stream.
    const uint32_t cursor = uint32_t(play) & ~(kFrameBytes - 1);
    // The distance the cursor moved since the last poll, across the wrap.
    // The thread polls many times a second, so it never laps the buffer
    // unseen unless it stalls for a whole second.
    const uint32_t moved = (cursor + output.bufferBytes - device.lastCursor) % output.bufferBytes;
    device.lastCursor = cursor;
    if (moved == 0) return cursor;
    SoundRing& ring = output.ring;
    const uint64_t consumed = ring.consumed.load(std::memory_order_relaxed) + moved;
    if (consumed > ring.written.load(std::memory_order_relaxed)) ring.underruns.fetch_add(1, std::memory_order_relaxed);
    ring.consumed.store(consumed, std::memory_order_release);
    // The cursor is the byte being played now: nothing of this take is still
    // to come, unlike an SDL take that is played over the following period.
    recordTake(output, 0, deviceMicros());
    return cursor;
}

void copyToSoundBuffer(AudioOutput& output, uint32_t offset, const void* data, uint32_t count) {
    IDirectSoundBuffer* buffer = bufferOf(output);
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    if (lockRegions(buffer, offset, count, &first, &firstBytes, &second, &secondBytes)) {
        // Never more than was asked for, whatever the regions say.
        const DWORD head = firstBytes < count ? firstBytes : count;
        std::memcpy(first, data, head);
        DWORD tail = 0;
        if (second != nullptr) {
            tail = secondBytes < count - head ? secondBytes : count - head;
            std::memcpy(second, static_cast<const uint8_t*>(data) + head, tail);
        }
        buffer->Unlock(first, head, second, tail);
    }
    // The stream moves on by a block either way, as the write cursor does.
    SoundRing& ring = output.ring;
    ring.written.store(ring.written.load(std::memory_order_relaxed) + count, std::memory_order_release);
}
