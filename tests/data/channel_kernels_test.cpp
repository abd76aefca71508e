#include "data/channel_kernels.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/kernel_test_support.h"

namespace orva {
namespace {

using testing_data::Store;

constexpr double kMiss = -DBL_MAX;
using testing_data::kInf;
using testing_data::kNaN;

// The sign of a NaN made by arithmetic (inf - inf) depends on the order of the
// operands, so a NaN result stays NaN here and Same() accepts either bound for it.
double Fold(double r) {
    if (std::isinf(r)) return std::signbit(r) ? -DBL_MAX : DBL_MAX;
    return r;
}

// What one pixel (or element) should read as, worked out from the values themselves.
template <class T>
double Expected(const T* px, int slot, bool scaled, size_t channels, const ChannelParams& p) {
    const bool real64 = std::is_same_v<T, double>;
    const double n = static_cast<double>(channels);
    if (slot == 0 || slot == 1) {
        const double x = static_cast<double>(px[0]);
        if (!scaled) return x;
        if (real64 && x == kMiss) return x;
        return Fold(x * p.scale + p.zero);
    }
    if (real64) {
        for (size_t c = 0; c < channels; ++c) {
            if (static_cast<double>(px[c]) == kMiss) return kMiss;
        }
    }
    if (slot == 3) {
        double acc = static_cast<double>(px[0]) * p.weights[0];
        for (size_t c = 1; c < channels; ++c) acc = acc + static_cast<double>(px[c]) * p.weights[c];
        return scaled ? Fold(acc * p.scale + p.zero * n) : acc;
    }
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 4) {
        long long sum = 0;  // exact for every channel count used here
        for (size_t c = 0; c < channels; ++c) sum += static_cast<long long>(px[c]);
        const double r = static_cast<double>(sum);
        return scaled ? Fold(r * p.scale + p.zero * n) : r;
    } else if constexpr (std::is_same_v<T, double>) {
        if (!scaled) {
            double acc = px[0];
            for (size_t c = 1; c < channels; ++c) acc = acc + px[c];
            return Fold(acc);
        }
        double acc = px[0] * p.sumFactor;
        for (size_t c = 1; c < channels; ++c) acc = acc + px[c] * p.sumFactor;
        return Fold((acc * p.scale + p.zero * p.sumFactor * n) * p.sumMultiplier);
    } else {
        double acc = static_cast<double>(px[0]);
        for (size_t c = 1; c < channels; ++c) acc = acc + static_cast<double>(px[c]);
        return scaled ? Fold(acc * p.scale + p.zero * n) : acc;
    }
}

bool Same(double a, double b) {
    if (std::isnan(b)) return std::isnan(a) || std::fabs(a) == DBL_MAX;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Weighted sums of 4, 8 and 16 channels add a pixel's products as a tree rather than channel by channel
// (except for 64-bit reals), so they may differ from the sequential sum by the rounding
// of each addition: at most (channels - 1) units in the last place of the largest
// partial sum, bounded here by channels × epsilon × the sum of the products' magnitudes.
template <class T>
bool CloseWeighted(double got, double want, const T* px, size_t channels, bool scaled,
                   const ChannelParams& p) {
    if (std::is_same_v<T, double> || !std::isfinite(want)) return false;
    double magnitude = 0.0;
    for (size_t c = 0; c < channels; ++c) magnitude += std::fabs(static_cast<double>(px[c]) * p.weights[c]);
    if (scaled) magnitude *= std::fabs(p.scale);
    const double tolerance = static_cast<double>(channels) * DBL_EPSILON * magnitude;
    return std::isfinite(tolerance) && std::fabs(got - want) <= tolerance;
}

ChannelParams Params(ElementType type, uint32_t elementSize, uint32_t channels, int32_t mode,
                     double scale = 1.0, double zero = 0.0) {
    return ChannelParams{.scale = scale, .zero = zero, .mode = mode, .elementType = type,
                         .elementSize = elementSize, .channelCount = channels};
}

// Runs every kernel of a type through the selection, for each channel count, mode,
// byte order and scaling, on boundary values mixed with random ones, and checks
// every output against Expected().
template <class T>
void CheckType(ElementType type) {
    std::mt19937_64 rng(type * 7919u + sizeof(T));
    const uint32_t counts[] = {1, 2, 3, 4, 5, 7, 8, 9, 16, 17};
    const int32_t modes[] = {kChannelAsIs, kChannelSelected, kChannelSum, kChannelWeighted, -3};
    struct Sz {
        double scale, zero;
    };
    const Sz scalings[] = {{1.0, 0.0}, {2.0, 5.0}, {-0.5, 1e10}, {1e300, -3.0}, {1.0, -0.0}};
    for (bool swapped : {false, true}) {
        if (swapped && sizeof(T) == 1) continue;
        for (uint32_t ch : counts) {
            const size_t pixels = 23;
            std::vector<T> values = testing_data::MixedValues<T>(pixels * ch, rng, 3, 1e6);
            if constexpr (std::is_same_v<T, double>) values[ch] = kMiss;  // pixel 1, channel 0
            const std::vector<unsigned char> bytes = Store(values, swapped);
            std::vector<double> weights(ch);
            for (uint32_t c = 0; c < ch; ++c) weights[c] = 0.25 * (c + 1) - (c % 2 ? 1.5 : 0.0);
            for (int32_t mode : modes) {
                for (const Sz& sz : scalings) {
                    ChannelParams p = Params(type | (swapped ? kElemSwapped : 0), sizeof(T), ch, mode,
                                             sz.scale, sz.zero);
                    p.weights = weights.data();
                    p.weightCount = ch;
                    ChannelSetSumFactors(&p);
                    ChannelKernelChoice k;
                    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
                    const bool scaled = !(sz.scale == 1.0 && sz.zero == 0.0);
                    int slot = ChannelModeSlot(mode);
                    if (ch == 1) slot = 0;
                    const size_t outCount = slot == 0 ? pixels * ch : pixels;
                    std::vector<double> out(outCount, 12345.0);
                    k.read(bytes.data(), out.data(), static_cast<uint32_t>(outCount), &p);
                    for (size_t i = 0; i < outCount; ++i) {
                        const T* px = slot == 0 ? &values[i] : &values[i * ch];
                        const size_t n = slot == 0 ? 1 : ch;
                        const double want = Expected(px, slot, scaled, n, p);
                        ASSERT_TRUE(Same(out[i], want) ||
                                    (slot == 3 && n % 4 == 0 && CloseWeighted(out[i], want, px, n, scaled, p)))
                            << "type " << std::hex << p.elementType << std::dec << " ch " << ch
                            << " mode " << mode << " scale " << sz.scale << " zero " << sz.zero
                            << " item " << i << ": got " << out[i] << " want " << want;
                    }
                    // The second channel through the first-element kernel.
                    if (mode == kChannelSelected && ch > 1) {
                        k.read(bytes.data() + sizeof(T), out.data(), pixels, &p);
                        for (size_t i = 0; i < pixels; ++i) {
                            ASSERT_TRUE(Same(out[i], Expected(&values[i * ch + 1], 1, scaled, 1, p)));
                        }
                    }
                }
            }
        }
    }
}

// Both the AVX2 loops (where the processor has them) and the baseline loops.
TEST(ChannelKernels, EveryKernelMatchesTheReference) {
    testing_data::OnBothKernelPaths([] {
        CheckType<int8_t>(kTypeI8);
        CheckType<uint8_t>(kTypeU8);
        CheckType<int16_t>(kTypeI16);
        CheckType<uint16_t>(kTypeU16);
        CheckType<int32_t>(kTypeI32);
        CheckType<uint32_t>(kTypeU32);
        CheckType<int64_t>(kTypeI64);
        CheckType<uint64_t>(kTypeU64);
        CheckType<float>(kTypeF32);
        CheckType<double>(kTypeF64);
    });
}

template <class T>
double ReadOne(ElementType type, const std::vector<T>& values, uint32_t ch, int32_t mode,
               double scale = 1.0, double zero = 0.0) {
    ChannelParams p = Params(type, sizeof(T), ch, mode, scale, zero);
    ChannelSetSumFactors(&p);
    ChannelKernelChoice k;
    EXPECT_TRUE(ChannelKernelChoose(&p, &k));
    if (k.read == nullptr) return kNaN;
    double out = 0.0;
    k.read(values.data(), &out, 1, &p);
    return out;
}

TEST(ChannelKernels, KnownSums) {
    EXPECT_EQ(ReadOne<uint8_t>(kTypeU8, {200, 100}, 2, kChannelSum), 300.0);
    EXPECT_EQ(ReadOne<uint8_t>(kTypeU8, {200, 100}, 2, kChannelSum, 2.0, 1.0), 602.0);
    // 32-bit sums do not wrap.
    EXPECT_EQ(ReadOne<int32_t>(kTypeI32, {2000000000, 2000000000, 2000000000}, 3, kChannelSum),
              6000000000.0);
    EXPECT_EQ(ReadOne<uint32_t>(kTypeU32, {4294967295u, 4294967295u}, 2, kChannelSum), 8589934590.0);
    EXPECT_EQ(ReadOne<int32_t>(kTypeI32, std::vector<int32_t>(9, 2000000000), 9, kChannelSum),
              18000000000.0);
    EXPECT_EQ(ReadOne<int16_t>(kTypeI16, {-32768, -32768, -32768}, 3, kChannelSum), -98304.0);
    // Unsigned 64-bit values convert correctly rounded.
    EXPECT_EQ(ReadOne<uint64_t>(kTypeU64, {UINT64_MAX}, 1, kChannelAsIs), 18446744073709551616.0);
    EXPECT_EQ(ReadOne<uint64_t>(kTypeU64, {UINT64_MAX, 1}, 2, kChannelSelected),
              18446744073709551616.0);
    // Big-endian 16-bit channels are each reversed before they are summed.
    ChannelParams p = Params(kTypeU16 | kElemSwapped, 2, 3, kChannelSum);
    ChannelKernelChoice k;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    const unsigned char be[6] = {0x00, 0x01, 0x00, 0x02, 0x00, 0x03};
    double out = 0.0;
    k.read(be, &out, 1, &p);
    EXPECT_EQ(out, 6.0);
}

// The AVX2 loops of 16 channels of 16-bit values (two pixels to 16-byte registers, or
// four to 32-byte ones) add a pixel's products in four fused chains, channels 0 2 4 6,
// 1 3 5 7, 8 10 12 14 and 9 11 13 15, then add the chains as (first + second) + (third +
// fourth): computed here with std::fma, every output of a whole block of four pixels must
// be that value bit for bit, zero signs included, whatever the weights. The pixels past
// the last whole block read as the element loop adds them.
template <class T>
void CheckSixteenChannelTree(bool swapped, uint32_t pixels) {
    std::mt19937_64 rng(sizeof(T) * 31 + swapped + pixels * 7);
    std::vector<T> values = testing_data::MixedValues<T>(pixels * 16, rng, 4, 0);
    if (pixels > 2) {
        for (size_t c = 0; c < 16; ++c) values[16 + c] = 0;  // pixel 1: every product zero
        for (size_t c = 0; c < 16; c += 2) values[32 + c] = 0;
    }
    const std::vector<unsigned char> bytes = Store(values, swapped);
    std::vector<std::vector<double>> weightSets;
    std::vector<double> w(16);
    for (int c = 0; c < 16; ++c) w[c] = 0.5 + 0.25 * c;
    weightSets.push_back(w);                     // positive
    for (int c = 0; c < 16; c += 3) w[c] = -w[c];
    weightSets.push_back(w);                     // mixed signs
    for (int c = 0; c < 16; ++c) w[c] = c % 2 ? 1e-310 : 3.0e-300;
    weightSets.push_back(w);                     // products that underflow
    for (int c = 0; c < 16; ++c) w[c] = c == 8 ? 1e300 : -0.0;
    weightSets.push_back(w);                     // negative zeros and a huge weight
    for (int c = 0; c < 16; ++c) w[c] = c == 1 ? 0.0 : 0.1 * (c + 1);
    weightSets.push_back(w);                     // a positive zero
    for (const std::vector<double>& weights : weightSets) {
        const double scalings[][2] = {{1.0, 0.0}, {-3.0, 0.5}};
        for (const auto& sz : scalings) {
            ChannelParams p = Params((std::is_signed_v<T> ? kTypeI16 : kTypeU16) | (swapped ? kElemSwapped : 0), 2, 16,
                                     kChannelWeighted, sz[0], sz[1]);
            p.weights = const_cast<double*>(weights.data());
            p.weightCount = 16;
            ChannelKernelChoice k;
            ASSERT_TRUE(ChannelKernelChoose(&p, &k));
            std::vector<double> out(pixels);
            k.read(bytes.data(), out.data(), pixels, &p);
            for (size_t i = 0; i < pixels; ++i) {
                const T* px = &values[i * 16];
                const auto chain = [&](int first) {
                    double acc = static_cast<double>(px[first]) * weights[first];
                    for (int c = first + 2; c < first + 8; c += 2) acc = std::fma(px[c], weights[c], acc);
                    return acc;
                };
                double want = (chain(0) + chain(1)) + (chain(8) + chain(9));
                if (sz[0] != 1.0) want = Fold(want * p.scale + p.zero * 16.0);
                if (i >= pixels - pixels % 4) want = Expected(px, 3, sz[0] != 1.0, 16, p);
                ASSERT_EQ(std::memcmp(&out[i], &want, 8), 0) << "pixels " << pixels << " pixel " << i << ": got "
                                                             << out[i] << " want " << want << " weight 0 "
                                                             << weights[0];
            }
        }
    }
}

// Runs check() on every loop this processor can run: the 16-byte loop forced besides the
// one chosen, each storing through the caches and past them.
template <class F>
void OnEveryWidthAndStore(F check) {
    for (bool narrow : {false, true}) {
        for (bool stream : {false, true}) {
            SCOPED_TRACE(std::string(narrow ? "16-byte" : "chosen") + (stream ? " streamed" : ""));
            kernel::ForceSplitWideVectorsForTest(narrow);
            kernel::StreamStoresFromForTest(stream ? 0 : kernel::kStreamStoreBytes);
            check();
        }
    }
    kernel::ForceSplitWideVectorsForTest(false);
    kernel::StreamStoresFromForTest(kernel::kStreamStoreBytes);
}

TEST(ChannelKernels, SixteenChannelsOfSixteenBitsAddFusedChains) {
    if (!kernel::CpuHasAvx2() || !__builtin_cpu_supports("fma")) GTEST_SKIP() << "no AVX2 and FMA";
    OnEveryWidthAndStore([] {
        for (bool swapped : {false, true}) {
            for (uint32_t pixels : {1u, 3u, 4u, 6u, 8u, 11u, 12u, 17u, 41u}) {
                CheckSixteenChannelTree<uint16_t>(swapped, pixels);
                CheckSixteenChannelTree<int16_t>(swapped, pixels);
            }
        }
    });
}

// Three channels of 16-bit values go two pixels to 16-byte registers or four to 32-byte
// ones; either loop, storing through the caches or past them, reads every pixel as the
// element loop adds it, for any count (the last block's loads end with the input).
TEST(ChannelKernels, ThreeChannelsOfSixteenBitsOnEitherWidth) {
    if (!kernel::CpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    const double weights[3] = {0.75, -1.5, 3.0e-5};
    const struct {
        int32_t mode;
        double scale, zero;
    } cases[] = {
        {kChannelSum, 1.0, 0.0},      {kChannelSum, -2.5, 7.0},      {kChannelSum, 1e305, 1.0},
        {kChannelWeighted, 1.0, 0.0}, {kChannelWeighted, 0.5, -3.0}, {kChannelWeighted, -1e305, 0.0},
    };
    OnEveryWidthAndStore([&] {
        for (bool swapped : {false, true}) {
            for (bool sign : {false, true}) {
                for (const auto& c : cases) {
                    for (uint32_t count : {1u, 2u, 3u, 4u, 5u, 6u, 8u, 11u, 12u, 16u, 23u, 41u}) {
                        std::mt19937_64 rng(count * 3 + swapped + 2 * sign);
                        const std::vector<uint16_t> values = testing_data::MixedValues<uint16_t>(count * 3, rng, 3, 0);
                        const std::vector<unsigned char> bytes = Store(values, swapped);
                        ChannelParams p = Params((sign ? kTypeI16 : kTypeU16) | (swapped ? kElemSwapped : 0), 2, 3,
                                                 c.mode, c.scale, c.zero);
                        p.weights = const_cast<double*>(weights);
                        p.weightCount = 3;
                        ChannelKernelChoice k;
                        ASSERT_TRUE(ChannelKernelChoose(&p, &k));
                        std::vector<double> out(count, 12345.0);
                        k.read(bytes.data(), out.data(), count, &p);
                        const bool scaled = !(c.scale == 1.0 && c.zero == 0.0);
                        for (uint32_t i = 0; i < count; ++i) {
                            double want;
                            if (sign) {
                                int16_t px[3];
                                std::memcpy(px, &values[i * 3], sizeof px);
                                want = Expected(px, ChannelModeSlot(c.mode), scaled, 3, p);
                            } else {
                                want = Expected(&values[i * 3], ChannelModeSlot(c.mode), scaled, 3, p);
                            }
                            ASSERT_TRUE(Same(out[i], want)) << "mode " << c.mode << " scale " << c.scale
                                                            << " signed " << sign << " swapped " << swapped
                                                            << " count " << count << " pixel " << i << ": got "
                                                            << out[i] << " want " << want;
                        }
                    }
                }
            }
        }
    });
}

// Processors that split 32-byte operations, by CPUID vendor and leaf 1 signature.
TEST(KernelUtil, WhichProcessorsSplitWideVectors) {
    const struct {
        const char* vendor;
        uint32_t signature;
        bool splits;
    } cases[] = {
        {"AuthenticAMD", 0x00800F12, true},   // family 17h model 01h
        {"AuthenticAMD", 0x00800F82, true},   // family 17h model 08h
        {"AuthenticAMD", 0x00820F01, true},   // family 17h model 20h
        {"AuthenticAMD", 0x00830F10, false},  // family 17h model 31h
        {"AuthenticAMD", 0x00870F10, false},  // family 17h model 71h
        {"AuthenticAMD", 0x00A20F10, false},  // family 19h model 21h
        {"AuthenticAMD", 0x00A10F11, false},  // family 19h model 11h
        {"AuthenticAMD", 0x00660F01, true},   // family 15h model 60h
        {"HygonGenuine", 0x00900F01, true},   // family 18h
        {"GenuineIntel", 0x00800F12, false},  // an AMD signature under another name
        {"GenuineIntel", 0x000906EA, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kernel::SplitsWideVectors(c.vendor, c.signature), c.splits) << c.vendor << " " << std::hex
                                                                                << c.signature;
    }
    kernel::ForceSplitWideVectorsForTest(true);
    EXPECT_TRUE(kernel::CpuSplitsWideVectors());
    kernel::ForceSplitWideVectorsForTest(false);
}

// Processors that split 64-byte operations: AMD family 19h (its models with AVX-512); 1Ah
// runs them whole.
TEST(KernelUtil, WhichProcessorsSplitVectorsOf64Bytes) {
    EXPECT_TRUE(kernel::SplitsVectors512("AuthenticAMD", 0x00A10F11));   // family 19h model 11h
    EXPECT_TRUE(kernel::SplitsVectors512("AuthenticAMD", 0x00A60F12));   // family 19h model 61h
    EXPECT_FALSE(kernel::SplitsVectors512("AuthenticAMD", 0x00B00F21));  // family 1Ah model 02h
    EXPECT_FALSE(kernel::SplitsVectors512("GenuineIntel", 0x000806F8));
    EXPECT_FALSE(kernel::SplitsVectors512("HygonGenuine", 0x00A10F11));
    kernel::ForceNoAvx512ForTest(true);
    EXPECT_FALSE(kernel::CpuHasAvx512());
    kernel::ForceNoAvx512ForTest(false);
}

// Streamed results start at a 32-byte boundary of the output, so the pixels before it
// and after the last whole streamed block go through the plain loop: whatever the start
// and the count, every pixel reads as without streaming, and for three channels as the
// element loop adds. The source holds exactly the pixels read, so a load past its end
// shows under the address checker.
template <class T>
void CheckStreamedRuns(uint32_t ch, int32_t mode, bool swapped, double scale, double zero) {
    std::mt19937_64 rng(ch * 131 + mode + swapped);
    std::vector<double> weights(ch);
    for (uint32_t c = 0; c < ch; ++c) weights[c] = c % 3 == 1 ? -0.75 * c : 0.5 + 0.25 * c;
    ChannelParams p = Params((std::is_signed_v<T> ? kTypeI16 : kTypeU16) | (swapped ? kElemSwapped : 0), 2, ch, mode,
                             scale, zero);
    p.weights = weights.data();
    p.weightCount = ch;
    ChannelKernelChoice k;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    const bool scaled = !(scale == 1.0 && zero == 0.0);
    for (uint32_t count : {1u, 2u, 4u, 5u, 7u, 8u, 9u, 12u, 13u}) {
        const std::vector<T> values = testing_data::MixedValues<T>(count * ch, rng, 3, 0);
        const std::vector<unsigned char> bytes = Store(values, swapped);
        std::vector<double> plain(count);
        k.read(bytes.data(), plain.data(), count, &p);
        for (size_t start = 0; start < 4; ++start) {
            std::vector<double> out(count + 4, 12345.0);
            kernel::StreamStoresFromForTest(0);
            k.read(bytes.data(), out.data() + start, count, &p);
            kernel::StreamStoresFromForTest(kernel::kStreamStoreBytes);
            for (uint32_t i = 0; i < count; ++i) {
                ASSERT_EQ(std::memcmp(&out[start + i], &plain[i], 8), 0)
                    << "ch " << ch << " mode " << mode << " count " << count << " start " << start << " pixel " << i
                    << ": " << out[start + i] << " against " << plain[i];
                if (ch == 3) {
                    const double want = Expected(&values[i * ch], ChannelModeSlot(mode), scaled, ch, p);
                    ASSERT_TRUE(Same(plain[i], want)) << "pixel " << i << ": " << plain[i] << " want " << want;
                }
            }
            EXPECT_EQ(out[start + count], 12345.0);
            if (start > 0) {
                EXPECT_EQ(out[start - 1], 12345.0);
            }
        }
    }
}

TEST(ChannelKernels, StreamedRunsMatchFromAnyStart) {
    testing_data::OnBothKernelPaths([] {
        for (bool swapped : {false, true}) {
            for (uint32_t ch : {3u, 4u, 16u}) {
                for (int32_t mode : {kChannelSum, kChannelWeighted}) {
                    for (const auto& sz : {std::pair(1.0, 0.0), std::pair(-2.5, 7.0), std::pair(1e300, 1.0)}) {
                        CheckStreamedRuns<uint16_t>(ch, mode, swapped, sz.first, sz.second);
                        CheckStreamedRuns<int16_t>(ch, mode, swapped, sz.first, sz.second);
                    }
                }
            }
        }
    });
}

TEST(ChannelKernels, MissingValuesAndOverflow) {
    EXPECT_EQ(ReadOne<double>(kTypeF64, {1.0, kMiss}, 2, kChannelSum), kMiss);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {1.0, kMiss}, 2, kChannelSum, 3.0, 1.0), kMiss);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {kMiss}, 1, kChannelAsIs, 2.0, 5.0), kMiss);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {1e308}, 1, kChannelAsIs, 10.0, 0.0), DBL_MAX);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {-1e308}, 1, kChannelAsIs, 10.0, 0.0), -DBL_MAX);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {DBL_MAX, DBL_MAX}, 2, kChannelSum), DBL_MAX);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {kInf, 1.0}, 2, kChannelSum), DBL_MAX);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {-kInf, 1.0, 2.0}, 3, kChannelSum), -DBL_MAX);
    // Plain element-wise reals pass infinities and NaN through.
    EXPECT_EQ(ReadOne<float>(kTypeF32, {std::numeric_limits<float>::infinity()}, 1, kChannelAsIs), kInf);
    EXPECT_TRUE(std::isnan(ReadOne<float>(kTypeF32, {std::nanf("")}, 1, kChannelAsIs)));
    EXPECT_EQ(ReadOne<float>(kTypeF32, {std::nanf("")}, 1, kChannelAsIs, 2.0, 0.0), DBL_MAX);
    // Summing 64-bit reals with the power-of-two factor keeps the partial sums in range.
    const double big = std::ldexp(1.0, 1023);
    EXPECT_EQ(ReadOne<double>(kTypeF64, {big, big, -big / 2}, 3, kChannelSum, 0.5, 0.0),
              std::ldexp(3.0, 1021));
    EXPECT_EQ(ReadOne<double>(kTypeF64, {big, big, -big / 2}, 3, kChannelSum), DBL_MAX);
}

