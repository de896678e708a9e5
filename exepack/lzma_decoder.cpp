// The LZMA decoder: a range decoder over adaptive binary probabilities (11
// bits, moved by a 32nd towards each decoded bit), literals coded bit by bit
// in the context of the previous byte (and, after a match, of the byte at the
// last distance), and matches as a length and a distance, or a repeat of one
// of the last four distances.
#include "exepack/lzma_decoder.h"

namespace {

constexpr uint32_t kStates = 12;
constexpr uint32_t kMaxPositionStates = 16;  // 1 << pb, pb at most 4
constexpr uint32_t kLengthStates = 4;        // the distance's context: length 2, 3, 4, 5 and more
constexpr uint32_t kEndPositionModel = 14;   // slots below this code their low bits with probabilities
constexpr uint32_t kFullDistances = 128;     // 1 << (kEndPositionModel / 2)
constexpr uint32_t kAlignBits = 4;
constexpr uint32_t kProbabilityBits = 11;
constexpr uint32_t kMoveBits = 5;

// A length coder: a choice between 8 short (2..9), 8 middle (10..17) and 256
// long lengths (18..273); the short and middle ones per position state.
struct LengthLayout {
    static constexpr uint32_t kChoice = 0;
    static constexpr uint32_t kChoice2 = 1;
    static constexpr uint32_t kLow = 2;
    static constexpr uint32_t kMid = kLow + kMaxPositionStates * 8;
    static constexpr uint32_t kHigh = kMid + kMaxPositionStates * 8;
    static constexpr uint32_t kSize = kHigh + 256;
};

// Where each group of probabilities starts in the one table.
constexpr uint32_t kIsMatch = 0;
constexpr uint32_t kIsRep = kIsMatch + kStates * kMaxPositionStates;
constexpr uint32_t kIsRepG0 = kIsRep + kStates;
constexpr uint32_t kIsRepG1 = kIsRepG0 + kStates;
constexpr uint32_t kIsRepG2 = kIsRepG1 + kStates;
constexpr uint32_t kIsRep0Long = kIsRepG2 + kStates;
constexpr uint32_t kPositionSlot = kIsRep0Long + kStates * kMaxPositionStates;
constexpr uint32_t kSpecialPosition = kPositionSlot + kLengthStates * 64;
constexpr uint32_t kAlign = kSpecialPosition + 1 + kFullDistances - kEndPositionModel;
constexpr uint32_t kMatchLength = kAlign + (1u << kAlignBits);
constexpr uint32_t kRepLength = kMatchLength + LengthLayout::kSize;
constexpr uint32_t kLiteral = kRepLength + LengthLayout::kSize;

struct RangeDecoder {
    const uint8_t* in;
    const uint8_t* end;
    uint32_t range;
    uint32_t code;
    bool overrun;  // input ran out: the bits read since are zeros and the result is void

    uint8_t nextByte() {
        if (in == end) {
            overrun = true;
            return 0;
        }
        return *in++;
    }
    void normalize() {
        if (range < (1u << 24)) {
            range <<= 8;
            code = (code << 8) | nextByte();
        }
    }
    uint32_t bit(uint16_t& probability) {
        const uint32_t bound = (range >> kProbabilityBits) * probability;
        uint32_t result;
        if (code < bound) {
            range = bound;
            probability = uint16_t(probability + (((1u << kProbabilityBits) - probability) >> kMoveBits));
            result = 0;
        } else {
            range -= bound;
            code -= bound;
            probability = uint16_t(probability - (probability >> kMoveBits));
            result = 1;
        }
        normalize();
        return result;
    }
    // `count` bits at probability one half, highest first.
    uint32_t directBits(uint32_t count) {
        uint32_t result = 0;
        while (count-- > 0) {
            range >>= 1;
            const uint32_t one = code >= range;
            if (one) code -= range;
            result = (result << 1) | one;
            normalize();
        }
        return result;
    }
    // A `count`-bit symbol, highest bit first, each bit in the context of those before it.
    uint32_t tree(uint16_t* probabilities, uint32_t count) {
        uint32_t m = 1;
        for (uint32_t i = 0; i < count; ++i) m = (m << 1) | bit(probabilities[m]);
        return m - (1u << count);
    }
    // The same with the lowest bit first.
    uint32_t reverseTree(uint16_t* probabilities, uint32_t count) {
        uint32_t m = 1, symbol = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t b = bit(probabilities[m]);
            m = (m << 1) | b;
            symbol |= b << i;
        }
        return symbol;
    }
    // A length less 2 (0..271).
    uint32_t length(uint16_t* coder, uint32_t positionState) {
        if (bit(coder[LengthLayout::kChoice]) == 0) return tree(coder + LengthLayout::kLow + positionState * 8, 3);
        if (bit(coder[LengthLayout::kChoice2]) == 0) return 8 + tree(coder + LengthLayout::kMid + positionState * 8, 3);
        return 16 + tree(coder + LengthLayout::kHigh, 8);
    }
};

}  // namespace

