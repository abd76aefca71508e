#pragma once
// The value scaling kernels: each turns a run of 64-bit real data values into
// display intensities (normally 0..1) through the range Min..Max and the
// parameters of one scaling class. They take no locks, allocate nothing, and
// write every output; input and output never overlap.
//
// Throughout, Range(x) = x × scale − offset = (x − Min) / (Max − Min). The value
// −DBL_MAX marks a sample without data: every kernel that reads its input
// writes 0 for it.
#include <cstddef>
#include <cstdint>

namespace orva {

// The parameter block of a kernel: the head of the scaling settings record.
struct ScaleParameters {
    double offset = 0.0;  // scale × Min
    double scale = 1.0;   // 1 / (Max − Min)
    double value1 = 0.0;
    double value2 = 0.0;
    uint32_t value3 = 0;
    uint32_t value4 = 0;
};

using ScaleKernel = void (*)(double* out, size_t n, const double* in, const ScaleParameters* params);

// "range": Range(x); NaN gives 0; no clamping.
void ScaleKernelRange(double* out, size_t n, const double* in, const ScaleParameters* params);
// "pow": Range(x) raised to Value2; a range of 0 or below, or a result that is not
// finite, gives 0. The powers 0.5, 1 and 2 are a square root, the value itself and
// a product.
void ScaleKernelPow(double* out, size_t n, const double* in, const ScaleParameters* params);
// "log": Value1 × log10(Value2 × Range(x)); 0 where the argument is not positive (NaN too).
void ScaleKernelLog(double* out, size_t n, const double* in, const ScaleParameters* params);
// "exp": Value1 × (exp(Value2 × Range(x)) − 1), limited to ±DBL_MAX; 0 where the
// exponent is not positive (NaN too); Value1 × 2^1023 above 709.0895657.
void ScaleKernelExp(double* out, size_t n, const double* in, const ScaleParameters* params);
// "bitsshift": the intensity 255 × Value2 × Range(x) as a 32-bit word k, then
// ((k >> Value3) AND Value4) × 2^(Value3 + 1) × Value1 / 255, Value3 taken modulo 32.
void ScaleKernelBitsShift(double* out, size_t n, const double* in, const ScaleParameters* params);
// "bytewap": Value2 × Range(x) (at most 1) times 2147483647, truncated to a
// saturated signed 32-bit word, its bytes reversed, times Value1 × 2^−31; NaN gives 0.
void ScaleKernelByteSwap(double* out, size_t n, const double* in, const ScaleParameters* params);
// "palette": ignores the input; output i is i × Value1 / (n − 1) − Value2 (−Value2 when n = 1).
void ScaleKernelPalette(double* out, size_t n, const double* in, const ScaleParameters* params);
// "gammapal": ignores the input; output i is (i × c)^Value2 with
// c = Value1^−Value2 / (n − 1) (0 when Value1 ≤ 0); a value that is not finite gives 0.
void ScaleKernelGammaPalette(double* out, size_t n, const double* in, const ScaleParameters* params);
// "box": ignores the input; every output is Value1.
void ScaleKernelBox(double* out, size_t n, const double* in, const ScaleParameters* params);
// The kernel in place before a class is chosen: a copy of the input.
void ScaleKernelCopy(double* out, size_t n, const double* in, const ScaleParameters* params);

}  // namespace orva
