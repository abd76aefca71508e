#pragma once
// What the settings, scaler and colour tests share: the FSSave preference for
// one scope, a clean settings registry, the section headers of the scaling and
// colour keys, and a recorder of the status line.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "framework/app_object.h"
#include "framework/keyword_file.h"
#include "common/error_codes.h"
#include "io/data_set.h"
#include "transform/color_settings.h"

namespace orva::testing_transform {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// 64-bit real data of `channels` channels into 3-channel pixels of 8 (or, `wide`, 16) bits.
inline ColorFormat Format(uint32_t channels, bool wide = false) {
    ColorFormat f;
    f.flags = 0x40;
    f.bits = 64;
    f.channels = channels;
    f.pixelFormat = wide ? 0x102 : 0x101;
    f.pixelWord = 1;
    f.pixelChannels = 3;
    return f;
}

// Releases a settings object that a smart pointer holds.
struct ReleaseDefaults {
    template <class T>
    void operator()(T* d) const {
        d->Release();
    }
};

// Runs tests/transform/render_reference.py with the arguments (quoted by the
// caller) and answers what it printed, or "<failed>".
inline std::string RenderReference(const std::string& arguments) {
    const std::string command =
        ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/transform/render_reference.py' " + arguments;
    std::string text;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr) text += buffer;
        if (pclose(p) != 0) text = "<failed>";
    }
    return text;
}

// The bytes of a file (none when it cannot be read).
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

// The section of the scaling settings with flags word 0.
inline std::string ScaleSection() { return "[{" + SectionNameOf(&kSingleFilterPropId, 0) + "}]"; }

// The section of the colour settings with flags word 0.
inline std::string ColourSection() { return "[{" + SectionNameOf(&kTransformationPropId, 0) + "}]"; }

// What reached the status line while a recorder lived: group, code and the
// text with its "%s" filled in.
struct StatusLine {
    int group;
    int code;
    std::string text;
};

class StatusRecorder {
public:
    StatusRecorder() {
        Lines().clear();
        StatusLineHooks hooks;
        hooks.printStatusLine = [](int group, int code, int, const char* format, const char* name) {
            std::string text = format;
            const size_t at = text.find("%s");
            if (at != std::string::npos) text.replace(at, 2, name);
            Lines().push_back({group, code, text});
            return 1;
        };
        SetStatusLineHooks(&hooks);
    }
    ~StatusRecorder() { SetStatusLineHooks(nullptr); }
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;
    static std::vector<StatusLine>& Lines() {
        static std::vector<StatusLine> lines;
        return lines;
    }
};

class ScopedSaveServiceFiles {
public:
    explicit ScopedSaveServiceFiles(bool on) : old_(TheDataSetServices().saveServiceFiles) {
        TheDataSetServices().saveServiceFiles = on;
    }
    ~ScopedSaveServiceFiles() { TheDataSetServices().saveServiceFiles = old_; }
    ScopedSaveServiceFiles(const ScopedSaveServiceFiles&) = delete;
    ScopedSaveServiceFiles& operator=(const ScopedSaveServiceFiles&) = delete;

private:
    bool old_;
};

// Every test starts and ends without registered settings (the shared defaults
// are made by the first scaler).
class TransformTest : public ::testing::Test {
protected:
    void SetUp() override { TheApp().Properties().Clear(); }
    void TearDown() override { TheApp().Properties().Clear(); }
};

}  // namespace orva::testing_transform
