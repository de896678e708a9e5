// The Instrument: voice allocation, note-on and note-off, the per-voice
// chain (noise, oscillator, four filter slots, mixAdd into the bus; the
// filters of up to eight voices side by side) and the effect-slot driver
// with its two-second silence rule.
#include "voice/instrument.h"

#include <new>
#include <emmintrin.h>

#include "runtime/float_mode.h"
#include "runtime/math.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "effects/effect_registry.h"
#include "runtime/params.h"
#include "voice/synth_tables.h"

namespace {

// Switch parameter, cutoff parameter, modulation destination of the cutoff
// (the resonance follows both by one), filter type and processing mode.
struct FilterSlotSetting {
    uint32_t switchParam;
    uint32_t cutoffParam;
    int32_t cutoffDestination;
    uint32_t type;
    uint32_t mode;
};
constexpr FilterSlotSetting kFilterSlots[kFilterSlotCount] = {
    {kLowPassOn, kLowPassCutoff, kDestLowPassCutoff, kFilterLadder, kRunLadder},
    {kHighPassOn, kHighPassCutoff, kDestHighPassCutoff, kFilterHighPass, kRunBiquad},
    {kBandPassOn, kBandPassCutoff, kDestBandPassCutoff, kFilterBandPass, kRunBandPass},
    {kNotchOn, kNotchCutoff, kDestNotchCutoff, kFilterNotch, kRunDelayedBiquad},
};

// One filter slot's filters over the voices of every instrument in a block,
// each with its buffers: at most eight voices from each of 32 instruments.
constexpr uint32_t kBatchVoices = 32 * kVoicesApart;
struct FilterBatch {
    FilterState* states[kBatchVoices];
    float* left[kBatchVoices];
    float* right[kBatchVoices];
    uint32_t count;
};

constexpr float kSilenceSeconds = 2.0f;     // effect chain sleeps after this much quiet
constexpr float kSilenceLevel = 0.00001f;   // mean |bus| below this counts as quiet

uint32_t polyphony(const Instrument& instrument) {
    // Truncation of the product: bytes 20, 40, 60, 80 give one voice fewer
    // than their tens digit suggests (15 * 0.19999999 = 2.9999998). Capped at
    // the 16 voices that exist, also for parameters above 1.
    const float voices = 1.0f + float(int32_t(15.0f * instrument.params[kVoicePolyphony]));
    if (!(voices >= 1.0f)) return 1;
    return voices >= float(kVoiceCount) ? kVoiceCount : uint32_t(voices);
}

void startVoice(Voice& voice, int32_t note, int32_t velocity, float lfo1Phase, float lfo2Phase) {
    Random random;
    random.seedFromClock();
    voice.note.store(note, std::memory_order_relaxed);
    voice.velocity.store(velocity, std::memory_order_relaxed);
    voice.detune = random.range(-1.0f, 1.0f);
    voice.age = 0;
    voice.oscGainL = 0.0f;
    voice.oscGainR = 0.0f;
    voice.active.store(true, std::memory_order_relaxed);
    startModulation(voice.mod, lfo1Phase, lfo2Phase);
    initOscillator(voice.osc);
    initNoise(voice.noise);
}

void releaseVoice(Voice& voice) {
    voice.active.store(false, std::memory_order_relaxed);
    releaseModulation(voice.mod);
}

// The part of a voice's block before its filters: modulation, noise, glide,
// wavetable and oscillator into the voice's own buffers.
void startVoiceBlock(const SynthTables& tables, Instrument& instrument, Voice& voice, BusPair voiceBus,
                     uint32_t count) {
    const float* params = instrument.params;
    instrument.silenceTime = 0.0f;
    voice.age += 1;

    const bool running = updateModulation(tables, params, voice.mod, count);
    instrument.lfo1Phase = voice.mod.lfo1.phase;
    instrument.lfo2Phase = voice.mod.lfo2.phase;

    float amp = float(voice.velocity.load(std::memory_order_relaxed)) * 0.0078125f;
    if (!running && !voice.active.load(std::memory_order_relaxed)) amp = 0.0f;

    // The noise writes (or clears) the voice buffers: they are not cleared otherwise.
    setupNoise(voice.noise, tables.sampleRate, params, modProduct(voice.mod, kDestNoiseLevel), amp);
    renderNoise(voice.noise, tables.noiseTable, voiceBus.left, voiceBus.right, count);

    // Glide once per block; the first note of a voice (frequency 0) jumps.
    const float detune = params[kVoiceDetune];
    const float target =
        tables.noteFrequency[voice.note.load(std::memory_order_relaxed) & 0x7F] + detune * detune * detune * voice.detune * 8.0f;
    if (params[kVoiceGlide] > 0.0f && voice.frequency > 0.0f)
        voice.frequency += (target - voice.frequency) / (10.0f * params[kVoiceGlide] + 1.0f);
    else
        voice.frequency = target;

    // Wavetable refresh on the first block after note-on and every fourth
    // after it; high notes get fewer bins (b falls to 0 near 2 kHz).
    if ((voice.age & 3) == 1) {
        const float dark = 1.0f - clamp(0.0f, (voice.frequency - 8.0f) * 0.0005f, 1.0f);
        refreshWavetable(tables, params, voice.mod, voice.osc, dark * dark * dark);
    }

    renderOscillator(tables, params, voice, amp, voiceBus, count);
}

// Makes slot s hold a unit of the type its parameter names: replaces a unit
// of another type, creates one where there is none. A failed create leaves
// the slot empty and is tried again next time.
void matchEffectSlot(Instrument& instrument, uint32_t s) {
    const int32_t type = effectSlotType(instrument.params, s);
    if (type != instrument.effectTypes[s] && instrument.effectTypes[s] != 0) {
        EffectDestroyFn destroy = effectDestroyFor(instrument.effectTypes[s]);
        if (destroy != nullptr) destroy(instrument.effectUnits[s]);
        instrument.effectUnits[s] = nullptr;
        instrument.effectTypes[s] = 0;
    }
    if (type != 0 && instrument.effectUnits[s] == nullptr) {
        EffectCreateFn create = effectCreateFor(type);
        EffectUnit* unit = create != nullptr ? create() : nullptr;
        if (unit != nullptr) {
            instrument.effectUnits[s] = unit;
            instrument.effectTypes[s] = type;
        }
    }
}

// Creates, replaces and destroys units as the type parameters say, then
// runs every live unit on the bus in slot order.
void runEffectChain(const SynthTables& tables, Instrument& instrument, BusPair bus, uint32_t count) {
    for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
        // Allocation on the audio path only when a type parameter changes
        // after the song loaded (or a create failed there).
        matchEffectSlot(instrument, s);
        if (instrument.effectUnits[s] != nullptr) {
            EffectProcessFn process = effectProcessFor(instrument.effectTypes[s]);
            if (process != nullptr)
                process(instrument.effectUnits[s], tables.sampleRate, instrument.params, bus.left, bus.right, count);
        }
    }
}

