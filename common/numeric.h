#pragma once
// Numeric helpers of the base library.
#include <cstddef>
#include <cstdint>
#include <climits>

namespace orva {

// a * b and a + b into *r; false when the result does not fit in 64 bits.
inline bool MulFits(uint64_t a, uint64_t b, uint64_t* r) { return !__builtin_mul_overflow(a, b, r); }
inline bool AddFits(uint64_t a, uint64_t b, uint64_t* r) { return !__builtin_add_overflow(a, b, r); }
// A count held in 64 bits as a 32-bit one: below 0 gives 0, beyond the range INT32_MAX.
inline int32_t CountToInt32(int64_t v) { return v < 0 ? 0 : (v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v)); }

// The largest whole number not above x, computed on the bits of the double.
// Values with no fraction bits (|x| >= 2^52), infinities and NaN come back unchanged.
double FloorValue(double x);

// Sine and cosine of an angle in degrees. The right angles 0, 90, 180, 270,
// -90, -180 and -270 give exact results (0, 1 and -1).
void SinCosDegrees(double* sine, double* cosine, double degrees);

// Quadratic B-spline through four control values at x: x = 0 gives
// 0.125 p0 + 0.75 p1 + 0.125 p2; beyond the segments p3 (above) or p0 (below).
double QuadraticBSpline(double x, double p0, double p1, double p2, double p3);

// The gamma function. Poles: Gamma(+-0) is +-infinity, Gamma of a negative
// integer (and of -infinity) is NaN; overflow gives +infinity, NaN gives NaN.
double GammaFunction(double x);
// Stirling's formula for Gamma(x), meant for x >= 33; +infinity above 171.6243769563027.
double StirlingGamma(double x);

// Modified Bessel function of the first kind of order 0.
double BesselI0(double x);

// floor(sqrt(n)) and floor(cbrt(n)), exact for every n: the floating estimate is
// corrected by integer steps (64 gives a cube root of 4, not the 3 of pow(64, 1/3)).
uint64_t IntegerSquareRoot(uint64_t n);
uint64_t IntegerCubeRoot(uint64_t n);

// 10^n for n from 0 to 9; -1 for any other n.
int32_t PowerOfTen(int32_t n);

// Swaps the two bytes of every 16-bit value in the first `bytes` bytes; an odd
// last byte stays as it is.
void SwapBytes16(void* buffer, size_t bytes);

// Copies `bytes` rounded down to a multiple of 8. Nothing is copied (false)
// when that leaves less than 8 bytes or a pointer is null.
bool CopyQwords(void* target, const void* source, size_t bytes);

}  // namespace orva
