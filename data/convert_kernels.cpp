#include "data/kernel_pragmas.h"

#include "data/convert_kernels.h"

#include <immintrin.h>

#include <algorithm>

#include "data/kernel_avx2.h"
#include "data/kernel_util.h"

namespace orva {
namespace {

using namespace kernel;

// Kernels from this input honour the special-values flag for this output.
template <class In, class Out> constexpr bool HonoursSpecial() {
    if constexpr (std::is_same_v<In, float>) {
        return true;
    } else if constexpr (std::is_same_v<In, double>) {
        return !(std::is_same_v<Out, float> || std::is_same_v<Out, int32_t> ||
                 std::is_same_v<Out, int16_t> || std::is_same_v<Out, int8_t>);
    } else {
        return false;
    }
}

// Writes a value computed in double precision as the output type.
template <class Out> ORVA_INLINE Out FromDouble(double y) {
    if constexpr (std::is_same_v<Out, double>) return ClampToDoubleRange(y);
    else if constexpr (std::is_same_v<Out, float>) return ClampToFloat(y);
    else return SaturateTrunc<Out>(y);
}

template <class In, class Out, bool Scaled>
ORVA_INLINE Out ConvertOne(In x, double scale, double zero) {
    if constexpr (Scaled) {
        double y = static_cast<double>(x) * scale + zero;
        if constexpr (std::is_same_v<In, double>) y = (x == -DBL_MAX) ? x : y;
        return FromDouble<Out>(y);
    } else if constexpr (std::is_same_v<In, Out>) {
        return x;
    } else if constexpr (std::is_integral_v<In> && std::is_integral_v<Out>) {
        return SaturateInt<Out>(x);
    } else if constexpr (std::is_integral_v<In>) {
        return static_cast<Out>(x);  // the nearest real
    } else if constexpr (std::is_same_v<Out, double>) {
        return static_cast<double>(x);  // a float widens exactly
    } else if constexpr (std::is_same_v<Out, float>) {
        return ClampToFloat(x);
    } else {
        return SaturateTrunc<Out>(static_cast<double>(x));
    }
}

template <class In, class Out, bool Swap, bool Scaled>
ORVA_INLINE void ConvertLoop(const unsigned char* __restrict s, unsigned char* __restrict d,
                             int32_t n, double scale, double zero) {
    for (int32_t i = 0; i < n; ++i) {
        const In x = LoadAt<In, Swap>(s + static_cast<size_t>(i) * sizeof(In));
        StoreAt<Out>(d + static_cast<size_t>(i) * sizeof(Out), ConvertOne<In, Out, Scaled>(x, scale, zero));
    }
}

template <class In, class Out, bool Swap, bool Scaled>
[[gnu::target("avx2")]] void ConvertLoopAvx2(const unsigned char* s, unsigned char* d, int32_t n,
                                              double scale, double zero) {
    ConvertLoop<In, Out, Swap, Scaled>(s, d, n, scale, zero);
}

ORVA_TARGET_AVX2_BEGIN

// Elements of up to four bytes to doubles with streaming stores: each result is the one
// ConvertOne gives (exact widening, separate multiply and add, ClampToDoubleRange, left out
// when Bounded is false: the caller knows that no result can leave the finite range), dst
// 32-byte aligned; whole blocks of 16, the count done is returned.
template <class In, bool Swap, bool Scaled, bool Bounded>
size_t ConvertToF64StreamAvx2(const unsigned char* s, double* dst, size_t n, double scale, double zero) {
    const __m256d sc = _mm256_set1_pd(scale);
    const __m256d z = _mm256_set1_pd(zero);
    const __m256d lo = _mm256_set1_pd(-DBL_MAX);
    const __m256d hi = _mm256_set1_pd(DBL_MAX);
    const auto finish = [&](__m256d x) {
        if constexpr (!Scaled) return x;
        if constexpr (!Bounded) return _mm256_add_pd(_mm256_mul_pd(x, sc), z);
        // max and min return their second operand when one is NaN: NaN passes.
        return _mm256_min_pd(hi, _mm256_max_pd(lo, _mm256_add_pd(_mm256_mul_pd(x, sc), z)));
    };
    const size_t done = n - n % 16;
    for (size_t i = 0; i < done; i += 16) {
        const unsigned char* q = s + i * sizeof(In);
        PrefetchAhead(q, 16 * sizeof(In));
        // Four results first, then their four stores: two whole lines leave together.
        __m256d y[4];
#pragma GCC unroll 4
        for (size_t k = 0; k < 4; ++k) y[k] = finish(Load4<In, Swap>(q + 4 * k * sizeof(In)));
#pragma GCC unroll 4
        for (size_t k = 0; k < 4; ++k) _mm256_stream_pd(dst + i + 4 * k, y[k]);
    }
    _mm_sfence();
    return done;
}

// Inputs that Load4 widens: integers of up to 32 bits, float and double.
template <class In>
constexpr bool kLoads4 = sizeof(In) <= 4 || std::is_same_v<In, double>;

// The outputs of up to 32 bits whose results go through a double and SaturateTrunc: every
// scaled kernel and the plain kernels from reals (plain integer pairs saturate directly).
template <class In, class Out, bool Scaled>
constexpr bool kNarrowsThroughDouble =
    kNarrowsThroughInt32<Out> && kLoads4<In> && (Scaled || std::is_floating_point_v<In>);

// Sixteen elements to integers of up to 32 bits: each result is the one ConvertOne gives
// (exact widening, separate multiply and add, the missing mark of 64-bit reals kept, then
// SaturateTrunc through Saturate16). The caller leaves out the steps its run cannot need:
// Missing, keeping -DBL_MAX unscaled, where a scaled -DBL_MAX lands on the lowest value
// anyway; MayBeNaN where no value can be NaN. With Stream the results go past the caches
// (o then 16-byte aligned).
template <class In, class Out, bool Swap, bool Scaled, bool Missing, bool MayBeNaN, bool Stream>
ORVA_INLINE void ConvertNarrow16(const unsigned char* q, unsigned char* o, __m256d sc, __m256d z) {
    __m256d y[4];
#pragma GCC unroll 4
    for (size_t k = 0; k < 4; ++k) {
        const __m256d x = Load4<In, Swap>(q + 4 * k * sizeof(In));
        y[k] = Scaled ? _mm256_add_pd(_mm256_mul_pd(x, sc), z) : x;
        if constexpr (Missing)
            y[k] = _mm256_blendv_pd(y[k], x, _mm256_cmp_pd(x, _mm256_set1_pd(-DBL_MAX), _CMP_EQ_OQ));
    }
    // NaN is rare: one test for the block, and the lane by lane rule only where it holds one.
    bool nan = false;
    if constexpr (MayBeNaN && std::is_signed_v<Out>) {
        const __m256d u = _mm256_or_pd(_mm256_cmp_pd(y[0], y[1], _CMP_UNORD_Q), _mm256_cmp_pd(y[2], y[3], _CMP_UNORD_Q));
        nan = !_mm256_testz_pd(u, u);
    }
    const Packed16<Out> v = nan ? Saturate16<Out, false, true>(y) : Saturate16<Out, false, false>(y);
    for (size_t k = 0; k < sizeof(Out); ++k) {
        if constexpr (Stream) _mm_stream_si128(reinterpret_cast<__m128i*>(o) + k, v.part[k]);
        else _mm_storeu_si128(reinterpret_cast<__m128i*>(o) + k, v.part[k]);
    }
}

// Whole blocks of sixteen of a run, the count done is returned. A run that streams is read
// as four quarters at once, a line of results from each in turn: one core keeps more of
// memory's requests in flight over several sequential streams than over one, and each
// line of results leaves whole.
template <class In, class Out, bool Swap, bool Scaled, bool Missing, bool MayBeNaN, bool Stream>
size_t ConvertToNarrowAvx2(const unsigned char* s, unsigned char* d, size_t n, double scale, double zero) {
    const __m256d sc = _mm256_set1_pd(scale);
    const __m256d z = _mm256_set1_pd(zero);
    const auto block = [&](size_t b) {
        const size_t i = b * 16;
        if constexpr (Stream) PrefetchAhead(s + i * sizeof(In), 16 * sizeof(In));
        ConvertNarrow16<In, Out, Swap, Scaled, Missing, MayBeNaN, Stream>(s + i * sizeof(In), d + i * sizeof(Out), sc, z);
    };
    const size_t blocks = n / 16;
    size_t b = 0;
    if constexpr (Stream) {
        constexpr size_t kLine = 4 / sizeof(Out);  // blocks to a line of 64 bytes of results
        const size_t quarter = blocks / (4 * kLine) * kLine;
        for (size_t j = 0; j < quarter; j += kLine)
            for (size_t r = 0; r < 4; ++r)
                for (size_t k = 0; k < kLine; ++k) block(r * quarter + j + k);
        b = 4 * quarter;
    }
    for (; b < blocks; ++b) block(b);
    if constexpr (Stream) _mm_sfence();
    return blocks * 16;
}

ORVA_TARGET_END

// ConvertToNarrowAvx2 with the steps this call's values and factors need.
template <class In, class Out, bool Swap, bool Scaled, bool Stream>
size_t ConvertToNarrowVector(const unsigned char* s, unsigned char* d, size_t n, double scale, double zero) {
    if constexpr (std::is_same_v<In, double>) {
        // The scaled mark goes through the same multiply and add as the vector loop's.
        if (Scaled && SaturateTrunc<Out>(-DBL_MAX * scale + zero) != LowestOf<Out>())
            return ConvertToNarrowAvx2<In, Out, Swap, Scaled, Scaled, true, Stream>(s, d, n, scale, zero);
        return ConvertToNarrowAvx2<In, Out, Swap, Scaled, false, true, Stream>(s, d, n, scale, zero);
    } else if constexpr (std::is_floating_point_v<In>) {
        return ConvertToNarrowAvx2<In, Out, Swap, Scaled, false, true, Stream>(s, d, n, scale, zero);
    } else {
        // Integers scaled by finite factors give no NaN (an overflow gives an infinity).
        if (std::isfinite(scale) && std::isfinite(zero))
            return ConvertToNarrowAvx2<In, Out, Swap, Scaled, false, false, Stream>(s, d, n, scale, zero);
        return ConvertToNarrowAvx2<In, Out, Swap, Scaled, false, true, Stream>(s, d, n, scale, zero);
    }
}

// The AVX2 path of the conversions to integers of up to 32 bits. A result of 4 MB or more
// is stored past the caches from the first 16-byte boundary on (when the destination holds
// whole elements, so that one lies a whole number of them ahead).
template <class In, class Out, bool Swap, bool Scaled>
void ConvertToNarrow(const unsigned char* s, unsigned char* d, int32_t count, double scale, double zero) {
    const size_t n = static_cast<size_t>(count);
    const uintptr_t at = reinterpret_cast<uintptr_t>(d);
    size_t done = 0;
    if (at % sizeof(Out) == 0 && StreamsStores(n * sizeof(Out))) {
        done = std::min(n, (16 - at % 16) % 16 / sizeof(Out));
        ConvertLoopAvx2<In, Out, Swap, Scaled>(s, d, static_cast<int32_t>(done), scale, zero);
        done += ConvertToNarrowVector<In, Out, Swap, Scaled, true>(s + done * sizeof(In), d + done * sizeof(Out),
                                                                  n - done, scale, zero);
    } else {
        done = ConvertToNarrowVector<In, Out, Swap, Scaled, false>(s, d, n, scale, zero);
    }
    ConvertLoopAvx2<In, Out, Swap, Scaled>(s + done * sizeof(In), d + done * sizeof(Out),
                                           static_cast<int32_t>(n - done), scale, zero);
}

template <class In, class Out, bool Swap, bool Scaled>
void ConvertLoopBase(const unsigned char* s, unsigned char* d, int32_t n, double scale, double zero) {
    ConvertLoop<In, Out, Swap, Scaled>(s, d, n, scale, zero);
}

// The loop used when the special-values flag is set: each real input is looked at
// by its bit pattern before it is converted.
template <class In, class Out, bool Swap, bool Scaled>
void ConvertSpecialLoop(const unsigned char* s, unsigned char* d, int32_t n, double scale, double zero) {
    using U = UIntOfSize<sizeof(In)>;
    constexpr U kSign = U(1) << (sizeof(In) * 8 - 1);
    constexpr U kExp = std::is_same_v<In, float> ? U(0x7F800000u) : U(0x7FF0000000000000ull);
    constexpr U kFrac = static_cast<U>(~(kSign | kExp));
    for (int32_t i = 0; i < n; ++i) {
        const In x = LoadAt<In, Swap>(s + static_cast<size_t>(i) * sizeof(In));
        const U bits = std::bit_cast<U>(x);
        Out r;
        if ((bits & kExp) == kExp) {
            r = (bits & kSign) ? LowestOf<Out>() : HighestOf<Out>();
        } else if ((bits & kExp) == 0 && (bits & kFrac) != 0) {
            if constexpr (Scaled) r = FromDouble<Out>(zero);
            else r = ConvertOne<In, Out, false>(In(0), scale, zero);
        } else {
            r = ConvertOne<In, Out, Scaled>(x, scale, zero);
        }
        StoreAt<Out>(d + static_cast<size_t>(i) * sizeof(Out), r);
    }
}

template <class In, class Out, bool Swap, bool Scaled>
void ConvertKernel(const void* source, void* destination, int32_t count, const ScaleZero& params) {
    if (count <= 0) return;
    const auto* s = static_cast<const unsigned char*>(source);
    auto* d = static_cast<unsigned char*>(destination);
    if constexpr (HonoursSpecial<In, Out>()) {
        if (params.specialValues) {
            ConvertSpecialLoop<In, Out, Swap, Scaled>(s, d, count, params.scale, params.zero);
            return;
        }
    }
    if constexpr (std::is_same_v<In, Out> && !Swap && !Scaled) {
        std::memcpy(d, s, static_cast<size_t>(count) * sizeof(In));
    } else if (CpuHasAvx2()) {
        if constexpr (std::is_same_v<Out, double> && sizeof(In) <= 4) {
            auto* out = reinterpret_cast<double*>(d);
            if (StreamsDoubles(out, static_cast<size_t>(count))) {
                // Up to a 32-byte boundary, whole blocks streamed, then the rest.
                const int32_t head = static_cast<int32_t>(std::min<size_t>(count, DoublesToAlign32(out)));
                ConvertLoopAvx2<In, Out, Swap, Scaled>(s, d, head, params.scale, params.zero);
                const size_t rest = static_cast<size_t>(count - head);
                size_t done = head;
                if (std::is_integral_v<In> && ScaledIntegersStayFinite(params.scale, params.zero))
                    done += ConvertToF64StreamAvx2<In, Swap, Scaled, false>(s + head * sizeof(In), out + head, rest,
                                                                            params.scale, params.zero);
                else
                    done += ConvertToF64StreamAvx2<In, Swap, Scaled, true>(s + head * sizeof(In), out + head, rest,
                                                                           params.scale, params.zero);
                ConvertLoopAvx2<In, Out, Swap, Scaled>(s + done * sizeof(In), d + done * sizeof(Out),
                                                       static_cast<int32_t>(count - done), params.scale,
                                                       params.zero);
                return;
            }
        }
        if constexpr (kNarrowsThroughDouble<In, Out, Scaled>) {
            ConvertToNarrow<In, Out, Swap, Scaled>(s, d, count, params.scale, params.zero);
            return;
        }
        ConvertLoopAvx2<In, Out, Swap, Scaled>(s, d, count, params.scale, params.zero);
    } else {
        ConvertLoopBase<In, Out, Swap, Scaled>(s, d, count, params.scale, params.zero);
    }
}

template <class Out>
void DefaultKernel(const void*, void* destination, int32_t count, const ScaleZero&) {
    auto* d = static_cast<unsigned char*>(destination);
    for (int32_t i = 0; i < count; ++i) StoreAt<Out>(d + static_cast<size_t>(i) * sizeof(Out), Out(1));
}

template <class In, class Out, bool Swap>
constexpr DConvRow Row(ElementType input) {
    return {input, &ConvertKernel<In, Out, Swap, true>, &ConvertKernel<In, Out, Swap, false>};
}

// Swapped tables: every input type carries 0x80; 8-bit rows keep the native kernels
// (8-bit input loses its swap bit before the lookup, so they are never reached).
template <class Out, bool Swap>
constexpr void FillTable(DConvRow* t) {
    constexpr ElementType sw = Swap ? kElemSwapped : 0;
    t[0] = {0, &DefaultKernel<Out>, &DefaultKernel<Out>};
    t[1] = Row<int8_t, Out, false>(kTypeI8 | sw);
    t[2] = Row<uint8_t, Out, false>(kTypeU8 | sw);
    t[3] = Row<int16_t, Out, Swap>(kTypeI16 | sw);
    t[4] = Row<uint16_t, Out, Swap>(kTypeU16 | sw);
    t[5] = Row<int32_t, Out, Swap>(kTypeI32 | sw);
    t[6] = Row<uint32_t, Out, Swap>(kTypeU32 | sw);
    t[7] = Row<int64_t, Out, Swap>(kTypeI64 | sw);
    t[8] = Row<uint64_t, Out, Swap>(kTypeU64 | sw);
    t[9] = Row<float, Out, Swap>(kTypeF32 | sw);
    t[10] = Row<double, Out, Swap>(kTypeF64 | sw);
    t[11] = {0, nullptr, nullptr};
}

struct AllTables {
    DConvRow t[kConvertOutputs][2][kConvertRows];
};

template <class Out>
constexpr void FillOutput(AllTables& a, int index) {
    FillTable<Out, false>(a.t[index][0]);
    FillTable<Out, true>(a.t[index][1]);
}

constexpr AllTables MakeTables() {
    AllTables a{};
    FillOutput<double>(a, 0);
    FillOutput<float>(a, 1);
    FillOutput<int64_t>(a, 2);
    FillOutput<uint64_t>(a, 3);
    FillOutput<int32_t>(a, 4);
    FillOutput<uint32_t>(a, 5);
    FillOutput<int16_t>(a, 6);
    FillOutput<uint16_t>(a, 7);
    FillOutput<int8_t>(a, 8);
    FillOutput<uint8_t>(a, 9);
    return a;
}

constexpr AllTables kAll = MakeTables();

}  // namespace

// Copied from the constexpr build so that the table is constant-initialised.
constinit const DConvRow kConvertTables[kConvertOutputs][2][kConvertRows] = {
#define ORVA_ROWS(o, s)                                                                           \
    {kAll.t[o][s][0], kAll.t[o][s][1], kAll.t[o][s][2], kAll.t[o][s][3], kAll.t[o][s][4],         \
     kAll.t[o][s][5], kAll.t[o][s][6], kAll.t[o][s][7], kAll.t[o][s][8], kAll.t[o][s][9],         \
     kAll.t[o][s][10], kAll.t[o][s][11]}
#define ORVA_OUT(o) {ORVA_ROWS(o, 0), ORVA_ROWS(o, 1)}
    ORVA_OUT(0), ORVA_OUT(1), ORVA_OUT(2), ORVA_OUT(3), ORVA_OUT(4),
    ORVA_OUT(5), ORVA_OUT(6), ORVA_OUT(7), ORVA_OUT(8), ORVA_OUT(9),
#undef ORVA_OUT
#undef ORVA_ROWS
};

int ConvertOutputIndex(ElementType output) {
    for (int i = 0; i < kConvertOutputs; ++i)
        if (kPlainTypes[i] == output) return i;
    return -1;
}

DConvKernel ConvertDefaultKernel(ElementType output) {
    const int i = ConvertOutputIndex(output);
    return i < 0 ? nullptr : kConvertTables[i][0][0].plain;
}

void ConvertNothing(const void*, void*, int32_t, const ScaleZero&) {}

}  // namespace orva
