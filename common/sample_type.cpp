#include "common/sample_type.h"

#include <bit>
#include <cmath>

namespace orva {

namespace {

constexpr double kLargest = 1.7976931348623157e308;
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kFloatLargest = 3.4028234663852886e38;
constexpr double kTwo32 = 4294967296.0;
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

// Bit length of the integer part of a value below 2^64 (negative and NaN give 0).
uint32_t IntegerBitLength(double v) {
    if (!(v >= 1.0)) return 0;
    if (v >= kTwo64) return 64;
    return static_cast<uint32_t>(std::bit_width(static_cast<uint64_t>(v)));
}

double ClampLargest(double v) {
    if (v > kLargest) return kLargest;
    if (v < -kLargest) return -kLargest;
    return v;
}

}  // namespace

uint32_t TypeFlagHighestBit(uint32_t type) {
    const uint32_t size = type & 0x7F;
    return size ? std::bit_floor(size) : 0;
}

void SampleTypeRange(uint32_t type, double* minimum, double* maximum) {
    const bool isUnsigned = (type & 0x100) != 0;
    double lo = 0.0, hi = 1.0;
    if (type & 0x10) {
        lo = -kFloatLargest;
        hi = kFloatLargest;
    } else if (type & 0x40) {
        lo = -kLargest;
        hi = kLargest;
    } else if (type & 0x01) {
        lo = isUnsigned ? 0.0 : -128.0;
        hi = isUnsigned ? 255.0 : 127.0;
    } else if (type & 0x02) {
        lo = isUnsigned ? 0.0 : -32768.0;
        hi = isUnsigned ? 65535.0 : 32767.0;
    } else if (type & 0x04) {
        lo = isUnsigned ? 0.0 : -8388608.0;
        hi = isUnsigned ? 16777215.0 : 8388607.0;
    } else if (type & 0x08) {
        lo = isUnsigned ? 0.0 : -2147483648.0;
        hi = isUnsigned ? 4294967295.0 : 2147483647.0;
    } else if (type & 0x20) {
        lo = isUnsigned ? 0.0 : -kTwo63;
        hi = isUnsigned ? kTwo64 : kTwo63;
    }
    if (minimum) *minimum = lo;
    if (maximum) *maximum = hi;
}

void MinTypeForValue(SampleTypeInfo* record, double value) {
    uint32_t type, bits = 0;
    if (value <= kTwo32 - 1.0) {
        bits = IntegerBitLength(value);
        type = bits <= 8 ? 0x01 : bits <= 16 ? 0x02 : bits <= 24 ? 0x04 : 0x08;
    } else if (value < kTwo64) {
        type = 0x20;
        bits = IntegerBitLength(value);
    } else if (value < kFloatLargest) {
        type = 0x10;
    } else {
        type = 0x40;
    }
    if (bits == 0) {
        switch (type) {
            case 0x01: bits = 8; break;
            case 0x02: bits = 16; break;
            case 0x04: bits = 24; break;
            case 0x08:
            case 0x10: bits = 32; break;
            default: bits = 64; break;
        }
    }
    record->type = type;
    record->bits = bits;
}

bool ChooseSampleType(DataInfo* info, bool scaled) {
    if (info == nullptr) return false;
    DataInfo& d = *info;
    const double minimum = d.minimum, maximum = d.maximum;
    if (d.count <= 0 || !std::isfinite(minimum) || !std::isfinite(maximum) || minimum > maximum) {
        d.minimum = kLargest;
        d.maximum = -kLargest;
        d.sumSquares = -kLargest;
        d.sum = -kLargest;
        d.total = 0.0;
        return false;
    }
    // The depth of the values: the smallest type that holds their range (max - min may
    // exceed the largest double; infinity then picks the widest type). Values with
    // fractions, which the accumulator marks with the real type that holds them (0x10 or
    // 0x40), keep that real type: a range of a few units is no depth of 4 bits for them.
    const uint32_t realType = d.sampleType.type & (0x10u | 0x40u);
    MinTypeForValue(&d.sampleType, maximum - minimum);
    if (realType != 0 && (d.sampleType.type & 0x40u) == 0) {
        d.sampleType.type = (realType & 0x40u) != 0 ? 0x40u : 0x10u;
        d.sampleType.bits = d.sampleType.type == 0x40u ? 64u : 32u;
    }
    const double count = static_cast<double>(d.count);

    if (d.count == 1 || minimum == maximum) {
        d.sum = minimum;
        d.sumSquares = 0.0;
        d.total = ClampLargest(count * minimum);
        return true;
    }
    if (d.count == 2) {
        d.total = ClampLargest(minimum + maximum);
        const double halfDiff = maximum / 2.0 - minimum / 2.0;
        // Same signs: the difference cannot overflow; opposite signs: the sum cannot.
        if ((minimum < 0.0) == (maximum < 0.0))
            d.sum = minimum + (maximum - minimum) / 2.0;
        else
            d.sum = (minimum + maximum) / 2.0;
        d.sumSquares = halfDiff;
        return true;
    }
    if (!std::isfinite(d.total) || !std::isfinite(d.sum)) {
        d.sum = kStatisticUnset;
        d.sumSquares = kStatisticUnset;
        d.total = 0.0;
        return true;
    }

    const double sumSquares = d.sumSquares;
    const double n = static_cast<double>(d.n);
    double mean;
    // The mean of the distances from the shift, for the spread below.
    double spreadMean;
    if (scaled) {
        const double sum = d.sum;
        const double shift = d.accumulatorReserved[1];
        mean = sum;
        if (d.n != d.count) {
            mean = sum * n;
            if (std::isfinite(mean))
                mean /= count;
            else
                mean = sum * (n / count);
            if (!std::isfinite(mean)) {
                d.sum = kStatisticUnset;
                d.sumSquares = kStatisticUnset;
                d.total = 0.0;
                return true;
            }
        }
        spreadMean = mean;
        if (shift == 0.0) {
            if (sum == 0.0)
                d.total = 0.0;
            else if (std::fabs(sum) >= kLargest / n)
                d.total = std::copysign(kLargest, sum);
            else
                d.total = n * sum;
        } else {
            // A shift is at most 2^500 and the distances' mean is finite: the mean stays
            // finite, the total may not.
            mean += shift;
            d.total = ClampLargest(count * mean);
        }
    } else {
        const double total = d.total;
        if (total == 0.0 || std::fabs(total) <= count * kSmallestNormal)
            mean = 0.0;
        else
            mean = total / count;
        spreadMean = mean;
    }
    d.sum = mean;

    if (!std::isfinite(sumSquares) || sumSquares == kLargest) {
        d.sumSquares = kStatisticUnset;
        return true;
    }
    if (sumSquares == 0.0) {
        d.sumSquares = 0.0;
        return true;
    }
    double r, m, c;
    if (scaled) {
        r = std::sqrt(sumSquares);
        m = std::sqrt(count) * std::fabs(spreadMean) / n;
        c = n / std::sqrt(count - 1.0);
    } else {
        r = std::sqrt(sumSquares) / std::sqrt(count);
        m = std::fabs(spreadMean);
        c = std::sqrt(count / (count - 1.0));
    }
    if (!(r > m)) {
        d.sumSquares = 0.0;
        return true;
    }
    const double t = std::sqrt(r - m) * std::sqrt(r + m);
    if (c > 1.0 && t >= kLargest / c)
        d.sumSquares = kLargest;
    else
        d.sumSquares = t * c;
    return true;
}

bool LinearRangeFromIndices(const LinearAxis* axis, LinearRange* range, double a, double b) {
    if (axis == nullptr || range == nullptr) return false;
    if (axis->step == kStatisticUnset || axis->offset == kStatisticUnset) return false;
    const double low = axis->offset - a * axis->step;
    double high = axis->offset + b * axis->step;
    if (!std::isfinite(low) || !std::isfinite(high)) return false;
    if (low == high) high += 1.0;
    range->low = low;
    range->high = high;
    return true;
}

}  // namespace orva
