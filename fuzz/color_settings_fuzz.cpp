// The colour section of a service file through the colour settings' own Read and Write
// (see settings_fuzz.h for what must hold).
#include "fuzz/settings_fuzz.h"
#include "transform/color_settings.h"

namespace {

struct ColourOps {
    static constexpr bool kUrl = true;
    static orva::ColorSettings* Make() { return new orva::ColorSettings; }
    static void Drop(orva::ColorSettings* s) { delete s; }
    static bool Read(orva::ColorSettings* s, const char* name) { return s->Read(name); }
    static bool Write(orva::ColorSettings* s, const char* name) { return s->Write(name); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orva::fuzz::FuzzSettings<ColourOps>(data, size);
}