// False for an infinity or a NaN (all exponent bits set).
bool isFiniteValue(float x) {
    uint32_t bits;
    copyBytes(&bits, &x, 4);
    return (bits & 0x7F800000u) != 0x7F800000u;
}

// True when any of the first `count` samples of the bus is infinite or NaN.
bool busHasNonFinite(BusPair bus, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!isFiniteValue(bus.left[i]) || !isFiniteValue(bus.right[i])) return true;
    return false;
}

// The sequential sums of |left| and |right| over the block. Frames before
// the first non-zero one add nothing (+0 plus a zero is +0), so a quiet bus
// costs one vector scan. The rest runs as one chain with left and right in
// lanes 0 and 1; the sign is masked off, not tested, because audio changes
// sign too often for a branch to be predicted. Masking gives +0 for -0 and a
// positive NaN for a negative one: the same sums, and a NaN sum is never
// used as a level.
void sumMagnitudes(BusPair bus, uint32_t count, float& sumL, float& sumR) {
    const __m128 zero = _mm_setzero_ps();
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 nonZero = _mm_or_ps(_mm_cmpneq_ps(_mm_loadu_ps(bus.left + i), zero),
                                         _mm_cmpneq_ps(_mm_loadu_ps(bus.right + i), zero));
        if (_mm_movemask_ps(nonZero) != 0) break;
    }
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 sum = zero;
    for (; i < count; ++i) {
        const __m128 frame = _mm_unpacklo_ps(_mm_load_ss(bus.left + i), _mm_load_ss(bus.right + i));
        sum = _mm_add_ps(sum, _mm_and_ps(frame, magnitude));
    }
    sumL = _mm_cvtss_f32(sum);
    sumR = _mm_cvtss_f32(_mm_shuffle_ps(sum, sum, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Forgets everything an infinity or NaN could have got into: the voices stop
// and lose their filter and glide memories, and the effect units go (their
// slots make fresh, zeroed units on the next block). Recirculating memories
// (reverbs, delays, resonant filters) never leave NaN by themselves, so
// without this one overflow would silence or pin the instrument for good.
void clearMemories(Instrument& instrument) {
    for (Voice& voice : instrument.voices) {
        voice.active.store(false, std::memory_order_relaxed);
        voice.sounding = false;
        voice.frequency = 0.0f;
        voice.oscGainL = 0.0f;
        voice.oscGainR = 0.0f;
        resetModulation(voice.mod);
        voice.noise.level = 0.0f;
        new (voice.noise.hp) FilterState();
        new (voice.noise.lp) FilterState();
        for (FilterState* filter : voice.filters) new (filter) FilterState();
    }
    instrument.lfo1Phase = 0.0f;
    instrument.lfo2Phase = 0.0f;
    for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
        if (instrument.effectUnits[s] == nullptr) continue;
        EffectDestroyFn destroy = effectDestroyFor(instrument.effectTypes[s]);
        if (destroy != nullptr) destroy(instrument.effectUnits[s]);
        instrument.effectUnits[s] = nullptr;
        instrument.effectTypes[s] = 0;
    }
}

}  // namespace

