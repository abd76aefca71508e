#include "data/channel_kernels.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "data/sample_load.h"

namespace orva {

namespace {

using sample_load::Load;
using sample_load::ToDouble;

constexpr double kMissing = -DBL_MAX;

// Results that leave the finite range are stored as the largest finite value of
// their sign (a NaN by its sign bit), never as infinity.
inline double Clamp(double r) { return std::fabs(r) <= DBL_MAX ? r : std::copysign(DBL_MAX, r); }

template <class T>
constexpr bool kIsReal64 = std::is_same_v<T, double>;

// What the channel sum of a fixed small channel count adds in. Every choice is exact
// for the element type: 8- and 16-bit values in 32-bit integers (16 channels of
// 65535 stay far below 2^31), 32-bit values in doubles (16 channels of 2^32 stay
// below 2^53); 64-bit integers and reals add in doubles. The general loop adds the
// narrow integers in 64 bits, which is exact for any channel count a pixel can have.
template <class T, uint32_t C>
using SumAcc = std::conditional_t<
    std::is_integral_v<T> && sizeof(T) <= 2,
    std::conditional_t<(C != 0), int32_t, int64_t>,
    std::conditional_t<std::is_integral_v<T> && sizeof(T) == 4,
                       std::conditional_t<(C != 0), double, int64_t>, double>>;

// ---- Element-wise and first element --------------------------------------------------------

template <class T, bool Swap, bool Scaled>
inline void ConvertStrided(const unsigned char* __restrict p, double* __restrict dst,
                           size_t count, size_t step, double scale, double zero) {
    for (size_t i = 0; i < count; ++i) {
        const double x = ToDouble(Load<T, Swap>(p, i * step));
        if constexpr (!Scaled) {
            dst[i] = x;
        } else if constexpr (kIsReal64<T>) {
            dst[i] = x == kMissing ? x : Clamp(x * scale + zero);
        } else {
            dst[i] = Clamp(x * scale + zero);
        }
    }
}

template <class T, bool Swap, bool Scaled>
void ElementWise(const void* source, double* destination, uint32_t count,
                 const ChannelParams* params) {
    const unsigned char* p = static_cast<const unsigned char*>(source);
    if constexpr (kIsReal64<T> && !Swap && !Scaled) {
        if (count > 0) std::memcpy(destination, p, size_t{count} * sizeof(double));
    } else {
        const double scale = Scaled ? params->scale : 1.0;
        const double zero = Scaled ? params->zero : 0.0;
        ConvertStrided<T, Swap, Scaled>(p, destination, count, 1, scale, zero);
    }
}

template <class T, bool Swap, bool Scaled>
void FirstElement(const void* source, double* destination, uint32_t count,
                  const ChannelParams* params) {
    const size_t step = params->channelCount == 0 ? 1 : params->channelCount;
    const double scale = Scaled ? params->scale : 1.0;
    const double zero = Scaled ? params->zero : 0.0;
    ConvertStrided<T, Swap, Scaled>(static_cast<const unsigned char*>(source), destination,
                                    count, step, scale, zero);
}

// ---- Channel sums -----------------------------------------------------------------------

enum class Op { kSum, kWeighted, kDefault };

// One loop per (type, byte order, scaling, operation, channel count); C == 0 is the
// general loop over `channels`.
template <class T, bool Swap, bool Scaled, Op O, uint32_t C>
void Combine(const unsigned char* __restrict p, double* __restrict dst, size_t count,
             size_t channels, const ChannelParams* params) {
    const size_t n = C != 0 ? C : channels;
    const double scale = params->scale;
    const double zeroN = params->zero * static_cast<double>(n);
    if constexpr (O == Op::kSum && !kIsReal64<T>) {
        using Acc = SumAcc<T, C>;
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            Acc acc = static_cast<Acc>(Load<T, Swap>(p, base));
            for (size_t c = 1; c < n; ++c) acc += static_cast<Acc>(Load<T, Swap>(p, base + c));
            const double r = static_cast<double>(acc);
            dst[px] = Scaled ? Clamp(r * scale + zeroN) : r;
        }
    } else if constexpr (O == Op::kSum || O == Op::kDefault) {
        // 64-bit reals: a missing channel makes the pixel missing.
        const double f = params->sumFactor;
        const double zeroFN = params->zero * f * static_cast<double>(n);
        const double m = params->sumMultiplier;
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            double x = Load<T, Swap>(p, base);
            bool missing = x == kMissing;
            double acc = (Scaled || O == Op::kDefault) ? x * f : x;
            for (size_t c = 1; c < n; ++c) {
                x = Load<T, Swap>(p, base + c);
                missing |= x == kMissing;
                acc += (Scaled || O == Op::kDefault) ? x * f : x;
            }
            double r;
            if constexpr (O == Op::kDefault) {
                r = acc;
            } else if constexpr (Scaled) {
                r = Clamp((acc * scale + zeroFN) * m);
            } else {
                r = Clamp(acc);
            }
            dst[px] = missing ? kMissing : r;
        }
    } else {
        // Weighted sum, in doubles.
        double wfixed[C != 0 ? C : 1];
        const double* w = params->weights;
        if constexpr (C != 0) {
            for (size_t c = 0; c < C; ++c) wfixed[c] = params->weights[c];
            w = wfixed;
        }
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            double x = ToDouble(Load<T, Swap>(p, base));
            bool missing = false;
            if constexpr (kIsReal64<T>) missing = x == kMissing;
            double acc = x * w[0];
            for (size_t c = 1; c < n; ++c) {
                x = ToDouble(Load<T, Swap>(p, base + c));
                if constexpr (kIsReal64<T>) missing |= x == kMissing;
                acc += x * w[c];
            }
            const double r = Scaled ? Clamp(acc * scale + zeroN) : acc;
            if constexpr (kIsReal64<T>) {
                dst[px] = missing ? kMissing : r;
            } else {
                dst[px] = r;
            }
        }
    }
}

