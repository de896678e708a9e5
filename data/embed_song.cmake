# Writes the song's bytes (INPUT, data/song.bin) as the constant kSong into
# OUTPUT, a C++ source of the data library. Run at build time, so a new
# song.bin is picked up by the next build.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REPEAT "0x..," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Made from data/song.bin at build time (data/embed_song.cmake). Do not edit.
#include \"data/song.h\"

const uint32_t kSongSize = ${size};
const uint8_t kSong[] = {
    ${bytes}
};
")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
