// capture --video: every frame of a stretch of the show, rendered offscreen in
// lock-step with the offline song, piped to ffmpeg as raw RGB and muxed with
// the song of the same Synth, which is also kept as a WAV beside the video.
#pragma once
#include <cstdint>
#include <string>

struct VideoOptions {
    const char* output = nullptr;  // the video file; ffmpeg picks the container by its name
    int32_t width = 0;             // even pixel counts (the encoder's 4:2:0 chroma)
    int32_t height = 0;
    int32_t fps = 60;
    float from = 0.0f;      // clock of the first frame, from -0.17 (the show's first pre-roll frame)
    float seconds = -1.0f;  // length; negative: up to and including the show's last frame
    bool music = true;
    uint64_t seed = 1;
};

// Number of frames a video holds: seconds * fps rounded, or without a length
// every frame from `from` up to and including the first one at 115 s or more.
int32_t videoFrameCount(const VideoOptions& options);
// Clock of frame i: from + i / fps, in single precision as the replay counts.
float videoFrameClock(const VideoOptions& options, int32_t frame);
// The song's WAV path beside the video: its name with the extension replaced.
std::string songPathFor(const std::string& video);

// Makes the video; returns the process exit status (0 on success).
int32_t writeVideo(const VideoOptions& options);
