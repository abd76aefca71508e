#include "io/value_range.h"

#include <new>

namespace orva {

ValueRangeTarget* ValueRangeTarget::Create() { return new (std::nothrow) ValueRangeTarget(); }

int32_t ValueRangeTarget::Release() {
    const int32_t count = refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

ValueRangeTarget* AsValueRangeTarget(MessageTarget* target) {
    return MessageTargetIs(target, &kDataInfoStackId) ? static_cast<ValueRangeTarget*>(target) : nullptr;
}

}  // namespace orva
