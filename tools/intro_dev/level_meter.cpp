// Short-term loudness and true peak of 16-bit stereo, through the meters library.
#include "tools/intro_dev/level_meter.h"

#include <algorithm>
#include <cstdlib>

#include "driver/music.h"
#include "tools/meters/loudness.h"

namespace {
const int64_t kWindowFrames = std::llround(kLevelWindowSeconds * kSampleRate);
const int64_t kStepFrames = std::llround(kLevelStepSeconds * kSampleRate);
// The true peak is kept per 100 ms piece, so the window's edge is that fine.
const int64_t kPeakPieceFrames = kSampleRate / 10;
}  // namespace

LevelFollower::LevelFollower() = default;
LevelFollower::~LevelFollower() = default;

bool LevelFollower::follow(const int16_t* frames, int64_t heardEnd) {
    if (frames == recording_ && std::llabs(heardEnd - end_) < kStepFrames) return false;
    const bool playedOn = meter_ && frames == recording_ && heardEnd > end_ && heardEnd - end_ <= kWindowFrames;
    if (playedOn) {
        feed(frames, end_, heardEnd);
    } else {
        meter_ = std::make_unique<LoudnessMeter>(kSampleRate);
        peaks_.clear();
        feed(frames, std::max<int64_t>(0, heardEnd - kWindowFrames), heardEnd);
    }
    recording_ = frames;
    end_ = heardEnd;
    while (!peaks_.empty() && peaks_.front().end <= heardEnd - kWindowFrames) peaks_.pop_front();
    double peak = -INFINITY;
    for (const PeakPiece& piece : peaks_) peak = std::max(peak, piece.dbtp);
    reading_ = {float(peak), float(meter_->shortTerm())};
    return true;
}

void LevelFollower::feed(const int16_t* frames, int64_t begin, int64_t end) {
    for (int64_t at = begin; at < end; at += kPeakPieceFrames) {
        const int64_t count = std::min(kPeakPieceFrames, end - at);
        samples_.resize(size_t(count) * 2);
        for (size_t i = 0; i < samples_.size(); ++i) samples_[i] = float(frames[2 * at + int64_t(i)]) / 32768.0f;
        meter_->add(samples_.data(), size_t(count));
        peaks_.push_back({at + count, meter_->addedTruePeak()});
    }
}

void levelBar(float db, char* out, int32_t width) {
    const float fill = db > -60.0f ? (db + 60.0f) / 60.0f : 0.0f;
    const int32_t filled = int32_t(std::lround(std::min(fill, 1.0f) * float(width)));
    for (int32_t i = 0; i < width; ++i) out[i] = i < filled ? '#' : '.';
    out[width] = '\0';
}