template <class T, bool Swap, bool Scaled, Op O>
void CombineKernel(const void* source, double* destination, uint32_t count,
                   const ChannelParams* params) {
    const size_t channels = params->channelCount == 0 ? 1 : params->channelCount;
    if (O == Op::kWeighted && (params->weights == nullptr || params->weightCount < channels)) {
        // Without a weight for every channel there is no weighted value: the pixels
        // read as missing rather than from memory that is not there.
        for (uint32_t i = 0; i < count; ++i) destination[i] = kMissing;
        return;
    }
    const unsigned char* p = static_cast<const unsigned char*>(source);
    switch (channels) {
        case 2: return Combine<T, Swap, Scaled, O, 2>(p, destination, count, 2, params);
        case 3: return Combine<T, Swap, Scaled, O, 3>(p, destination, count, 3, params);
        case 4: return Combine<T, Swap, Scaled, O, 4>(p, destination, count, 4, params);
        case 5: return Combine<T, Swap, Scaled, O, 5>(p, destination, count, 5, params);
        case 6: return Combine<T, Swap, Scaled, O, 6>(p, destination, count, 6, params);
        case 7: return Combine<T, Swap, Scaled, O, 7>(p, destination, count, 7, params);
        case 8: return Combine<T, Swap, Scaled, O, 8>(p, destination, count, 8, params);
        case 16: return Combine<T, Swap, Scaled, O, 16>(p, destination, count, 16, params);
        default: return Combine<T, Swap, Scaled, O, 0>(p, destination, count, channels, params);
    }
}

// ---- Tables -------------------------------------------------------------------------------

template <class T, bool Swap>
constexpr ChannelKernelSet kMultiSet = {{
    ElementWise<T, Swap, false>,
    FirstElement<T, Swap, false>,
    CombineKernel<T, Swap, false, Op::kSum>,
    CombineKernel<T, Swap, false, Op::kWeighted>,
    ElementWise<T, Swap, true>,
    FirstElement<T, Swap, true>,
    CombineKernel<T, Swap, true, Op::kSum>,
    CombineKernel<T, Swap, true, Op::kWeighted>,
}};

template <class T, bool Swap>
constexpr ChannelKernelSet kSingleSet = {{
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
}};

