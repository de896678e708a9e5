// Writes the song decoder fuzzer's seed corpus: a few small valid songs, one
// file each, into the folder given as the one argument.
#include <cstdio>
#include <string>

#include "synth/song_encoder.h"

static bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

static InstrumentBytes ramp(uint8_t start) {
    InstrumentBytes bytes;
    for (size_t j = 0; j < bytes.size(); ++j) bytes[j] = uint8_t((start + j) % 101);
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::vector<uint8_t>> seeds;

    SongSource empty;
    empty.tempo = 115;
    seeds.push_back(encodeSong(empty));

    // One instrument: a chord struck, released and struck again on one step.
    SongSource chord;
    chord.tempo = 115;
    chord.instruments = {ramp(0)};
    chord.tracks = {{{0, 70, 80}, {0, 73, 80}, {6, 70, 0}, {0, 73, 0}, {0, 70, 80}, {4, 70, 0}}};
    seeds.push_back(encodeSong(chord));

    // Three instruments, an empty track, a largest delta and trailing bytes.
    SongSource three;
    three.tempo = 140;
    three.instruments = {ramp(10), ramp(50), ramp(90)};
    three.tracks = {{{0, 36, 80}, {65535, 36, 0}}, {}, {{2, 0, 0}, {1, 85, 127}, {1, 85, 0}}};
    std::vector<uint8_t> trailing = encodeSong(three);
    trailing.insert(trailing.end(), {'x', 'y'});
    seeds.push_back(trailing);

    for (size_t i = 0; i < seeds.size(); ++i)
        if (!writeFile(folder + "/seed" + std::to_string(i), seeds[i])) {
            std::fprintf(stderr, "cannot write %s/seed%zu\n", folder.c_str(), i);
            return 1;
        }
    return 0;
}
