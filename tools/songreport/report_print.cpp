// The song report written out: aligned tables for the composer, JSON for
// scripts and tests.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "tools/songreport/song_report.h"

namespace {

// Appends printf-style text, however long (names come from the source).
void add(std::string& out, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        const size_t at = out.size();
        out.resize(at + size_t(length) + 1);
        std::vsnprintf(&out[at], size_t(length) + 1, format, again);
        out.resize(at + size_t(length));
    }
    va_end(again);
}

// A figure in a table column: one decimal, "-inf"/"+inf", "-" for none.
std::string cell(double x) {
    if (std::isnan(x)) return "-";
    if (std::isinf(x)) return x > 0 ? "+inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", x);
    return text;
}

// A figure in JSON: null where it is not a finite number.
std::string number(double x, int digits = 2) {
    if (!std::isfinite(x)) return "null";
    char text[32];
    std::snprintf(text, sizeof(text), "%.*f", digits, x);
    return text;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if ((unsigned char)c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void sectionRow(std::string& out, const SongReport& r, const SectionFigures& s) {
    add(out, "%-10s %7.2f %7.2f %8s %8s %8s %6s", s.name.c_str(), s.start, s.end, cell(s.loudness.integrated).c_str(),
        cell(s.loudness.maxShortTerm).c_str(), cell(s.loudness.truePeak).c_str(), cell(s.loudness.range).c_str());
    if (r.kickAndBass)
        add(out, " %6zu %6s %6s", s.kickOverBass.kicks, cell(s.kickOverBass.least).c_str(),
            cell(s.kickOverBass.median).c_str());
    out += "\n";
}

std::string sectionJson(const SongReport& r, const SectionFigures& s) {
    std::string out = "{\"name\": " + quoted(s.name);
    add(out, ", \"step\": %u, \"start\": %.3f, \"end\": %.3f", s.step, s.start, s.end);
    out += ", \"integrated\": " + number(s.loudness.integrated) + ", \"maxShortTerm\": " +
           number(s.loudness.maxShortTerm) + ", \"truePeak\": " + number(s.loudness.truePeak) +
           ", \"range\": " + number(s.loudness.range) + ", \"level\": " + number(s.level) + ", \"octaves\": [";
    for (int b = 0; b < kOctaveBands; ++b) out += (b ? ", " : "") + number(s.octaves[size_t(b)]);
    out += "], \"trackLevels\": {";
    for (size_t t = 0; t < s.trackLevels.size(); ++t)
        out += (t ? ", " : "") + quoted(r.tracks[t].name) + ": " + number(s.trackLevels[t]);
    out += "}";
    if (r.kickAndBass)
        out += ", \"kickOverBass\": {\"kicks\": " + std::to_string(s.kickOverBass.kicks) +
               ", \"least\": " + number(s.kickOverBass.least) + ", \"median\": " + number(s.kickOverBass.median) +
               "}";
    return out + "}";
}

}  // namespace

std::string reportText(const SongReport& r) {
    std::string out;
    add(out, "songreport: %.2f s rendered at seed %llu, tempo %u\n\n", r.seconds, (unsigned long long)r.seed,
        unsigned(r.tempo));
    add(out, "%-10s %7s %7s %8s %8s %8s %6s", "section", "from s", "to s", "LUFS", "max S", "dBTP", "LRA");
    if (r.kickAndBass) add(out, " %6s %6s %6s", "kicks", "k/b dB", "median");
    out += "\n";
    for (const SectionFigures& s : r.sections) sectionRow(out, r, s);
    sectionRow(out, r, r.song);
    out += "\n(LUFS integrated, max S the loudest 3 s ending in the section, dBTP true peak, LRA loudness range";
    if (r.kickAndBass)
        add(out, ";\n k/b kick over bass in %.0f-%.0f Hz over the first %.0f ms of each kick: the weakest kick",
            kKickBandLow, kKickBandHigh, kKickWindowSeconds * 1000.0);
    out += ")\n\nOctave-band balance, dB of the section's power\n";
    add(out, "%-10s", "section");
    for (double centre : kOctaveCentres)
        add(out, centre < 1000 ? " %6g" : " %5gk", centre < 1000 ? centre : centre / 1000);
    out += "\n";
    for (size_t i = 0; i <= r.sections.size(); ++i) {
        const SectionFigures& s = i < r.sections.size() ? r.sections[i] : r.song;
        add(out, "%-10s", s.name.c_str());
        for (double share : s.octaves) add(out, " %6s", cell(share).c_str());
        out += "\n";
    }
    add(out, "song below 60 Hz %s dB, 200-500 Hz %s dB\n\nThe mix and each track alone, dBFS RMS\n%-10s %10s",
        cell(r.below60).c_str(), cell(r.low200to500).c_str(), "section", "mix");
    for (const TrackFigures& t : r.tracks) add(out, " %10.10s", t.name.c_str());
    out += "\n";
    for (size_t i = 0; i <= r.sections.size(); ++i) {
        const SectionFigures& s = i < r.sections.size() ? r.sections[i] : r.song;
        add(out, "%-10s %10s", s.name.c_str(), cell(s.level).c_str());
        for (double level : s.trackLevels) add(out, " %10s", cell(level).c_str());
        out += "\n";
    }
    add(out, "\n%-10s %10s %9s %7s %6s\n", "track", "LUFS alone", "cut ends", "events", "bytes");
    for (const TrackFigures& t : r.tracks)
        add(out, "%-10s %10s %9zu %7zu %6zu\n", t.name.c_str(), cell(t.loudness).c_str(), t.cutEnds.size(), t.events,
            t.bytes);
    add(out, "song bytes %zu (with the header and tags)\n", r.songBytes);
    return out;
}

std::string reportJson(const SongReport& r) {
    std::string out;
    add(out, "{\"seconds\": %.3f, \"seed\": %llu, \"tempo\": %u, \"songBytes\": %zu,\n", r.seconds,
        (unsigned long long)r.seed, unsigned(r.tempo), r.songBytes);
    out += " \"octaveCentres\": [";
    for (int b = 0; b < kOctaveBands; ++b) out += (b ? ", " : "") + number(kOctaveCentres[b]);
    out += "],\n \"below60\": " + number(r.below60) + ", \"from200to500\": " + number(r.low200to500) + ",\n";
    out += " \"song\": " + sectionJson(r, r.song) + ",\n \"sections\": [";
    for (size_t i = 0; i < r.sections.size(); ++i) out += (i ? ",\n  " : "\n  ") + sectionJson(r, r.sections[i]);
    out += "],\n \"tracks\": [";
    for (size_t i = 0; i < r.tracks.size(); ++i) {
        const TrackFigures& t = r.tracks[i];
        out += (i ? ",\n  " : "\n  ") + std::string("{\"name\": ") + quoted(t.name) +
               ", \"loudness\": " + number(t.loudness) + ", \"events\": " + std::to_string(t.events) +
               ", \"bytes\": " + std::to_string(t.bytes) + ", \"cutEnds\": [";
        for (size_t c = 0; c < t.cutEnds.size(); ++c) out += (c ? ", " : "") + number(t.cutEnds[c], 3);
        out += "]}";
    }
    return out + "]}\n";
}
