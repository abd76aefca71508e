#include "data/element_type.h"

namespace orva {

static_assert(sizeof(ScaleZero) == 32, "ScaleZero: three doubles and two flag bytes");
static_assert(ElementSize(kTypeU64 | kElemSwapped) == 8 && ElementSize(kTypeU8) == 1);
static_assert(ElementNormalize(0x181) == kTypeU8 && ElementNormalize(0x110) == kTypeF32);

}  // namespace orva
