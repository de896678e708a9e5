// DelayLine: a long single-channel delay shared by the stereo delay (feedback
// mode, echoes that repeat) and the chorus (tap mode, one delayed copy).
#pragma once
#include <cstdint>

// 192,000 frames: 4.35 s at 44,100 Hz, the longest delay any unit asks for.
constexpr uint32_t kDelayLineCapacity = 192000;

struct DelayLine {
    bool tapMode;                        // false: feedback mode; true: tap mode
    float buffer[kDelayLineCapacity];    // the delay memory
    uint32_t length;                     // delay in frames, 1..kDelayLineCapacity
    uint32_t readIndex;                  // next frame to read
    uint32_t writeIndex;                 // next frame to write
};

// Sets the mode of a silent line (units come zero-filled, so the 768 kB
// buffer is not cleared twice), with the minimum delay of one frame until
// the first setTime.
void initDelayLine(DelayLine& line, bool tapMode);

// Delay in milliseconds: length = truncate(rate x ms x 0.001), formed in
// extended precision and rounded to a float first, clamped to
// 1..kDelayLineCapacity. Tap mode moves the read index `length` frames behind
// the write index; feedback mode keeps both indices inside the new length.
void setTime(DelayLine& line, uint32_t sampleRate, float ms);

// Runs n samples of one channel in place with gain g.
// Feedback mode: y[n] = x[n] + w[n], w[n] = g (w[n - length] + x[n]).
// Tap mode:      y[n] = x[n] + g x[n - length].
// A stored value that is zero or denormal is stored as exactly 0.
void processDelayLine(DelayLine& line, float* samples, uint32_t n, float g);
