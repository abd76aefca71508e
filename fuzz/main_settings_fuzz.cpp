// The main section of orva.cfg through ReadMainSettings and WriteMainSettings (see
// settings_fuzz.h for what must hold).
#include "framework/main_settings.h"
#include "fuzz/settings_fuzz.h"

namespace {

struct MainOps {
    static constexpr bool kUrl = false;
    static orva::MainSettings* Make() { return new orva::MainSettings; }
    static void Drop(orva::MainSettings* s) { delete s; }
    static bool Read(orva::MainSettings* s, const char* name) { return orva::ReadMainSettings(name, s); }
    static bool Write(orva::MainSettings* s, const char* name) { return orva::WriteMainSettings(name, *s); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orva::fuzz::FuzzSettings<MainOps>(data, size);
}