int32_t roundParam(float x) {
    return int32_t(roundHalfUp(x));
}

int32_t effectSlotType(const float* params, uint32_t s) {
    return roundParam(10.0f * params[kFx0Type + s]);
}

Instrument* createInstrument() {
    void* block = alignedAlloc(sizeof(Instrument), 16);
    if (block == nullptr) return nullptr;
    fillWords(block, 0, sizeof(Instrument));
    Instrument* instrument = new (block) Instrument();
    for (uint32_t v = 0; v < kVoiceCount; ++v) {
        Voice& voice = instrument->voices[v];
        FilterState* states[6];
        for (uint32_t f = 0; f < 6; ++f) {
            void* state = alignedAlloc(kFilterStateBytes, 16);
            if (state == nullptr) {
                for (uint32_t g = 0; g < f; ++g) alignedFree(states[g]);
                voice.noise.hp = voice.noise.lp = nullptr;
                destroyInstrument(instrument);
                return nullptr;
            }
            states[f] = new (state) FilterState();
        }
        voice.noise.hp = states[0];
        voice.noise.lp = states[1];
        for (uint32_t f = 0; f < 4; ++f) voice.filters[f] = states[2 + f];
    }
    return instrument;
}

void destroyInstrument(Instrument* instrument) {
    if (instrument == nullptr) return;
    for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
        if (instrument->effectUnits[s] == nullptr) continue;
        EffectDestroyFn destroy = effectDestroyFor(instrument->effectTypes[s]);
        if (destroy != nullptr) destroy(instrument->effectUnits[s]);
    }
    for (uint32_t v = kVoiceCount; v-- > 0;) {
        Voice& voice = instrument->voices[v];
        for (uint32_t f = 0; f < 4; ++f) alignedFree(voice.filters[f]);
        alignedFree(voice.noise.hp);
        alignedFree(voice.noise.lp);
    }
    instrument->~Instrument();
    alignedFree(instrument);
}

