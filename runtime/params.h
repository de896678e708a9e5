// The Instrument's 112 parameters P0..P111 by name: what each one does and
// where it sits in the block. Every reader of a parameter (voice chain,
// modulation, effect units, benchmarks, tests) and the song source use these
// names, so this table is the one map from a number to its meaning.
//
// Range: a parameter is a song byte times 0.01. The song format stores bytes
// 0..255, so a value may lie anywhere in 0.00..2.55; the shipped song keeps
// every byte in 0..100 (0.00..1.00), and readers that would misbehave above
// 1.00 clamp their parameter.
#pragma once
#include <cstdint>

// X(constant, index, song-source name). Grouped as the readers use them.
#define INTRO_INSTRUMENT_PARAMS(X)                                                                       \
    /* voice and oscillator */                                                                          \
    X(kVoiceLevel, 0, "voice.level")              /* gain of each voice into the bus (mixAdd curve) */  \
    X(kOscPartialWidth, 1, "osc.width")           /* partial width growth with partial number */        \
    X(kOscPartials, 2, "osc.partials")            /* number of partials, 1 + 64 x */                    \
    X(kOscRolloff, 3, "osc.rolloff")              /* partial amplitude 1 / j^(1 + x) */                 \
    X(kOscMotion, 4, "osc.motion")                /* speed and spread of the spectral phase motion */   \
    X(kOscLevel, 5, "osc.level")                  /* oscillator level */                                \
    X(kOscBalance, 6, "osc.balance")              /* 0 left only, 0.5 both, 1 right only */             \
    X(kVoiceDetune, 7, "voice.detune")            /* random detune per voice, up to 8 x^3 Hz */         \
    X(kOscOctave, 8, "osc.octave")                /* round(8 x): x16 .. x1 (0.5) .. x1/16 */           \
    X(kVoiceGlide, 9, "voice.glide")              /* per block, 1 / (1 + 10 x) of the way */            \
    X(kOscStereoDetune, 10, "osc.stereo_detune")  /* left up, right down by 10 x^3 Hz */                \
    X(kOscFixedPitch, 11, "osc.fixed_pitch")      /* 0 follows the note, else 1000 x^2 Hz */            \
    X(kVoicePolyphony, 12, "voice.polyphony")     /* 1 + floor(15 x) voices */                          \
    X(kOscDrive, 13, "osc.drive")                 /* gain 1 + 32 x before hard clipping */              \
    X(kOscUnison, 14, "osc.unison")               /* 1 + round(9 x) copies */                           \
    X(kOscUnisonSpread, 15, "osc.spread")         /* pitch step between unison copies */                \
    X(kOscPartialSpacing, 16, "osc.spacing")      /* partial j at bin 1 + (2j - 1) 4x */                \
    /* noise */                                                                                         \
    X(kNoiseLevel, 17, "noise.level")                                                                   \
    X(kNoiseCentre, 18, "noise.centre")           /* band centre, in cutoff units */                    \
    X(kNoiseWidth, 19, "noise.width")             /* band half-width; 0.99 or more: unfiltered */       \
    /* low-pass (ladder) and high-pass filter slots */                                                  \
    X(kLowPassOn, 20, "lowpass.on")               /* switches are on above 0.5 */                       \
    X(kLowPassCutoff, 21, "lowpass.cutoff")       /* 30 + 20000 x^2 Hz */                               \
    X(kLowPassResonance, 22, "lowpass.resonance") /* held to 0..0.85 */                                 \
    X(kHighPassOn, 23, "highpass.on")                                                                   \
    X(kHighPassCutoff, 24, "highpass.cutoff")     /* 30 + 10000 x^2 Hz */                               \
    X(kHighPassResonance, 25, "highpass.resonance")                                                     \
    /* envelopes: attack, decay, sustain, release, curve exponent */                                    \
    X(kEnv1Attack, 26, "env1.attack")                                                                   \
    X(kEnv1Decay, 27, "env1.decay")                                                                     \
    X(kEnv1Sustain, 28, "env1.sustain")                                                                 \
    X(kEnv1Release, 29, "env1.release")                                                                 \
    X(kEnv1Curve, 30, "env1.curve")                                                                     \
    X(kEnv2Attack, 31, "env2.attack")                                                                   \
    X(kEnv2Decay, 32, "env2.decay")                                                                     \
    X(kEnv2Sustain, 33, "env2.sustain")                                                                 \
    X(kEnv2Release, 34, "env2.release")                                                                 \
    X(kEnv2Curve, 35, "env2.curve")                                                                     \
    /* LFOs: rate (50 x^2 rad/s), depth, shape round(4 x), key sync above 0.5 */                       \
    X(kLfo1Rate, 36, "lfo1.rate")                                                                       \
    X(kLfo1Depth, 37, "lfo1.depth")                                                                     \
    X(kLfo1Shape, 38, "lfo1.shape")                                                                     \
    X(kLfo1Sync, 39, "lfo1.sync")                                                                       \
    X(kLfo2Rate, 40, "lfo2.rate")                                                                       \
    X(kLfo2Depth, 41, "lfo2.depth")                                                                     \
    X(kLfo2Shape, 42, "lfo2.shape")                                                                     \
    X(kLfo2Sync, 43, "lfo2.sync")                                                                       \
    /* modulation slots 0..7: source round(14 x), amount, destination round(39 x) */                   \
    X(kMod0Source, 44, "mod0.source") X(kMod0Amount, 45, "mod0.amount") X(kMod0Dest, 46, "mod0.dest")   \
    X(kMod1Source, 47, "mod1.source") X(kMod1Amount, 48, "mod1.amount") X(kMod1Dest, 49, "mod1.dest")   \
    X(kMod2Source, 50, "mod2.source") X(kMod2Amount, 51, "mod2.amount") X(kMod2Dest, 52, "mod2.dest")   \
    X(kMod3Source, 53, "mod3.source") X(kMod3Amount, 54, "mod3.amount") X(kMod3Dest, 55, "mod3.dest")   \
    X(kMod4Source, 56, "mod4.source") X(kMod4Amount, 57, "mod4.amount") X(kMod4Dest, 58, "mod4.dest")   \
    X(kMod5Source, 59, "mod5.source") X(kMod5Amount, 60, "mod5.amount") X(kMod5Dest, 61, "mod5.dest")   \
    X(kMod6Source, 62, "mod6.source") X(kMod6Amount, 63, "mod6.amount") X(kMod6Dest, 64, "mod6.dest")   \
    X(kMod7Source, 65, "mod7.source") X(kMod7Amount, 66, "mod7.amount") X(kMod7Dest, 67, "mod7.dest")   \
    /* 68..73: free, read by nothing */                                                                 \
    X(kFree68, 68, "free68") X(kFree69, 69, "free69") X(kFree70, 70, "free70")                         \
    X(kFree71, 71, "free71") X(kFree72, 72, "free72") X(kFree73, 73, "free73")                         \
    /* effect type of slots 0..9: round(10 x), 0 empty */                                               \
    X(kFx0Type, 74, "fx0.type") X(kFx1Type, 75, "fx1.type") X(kFx2Type, 76, "fx2.type")                 \
    X(kFx3Type, 77, "fx3.type") X(kFx4Type, 78, "fx4.type") X(kFx5Type, 79, "fx5.type")                 \
    X(kFx6Type, 80, "fx6.type") X(kFx7Type, 81, "fx7.type") X(kFx8Type, 82, "fx8.type")                 \
    X(kFx9Type, 83, "fx9.type")                                                                         \
    /* effect units; each unit reads only its own names */                                              \
    X(kShaperAmount, 84, "shaper.amount")         /* curve |x|^(1 - x) */                               \
    X(kChorusRate, 85, "chorus.rate")                                                                   \
    X(kChorusDepth, 86, "chorus.depth")                                                                 \
    X(kDelayLeftTime, 87, "delay.left")           /* 1000 x ms */                                       \
    X(kDelayRightTime, 88, "delay.right")         /* 1000 x ms */                                       \
    X(kDelayFeedback, 89, "delay.feedback")                                                             \
    X(kReverbRoom, 90, "reverb.room")                                                                   \
    X(kReverbDamp, 91, "reverb.damp")                                                                   \
    X(kReverbWet, 92, "reverb.wet")               /* 0 dry only (x2), 1 wet only */                     \
    X(kReverbWidth, 93, "reverb.width")                                                                 \
    X(kFlangerSpeed, 94, "flanger.speed")                                                               \
    X(kFlangerTop, 95, "flanger.top")             /* turning point of the triangle sweep */             \
    X(kFlangerDepth, 96, "flanger.depth")         /* 0.1 ms + 12 x ms */                                \
    X(kFlangerFeedback, 97, "flanger.feedback")                                                         \
    X(kChorusLevel, 98, "chorus.level")                                                                 \
    X(kFormantVowel, 99, "formant.vowel")         /* vowel set truncate(4 x) */                         \
    X(kFormantBlend, 100, "formant.blend")        /* 0 dry, 1 filtered */                               \
    X(kEqLow, 101, "eq.low")                      /* band gains: 2x up to 0.5, then up to 11 */         \
    X(kEqMid, 102, "eq.mid")                                                                            \
    X(kEqHigh, 103, "eq.high")                                                                          \
    /* 104, 105: free, read by nothing */                                                               \
    X(kFree104, 104, "free104") X(kFree105, 105, "free105")                                             \
    /* band-pass and notch filter slots */                                                              \
    X(kBandPassOn, 106, "bandpass.on")                                                                  \
    X(kBandPassCutoff, 107, "bandpass.cutoff")    /* 30 + 10000 x^2 Hz */                               \
    X(kBandPassResonance, 108, "bandpass.resonance")                                                    \
    X(kNotchOn, 109, "notch.on")                                                                        \
    X(kNotchCutoff, 110, "notch.cutoff")          /* 30 + 20000 x^2 Hz */                               \
    X(kNotchResonance, 111, "notch.resonance")

