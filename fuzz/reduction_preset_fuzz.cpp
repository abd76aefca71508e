// A reduction preset's section through the preset's own Load and Save (see
// settings_fuzz.h for what must hold).
#include "fuzz/settings_fuzz.h"
#include "reduction/reduction_preset.h"

namespace {

struct PresetOps {
    static constexpr bool kUrl = true;
    static orva::ReductionPreset* Make() { return orva::ReductionPreset::Create(); }
    static void Drop(orva::ReductionPreset* p) { p->Release(); }
    static bool Read(orva::ReductionPreset* p, const char* name) { return p->Read(name); }
    static bool Write(orva::ReductionPreset* p, const char* name) { return p->Write(name); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orva::fuzz::FuzzSettings<PresetOps>(data, size);
}