TEST(ChannelKernels, WeightedModeNeedsAWeightPerChannel) {
    ChannelParams p = Params(kTypeI16, 2, 3, kChannelWeighted);
    ChannelKernelChoice k;
    EXPECT_FALSE(ChannelKernelChoose(&p, &k));
    EXPECT_EQ(k.read, nullptr);
    double w[2] = {1.0, 2.0};
    p.weights = w;
    p.weightCount = 2;
    EXPECT_FALSE(ChannelKernelChoose(&p, &k));
    // The kernel itself, called anyway, gives missing pixels.
    const ChannelKernel weighted = ChannelKernelScaled(ChannelKernelFind(&p, kTypeI16), false)[3];
    const int16_t px[6] = {1, 2, 3, 4, 5, 6};
    double out[2] = {0, 0};
    weighted(px, out, 2, &p);
    EXPECT_EQ(out[0], kMiss);
    EXPECT_EQ(out[1], kMiss);
    double w3[3] = {0.5, 2.0, -1.0};
    p.weights = w3;
    p.weightCount = 3;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    k.read(px, out, 2, &p);
    EXPECT_EQ(out[0], 0.5 + 4.0 - 3.0);
    EXPECT_EQ(out[1], 2.0 + 10.0 - 6.0);
    // With one channel the weighted mode reads element by element and needs no weights.
    p.channelCount = 1;
    p.weights = nullptr;
    p.weightCount = 0;
    EXPECT_TRUE(ChannelKernelChoose(&p, &k));
}

