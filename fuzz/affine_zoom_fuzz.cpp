// The affine page's reader of typed per-cent zooms (AffineTypedZoom) and its writer
// (AffinePercentText). Input: 8 bytes of a double (the lowest factor), 8 bytes of a
// double (a factor to write), then the typed text.
//
// What must hold: a typed value that reads lies within [lowest, 512] (lowest at most
// 512); a text of the C library's number, with blanks and a "%", reads as it; every
// factor from 0.001 to 512 written as per-cent text reads back within the precision of
// the text (twelve decimals of per cent).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/text_fuzz_support.h"
#include "processing/modules/affine_panel.h"

namespace {

double TakeDouble(orva::fuzz::InputParts& in) {
    uint8_t bytes[8] = {};
    for (uint8_t& b : bytes) b = in.Byte();
    double v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::InputParts in{data, size};
    double lowest = std::fabs(TakeDouble(in));
    if (!(lowest >= 1e-9 && lowest <= 512.0)) lowest = 0.001;
    const double written = TakeDouble(in);
    const std::string text = in.Rest();

    double factor = -1.0;
    if (AffineTypedZoom(text.c_str(), lowest, &factor)) {
        fuzz::Require(factor >= lowest && factor <= 512.0, "a typed zoom lies in its range");
    } else {
        fuzz::Require(factor == -1.0, "a refused text leaves the factor");
    }
    // Against the C library for a text that is one number (blanks and "%" around it).
    if (text.find('\0') == std::string::npos) {
        const size_t first = text.find_first_not_of(" \t");
        std::string core = first == std::string::npos ? "" : text.substr(first);
        while (!core.empty() && (core.back() == ' ' || core.back() == '\t')) core.pop_back();
        if (!core.empty() && core.back() == '%') core.pop_back();
        while (!core.empty() && (core.back() == ' ' || core.back() == '\t')) core.pop_back();
        char* end = nullptr;
        const double v = core.empty() ? 0.0 : std::strtod(core.c_str(), &end);
        if (!core.empty() && *end == '\0' && end != core.c_str() && std::isfinite(v) && v > 0.0) {
            double got = 0.0;
            fuzz::Require(AffineTypedZoom(text.c_str(), lowest, &got), "a number reads");
            fuzz::Require(got == std::fmin(512.0, std::fmax(lowest, v / 100.0)), "the number is the typed one");
        }
    }
    // The written text reads back.
    if (std::isfinite(written) && std::fabs(written) >= 0.001 && std::fabs(written) <= 512.0) {
        const double z = std::fabs(written);
        char shown[40];
        AffinePercentText(z, shown);
        fuzz::Require(std::strlen(shown) < 40 && shown[std::strlen(shown) - 1] == '%', "a per-cent text");
        double back = 0.0;
        fuzz::Require(AffineTypedZoom(shown, 1e-9, &back), "a written zoom reads");
        fuzz::Require(std::fabs(back - z) <= 1e-14 + z * 1e-15, "a written zoom reads back as itself");
    }
    return 0;
}
