#pragma once
// What the Output tests share: FITS files made by astropy, an opened file with the item
// output of its user interface, the status texts the library shows (warnings, errors and
// error codes), and stand-in stages that offer a chosen format with a description.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "io/data_set_fixture.h"
#include "opened_file_support.h"
#include "views/output_component.h"

namespace orva::testing_views {

inline bool HaveAstropy() { return testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"); }

// Runs a Python script (numpy as np, astropy.io.fits as fits imported) and answers its
// output; a failure is reported.
inline std::string RunPython(const std::string& body) {
    int status = -1;
    std::string script = "import numpy as np\nfrom astropy.io import fits\n" + body;
    // Single quotes of the script survive the shell's single-quoted word.
    std::string quoted;
    for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    std::string out = testing_io::RunCommand(ORVA_PYTHON " -c '" + quoted + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

// A cube of `frames` frames of height x width 16-bit samples with BZERO 32768 (physical
// values 0..65535), or with the given scale and zero; the values are the physical ones
// the returned Python expression rebuilds.
inline void WriteCube(const std::string& path, int frames, int height, int width, const char* kind = "u16") {
    const std::string k = kind;
    std::string data = "f, y, x = np.mgrid[0:" + std::to_string(frames) + ", 0:" + std::to_string(height) + ", 0:" +
                       std::to_string(width) + "]\n";
    if (k == "u16") {
        // Every value from 0 to 65535 occurs at the two ends.
        data += "v = ((f * 977 + y * 131 + x * 17) * 37) % 65536\nv.flat[0] = 0\nv.flat[-1] = 65535\n"
                "fits.PrimaryHDU(v.astype(np.uint16)).writeto('" + path + "')\n";
    } else {
        // Scale 2, zero 10 over signed 16-bit samples.
        data += "s = ((f * 977 + y * 131 + x * 17) % 60000 - 30000).astype(np.int16)\n"
                "h = fits.PrimaryHDU(s)\nh.header['BSCALE'] = 2.0\nh.header['BZERO'] = 10.0\n"
                "h.writeto('" + path + "')\n";
    }
    RunPython(data);
}

// What ShowWarning, ShowError and ShowErrorCode showed, in order.
class StatusTexts {
public:
    StatusTexts() {
        Texts().clear();
        StatusLineHooks hooks;
        hooks.setGroupStatus = [](int, int code, int, const char* text) {
            Texts().push_back(std::to_string(code) + " " + (text != nullptr ? text : ""));
            return 1;
        };
        hooks.printStatusLine = [](int, int code, int, const char* format, const char* name) {
            char text[512];
            std::snprintf(text, sizeof text, format, name != nullptr ? name : "");
            Texts().push_back(std::to_string(code) + " " + text);
            return 1;
        };
        SetStatusLineHooks(&hooks);
    }
    ~StatusTexts() {
        SetStatusLineHooks(nullptr);
        Texts().clear();
    }
    StatusTexts(const StatusTexts&) = delete;
    StatusTexts& operator=(const StatusTexts&) = delete;
    static std::vector<std::string>& Texts() {
        static std::vector<std::string> texts;
        return texts;
    }
};

// An opened file and the item output of its user interface.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { OutputClipMessageSwitch() = true; }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the file and makes the output (connected to the input stage); false with a
    // failure reported.
    bool Open(const std::string& path) {
        if (!file.Open(path)) return false;
        output = CreateItemOutput(&file.cui);
        if (output == nullptr) {
            ADD_FAILURE() << "no item output";
            return false;
        }
        if (!ConnectOutputToSource(output, file.item, kStageInput[0], kStageInput[1])) {
            ADD_FAILURE() << "the output does not connect to the input";
            return false;
        }
        return true;
    }
    std::string File(const std::string& name) { return file.folder.File(name); }

    OpenedFile file;
    OutputItemComponent* output = nullptr;  // held by the user interface's list
};

// A stage that offers a chosen format and answers a description and a section record.
class OfferingStage : public ComponentBase {
public:
    explicit OfferingStage(const ComponentId* id, uint32_t format = 0x40, ProjectItemBase* owner = nullptr)
        : ComponentBase(owner), id_(id) {
        offer.format = format;
        offer.element = FormatElementSize(format);
    }
    const ComponentId* GetClassId() const override { return id_; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override {
        *request = offer;
        return link == nullptr || link->AcceptFormat(request);
    }
    void* QueryFrameDescription() override { return describes ? &description : nullptr; }
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return answersRecord ? &record : nullptr; }
    void* UpstreamFrameDescription() override { return nullptr; }
    FrameDataRecord* UpstreamFrameData(int32_t, int32_t) override { return nullptr; }

    FormatRequest offer;
    bool describes = true;
    bool answersRecord = true;
    int description = 0;
    FrameDataRecord record;

private:
    const ComponentId* id_;
};

}  // namespace orva::testing_views
