#pragma once
// The signedness test of integer data: raw integer samples often come without a
// word on whether they are signed. The test reads a sample of the first plane,
// gathers statistics of it read once as signed and once as unsigned integers and
// decides which reading is the more probable, with a probability in percent.
#include <cstdint>

namespace orva {

class DataSet;

// Preference DetectUnsignUseMin: the "min-max" decision method (else "average").
struct SignTestSettings {
    bool useMinMax = false;
};
SignTestSettings& TheSignTestSettings();

// The proposed element type word (the data set's type with the unsigned bit 0x100 set
// or cleared; 0 for no verdict) and the probability in percent.
struct SignTestResult {
    uint32_t type = 0;
    uint32_t probability = 0;
};

// Statistics of one reading of the sample.
struct SignReading {
    double minimum = 0.0;
    double maximum = 0.0;
    double mean = 0.0;
    double deviation = 0.0;
};

// Mean and standard deviation from a sum, a sum of squares and a count, with the guards
// against overflow: a mean of magnitude 1.34e154 or more gives the deviation 8.99e307, a
// mean below 1.49e-154 counts as 0 when squared, a negative variance gives 0.
void SignReadingMoments(double sum, double sumSquares, uint32_t count, double* mean,
                        double* deviation);

// The verdict for the two readings of data of `elementBytes` bytes per sample, starting
// from `type` (its unsigned bit is replaced).
SignTestResult SignDecide(uint32_t type, uint32_t elementBytes, const SignReading& asSigned,
                          const SignReading& asUnsigned, bool useMinMax);

// Runs the test on the data set's first section; false when it cannot (no element size,
// no accumulator for the type, data position at or beyond the file's end, no staging
// buffer, a failed first read, or no value read). Reads under the display lock; changes
// only the data set's staging buffer.
bool SignednessTest(DataSet* dataSet, SignTestResult* result);

// The data set's hook: the probability (0: no answer) and the favoured type.
int SignednessTestHook(DataSet* dataSet, uint32_t* favouredType);

}  // namespace orva
