#include "framework/input_format_cache.h"

#include "framework/format_request.h"

namespace orva {

bool InputFormatCache::Matches(uint32_t channelCount, uint32_t flags) const {
    const uint32_t count = channelCount == 0 ? 1 : channelCount;
    return valid != 0 && channels == count && format == NormalizeFormatWord(flags);
}

bool InputFormatCache::Update(uint32_t channelCount, uint32_t flags, uint32_t count) {
    format = NormalizeFormatWord(flags);
    sizeCode = FormatElementSize(format);
    valid = 0;
    if (sizeCode == 0) {
        rowBytes = 0;
        return false;
    }
    channels = channelCount == 0 ? 1 : channelCount;
    rowBytes = (static_cast<uint64_t>(count) + 1) * sizeCode;
    // A product beyond 64 bits saturates: no buffer is ever that large.
    if ((format & kFormatRowPerChannel) == 0 && __builtin_mul_overflow(rowBytes, channels, &rowBytes))
        rowBytes = UINT64_MAX;
    return true;
}

void InputFormatCache::Reset() {
    format = sizeCode = channels = 0;
    rowBytes = 0;
    valid = 0;
    buffer.DropFrame();  // scale 1.0, item texts released, a large spare item block freed
    buffer.flags = 0;
    buffer.data = nullptr;
    buffer.area2 = buffer.area3 = nullptr;
    buffer.GlobalBuffer::Free();
    buffer.sub.Free();   // the block, then the attached object
}

}  // namespace orva
