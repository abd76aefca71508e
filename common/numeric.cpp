#include "common/numeric.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace orva {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

// Polynomial with coefficients from the highest power down.
template <size_t N>
double Polynomial(double x, const double (&coefficients)[N]) {
    double value = coefficients[0];
    for (size_t i = 1; i < N; ++i) value = value * x + coefficients[i];
    return value;
}

// Rational approximation of Gamma(2 + x) on 0 <= x < 1 (Cephes).
constexpr double kGammaP[] = {
    1.60119522476751861407e-4, 1.19135147006586384913e-3, 1.04213797561761569935e-2,
    4.76367800457137231464e-2, 2.07448227648435975150e-1, 4.94214826801497100753e-1,
    9.99999999999999996796e-1,
};
constexpr double kGammaQ[] = {
    -2.31581873324120129819e-5, 5.39605580493303397842e-4, -4.45641913851797240494e-3,
    1.18139785222060435552e-2,  3.58236398605498653373e-2, -2.34591795718243348568e-1,
    7.14304917030273074085e-2,  1.00000000000000000320e0,
};

// Correction series of Stirling's formula in 1/x.
constexpr double kStirling[] = {
    7.87311395793093628397e-4,  -2.29549961613378126380e-4, -2.68132617805781232825e-3,
    3.47222221605458667310e-3, 8.33333333333482257126e-2,
};
constexpr double kStirlingMaxPow = 143.01608;         // above: split pow() to avoid overflow
constexpr double kGammaMax = 171.624376956302725;     // Gamma overflows above this
constexpr double kSqrtTwoPi = 2.50662827463100050242;
constexpr double kEulerGamma = 0.5772156649015329;

}  // namespace