enum InstrumentParam : uint32_t {
#define INTRO_PARAM_ENUM(constant, index, name) constant = index,
    INTRO_INSTRUMENT_PARAMS(INTRO_PARAM_ENUM)
#undef INTRO_PARAM_ENUM
};

inline constexpr uint32_t kParamCount = 112;

// Parameters in runs: an envelope, an LFO and a modulation slot are read
// from their first parameter on; slot k of each run is base + k * stride.
inline constexpr uint32_t kEnvelopeParamCount = 5;  // attack, decay, sustain, release, curve
inline constexpr uint32_t kModSlotStride = 3;       // source, amount, destination
inline constexpr uint32_t kEffectSlotCount = 10;

// The song-source name of every parameter, in index order.
inline constexpr const char* kParamNames[kParamCount] = {
#define INTRO_PARAM_NAME(constant, index, name) name,
    INTRO_INSTRUMENT_PARAMS(INTRO_PARAM_NAME)
#undef INTRO_PARAM_NAME
};

// The table lists each index once, in order, with no gap.
namespace param_map_check {
inline constexpr uint32_t kIndices[] = {
#define INTRO_PARAM_INDEX(constant, index, name) index,
    INTRO_INSTRUMENT_PARAMS(INTRO_PARAM_INDEX)
#undef INTRO_PARAM_INDEX
};
constexpr bool inOrder() {
    for (uint32_t i = 0; i < sizeof(kIndices) / sizeof(kIndices[0]); ++i)
        if (kIndices[i] != i) return false;
    return sizeof(kIndices) / sizeof(kIndices[0]) == kParamCount;
}
static_assert(inOrder(), "every parameter 0..111 appears once, in index order");
}  // namespace param_map_check
