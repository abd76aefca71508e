#include "reduction/slice_smooth.h"

#include "reduction/reduction_component.h"

namespace orva {

void SliceSmoothWork::Release() {
    scratch.Free();
    sigma.Free();
    spline.Free();
}

int32_t SmoothSlice(SliceEstimator, SliceSmoothWork&, double, double, const double*, double*, double*) { return 0; }

int32_t SmoothSliceMean(ReductionComponent*, const double*, double*, double*) { return 0; }
int32_t SmoothSliceMedian(ReductionComponent*, const double*, double*, double*) { return 0; }
int32_t SmoothSliceMeanOrMedian(ReductionComponent*, const double*, double*, double*) { return 0; }

double MedianByBisection(const double* values, int64_t) { return values[0]; }
double MedianOf3(double* values) { return values[0]; }
double MedianOf5(double* values) { return values[0]; }
double MedianOf7(double* values) { return values[0]; }
double MedianOf9(double* values) { return values[0]; }
double SliceMedian(double* values, int64_t) { return values[0]; }
bool SliceMean(const double*, int64_t, double*, bool*) { return false; }
int32_t FitSmoothingSpline(const double*, const double*, const double*, int64_t n, double, double*, double*, double*,
                           double*, double*, int32_t*) {
    return n < 2 ? 1 : 0;
}
double SplineDefaultTarget(int64_t) { return 0.05; }

}  // namespace orva
