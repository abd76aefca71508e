#include "common/clib.h"

namespace orva {

namespace {
const char kDefaultDecimalPoint[] = ".";
const uint8_t kDefaultCompanion = 1;
const char* gDecimalPoint = kDefaultDecimalPoint;
const uint8_t* gCompanion = &kDefaultCompanion;
}  // namespace

void ClibSetNumberFormat(const char* decimalPoint, const uint8_t* companion) {
    if (decimalPoint == nullptr || companion == nullptr || decimalPoint[0] == '\0') {
        gDecimalPoint = kDefaultDecimalPoint;
        gCompanion = &kDefaultCompanion;
        return;
    }
    gDecimalPoint = decimalPoint;
    gCompanion = companion;
}

char ClibDecimalPoint() { return gDecimalPoint[0]; }

}  // namespace orva