uint32_t allocateVoice(const Instrument& instrument) {
    const uint32_t n = polyphony(instrument);
    for (uint32_t v = 0; v < n; ++v) {
        const Voice& voice = instrument.voices[v];
        if (!voice.active.load(std::memory_order_relaxed) && !voice.sounding) return v;
    }
    // All busy: steal the oldest; a later voice wins only when strictly older.
    uint32_t oldest = 0;
    for (uint32_t v = 1; v < n; ++v)
        if (instrument.voices[v].age > instrument.voices[oldest].age) oldest = v;
    return oldest;
}

void noteOn(Instrument& instrument, int32_t note, int32_t velocity) {
    const uint32_t v = allocateVoice(instrument);
    // Key sync off (below 0.5; unlike the switches, 0.5 itself counts as on)
    // continues the LFO from the last rendered voice.
    const float phase1 = instrument.params[kLfo1Sync] < 0.5f ? instrument.lfo1Phase : 0.0f;
    const float phase2 = instrument.params[kLfo2Sync] < 0.5f ? instrument.lfo2Phase : 0.0f;
    startVoice(instrument.voices[v], note, velocity, phase1, phase2);
}

bool noteOff(Instrument& instrument, int32_t note) {
    bool released = false;
    for (Voice& voice : instrument.voices) {
        if (voice.note.load(std::memory_order_relaxed) == note && voice.active.load(std::memory_order_relaxed)) {
            releaseVoice(voice);
            released = true;
        }
    }
    return released;
}

void allNotesOff(Instrument& instrument) {
    for (Voice& voice : instrument.voices)
        if (voice.active.load(std::memory_order_relaxed)) releaseVoice(voice);
}

void reset(Instrument& instrument) {
    instrument.lfo1Phase = 0.0f;
    instrument.lfo2Phase = 0.0f;
    for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
        instrument.effectUnits[s] = nullptr;
        instrument.effectTypes[s] = 0;
    }
    for (Voice& voice : instrument.voices) {
        voice.active.store(false, std::memory_order_relaxed);
        voice.sounding = false;
        resetModulation(voice.mod);
        initOscillator(voice.osc);
        initNoise(voice.noise);
    }
}

void createEffectUnits(Instrument& instrument) {
    for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
        matchEffectSlot(instrument, s);
        EffectPrepareFn prepare = effectPrepareFor(instrument.effectTypes[s]);
        if (prepare != nullptr && instrument.effectUnits[s] != nullptr) prepare(instrument.effectUnits[s], instrument.params);
    }
}

uint32_t startVoices(const SynthTables& tables, Instrument& instrument, uint32_t count, uint32_t from,
                     VoiceBlock& block) {
    // Flush-to-zero on the rendering thread: decaying filter, envelope and
    // effect states would otherwise run into denormals, which cost a hundred
    // times a normal operation on x86. Set here, at the start of every
    // block's voices, so any thread that renders gets it.
    setFloatMode(kRenderFloatMode);
    if (count > kVoiceBufferSize) count = kVoiceBufferSize;
    uint32_t apart = count > 0 ? kVoiceBufferSize / count : kVoicesApart;
    if (apart > kVoicesApart) apart = kVoicesApart;
    const uint32_t stride = kVoiceBufferSize / apart;  // at least count frames each
    block.count = 0;
    uint32_t v = from;
    for (; v < kVoiceCount && block.count < apart; ++v) {
        Voice& voice = instrument.voices[v];
        if (!voice.active.load(std::memory_order_relaxed) && !voice.sounding) continue;
        const uint32_t k = block.count++;
        block.voices[k] = &voice;
        block.left[k] = instrument.voiceL + k * stride;
        block.right[k] = instrument.voiceR + k * stride;
        startVoiceBlock(tables, instrument, voice, BusPair{block.left[k], block.right[k]}, count);
    }
    // Voices after the last one started may still sound: say where to go on.
    for (; v < kVoiceCount; ++v)
        if (instrument.voices[v].active.load(std::memory_order_relaxed) || instrument.voices[v].sounding) return v;
    return kVoiceCount;
}

