#pragma once
// The resampling kernels of the affine filter: one per sample type (D: 64-bit
// reals, F: 32-bit reals), channel layout (1, 3 or any number of interleaved
// samples per pixel) and interpolation mode (nearest neighbour, bilinear,
// bicubic, bicubic with tabulated weights). The affine module installs one as
// its instance's process entry; the chain calls it for every block that the
// downstream side asks for. A kernel finds the input rectangle the block needs,
// pulls it through the chain, and fills the block by mapping each output pixel
// back into the input with the filter's AffineRecord.
//
// Positions. Every output pixel is sampled at the input position of its centre,
// formed from its absolute coordinates in the output frame, so a pixel has the
// same value in whichever block it is asked for. Without rotation the axes are
// separable: column X samples (X + 0.5) * stepX (W - that under a mirror); the
// interpolating modes take pixel centres at whole numbers and subtract 0.5, so
// that all modes agree on where a pixel lies. With rotation the record's input
// map (AffineRecordInputMap) gives the position.
//
// Samples without data. Outside the frame the output gets the background: the
// invalid-sample marker -DBL_MAX for D, 0.0 for F. A pulled block flagged as
// holding invalid samples is resampled by nearest neighbour only, so the marker
// is never blended into valid values. D kernels report in the output's state
// byte whether it may hold the marker; F kernels never report it themselves.
//
// Results: 0 the block was filled (a block inside the output frame whose pixels
// all lie beyond the input frame gets the background without a pull); -1 the
// request is empty or lies wholly outside the output frame; -2 the input could not be pulled (or the chain does not
// know the input frame's size); -4 the instance has no module state; -7 the
// output buffer could not be sized (its filled byte cleared, "Can't alloc
// memory..." logged).
#include <array>
#include <cstdint>

#include "processing/filter_chain.h"

namespace orva {

// Six times the uniform cubic B-spline: 1, 4, 1 at -1, 0, 1 and 0 outside (-2, 2).
// The kernels divide by the sum of the weights they use.
double CubicBSplineWeight(double t);

// The weights of the fast bicubic mode: entry i holds CubicBSplineWeight(i / 128 - 2).
extern const std::array<double, 512> CubicWeightTableD;
extern const std::array<float, 512> CubicWeightTableF;
// The entry that the fast bicubic mode looks up for t: (t + 2) * 128 as a float,
// less one half, rounded to the nearest whole number with ties to even, held in
// 0..511 (0 when it is not a finite number). So floor((t + 2) * 128) except at odd
// whole numbers, which take the entry below.
int32_t CubicTableIndex(double t);

// Whether the chain's description of the input frame gives a size the kernels
// work with (1 to 2^30 on each axis).
bool AffineFrameSizeUsable(const FrameDataRecord* frame);

// Kernel entries (the instance's process function, FilterProcessFn).
int32_t AffineNearestD1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineNearestD3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineNearestDN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineNearestF1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineNearestF3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineNearestFN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearD1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearD3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearDN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearF1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearF3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBilinearFN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicD1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicD3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicDN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicF1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicF3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastD1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastD3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastDN(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastF1(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastF3(PullResult* own, PullResult* out, const PullRequest* request);
int32_t AffineBicubicFastFN(PullResult* own, PullResult* out, const PullRequest* request);

// The nearest-neighbour resampling of a block whose input `own` already holds:
// fills `out` and returns 0, or -4 / -2 / -7 as above. The nearest entries call
// it after their pull, the interpolating ones when the input holds invalid samples.
int32_t AffineNearestCoreD1(PullResult* own, PullResult* out);
int32_t AffineNearestCoreD3(PullResult* own, PullResult* out);
int32_t AffineNearestCoreDN(PullResult* own, PullResult* out);
int32_t AffineNearestCoreF1(PullResult* own, PullResult* out);
int32_t AffineNearestCoreF3(PullResult* own, PullResult* out);
int32_t AffineNearestCoreFN(PullResult* own, PullResult* out);

// The kernel table of the affine method. A group holds the kernels of one mode:
// [0] general, [1] rotation only, [2] scaling only, [3] mirror only (only the
// general one is filled; the module's choice falls back to it). A set holds the
// groups of the four modes, index mode - 1. A row gives the sets of one sample
// type for one, three and any other number of channels; the table ends with a
// row of input type 0.
struct AffineKernelGroup {
    FilterProcessFn slots[4] = {nullptr, nullptr, nullptr, nullptr};
};
struct AffineKernelSet {
    AffineKernelGroup modes[4];
};
struct AffineKernelRow {
    uint32_t inputType = 0;
    uint32_t outputType = 0;
    const AffineKernelSet* oneChannel = nullptr;
    const AffineKernelSet* threeChannels = nullptr;
    const AffineKernelSet* anyChannels = nullptr;
};
extern const AffineKernelRow AffineKernelTable[3];

}  // namespace orva