TEST(ChannelKernels, SelectionTables) {
    ChannelParams one;
    one.channelCount = 1;
    ChannelParams three;
    three.channelCount = 3;
    const ChannelKernelIndexEntry* e = ChannelKernelFind(&one, kTypeI16);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, kTypeI16);
    const ChannelKernel* plain = ChannelKernelScaled(e, false);
    const ChannelKernel* scaled = ChannelKernelScaled(e, true);
    for (int s = 1; s < 4; ++s) {
        EXPECT_EQ(plain[s], plain[0]);
        EXPECT_EQ(scaled[s], scaled[0]);
    }
    EXPECT_NE(plain[0], scaled[0]);
    const ChannelKernelIndexEntry* m = ChannelKernelFind(&three, kTypeI16 | 0x4000);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ChannelKernelScaled(m, false)[0], plain[0]);  // element-wise kernels shared
    EXPECT_EQ(ChannelKernelScaled(m, true)[0], scaled[0]);
    EXPECT_NE(ChannelKernelScaled(m, false)[2], plain[0]);
    EXPECT_EQ(ChannelKernelFind(&three, kElemInt24), nullptr);
    EXPECT_EQ(ChannelKernelFind(&three, kTypeF64 | kElemUnsigned), nullptr);
    EXPECT_EQ(ChannelKernelFind(&three, kTypeU8 | kElemSwapped)->type, kTypeU8);
    EXPECT_EQ(ChannelKernelFind(&three, kTypeF32 | kElemSwapped)->type, kTypeF32 | kElemSwapped);
    const std::pair<int32_t, int> slots[] = {{-2, 3}, {-1, 2}, {1, 1}, {0, 0}, {-4, 0}, {7, 0}};
    for (auto [mode, slot] : slots) EXPECT_EQ(ChannelModeSlot(mode), slot) << mode;
}

