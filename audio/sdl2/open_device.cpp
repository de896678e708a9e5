#include "audio/sdl2/open_device.h"

#include "audio/audio_output.h"

SDL_AudioDeviceID openStereoDevice(uint32_t rate, SDL_AudioCallback callback, void* user) {
    SDL_AudioSpec wanted{};
    wanted.freq = int(rate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kDeviceFrames;
    wanted.callback = callback;
    wanted.userdata = user;
    SDL_AudioSpec obtained{};
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
}
