#pragma once
// Shared by the data set tests: a temporary folder, a captured program log, test
// files of generated samples, data sets described in code, and opening a file through
// the program's open path with the built-in formats.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "common/cpu_info.h"
#include "common/log.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "io/read_kernel.h"
#include "io/section_stats.h"
#include "io/stream.h"
#include "test_support.h"

namespace orva::testing_io {

// The generator of every sample: the physical value at (x, y) of frame f.
inline uint16_t Sample(uint64_t x, uint64_t y, uint64_t f) {
    return static_cast<uint16_t>((x * 7 + y * 13 + f * 101) & 0xFFFF);
}

class DataSetFixture : public ::testing::Test {
protected:
    void SetUp() override {
        logPath = dir + "/test.log";
        gLogPath = logPath;
        LogResetForTest();
        LogSetOpener([]() -> FILE* { return std::fopen(gLogPath.c_str(), "a"); });
    }
    void TearDown() override {
        LogResetForTest();
        CloseAllStreams();
    }
    std::string Log() {
        LogPrintf(nullptr);  // flush and close; the next line opens it anew
        return testing_util::Exists(logPath) ? testing_util::ReadText(logPath) : std::string();
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        testing_util::WriteText(folder.File(name), bytes);
        return folder.File(name);
    }
    // Frames of big-endian 16-bit samples stored as value - 32768 (zero 32768 restores them).
    static std::string BigEndianFrames(uint32_t w, uint32_t h, uint32_t frames) {
        std::string s(static_cast<size_t>(w) * h * frames * 2, '\0');
        size_t at = 0;
        for (uint32_t f = 0; f < frames; ++f)
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const uint16_t stored = static_cast<uint16_t>(Sample(x, y, f) ^ 0x8000);
                    s[at++] = static_cast<char>(stored >> 8);
                    s[at++] = static_cast<char>(stored & 0xFF);
                }
        return s;
    }
    // A new data set (tag "TEST", not attached) of `frames` frames of one section of
    // w x h samples of the type, `channels` to a sample.
    static DataSet* Shaped(uint32_t type, int64_t w, int64_t h, uint32_t channels = 1,
                           uint32_t frames = 1) {
        DataSet* d = DataSet::Create(MakeFormatTag("TEST"));
        d->input = {type, 8 * DataSetInfo::ElementBytes(type), channels};
        d->sizeX = d->cropSizeX = w;
        d->sizeY = d->cropSizeY = h;
        d->sizeZ = d->cropSizeZ = 1;
        d->sections = 1;
        d->SetTotalFrames(frames, true);
        return d;
    }
    // A data set of w x h x frames big-endian i16 samples with zero 32768, described in code
    // and attached to the file (which may be shorter than the description).
    DataSet* Describe(const std::string& path, uint32_t w, uint32_t h, uint32_t frames,
                      uint32_t type = 0x82, int64_t begin = 0) {
        DataSet* d = Shaped(type, w, h, 1, frames);
        d->dataBegin = begin;
        d->zero = 32768.0;
        d->flags = kFlagSampleSize | kFlagSign | kFlagByteOrder;
        Attach(d, path);
        return d;
    }
    void Attach(DataSet* d, const std::string& path) {
        static FormatDesc desc = [] {
            FormatDesc f;
            f.tag = MakeFormatTag("TEST");
            f.name = "Test data";
            f.extensions = "tst\0";
            return f;
        }();
        InputSource source;
        source.format = &desc;
        ASSERT_GE(StreamOpen(&source.stream, kStreamBinary, path.c_str()), 2);
        ASSERT_TRUE(d->AttachInput(&source, source.stream, nullptr));
        StreamClose(&source.stream);
    }
    // Reads a window; the image buffer holds the values.
    bool Read(DataSet* d, ReadWindow* w) {
        image.SetTypeAndCount(0x40, 1);
        return d->ReadWindowData(&image, w);
    }
    // The one value at (x, y) of the frame, or -999999 when the read fails.
    double Value(DataSet* d, int64_t x, int64_t y, int32_t frame = 0) {
        ReadWindow w{frame, 0, x, y, 1, 1, 0, 1, 0};
        return Read(d, &w) ? At(0, 0) : -999999.0;
    }
    double At(uint32_t x, uint32_t y) const {
        return static_cast<const double*>(image.data)[static_cast<size_t>(y) * image.width + x];
    }

    testing_util::TempFolder folder;  // removed after TearDown
    const std::string dir = folder.Path();
    std::string logPath;
    TypedFrameBuffer image;
    static inline std::string gLogPath;
};

