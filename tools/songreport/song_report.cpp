// Rendering the mix and the solos and measuring them. Solos are rendered one
// at a time and measured at once, so that only the mix and the two solos the
// kick-over-bass figure compares stay in memory.
#include "tools/songreport/song_report.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "driver/music.h"
#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"
#include "tools/meters/note_ends.h"
#include "tools/songc/song_folder.h"

namespace {


size_t frameAt(double seconds, size_t frames) {
    return std::min(frames, size_t(std::llround(std::max(0.0, seconds) * kSampleRate)));
}

// dBFS RMS of frames [begin, end): the mean square of both channels.
double levelOf(const Stereo& s, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = 2 * begin; i < 2 * end; ++i) sum += double(s[i]) * double(s[i]);
    return end > begin ? powerDb(sum / double(2 * (end - begin))) : -INFINITY;
}

int trackNamed(const SongText& text, const char* name) {
    for (size_t t = 0; t < text.instrumentNames.size(); ++t)
        if (text.instrumentNames[t] == name) return int(t);
    return -1;
}

}  // namespace

Stereo renderSong(const std::vector<uint8_t>& bytes, double seconds, uint64_t seed) {
    setFloatMode(kMainFloatMode);
    pinCounter(seed);
    auto synth = std::make_unique<Synth>();  // about 350 KiB: off the stack
    Stereo out;
    if (!prepareSynth(*synth, bytes.data(), uint32_t(bytes.size()))) {
        unpinCounter();
        return out;
    }
    const uint64_t blocks = uint64_t(std::ceil(seconds * kSampleRate / kBlockFrames));
    out.reserve(blocks * kBlockFrames * 2);
    start(*synth, 0.0f);
    for (uint64_t b = 0; b < blocks; ++b) {
        const int16_t* block = nullptr;
        renderBlock(*synth, &block);
        if (block == nullptr) break;
        for (uint32_t i = 0; i < kBlockFrames * 2; ++i) out.push_back(float(block[i]) * (1.0f / 32768.0f));
    }
    unpinCounter();
    return out;
}

std::vector<uint8_t> mixSong(const SongText& text) { return encodeSong(songSource(text, kPieceVelocity)); }

std::vector<uint8_t> soloSong(const SongText& text, size_t track) {
    SongSource song = songSource(text, kPieceVelocity);
    for (size_t t = 0; t < song.tracks.size(); ++t)
        if (t != track) song.tracks[t].clear();
    return encodeSong(song);
}

KickOverBass kickOverBass(const Stereo& kick, const Stereo& bass, const std::vector<size_t>& kickFrames,
                          uint32_t sampleRate) {
    const size_t window = size_t(std::lround(kKickWindowSeconds * sampleRate));
    std::vector<double> ratios;
    for (size_t at : kickFrames) {
        if (2 * (at + window) > kick.size() || 2 * (at + window) > bass.size()) continue;
        const double k = bandEnergy(&kick[2 * at], window, sampleRate, kKickBandLow, kKickBandHigh);
        const double b = bandEnergy(&bass[2 * at], window, sampleRate, kKickBandLow, kKickBandHigh);
        ratios.push_back(b > 0.0 ? powerDb(k / b) : INFINITY);
    }
    KickOverBass figure;
    figure.kicks = ratios.size();
    if (ratios.empty()) {
        figure.least = figure.median = NAN;
        return figure;
    }
    std::sort(ratios.begin(), ratios.end());
    figure.least = ratios.front();
    const size_t mid = ratios.size() / 2;
    figure.median = ratios.size() % 2 == 1 ? ratios[mid] : 0.5 * (ratios[mid - 1] + ratios[mid]);
    return figure;
}

