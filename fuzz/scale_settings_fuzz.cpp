// The scaling section of a service file through the scaling settings' own Read and
// Write (see settings_fuzz.h for what must hold).
#include "fuzz/settings_fuzz.h"
#include "transform/scale_settings.h"

namespace {

struct ScaleOps {
    static constexpr bool kUrl = true;
    static orva::ScaleDefaults* Make() { return orva::ScaleDefaults::Create(); }
    static void Drop(orva::ScaleDefaults* s) { s->Release(); }
    static bool Read(orva::ScaleDefaults* s, const char* name) { return s->Read(name); }
    static bool Write(orva::ScaleDefaults* s, const char* name) { return s->Write(name); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orva::fuzz::FuzzSettings<ScaleOps>(data, size);
}
