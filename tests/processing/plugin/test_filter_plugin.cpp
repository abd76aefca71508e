// A filter plug-in library as a module written elsewhere would be: the two exported
// entry points and a descriptor whose create function fills the required entry.
#include "processing/filter_plugin.h"

namespace {

using namespace orva;

int32_t TakeAsItIs(FilterInstance*, const FormatRequest* input, FormatRequest*, FormatRequest* output) {
    *output = *input;
    return 1;
}

bool Create(FilterCallbacks* callbacks, const FilterModuleDescriptor*) {
    callbacks->negotiate = &TakeAsItIs;
    return true;
}

void Close(FilterCallbacks* callbacks) { callbacks->state = nullptr; }

bool GlobalInit(void*, int32_t flag) { return flag == 1; }

const ComponentId kId{{FourCC("PLUG"), 0, FourCC("FILT"), FourCC("TEST")}, "Testing"};
const FilterModuleDescriptor kDescriptor{&kId,  nullptr, kFilterModuleFlag, "plugtest", "Plug-in Test Filter",
                                         "ORVA tests", &Create, &Close, &GlobalInit};

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t ZelFilterModuleGetInfo(FilterModuleInfo* info,
                                                                                int32_t* count) {
    info->version = kFilterInterfaceVersion;
    info->flags = 1;
    info->charType = kFilterCharType;
    *count = 1;
    return 1;
}

extern "C" __attribute__((visibility("default"))) void ZelFilterModuleHandler(void*, FilterHandlerRequest* request,
                                                                             int32_t* count) {
    request->descriptor = &kDescriptor;
    *count = 1;
}
