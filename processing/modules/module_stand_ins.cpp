// The convolution module's descriptor with its key, title, flags and id. Until its
// convolution work exists, each instance takes its input as it is and has no
// process entry: the chain passes over it and frames pass unchanged.
#include "processing/modules/builtin_modules.h"

namespace orva {

namespace {

int32_t TakeInputAsItIs(FilterInstance*, const FormatRequest* input, FormatRequest*, FormatRequest* output) {
    *output = *input;
    return 1;
}

bool CreatePassThrough(FilterCallbacks* callbacks, const FilterModuleDescriptor*) {
    callbacks->negotiate = &TakeInputAsItIs;
    return true;
}

void ClosePassThrough(FilterCallbacks* callbacks) { callbacks->state = nullptr; }

const FilterModuleDescriptor kConvolver{&kConvolutionModuleId, nullptr, kFilterModuleFlag, "convl", "Convolver",
                                        nullptr, &CreatePassThrough, &ClosePassThrough, nullptr};

}  // namespace

const FilterModuleDescriptor& ConvolverModuleDescriptor() { return kConvolver; }

}  // namespace orva
