// The platform's side of AudioOutput: the system's sound device and the
// looping one-second buffer it plays from. On Linux an SDL2 device plays the
// output's SoundRing (audio/sdl2/sound_device.cpp); on Windows a DirectSound 8
// secondary buffer is the ring (audio/win32/sound_device.cpp). Either way the
// output's ring counters (`consumed`, `written`, `underruns`) and its device
// takes keep the stream's accounting, so everything above this seam is shared.
#pragma once
#include <cstdint>

struct AudioOutput;
// Each platform's own device state; AudioOutput holds a pointer to it.
struct SoundDevice;

// Opens the default device for `rate` frames per second, 16-bit stereo, not
// yet playing. False, with output.failure set, when there is none.
bool openSoundDevice(AudioOutput& output, uint32_t rate);
// Makes the zeroed buffer of output.bufferBytes and sets the ring counters up
// with the writer output.writeCursor bytes ahead. False when it cannot be made.
bool makeSoundBuffer(AudioOutput& output);
// Whether a buffer exists to play from and write to.
bool hasSoundBuffer(const AudioOutput& output);
// Starts playback from byte 0, looping. False when refused.
bool playSoundDevice(AudioOutput& output);
// Stops playback; once it returns the device takes nothing more. Nothing
// without a device.
void stopSoundDevice(AudioOutput& output);
// Gives the buffer and the device back and nulls them; either may be absent.
void closeSoundDevice(AudioOutput& output);

// Audio thread: the byte offset in the buffer that is being played. It also
// moves the ring's `consumed` count on where the device does not do that itself.
uint32_t soundPlayCursor(AudioOutput& output);
// Audio thread: copies `count` bytes (a multiple of 4, at most a buffer) to
// buffer offset `offset`, in two regions when they wrap past the end, and
// moves the ring's `written` count on.
void copyToSoundBuffer(AudioOutput& output, uint32_t offset, const void* data, uint32_t count);