uint32_t lzmaProbabilityCount(LzmaProperties properties) {
    return kLiteral + (0x300u << (properties.lc + properties.lp));
}

bool lzmaDecode(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize, LzmaProperties properties,
                uint16_t* p) {
    const uint32_t count = lzmaProbabilityCount(properties);
    for (uint32_t i = 0; i < count; ++i) p[i] = 1u << (kProbabilityBits - 1);
    RangeDecoder rc{in, in + inSize, 0xFFFFFFFFu, 0, false};
    rc.nextByte();  // always zero
    for (int i = 0; i < 4; ++i) rc.code = (rc.code << 8) | rc.nextByte();

    const uint32_t positionMask = (1u << properties.pb) - 1;
    const uint32_t literalPositionMask = (1u << properties.lp) - 1;
    uint32_t state = 0;
    uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0;
    uint32_t position = 0;
    while (position < outSize) {
        if (rc.overrun) return false;
        const uint32_t positionState = position & positionMask;
        if (rc.bit(p[kIsMatch + (state << 4) + positionState]) == 0) {
            const uint32_t previous = position > 0 ? out[position - 1] : 0;
            uint16_t* literal = p + kLiteral + 0x300 * (((position & literalPositionMask) << properties.lc) +
                                                        (previous >> (8 - properties.lc)));
            uint32_t symbol = 1;
            if (state >= 7) {
                // After a match the byte at the last distance predicts this
                // one, bit by bit, until the first bit that differs.
                uint32_t matchByte = out[position - rep0 - 1];
                while (symbol < 0x100) {
                    const uint32_t matchBit = (matchByte >> 7) & 1;
                    matchByte <<= 1;
                    const uint32_t b = rc.bit(literal[((1 + matchBit) << 8) + symbol]);
                    symbol = (symbol << 1) | b;
                    if (b != matchBit) break;
                }
            }
            while (symbol < 0x100) symbol = (symbol << 1) | rc.bit(literal[symbol]);
            out[position++] = uint8_t(symbol);
            state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
            continue;
        }
        uint32_t length;
        if (rc.bit(p[kIsRep + state]) != 0) {
            if (position == 0) return false;
            if (rc.bit(p[kIsRepG0 + state]) == 0) {
                if (rc.bit(p[kIsRep0Long + (state << 4) + positionState]) == 0) {
                    // One byte from the last distance.
                    state = state < 7 ? 9 : 11;
                    out[position] = out[position - rep0 - 1];
                    ++position;
                    continue;
                }
            } else {
                uint32_t distance;
                if (rc.bit(p[kIsRepG1 + state]) == 0) {
                    distance = rep1;
                } else {
                    if (rc.bit(p[kIsRepG2 + state]) == 0) {
                        distance = rep2;
                    } else {
                        distance = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = distance;
            }
            length = rc.length(p + kRepLength, positionState);
            state = state < 7 ? 8 : 11;
        } else {
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            length = rc.length(p + kMatchLength, positionState);
            state = state < 7 ? 7 : 10;
            const uint32_t lengthState = length < kLengthStates - 1 ? length : kLengthStates - 1;
            const uint32_t slot = rc.tree(p + kPositionSlot + (lengthState << 6), 6);
            if (slot < 4) {
                rep0 = slot;
            } else {
                const uint32_t directCount = (slot >> 1) - 1;
                rep0 = (2 | (slot & 1)) << directCount;
                if (slot < kEndPositionModel) {
                    rep0 += rc.reverseTree(p + kSpecialPosition + rep0 - slot, directCount);
                } else {
                    rep0 += rc.directBits(directCount - kAlignBits) << kAlignBits;
                    rep0 += rc.reverseTree(p + kAlign, kAlignBits);
                }
            }
            if (rep0 == 0xFFFFFFFFu) return false;  // the end marker, before outSize bytes
        }
        if (rep0 >= position) return false;
        length += 2;
        for (; length > 0 && position < outSize; --length, ++position) out[position] = out[position - rep0 - 1];
    }
    return !rc.overrun;
}
