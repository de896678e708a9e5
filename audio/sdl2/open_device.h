// SDL's default playback device in the one format everything here plays:
// 16-bit stereo at a given rate, kDeviceFrames frames a callback.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

// Opens it paused, with no format changes allowed, so that SDL converts to
// whatever the hardware wants and `callback` always fills 16-bit stereo at
// `rate`. 0 when there is none; SDL_GetError() says why. SDL's audio
// subsystem must be started.
SDL_AudioDeviceID openStereoDevice(uint32_t rate, SDL_AudioCallback callback, void* user);