SongReport makeSongReport(const SongText& text, const std::vector<SectionMark>& marks, double seconds,
                          uint64_t seed) {
    SongReport report;
    report.seed = seed;
    report.tempo = text.tempo;

    const SongSource source = songSource(text, kPieceVelocity);
    const std::vector<uint8_t> all = mixSong(text);
    report.songBytes = all.size();
    const Stereo mix = renderSong(all, seconds, seed);
    if (mix.empty()) return report;  // the song does not load: nothing rendered
    const size_t frames = mix.size() / 2;
    const double rendered = double(frames) / kSampleRate;
    report.seconds = rendered;

    // Sections from the marks, the last one running to the end of the render.
    std::vector<SectionMark> bounds = marks;
    if (bounds.empty()) bounds.push_back({"song", 0, 0});
    for (size_t i = 0; i < bounds.size(); ++i) {
        SectionFigures section;
        section.name = bounds[i].name;
        section.step = bounds[i].step;
        section.start = stepTime(bounds[i].step, text.tempo);
        section.end = i + 1 < bounds.size() ? std::min(rendered, stepTime(bounds[i + 1].step, text.tempo)) : rendered;
        if (section.start < rendered) report.sections.push_back(section);
    }
    report.song.name = "song";
    report.song.end = rendered;

    // A section's loudest short-term loudness is the loudest 3 s window of
    // the song that ends inside it: a meter started afresh would count
    // silence before a section shorter than 3 s.
    LoudnessMeter songMeter(kSampleRate);
    songMeter.add(mix.data(), frames);
    const std::vector<double>& shortTerm = songMeter.shortTermHistory();
    auto measureMix = [&](SectionFigures& s) {
        const size_t begin = frameAt(s.start, frames), end = frameAt(s.end, frames);
        s.loudness = measureLoudness(&mix[2 * begin], end - begin, kSampleRate);
        s.loudness.maxShortTerm = -INFINITY;
        for (size_t k = 0; k < shortTerm.size(); ++k) {
            const double windowEnd = 0.1 * double(k + 1);
            if (windowEnd > s.start && windowEnd <= s.end)
                s.loudness.maxShortTerm = std::max(s.loudness.maxShortTerm, shortTerm[k]);
        }
        s.level = levelOf(mix, begin, end);
        s.octaves = octaveBalance(powerSpectrum(&mix[2 * begin], end - begin, kSampleRate));
    };
    for (SectionFigures& s : report.sections) measureMix(s);
    measureMix(report.song);
    const PowerSpectrum spectrum = powerSpectrum(mix.data(), frames, kSampleRate);
    report.below60 = bandShareDb(spectrum, 0.0, 60.0);
    report.low200to500 = bandShareDb(spectrum, 200.0, 500.0);

    // Every track alone: its level in each section, its loudness, its cut ends.
    const int kickTrack = trackNamed(text, kKickTrack), bassTrack = trackNamed(text, kBassTrack);
    Stereo kick, bass;
    for (size_t t = 0; t < text.tracks.size(); ++t) {
        Stereo solo = renderSong(soloSong(text, t), seconds, seed);
        solo.resize(mix.size(), 0.0f);
        TrackFigures track;
        track.name = text.instrumentNames[t];
        track.loudness = measureLoudness(solo.data(), frames, kSampleRate).integrated;
        for (size_t at : cutNoteEnds(solo.data(), frames, kSampleRate))
            track.cutEnds.push_back(double(at) / kSampleRate);
        track.events = source.tracks[t].size();
        track.bytes = kParamCount + 4 * track.events;  // a 16-bit step delta, a note and a velocity each
        report.tracks.push_back(track);
        for (SectionFigures& s : report.sections)
            s.trackLevels.push_back(levelOf(solo, frameAt(s.start, frames), frameAt(s.end, frames)));
        report.song.trackLevels.push_back(levelOf(solo, 0, frames));
        if (int(t) == kickTrack) kick = std::move(solo);
        else if (int(t) == bassTrack) bass = std::move(solo);
    }

    report.kickAndBass = kickTrack >= 0 && bassTrack >= 0;
    if (report.kickAndBass) {
        // Kicks belong to the section of their step, and are measured from
        // the start of the block their time falls in, where they sound: the
        // renderer dispatches a block's events before rendering it.
        std::vector<size_t> strikes;
        for (const SourceNote& note : text.tracks[size_t(kickTrack)])
            strikes.push_back(frameAt(stepTime(note.step, text.tempo), frames));
        std::sort(strikes.begin(), strikes.end());
        strikes.erase(std::unique(strikes.begin(), strikes.end()), strikes.end());
        auto within = [&](const SectionFigures& s) {
            std::vector<size_t> in;
            for (size_t at : strikes)
                if (at >= frameAt(s.start, frames) && at < frameAt(s.end, frames))
                    in.push_back(at / kBlockFrames * kBlockFrames);
            return in;
        };
        for (SectionFigures& s : report.sections) s.kickOverBass = kickOverBass(kick, bass, within(s), kSampleRate);
        report.song.kickOverBass = kickOverBass(kick, bass, within(report.song), kSampleRate);
    }
    return report;
}
