// Time-left estimate per frame kind and the progress line.
#include "tools/capture/progress.h"

#include <cstdio>

namespace {

// m:ss, or h:mm:ss from an hour up; seconds rounded down.
void formatDuration(char* out, size_t capacity, double seconds) {
    long total = seconds > 0.0 ? long(seconds) : 0;
    if (total >= 3600)
        std::snprintf(out, capacity, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(out, capacity, "%ld:%02ld", total / 60, total % 60);
}

}  // namespace

void planFrame(FrameEstimate& estimate, int32_t kind) {
    if (kind >= 0 && kind < kFrameKinds) estimate.left[kind]++;
}

void finishFrame(FrameEstimate& estimate, int32_t kind, double seconds) {
    if (kind < 0 || kind >= kFrameKinds) return;
    estimate.seconds[kind] += seconds;
    estimate.done[kind]++;
    if (estimate.left[kind] > 0) estimate.left[kind]--;
}

double secondsLeft(const FrameEstimate& estimate) {
    double spent = 0.0;
    int32_t timed = 0;
    for (int32_t k = 0; k < kFrameKinds; k++) {
        spent += estimate.seconds[k];
        timed += estimate.done[k];
    }
    if (timed == 0) return -1.0;
    double overall = spent / timed;
    double left = 0.0;
    for (int32_t k = 0; k < kFrameKinds; k++) {
        double rate = estimate.done[k] > 0 ? estimate.seconds[k] / estimate.done[k] : overall;
        left += rate * estimate.left[k];
    }
    return left;
}

bool estimateMeasured(const FrameEstimate& estimate) {
    for (int32_t k = 0; k < kFrameKinds; k++)
        if (estimate.left[k] > 0 && estimate.done[k] == 0) return false;
    return true;
}

// A line longer than the caller's buffer is cut short on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
void formatProgress(char* out, size_t capacity, int32_t done, int32_t total, double elapsed, double left,
                    bool measured, int32_t barWidth) {
    char bar[128];
    if (barWidth > int32_t(sizeof(bar)) - 1) barWidth = int32_t(sizeof(bar)) - 1;
    if (barWidth < 0) barWidth = 0;
    int32_t filled = total > 0 ? int32_t(int64_t(done) * barWidth / total) : barWidth;
    if (filled > barWidth) filled = barWidth;
    for (int32_t i = 0; i < barWidth; i++) bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = 0;
    char spent[32], remaining[64];
    formatDuration(spent, sizeof(spent), elapsed);
    if (left < 0.0) {
        std::snprintf(remaining, sizeof(remaining), "left unknown");
    } else {
        char text[32];
        formatDuration(text, sizeof(text), left + 0.5);
        std::snprintf(remaining, sizeof(remaining), "about %s left%s", text, measured ? "" : " so far");
    }
    char rate[32] = "";
    if (elapsed > 0.0 && done > 0) std::snprintf(rate, sizeof(rate), "  %.2f frames/s", done / elapsed);
    std::snprintf(out, capacity, "[%s] %d/%d frames%s  %s elapsed  %s", bar, int(done), int(total), rate, spent,
                  remaining);
}
#pragma GCC diagnostic pop