void filterVoices(const SynthTables& tables, Instrument* const* instruments, const VoiceBlock* blocks, uint32_t n,
                  uint32_t count) {
    if (count > kVoiceBufferSize) count = kVoiceBufferSize;
    for (uint32_t slot = 0; slot < kFilterSlotCount; ++slot) {
        const FilterSlotSetting& setting = kFilterSlots[slot];
        FilterBatch batch;
        batch.count = 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (instruments[i] == nullptr) continue;
            const float* params = instruments[i]->params;
            if (!switchOn(params[setting.switchParam])) continue;
            const VoiceBlock& block = blocks[i];
            for (uint32_t v = 0; v < block.count && batch.count < kBatchVoices; ++v) {
                const ModState& mod = block.voices[v]->mod;
                FilterState& state = *block.voices[v]->filters[slot];
                setFilter(state, tables.sampleRate,
                          params[setting.cutoffParam] * modProduct(mod, setting.cutoffDestination),
                          params[setting.cutoffParam + 1] * modProduct(mod, setting.cutoffDestination + 1),
                          setting.type);
                batch.states[batch.count] = &state;
                batch.left[batch.count] = block.left[v];
                batch.right[batch.count] = block.right[v];
                ++batch.count;
            }
        }
        runFilters(batch.states, batch.left, batch.right, batch.count, setting.mode, count);
    }
}

void addVoices(const Instrument& instrument, const VoiceBlock& block, BusPair bus, uint32_t count) {
    if (count > kVoiceBufferSize) count = kVoiceBufferSize;
    for (uint32_t v = 0; v < block.count; ++v)
        block.voices[v]->sounding = mixAdd(bus, BusPair{block.left[v], block.right[v]}, count, instrument.params[kVoiceLevel]);
}

float finishRender(const SynthTables& tables, Instrument& instrument, uint32_t from, BusPair bus, uint32_t count) {
    if (count > kVoiceBufferSize) count = kVoiceBufferSize;
    // Voices beyond those the buffers held apart, in as many more turns as it
    // takes, each filtered on its own and added after the ones before it.
    while (from < kVoiceCount) {
        VoiceBlock block;
        from = startVoices(tables, instrument, count, from, block);
        Instrument* const self = &instrument;
        filterVoices(tables, &self, &block, 1, count);
        addVoices(instrument, block, bus, count);
    }

    if (instrument.silenceTime < kSilenceSeconds) runEffectChain(tables, instrument, bus, count);

    float sumL, sumR;
    sumMagnitudes(bus, count, sumL, sumR);
    // A sum that is not finite is the cheap sign of an overflow; the scan
    // tells it from a sum of huge but finite samples, which are left alone.
    if (!isFiniteValue(sumL + sumR) && busHasNonFinite(bus, count)) {
        fillWords(bus.left, 0, count * sizeof(float));
        fillWords(bus.right, 0, count * sizeof(float));
        clearMemories(instrument);
        return 0.0f;
    }
    const float divisor = count > 0 ? float(count) : 1.0f;
    const float level = (sumL / divisor + sumR / divisor) * 0.5f;
    if (absValue(level) < kSilenceLevel) instrument.silenceTime += float(count) / float(tables.sampleRate);
    return level;
}

float render(const SynthTables& tables, Instrument& instrument, BusPair bus, uint32_t count) {
    return finishRender(tables, instrument, 0, bus, count);
}