double FloorValue(double x) {
    uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    if (exponent >= 52) return x;  // whole already, or infinity / NaN
    const uint64_t sign = uint64_t{1} << 63;
    bool negative = (bits & sign) != 0;
    if (exponent < 0) {  // |x| < 1
        if ((bits & ~sign) == 0) return x;  // keeps the sign of zero
        return negative ? -1.0 : 0.0;
    }
    uint64_t fraction = (uint64_t{1} << (52 - exponent)) - 1;
    if ((bits & fraction) == 0) return x;
    // A negative value with a fraction moves one unit away from zero; a carry
    // into the exponent is right, as the result is then a power of two.
    if (negative) bits += fraction + 1;
    bits &= ~fraction;
    double result = 0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

void SinCosDegrees(double* sine, double* cosine, double degrees) {
    double s = 0;
    double c = 0;
    if (degrees == 0.0) {
        s = 0.0, c = 1.0;
    } else if (degrees == 180.0 || degrees == -180.0) {
        s = 0.0, c = -1.0;
    } else if (degrees == 90.0 || degrees == -270.0) {
        s = 1.0, c = 0.0;
    } else if (degrees == -90.0 || degrees == 270.0) {
        s = -1.0, c = 0.0;
    } else {
        double radians = degrees * 0.017453292519943295;
        s = std::sin(radians);
        c = std::cos(radians);
    }
    if (sine != nullptr) *sine = s;
    if (cosine != nullptr) *cosine = c;
}

double QuadraticBSpline(double x, double p0, double p1, double p2, double p3) {
    double shifted = x + 0.5;
    if (std::isnan(shifted)) return kNaN;
    if (std::isinf(shifted)) return shifted > 0 ? p3 : p0;
    // Nearest integer with ties to even, independent of the rounding mode.
    double index = shifted - std::remainder(shifted, 1.0) + 2.0;
    if (index > 3.0) return p3;
    // Below the first segment there are no control values to the left: the
    // curve stays at the first value.
    if (index < 2.0) return p0;
    double t = index - (x + 1.5);
    double a = p0, b = p1, c = p2;
    if (index == 3.0) a = p1, b = p2, c = p3;
    double u = 1.0 - t;
    return 0.5 * t * t * a + 0.5 * (-2.0 * t * t + 2.0 * t + 1.0) * b + 0.5 * u * u * c;
}

double StirlingGamma(double x) {
    if (std::isnan(x)) return x;
    if (x > kGammaMax) return kInfinity;
    double w = 1.0 / x;
    w = 1.0 + w * Polynomial(w, kStirling);
    double y = std::exp(x);
    if (x > kStirlingMaxPow) {
        double v = std::pow(x, 0.5 * x - 0.25);
        y = v * (v / y);
    } else {
        y = std::pow(x, x - 0.5) / y;
    }
    return kSqrtTwoPi * y * w;
}

double GammaFunction(double x) {
    if (std::isnan(x)) return x;
    if (x == kInfinity) return x;
    if (x == -kInfinity) return kNaN;
    if (x == 0.0) return std::copysign(kInfinity, x);

    double q = std::fabs(x);
    if (q >= 33.0) {
        if (x > 0.0) return StirlingGamma(x);
        // Reflection: Gamma(x) = -pi / (-x sin(pi x) Gamma(-x)).
        double p = std::floor(q);
        if (p == q) return kNaN;  // negative integer: pole
        // Gamma is negative on (-n-1, -n) for even n.
        double sign = std::fmod(p, 2.0) == 0.0 ? -1.0 : 1.0;
        double z = q - p;
        if (z > 0.5) {
            p += 1.0;
            z = q - p;
        }
        z = std::fabs(q * std::sin(kPi * z));
        if (z == 0.0) return sign * kInfinity;
        return sign * (kPi / (z * StirlingGamma(q)));
    }

    // Move the argument into [2, 3) by the recurrence.
    double z = 1.0;
    while (x >= 3.0) {
        x -= 1.0;
        z *= x;
    }
    while (x < 0.0) {
        if (x > -1e-9) return z / ((1.0 + kEulerGamma * x) * x);
        z /= x;
        x += 1.0;
    }
    while (x < 2.0) {
        if (x < 1e-9) {
            if (x == 0.0) return kNaN;  // reached from a negative integer: pole
            return z / ((1.0 + kEulerGamma * x) * x);
        }
        z /= x;
        x += 1.0;
    }
    if (x == 2.0) return z;
    x -= 2.0;
    return z * Polynomial(x, kGammaP) / Polynomial(x, kGammaQ);
}

double BesselI0(double x) {
    if (std::isnan(x)) return x;
    if (std::fabs(x) < 2.1e-8) return 1.0;
    // Series: sum of (x^2/4)^k / (k!)^2.
    double q = x * x * 0.25;
    double sum = 1.0;
    double term = 1.0;
    for (double k = 1.0;; k += 1.0) {
        term *= q / (k * k);
        sum += term;
        if (term < 1e-33) break;
        if (std::isinf(sum)) return kInfinity;
    }
    return sum;
}

int32_t PowerOfTen(int32_t n) {
    static constexpr int32_t kPowers[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
    if (n < 0 || n > 9) return -1;
    return kPowers[n];
}

void SwapBytes16(void* buffer, size_t bytes) {
    if (buffer == nullptr || bytes < 2) return;
    auto* p = static_cast<uint8_t*>(buffer);
    size_t values = bytes / 2;
    size_t grouped = (bytes / 8) * 4;  // values inside whole groups of 8 bytes
    // The one to three values after the last whole group first, then the groups.
    for (size_t i = grouped; i < values; ++i) std::swap(p[2 * i], p[2 * i + 1]);
    for (size_t i = 0; i < grouped; ++i) std::swap(p[2 * i], p[2 * i + 1]);
}

bool CopyQwords(void* target, const void* source, size_t bytes) {
    bytes &= ~static_cast<size_t>(7);
    if (target == nullptr || source == nullptr || bytes < 8) return false;
    std::memmove(target, source, bytes);
    return true;
}

uint64_t IntegerSquareRoot(uint64_t n) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(n)));
    while (r > 0 && (r > UINT32_MAX || r * r > n)) --r;
    while (r + 1 <= UINT32_MAX && (r + 1) * (r + 1) <= n) ++r;
    return r;
}

uint64_t IntegerCubeRoot(uint64_t n) {
    uint64_t r = static_cast<uint64_t>(std::cbrt(static_cast<double>(n)));
    auto cube = [](uint64_t x, uint64_t* out) {
        uint64_t s;
        return !__builtin_mul_overflow(x, x, &s) && !__builtin_mul_overflow(s, x, out);
    };
    uint64_t c;
    while (r > 0 && (!cube(r, &c) || c > n)) --r;
    while (cube(r + 1, &c) && c <= n) ++r;
    return r;
}

}  // namespace orva