TEST(ChannelKernels, SumFactorsAndTheStatisticsKernel) {
    ChannelParams p;
    p.elementType = kTypeF64;
    p.mode = kChannelSum;
    const std::pair<uint32_t, double> cases[] = {{2, 2}, {3, 4}, {4, 4}, {5, 8}, {16, 16}, {17, 32}};
    for (auto [ch, mul] : cases) {
        p.channelCount = ch;
        ChannelSetSumFactors(&p);
        EXPECT_EQ(p.sumMultiplier, mul);
        EXPECT_EQ(p.sumFactor, 1.0 / mul);
    }
    p.channelCount = 3;
    p.mode = kChannelWeighted;
    ChannelSetSumFactors(&p);
    EXPECT_EQ(p.sumMultiplier, 1.0);
    p.mode = kChannelSum;
    p.elementType = kTypeF32;
    ChannelSetSumFactors(&p);
    EXPECT_EQ(p.sumFactor, 1.0);

    p.elementType = kTypeF64;
    ChannelSetSumFactors(&p);
    ChannelKernelChoice k;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    EXPECT_EQ(k.stats, ChannelKernelDefault());
    const double px[6] = {1.0, 2.0, 3.0, 4.0, kMiss, 6.0};
    double out[2];
    k.stats(px, out, 2, &p);
    EXPECT_EQ(out[0], 1.5);  // (1 + 2 + 3) / 4
    EXPECT_EQ(out[1], kMiss);
    k.read(px, out, 2, &p);
    EXPECT_EQ(out[0], 6.0);
    p.elementType = kTypeF64 | kElemSwapped;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    EXPECT_EQ(k.stats, ChannelKernelDefault(true));
    p.elementType = kTypeI16;
    p.scale = 2.0;
    ASSERT_TRUE(ChannelKernelChoose(&p, &k));
    EXPECT_EQ(k.stats, ChannelKernelScaled(ChannelKernelFind(&p, kTypeI16), false)[2]);
    EXPECT_EQ(k.read, ChannelKernelScaled(ChannelKernelFind(&p, kTypeI16), true)[2]);
}

