// The frames and file names of a video, apart from making it.
#include <cmath>
#include <cstring>

#include "driver/show.h"
#include "tools/capture/video.h"
#include "tools/common/arguments.h"

int32_t videoFrameCount(const VideoOptions& options) {
    if (videoIsSegment(options)) return options.last - options.first + 1;
    if (options.seconds >= 0.0f) return int32_t(std::lround(double(options.seconds) * options.fps));
    // The show's last frame is the first whose clock reaches the end; the
    // small allowance keeps a clock that lands on the end from rounding past it.
    return int32_t(std::ceil((double(kShowEnd) - double(options.from)) * options.fps - 1e-6)) + 1;
}

float videoFrameClock(const VideoOptions& options, int32_t frame) {
    return options.from + float(options.first + frame) / float(options.fps);
}

bool videoIsSegment(const VideoOptions& options) {
    return options.last >= 0;
}

int32_t lastShowFrame(int32_t fps) {
    VideoOptions whole;
    whole.fps = fps;
    return videoFrameCount(whole) - 1;
}

bool parseFrameRange(const char* text, int32_t most, int32_t& first, int32_t& last) {
    // Split at the first '-' after the first character; both sides plain digits.
    const char* dash = text[0] ? std::strchr(text + 1, '-') : nullptr;
    if (!dash || dash - text > 10) return false;
    char left[12] = {};
    std::memcpy(left, text, size_t(dash - text));
    uint64_t a = 0, b = 0;
    if (!parseWhole(left, uint64_t(most), a) || !parseWhole(dash + 1, uint64_t(most), b) || a > b) return false;
    first = int32_t(a);
    last = int32_t(b);
    return true;
}

std::string songPathFor(const std::string& video) {
    size_t slash = video.find_last_of('/');
    size_t dot = video.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return video + ".wav";
    return video.substr(0, dot) + ".wav";
}
