// The frames and file names of a video, apart from making it.
#include <cmath>

#include "driver/show.h"
#include "tools/capture/video.h"

int32_t videoFrameCount(const VideoOptions& options) {
    if (options.seconds >= 0.0f) return int32_t(std::lround(double(options.seconds) * options.fps));
    // The show's last frame is the first whose clock reaches the end; the
    // small allowance keeps a clock that lands on the end from rounding past it.
    return int32_t(std::ceil((double(kShowEnd) - double(options.from)) * options.fps - 1e-6)) + 1;
}

float videoFrameClock(const VideoOptions& options, int32_t frame) {
    return options.from + float(frame) / float(options.fps);
}

std::string songPathFor(const std::string& video) {
    size_t slash = video.find_last_of('/');
    size_t dot = video.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return video + ".wav";
    return video.substr(0, dot) + ".wav";
}