// Sizes as "WxH", so that a mismatch shows both axes at once.
inline std::string XY(int64_t x, int64_t y) { return std::to_string(x) + "x" + std::to_string(y); }
template <class T>
std::string XY(const T& d) {
    return XY(d.sizeX, d.sizeY);
}

// A receiver that keeps the data set it is given.
class KeepReceiver : public InputReceiver {
public:
    ~KeepReceiver() override {
        if (kept) kept->Release();
    }
    int TakeDataSet(DataSet* d) override {
        if (kept) kept->Release();
        d->AddRef();
        kept = d;
        ++calls;
        return 2;
    }
    DataSet* kept = nullptr;
    int calls = 0;
};

// A receiver that keeps every data set it is given (readers of several units).
class KeepAll : public InputReceiver {
public:
    ~KeepAll() override {
        for (DataSet* d : kept) d->Release();
    }
    int TakeDataSet(DataSet* d) override {
        d->AddRef();
        kept.push_back(d);
        return 2;
    }
    std::vector<DataSet*> kept;
};

// The class of the format information component the data set keeps, or nullptr.
inline const ComponentId* FormatInfoClass(DataSet* d) {
    void* info = nullptr;
    if (d == nullptr || !d->QueryInterface(&kFormatInfoId, &info)) return nullptr;
    const ComponentId* id = static_cast<FormatInfo*>(info)->GetClassId();
    static_cast<FormatInfo*>(info)->Release();
    return id;
}

// The built-in formats in a registry of their own, released with it.
struct BuiltinFormats {
    BuiltinFormats() { RegisterBuiltinFormats(registry, &inputs, &outputs); }
    ~BuiltinFormats() { ReleaseFormats(registry); }
    BuiltinFormats(const BuiltinFormats&) = delete;
    BuiltinFormats& operator=(const BuiltinFormats&) = delete;
    FormatRegistry registry;
    int inputs = 0, outputs = 0;
};

// Runs a reader's open (a callable taking the InputSource*) on the file as the registry
// hands it over, with `format` as the descriptor it came by; the data set goes to
// `receiver`. The reader's result.
template <class Open>
int OpenWithReader(const FormatDesc* format, const std::string& path, InputReceiver* receiver,
                   Open open) {
    PathName name;
    if (name.Set(path.c_str()) != 2) {
        ADD_FAILURE() << "bad path " << path;
        return -1;
    }
    OpenRequest request;
    InputSource source;
    source.name = &name;
    source.request = &request;
    source.receiver = receiver;
    source.format = format;
    const int r = open(&source);
    StreamClose(&source.stream);
    return r;
}

// Opens the file through the program's open path (OpenInputFile) with the registry's
// formats, a forced format when `forced` is not zero; the data set goes to `receiver`.
inline int OpenThroughRegistry(FormatRegistry* registry, const std::string& path,
                               InputReceiver* receiver, FormatTag forced = {}) {
    PathName name;
    if (name.Set(path.c_str()) != 2) {
        ADD_FAILURE() << "bad path " << path;
        return -1;
    }
    OpenRequest request;
    request.registry = registry;
    request.forcedFormat = forced;
    InputSource source;
    source.receiver = receiver;
    return OpenInputFile(&source, &request, &name);
}

// Every piece appears in the text (a log, a message).
inline void ExpectContains(const std::string& text, std::initializer_list<std::string> pieces) {
    for (const std::string& piece : pieces)
        EXPECT_NE(text.find(piece), std::string::npos) << "missing \"" << piece << "\" in:\n" << text;
}

// Runs a shell command; its standard output, and its exit status (-1 when it did not
// end by itself) in *status.
inline std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    *status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int s = pclose(p);
    if (WIFEXITED(s)) *status = WEXITSTATUS(s);
    return out;
}

// Whether a shell command succeeds (a tool the test compares against is installed).
inline bool HaveTool(const std::string& command) {
    int status = 0;
    RunCommand(command + " >/dev/null 2>&1", &status);
    return status == 0;
}

// Data sets read by the real section kernels (statistics and preview) at the slowest
// speed class, each released at the end of the test.
class SectionKernelFixture : public DataSetFixture {
protected:
    void SetUp() override {
        DataSetFixture::SetUp();
        SetCpuSpeedClass(0);
        // Other tests may have put stand-ins in the table.
        TheSectionKernels() = SectionKernelTable{&InputReadKernel2, &InputReadKernel2Swapped,
                                                 &InputReadKernel3, &InputReadKernel3Swapped};
    }
    void TearDown() override {
        SetCpuSpeedClass(-1);
        for (DataSet* d : sets) d->Release();
        DataSetFixture::TearDown();
    }
    DataSet* Keep(DataSet* d) {
        sets.push_back(d);
        return d;
    }
    std::vector<DataSet*> sets;
};

}  // namespace orva::testing_io
