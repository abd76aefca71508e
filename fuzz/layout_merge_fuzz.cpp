// Feeds raw header values (as a reader would take them from a file) and a service
// description into the layout merge.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/file_layout.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <class T> T Take() {
        T v{};
        size_t k = n < sizeof v ? n : sizeof v;
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    Reader r{data, size};
    FileLayout l;
    l.type = r.Take<uint32_t>();
    l.bits = r.Take<uint32_t>();
    l.channels = r.Take<uint32_t>();
    l.frames = r.Take<uint32_t>();
    l.sizeX = r.Take<int64_t>();
    l.sizeY = r.Take<int64_t>();
    l.sizeZ = r.Take<int64_t>();
    l.flags = r.Take<uint32_t>();
    l.dataOffset = r.Take<int64_t>();
    l.dataEnd = r.Take<int64_t>();
    l.headerStart = r.Take<int64_t>();
    uint8_t axes = r.Take<uint8_t>() % 8;
    l.declaredAxes = axes;
    for (uint8_t i = 0; i < axes; ++i) l.SetAxis(i, r.Take<int32_t>());

    TheLayoutSettings() = {};
    uint8_t options = r.Take<uint8_t>();
    TheLayoutSettings().ieee754Detect = options & 1;
    TheLayoutSettings().defaultUnsigned = options & 2;
    TheLayoutSettings().defaultSwapped = options & 4;

    DataSetInfo info;
    info.input.channels = r.Take<uint32_t>() % 5;
    info.rangeMin = r.Take<double>();
    info.rangeMax = r.Take<double>();
    if (options & 8) {
        auto* sd = new ServiceDescription;
        info.service = sd;
        sd->flags = r.Take<uint32_t>();
        sd->type = r.Take<uint32_t>();
        sd->bits = r.Take<uint32_t>();
        sd->channels = r.Take<uint32_t>();
        sd->sizeX = r.Take<int64_t>();
        sd->sizeY = r.Take<int64_t>();
        sd->sizeZ = r.Take<int64_t>();
        sd->cropX = r.Take<int64_t>();
        sd->cropY = r.Take<int64_t>();
        sd->cropSizeX = r.Take<int64_t>();
        sd->cropSizeY = r.Take<int64_t>();
        sd->frames = r.Take<uint32_t>();
        sd->sections = r.Take<uint32_t>();
        sd->frameStep = r.Take<int32_t>();
        sd->nchannelOut = r.Take<uint32_t>();
        sd->convSpec = r.Take<int32_t>();
        sd->scale = r.Take<double>();
        sd->zero = r.Take<double>();
        sd->min = r.Take<double>();
    }
    LayoutToDataSet(&l, &info);
    // What the read kernels rely on afterwards.
    if (info.sizeX < 0 || info.sizeY < 1 || info.sizeZ < 1) __builtin_trap();
    if (info.input.channels < 1 || info.input.channels > kMaxChannels) __builtin_trap();
    if (info.cropX < 0 || info.cropSizeX < 0) __builtin_trap();
    return 0;
}