// A blank value makes a pixel missing where its element (element-wise, selected channel)
// or any of its channels (sums) holds it, in every byte order and through scaling; the
// statistics kernel marks the same pixels. Types that cannot hold the value, and reals,
// keep their kernels.
TEST(ChannelKernels, BlankSamplesReadAsNaN) {
    const double nan = std::nan("");
    auto run = [&](ElementType type, uint32_t size, uint32_t channels, int32_t mode, int64_t blank,
                   const std::vector<uint8_t>& bytes, uint32_t count, size_t offset = 0) {
        ChannelParams p = Params(type, size, channels, mode, 2.0, 1.0);
        ChannelKernelChoice k;
        EXPECT_TRUE(ChannelKernelChoose(&p, &k));
        EXPECT_TRUE(ChannelKernelMarkBlanks(&p, blank, &k));
        std::vector<double> read(count), stats(count);
        k.read(bytes.data() + offset, read.data(), count, &p);
        k.stats(bytes.data() + offset, stats.data(), count, &p);
        for (uint32_t i = 0; i < count; ++i)
            EXPECT_EQ(std::isnan(read[i]), std::isnan(stats[i])) << i;
        return read;
    };
    auto same = [](const std::vector<double>& got, const std::vector<double>& want) {
        if (got.size() != want.size()) return false;
        for (size_t i = 0; i < got.size(); ++i)
            if (std::isnan(want[i]) ? !std::isnan(got[i]) : got[i] != want[i]) return false;
        return true;
    };
    // 16-bit big-endian, one channel: -32768 is 0x8000.
    EXPECT_TRUE(same(run(kTypeI16 | kElemSwapped, 2, 1, kChannelAsIs, -32768, {0x80, 0, 0, 4, 0x80, 1}, 3),
                     {nan, 9, -65533}));
    // Unsigned bytes with 255.
    EXPECT_TRUE(same(run(kTypeU8, 1, 1, kChannelAsIs, 255, {255, 0, 7}, 3), {nan, 1, 15}));
    // Two channels of 8-bit samples, blank 3: kept as they are, summed, or the second one.
    const std::vector<uint8_t> two = {3, 1, 2, 2, 5, 3};
    EXPECT_TRUE(same(run(kTypeU8, 1, 2, kChannelAsIs, 3, two, 6), {nan, 3, 5, 5, 11, nan}));
    EXPECT_TRUE(same(run(kTypeU8, 1, 2, kChannelSum, 3, two, 3), {nan, 10, nan}));  // zero once a channel
    EXPECT_TRUE(same(run(kTypeU8, 1, 2, kChannelSelected, 3, two, 3, 1), {3, 5, nan}));
    // The lowest 64-bit value, in machine order.
    std::vector<uint8_t> wide(16);
    const int64_t words[2] = {INT64_MIN, 5};
    std::memcpy(wide.data(), words, 16);
    EXPECT_TRUE(same(run(kTypeI64, 8, 1, kChannelAsIs, INT64_MIN, wide, 2), {nan, 11}));

    // Refused: a value beyond the type, and real samples.
    for (const auto& [type, size, blank] : {std::tuple(kTypeI16, 2u, int64_t{65536}), std::tuple(kTypeU8, 1u, int64_t{-129}),
                                            std::tuple(kTypeF32, 4u, int64_t{5})}) {
        ChannelParams p = Params(type, size, 1, kChannelAsIs);
        ChannelKernelChoice k;
        ASSERT_TRUE(ChannelKernelChoose(&p, &k));
        const ChannelKernel read = k.read;
        EXPECT_FALSE(ChannelKernelMarkBlanks(&p, blank, &k)) << std::hex << type;
        EXPECT_EQ(std::tuple(k.read, p.hasBlank), std::tuple(read, false));
    }
}

}  // namespace
}  // namespace orva
