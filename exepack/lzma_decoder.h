// Decoder of raw LZMA data (the LZMA1 stream without a header, as
// `xz --format=raw --lzma1=...` writes it), for the packed intro.exe's
// unpacker: small, no library, no allocation (the caller gives the
// probability table), and it never reads or writes outside its buffers.
#pragma once
#include <cstdint>

// The stream's literal context bits (lc, 0..8), literal position bits (lp,
// 0..4) and position bits (pb, 0..4): what the compressor was told.
struct LzmaProperties {
    uint32_t lc;
    uint32_t lp;
    uint32_t pb;
};

// Entries of the probability table lzmaDecode needs for `properties`.
uint32_t lzmaProbabilityCount(LzmaProperties properties);

// Decodes `in` until `out` holds `outSize` bytes. `probabilities` has
// lzmaProbabilityCount(properties) entries (any contents). False when the
// data ends early, refers back before the start of the output, or ends
// (end marker) before outSize bytes.
bool lzmaDecode(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize, LzmaProperties properties,
                uint16_t* probabilities);