// Template variables cannot be template template arguments, so the two indexes are
// spelled out through one macro.
#define ORVA_CHANNEL_INDEX(SET)                                                             \
    {                                                                                       \
        {kTypeI8, &SET<int8_t, false>}, {kTypeU8, &SET<uint8_t, false>},                    \
            {kTypeI16, &SET<int16_t, false>}, {kTypeU16, &SET<uint16_t, false>},            \
            {kTypeI32, &SET<int32_t, false>}, {kTypeU32, &SET<uint32_t, false>},            \
            {kTypeI64, &SET<int64_t, false>}, {kTypeU64, &SET<uint64_t, false>},            \
            {kTypeF32, &SET<float, false>}, {kTypeF64, &SET<double, false>},                \
            {kTypeI16 | kElemSwapped, &SET<int16_t, true>},                                 \
            {kTypeU16 | kElemSwapped, &SET<uint16_t, true>},                                \
            {kTypeI32 | kElemSwapped, &SET<int32_t, true>},                                 \
            {kTypeU32 | kElemSwapped, &SET<uint32_t, true>},                                \
            {kTypeI64 | kElemSwapped, &SET<int64_t, true>},                                 \
            {kTypeU64 | kElemSwapped, &SET<uint64_t, true>},                                \
            {kTypeF32 | kElemSwapped, &SET<float, true>},                                   \
            {kTypeF64 | kElemSwapped, &SET<double, true>},                                  \
    }

constexpr ChannelKernelIndexEntry kSingleIndex[18] = ORVA_CHANNEL_INDEX(kSingleSet);
constexpr ChannelKernelIndexEntry kMultiIndex[18] = ORVA_CHANNEL_INDEX(kMultiSet);

#undef ORVA_CHANNEL_INDEX

}  // namespace

void ChannelSetSumFactors(ChannelParams* params) {
    params->sumFactor = 1.0;
    params->sumMultiplier = 1.0;
    if ((params->elementType & kElemReal64) == 0 || params->channelCount < 2 ||
        params->mode != kChannelSum) {
        return;
    }
    uint64_t p = 1;
    while (p < params->channelCount) p <<= 1;
    params->sumMultiplier = static_cast<double>(p);
    params->sumFactor = 1.0 / static_cast<double>(p);
}

const ChannelKernelIndexEntry* ChannelKernelFind(const ChannelParams* params, ElementType type) {
    ElementType key = type & kElemFlagMask;
    if (key & kElemInt8) key &= ~kElemSwapped;  // single bytes have no order
    const bool multi = params != nullptr && params->channelCount > 1;
    const ChannelKernelIndexEntry* index = multi ? kMultiIndex : kSingleIndex;
    for (size_t i = 0; i < 18; ++i) {
        if (index[i].type == key) return &index[i];
    }
    return nullptr;
}

const ChannelKernel* ChannelKernelScaled(const ChannelKernelIndexEntry* entry, bool scaled) {
    if (entry == nullptr) return nullptr;
    return entry->set->slots + (scaled ? 4 : 0);
}

ChannelKernel ChannelKernelDefault(bool swapped) {
    return swapped ? CombineKernel<double, true, false, Op::kDefault>
                   : CombineKernel<double, false, false, Op::kDefault>;
}

int ChannelModeSlot(int32_t mode) {
    switch (mode) {
        case kChannelWeighted: return 3;
        case kChannelSum: return 2;
        case kChannelSelected: return 1;
        default: return 0;
    }
}

bool ChannelKernelChoose(const ChannelParams* params, ChannelKernelChoice* choice) {
    *choice = ChannelKernelChoice{};
    if (params == nullptr) return false;
    const ChannelKernelIndexEntry* entry = ChannelKernelFind(params, params->elementType);
    if (entry == nullptr) return false;
    const int slot = ChannelModeSlot(params->mode);
    const bool multi = params->channelCount > 1;
    if (multi && slot == 3 &&
        (params->weights == nullptr || params->weightCount < params->channelCount)) {
        return false;
    }
    const double one = 1.0;
    const bool identity =
        std::memcmp(&params->scale, &one, sizeof one) == 0 && params->zero == 0.0;
    choice->read = ChannelKernelScaled(entry, !identity)[slot];
    choice->stats = ChannelKernelScaled(entry, false)[slot];
    if (multi && slot == 2 && (entry->type & 0x7F) == kElemReal64) {
        choice->stats = ChannelKernelDefault((entry->type & kElemSwapped) != 0);
    }
    return true;
}

}  // namespace orva
