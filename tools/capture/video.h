// capture --video: every frame of a stretch of the show, rendered offscreen in
// lock-step with the offline song, piped to ffmpeg as raw RGB and muxed with
// the song of the same Synth, which is also kept as a WAV beside the video.
// With a frame range it makes one segment of a chunked render instead: those
// frames alone, lossless (FFV1 in Matroska) and without sound, so that
// segments rendered anywhere join into the single-process video bit for bit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct VideoOptions {
    const char* output = nullptr;  // the video file; ffmpeg picks the container by its name
    int32_t width = 0;             // even pixel counts (the encoder's 4:2:0 chroma)
    int32_t height = 0;
    int32_t fps = 60;
    float from = 0.0f;      // clock of the first frame, from -0.17 (the show's first pre-roll frame)
    float seconds = -1.0f;  // length; negative: up to and including the show's last frame
    // A segment: frames first..last of the show's frames at `fps` (frame n at
    // clock n / fps); last < 0 for an ordinary video from `from`.
    int32_t first = 0;
    int32_t last = -1;
    bool music = true;
    uint64_t seed = 1;
};

// Number of frames a video holds: seconds * fps rounded, or without a length
// every frame from `from` up to and including the first one at 115 s or more.
int32_t videoFrameCount(const VideoOptions& options);
// Clock of frame i of the video: from + (first + i) / fps, in single
// precision as the replay counts (a segment's frame i is the show's first + i).
float videoFrameClock(const VideoOptions& options, int32_t frame);
// Whether the options describe a segment (a frame range).
bool videoIsSegment(const VideoOptions& options);
// Index of the show's last frame at `fps`: the first whose clock reaches the end.
int32_t lastShowFrame(int32_t fps);
// "A-B" with 0 <= A <= B <= most: true and the two numbers, else false.
bool parseFrameRange(const char* text, int32_t most, int32_t& first, int32_t& last);
// The song's WAV path beside the video: its name with the extension replaced.
std::string songPathFor(const std::string& video);

// What each frame of the video shows: a scene program (0..6) or kBlackFrame.
std::vector<int8_t> videoFrameKinds(const VideoOptions& options);
// The video's frames as runs of one kind on stdout, "FIRST LAST scene" a
// line (scene names as the contact sheet writes them, "black" between
// windows): what a planner needs to weigh the frames by their cost.
void printSceneFrames(const VideoOptions& options);

// Makes the video; returns the process exit status (0 on success).
int32_t writeVideo(const VideoOptions& options);
