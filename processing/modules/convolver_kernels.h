#pragma once
// The 3 x 3 kernels of the convolution filter: a mean filter and a weighted sum
// with the instance's normalised matrix, for one sample per pixel and for three
// interleaved samples per pixel (each channel filtered by itself), each in a plain
// variant and in one that respects samples without data.
//
// A kernel fills an output block from a delivered input block that holds the
// output's pixels and, wherever the frame has them, their neighbours. Where the
// input block ends, its edge pixels stand in for the missing neighbours: the
// chain delivers a block widened by one pixel on every side, cut only at the
// frame's edges, so these are the frame's edge samples repeated.
//
// Results are reproducible: the weighted sums run row by row, left to right,
// with separate multiplications and additions (never fused), so that the
// baseline and the AVX2 loops, and every tiling of a frame into blocks, give
// the same bits. The mean sums each column of three samples first and then
// three neighbouring column sums.
//
// Samples without data hold kConvolverBlank (the affine stage's mark) or NaN (a
// float file's missing samples, and integer samples that BLANK marks, are read as
// NaN). In the blank variants a blank centre sample gives a blank output sample
// (the same marker), and a blank neighbour counts as the centre sample's value; a
// sample with no blank near it gets the plain variant's value, bit for bit.
#include <cfloat>
#include <cstddef>
#include <cstdint>

namespace orva {

struct ConvolverState;

constexpr double kConvolverBlank = -DBL_MAX;
// The mean's factor (1/9 rounded as the program has always written it).
constexpr double kConvolverMeanFactor = 0.1111111111111111;

// The samples a kernel reads and writes. The input holds rows of `inputWidth`
// pixels (`inputStride` samples apart) and `inputHeight` rows; output pixel
// (0, 0) lies over input pixel (originX, originY), and the output's `width` x
// `height` pixels all lie within the input. Strides count samples, not pixels.
struct ConvolverBlock {
    const double* input = nullptr;
    size_t inputStride = 0;
    int32_t inputWidth = 0;
    int32_t inputHeight = 0;
    int32_t originX = 0;
    int32_t originY = 0;
    double* output = nullptr;
    size_t outputStride = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// A kernel: 0 when the block was filled; -1 for a block that does not describe an
// output within its input. The weighted kernels read the state's matrix; the mean
// kernels ignore the state.
using ConvolverKernelFn = int32_t (*)(const ConvolverState* state, const ConvolverBlock* block);

int32_t ConvolverMeanC1(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverMeanC3(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverMeanBlankC1(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverMeanBlankC3(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverWeightedC1(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverWeightedC3(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverWeightedBlankC1(const ConvolverState* state, const ConvolverBlock* block);
int32_t ConvolverWeightedBlankC3(const ConvolverState* state, const ConvolverBlock* block);

// True when any of the `samples` first samples of `rows` rows, `stride` samples apart,
// is NaN: such a block needs the blank variant even when its source did not mark it.
bool ConvolverInputHoldsNaN(const double* input, size_t stride, size_t samples, size_t rows);

}  // namespace orva
