#pragma once
// The read kernels that turn runs of stored pixels of 1 to 16384 interleaved channels
// into 64-bit reals: every element as it is, the first channel of each pixel, the sum
// of the channels, or their weighted sum; plain or through a scale and zero.
//
// Kernels are pure functions chosen once per job from static tables keyed by element
// type, byte order and channel layout: no state, no allocation, no lock, no branch on
// the mode inside their loops.
#include <cstdint>

#include "data/element_type.h"

namespace orva {

// How the channels of a pixel become the read value.
enum ChannelMode : int32_t {
    kChannelWeighted = -2,  // sum over c of channel c × weight c
    kChannelSum = -1,       // sum of all channels
    kChannelAsIs = 0,       // every channel kept (channel count × 8 bytes per pixel)
    kChannelSelected = 1,   // one channel (the caller advances the source to it)
};
// Other modes (-4 mean, -3 profile, ...) read as kChannelAsIs.

struct ChannelParams;

// source: the first stored element of the first pixel; destination: doubles;
// count: pixels (elements for the element-wise kernels), at least 1.
using ChannelKernel = void (*)(const void* source, double* destination, uint32_t count,
                               const ChannelParams* params);

// The part of the data description that every channel kernel receives.
struct ChannelParams {
    uint32_t selectedChannel = 1;  // 1-based
    double scale = 1.0;
    double zero = 0.0;
    double* weights = nullptr;  // one per channel, owned by the description
    uint32_t weightCount = 0;
    int32_t mode = kChannelAsIs;
    ElementType elementType = 0;
    uint32_t elementSize = 0;   // bytes of one channel element
    uint32_t channelCount = 1;
    double sumFactor = 1.0;      // 64-bit real summing: 1/P
    double sumMultiplier = 1.0;  // 64-bit real summing: P
    // Integer data whose files mark missing samples with one stored value: those
    // samples read as NaN. Set by ChannelKernelMarkBlanks, which also keeps the
    // kernels it wraps here (the read kernel, then the statistics kernel).
    bool hasBlank = false;
    // Set by a caller whose calls together write far more results than the caches hold
    // (a whole frame in cache-sized pieces): the kernels store past the caches.
    bool streamOutput = false;
    uint64_t blankBits = 0;  // the stored value, as the element's bits in machine order
    ChannelKernel blankInner[2] = {nullptr, nullptr};
};

// Sets sumFactor and sumMultiplier: for 64-bit real data of 2 or more channels in
// summing mode P is the channel count rounded up to a power of two (3 gives 4), the
// multiplier P and the factor 1/P; otherwise both are 1.0.
void ChannelSetSumFactors(ChannelParams* params);

// Slots 0-3 plain, 4-7 scaled: element-wise, first element, sum, weighted sum.
struct ChannelKernelSet {
    ChannelKernel slots[8];
};

struct ChannelKernelIndexEntry {
    ElementType type;
    const ChannelKernelSet* set;
};

// The index entry of an element type: the multi-channel index when the params hold
// more than one channel, else the single-channel one (whose every slot converts element
// by element). Bits above 0x100 are ignored. A type carrying 0x80 gets the kernels that
// read every element byte-reversed, so swapped data must be handed over as it is in
// the file, never swapped beforehand. Null for a type without kernels (such as 0x04).
const ChannelKernelIndexEntry* ChannelKernelFind(const ChannelParams* params, ElementType type);

// The four plain (scaled false) or scaled slots of an entry.
const ChannelKernel* ChannelKernelScaled(const ChannelKernelIndexEntry* entry, bool scaled);

// The kernel of the statistics of 64-bit real summing: per pixel the missing value
// when any channel is missing, else sum of channel × sumFactor (no clamp, not
// multiplied back). `swapped` chooses the byte-reversing twin.
ChannelKernel ChannelKernelDefault(bool swapped = false);

// The slot (0-3) that a mode uses: -2 → 3, -1 → 2, 1 → 1, any other → 0.
int ChannelModeSlot(int32_t mode);

// The two kernels of a read: `read` (scaled unless scale is exactly 1.0 and zero 0.0)
// and `stats`, the plain kernel of the same slot (the default kernel for 64-bit real
// data of 2 or more channels in summing mode).
struct ChannelKernelChoice {
    ChannelKernel read = nullptr;
    ChannelKernel stats = nullptr;
};

// Chooses both kernels for params->elementType. False (choice cleared) when the type
// has no kernels, or when the weighted mode is asked for on more than one channel
// without a weight for every channel.
bool ChannelKernelChoose(const ChannelParams* params, ChannelKernelChoice* choice);

// Makes the chosen kernels read every stored sample equal to `blank` as NaN: a
// pixel is missing when its element (element-wise, selected channel) or any of its
// channels (sums) holds it. Only integer types whose width can hold the value (in
// its signed or unsigned range) take it; for others the params and the choice are
// left alone and the answer is false. Without a blank nothing changes, so reads of
// ordinary data pay nothing for this.
bool ChannelKernelMarkBlanks(ChannelParams* params, int64_t blank, ChannelKernelChoice* choice);

}  // namespace orva
