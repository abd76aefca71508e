// The output writer against a test upstream (frames computed from their
// position) and a test format that writes the packed data as it comes.
#include "io/output_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "data/byte_swap.h"
#include "data/kernel_util.h"
#include "data/scale_inplace.h"
#include "data_set_fixture.h"
#include "io/format_registry.h"
#include "io/old_service_file.h"
#include "io/output_pack_kernel.h"
#include "io/service_description.h"
#include "test_support.h"
#include "write_source_fixture.h"

namespace orva {
namespace {

using testing_io::ExpectContains;
using testing_io::TestSource;

using testing_util::Exists;
using testing_util::ReadText;
using testing_util::TempFolder;

// The test format: the packed data from offset 0, as the writer delivers it.
bool TestWrite(OutputWriter* job) {
    int fd = ::open(job->OutputPath(), O_WRONLY | O_TRUNC);
    if (fd < 0) return false;
    FileOutputSink sink(fd, 0);
    int r = job->WriteFramesClipped(&sink);
    ::close(fd);
    if (r < 2) return false;
    job->ResolveClipping();
    return job->State() != kOutputStateFileError && job->State() != kOutputStateStopped;
}

FormatDesc MakeTestFormat() {
    FormatDesc d;
    d.tag = MakeFormatTag("TESTRAW");
    d.name = "TestRaw";
    d.write = &TestWrite;
    return d;
}

struct Dialogs {
    int answer = kClipAnswerNewRange;
    int sizeAnswer = 1;
    std::vector<std::string> texts;
    std::vector<std::string> titles;
    std::function<void()> answerCheck;  // run while a message box is up
};
Dialogs* gDialogs = nullptr;

// Installs question hooks for the life of the object (ui says whether the interface is up).
class HookScope {
public:
    explicit HookScope(bool ui) {
        gDialogs = &dialogs;
        OutputWriterHooks& h = TheOutputWriterHooks();
        saved_ = h;
        h.uiUp = ui ? +[] { return true; } : nullptr;
        h.messageDialog = +[](const char* title, const char* text, uint32_t style) {
            EXPECT_EQ(style, kClipDialogStyle);
            gDialogs->titles.push_back(title);
            gDialogs->texts.push_back(text);
            return gDialogs->answer;
        };
        h.messageBox = +[](const char* text, const char* title, uint32_t) {
            gDialogs->titles.push_back(title);
            gDialogs->texts.push_back(text);
            if (gDialogs->answerCheck) gDialogs->answerCheck();
            return gDialogs->sizeAnswer;
        };
    }
    ~HookScope() {
        TheOutputWriterHooks() = saved_;
        gDialogs = nullptr;
    }
    Dialogs dialogs;

private:
    OutputWriterHooks saved_;
};

// A writer job over a test source, writing through the test format unless told otherwise.
struct Job : testing_io::WriterJob {
    Job(uint32_t type, int64_t w, int64_t h, uint32_t frames, TestSource::ValueFn fn, uint32_t channels = 1)
        : WriterJob(type, w, h, frames, std::move(fn), channels) {
        format = MakeTestFormat();
    }
};

template <typename T>
std::vector<T> ReadSamples(const std::string& path) {
    std::string bytes = ReadText(path);
    std::vector<T> v(bytes.size() / sizeof(T));
    std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
    return v;
}

// The real of `size` bytes (4 or 8) at index i of the bytes, stored swapped or not.
double RealAt(const std::string& bytes, size_t size, size_t i, bool swapped = false) {
    unsigned char b[8];
    std::memcpy(b, bytes.data() + size * i, size);
    if (swapped) std::reverse(b, b + size);
    float f = 0.0f;
    double d = 0.0;
    std::memcpy(size == 4 ? static_cast<void*>(&f) : &d, b, size);
    return size == 4 ? f : d;
}

// The first sample of a file of 64 x 32 signed 16-bit samples (0 when its size is wrong).
int16_t FirstOf64x32(const std::string& path) {
    const std::vector<int16_t> v = ReadSamples<int16_t>(path);
    EXPECT_EQ(v.size(), 64u * 32u) << path;
    return v.size() == 64u * 32u ? v[0] : 0;
}

double One(int, int, int64_t, int64_t, int64_t, int) { return 1.0; }

double Ramp(int, int, int64_t x, int64_t y, int64_t, int) {
    return std::fmod(static_cast<double>(x * 977 + y * 131), 60001.0);
}

TEST(OutputWriterTest, ClippingQuestionAndNewRangeRoundTrip) {
    TempFolder dir;
    // A 16-bit unsigned source whose values reach 60000, written as signed 16-bit.
    auto fn = [](int f, int s, int64_t x, int64_t y, int64_t z, int c) {
        return x == 0 && y == 0 ? 60000.0 : Ramp(f, s, x, y, z, c);
    };
    const std::string name = dir.File("out0010001.raw");
    {
        HookScope hooks(true);
        Job job(kTypeU16, 64, 32, 1, fn);
        ASSERT_EQ(job.Run(dir.File("result.raw"), kTypeI16), 1);
        EXPECT_TRUE(job.writer->ClipQuestionShown());
        ASSERT_EQ(hooks.dialogs.titles.size(), 1u);
        EXPECT_EQ(hooks.dialogs.titles[0], "Clipping Detect...");
        // The measured 0..60000 maps to 0..60000 against -32768..32767.
        EXPECT_EQ(hooks.dialogs.texts[0], "Error: (delta) min 32768, max 27233");
        EXPECT_EQ(std::string(job.writer->LastFileName()), name);
        ServiceDescription* d = nullptr;
        ASSERT_TRUE(LoadFsDescriptionForPath(name.c_str(), &d));
        const double bscale = d->scale, bzero = d->zero;
        delete d;
        EXPECT_NEAR(bscale, 60000.0 / 65535.0, 1e-12);
        EXPECT_NEAR(bzero, 60000.0 / 65535.0 * 32768.0, 1e-6);
        std::vector<int16_t> stored = ReadSamples<int16_t>(name);
        ASSERT_EQ(stored.size(), 64u * 32u);
        EXPECT_EQ(stored[0], 32767);
        for (int64_t y = 0; y < 32; ++y)
            for (int64_t x = 0; x < 64; ++x) {
                double physical = stored[y * 64 + x] * bscale + bzero;
                ASSERT_NEAR(physical, fn(0, 0, x, y, 0, 0), bscale) << x << "," << y;
            }
        ExpectContains(ReadText(dir.File("result.log")),
                       {"type=INT16", "x=0, w=64\ny=0, h=32\n",
                        "clipping detect: frame=0, section=0, minmax=0, 60000 \ndelta err: "
                        "dmin=32768, dmax=27233",
                        "select new range: \nbscale=1.09225, bzero=-32768\n",
                        "try again... frame=0, section=0", "stream=1, err=0\nok",
                        "/////////////////////\nwrite ", "TestRaw, , \n"});
    }
    {
        // Ignore keeps the saturated file; cancel leaves no file at all.
        HookScope hooks(true);
        hooks.dialogs.answer = kClipAnswerIgnore;
        Job job(kTypeU16, 64, 32, 1, fn);
        ASSERT_EQ(job.Run(dir.File("ign.raw"), kTypeI16, "#ign"), 1);
        EXPECT_EQ(FirstOf64x32(dir.File("ign0010001.raw")), 32767);
        ExpectContains(ReadText(dir.File("ign.log")), {"user: clipping ignore..."});

        hooks.dialogs.answer = kClipAnswerCancel;
        Job cancelled(kTypeU16, 64, 32, 1, fn);
        EXPECT_EQ(cancelled.Run(dir.File("can.raw"), kTypeI16, "#can"), 0);
        EXPECT_EQ(cancelled.writer->Result(), kOutputCancelled);
        EXPECT_FALSE(Exists(dir.File("can0010001.raw")));
        ExpectContains(ReadText(dir.File("can.log")), {"user: cancel...\nerror write..."});
    }
    {
        // Without a user interface nothing is asked: a new range keeps the data.
        HookScope hooks(false);
        Job job(kTypeU16, 64, 32, 1, fn);
        ASSERT_EQ(job.Run(dir.File("auto.raw"), kTypeI16, "#auto"), 1);
        EXPECT_TRUE(hooks.dialogs.titles.empty());
        EXPECT_FALSE(job.writer->ClipQuestionShown());
        EXPECT_EQ(FirstOf64x32(dir.File("auto0010001.raw")), 32767);
    }
    // Only the data files, their service files and logs remain (no temporary file).
    for (const std::string& f : dir.Files()) EXPECT_NE(f.rfind("orv", 0), 0u) << f;
}

TEST(OutputWriterTest, SamplesWithoutDataTakeTheSpecialValue) {
    TempFolder dir;
    // Every seventh sample has no data (-DBL_MAX); the others count up from 3, within
    // every type (nothing clips, so no new range is chosen).
    auto fn = [](int, int, int64_t x, int64_t y, int64_t, int) {
        const int64_t i = y * 16 + x;
        return i % 7 == 3 ? -DBL_MAX : static_cast<double>(i) + 3.0;
    };
    struct Case {
        uint32_t type;
        bool has;
        double special;
        double written;  // what a sample without data becomes
    };
    const Case cases[] = {
        {kTypeI16, false, 0.0, -32768.0},           // none: the type's lowest value
        {kTypeI16, true, -1.0, -1.0},
        {kTypeI16 | kElemSwapped, true, 1234.0, 1234.0},
        {kTypeU8, true, 300.4, 255.0},              // rounded and saturated into the type
        {kTypeU8, true, 7.6, 8.0},
        {kTypeI32, true, -2.5, -3.0},               // halves away from zero
        {kTypeF32, true, 0.5, 0.5},
        {kTypeF64 | kElemSwapped, true, -99.25, -99.25},
        {kTypeF64, false, 0.0, std::nan("")},       // without one, real output writes NaN
        {kTypeF32 | kElemSwapped, false, 0.0, std::nan("")},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        Job job(kTypeF64, 16, 4, 1, fn);
        job.writer->SetAutoRange(true);
        job.writer->SetSpecialValue(c.has, c.special);
        const std::string pattern = "#s" + std::to_string(n++);
        ASSERT_EQ(job.Run(dir.File(pattern.substr(1) + ".raw"), c.type, pattern.c_str()), 1);
        const std::string bytes = ReadText(job.writer->LastFileName());
        const uint32_t size = ElementSize(c.type);
        ASSERT_EQ(bytes.size(), 64u * size);
        const bool swapped = (c.type & kElemSwapped) != 0;
        for (size_t i = 0; i < 64; ++i) {
            double value = 0.0;
            unsigned char b[8] = {};
            std::memcpy(b, bytes.data() + i * size, size);
            if (swapped) std::reverse(b, b + size);
            switch (c.type & ~kElemSwapped) {
                case kTypeI16: { int16_t v; std::memcpy(&v, b, 2); value = v; break; }
                case kTypeU8: value = b[0]; break;
                case kTypeI32: { int32_t v; std::memcpy(&v, b, 4); value = v; break; }
                case kTypeF32: value = RealAt(bytes, 4, i, swapped); break;
                default: value = RealAt(bytes, 8, i, swapped); break;
            }
            const double want = i % 7 == 3 ? c.written : static_cast<double>(i) + 3.0;
            if (std::isnan(want)) ASSERT_TRUE(std::isnan(value)) << i;
            else ASSERT_EQ(value, want) << i;
        }
    }
}

// A sink that keeps the blocks it is handed and fails from block `failAt` on (0: never);
// it counts the blocks handed to it after it failed, and the threads that wrote.
struct RecordingSink : OutputSink {
    std::vector<unsigned char> bytes;
    int blocks = 0, failAt = 0, afterFailure = 0;
    bool failed = false;
    std::vector<std::thread::id> threads;
    bool WriteBlock(const void* data, size_t n) override {
        if (failed) ++afterFailure;
        if (std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end())
            threads.push_back(std::this_thread::get_id());
        if (++blocks == failAt || failed) return !(failed = true);
        const auto* b = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), b, b + n);
        return true;
    }
};
RecordingSink* gRecording = nullptr;

TEST(OutputWriterTest, BlocksGoToTheSinkInOrderWhileTheNextArePacked) {
    TempFolder dir;
    // Every run writes the same name again: the user agrees to each replacement.
    HookScope hooks(true);
    hooks.dialogs.sizeAnswer = 6;
    struct ThreadMode {
        explicit ThreadMode(int mode) { SetStagedWriteThreadForTest(mode); }
        ~ThreadMode() { SetStagedWriteThreadForTest(0); }
    } always(1);
    FormatDesc format = MakeTestFormat();
    format.write = +[](OutputWriter* job) { return job->WriteFramesClipped(gRecording) >= 2; };
    // 5 frames of 512 x 300 reals: 6 MB in blocks of up to 256 KiB,
    // written as 64-bit reals (copied) and as signed 16-bit integers (packed).
    const auto fn = [](int f, int64_t x, int64_t y) { return static_cast<double>(f * 1000 + x - 3 * y); };
    for (uint32_t type : {kTypeF64, kTypeI16}) {
        RecordingSink sink;
        gRecording = &sink;
        const testing_io::WriteRun run = testing_io::RunWriter(&format, dir.File("order.raw"), kTypeF64, type,
                                                               512, 300, 5, fn);
        EXPECT_EQ(run.filesWritten, 1);
        const size_t size = ElementSize(type);
        ASSERT_EQ(sink.bytes.size(), 5u * 512 * 300 * size);
        EXPECT_GE(sink.blocks, static_cast<int>((sink.bytes.size() + 0x3FFFF) / 0x40000));
        EXPECT_EQ(sink.threads.size(), 1u);
        EXPECT_NE(sink.threads[0], std::this_thread::get_id());
        for (int f = 0; f < 5; ++f)
            for (int64_t y = 0; y < 300; ++y)
                for (int64_t x = 0; x < 512; x += 7) {
                    const size_t at = ((f * 300 + y) * 512 + x) * size;
                    double got;
                    if (size == 8) {
                        std::memcpy(&got, &sink.bytes[at], 8);
                    } else {
                        int16_t v;
                        std::memcpy(&v, &sink.bytes[at], 2);
                        got = v;
                    }
                    ASSERT_EQ(got, fn(f, x, y)) << f << " " << x << "," << y;
                }
    }
    // A failed block ends the write; no block is handed over after it.
    RecordingSink failing;
    failing.failAt = 3;
    gRecording = &failing;
    const testing_io::WriteRun run = testing_io::RunWriter(&format, dir.File("fail.raw"), kTypeF64, kTypeF64,
                                                           512, 300, 5, fn);
    EXPECT_EQ(run.filesWritten, 0);
    EXPECT_EQ(failing.blocks, 3);
    EXPECT_EQ(failing.afterFailure, 0);
    EXPECT_GT(failing.bytes.size(), 0u);
    EXPECT_LE(failing.bytes.size(), 2u * 0x40000);
    // Without a thread (the processors all busy) the blocks go in place, in order.
    {
        ThreadMode never(-1);
        RecordingSink sink;
        gRecording = &sink;
        EXPECT_EQ(testing_io::RunWriter(&format, dir.File("never.raw"), kTypeF64, kTypeF64, 512, 300, 2, fn).filesWritten, 1);
        ASSERT_EQ(sink.bytes.size(), 2u * 512 * 300 * 8);
        EXPECT_GT(sink.blocks, 2);
        EXPECT_EQ(sink.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
        double last;
        std::memcpy(&last, &sink.bytes[sink.bytes.size() - 8], 8);
        EXPECT_EQ(last, fn(1, 511, 299));
    }
    // A write that fits one block is handed over at the end, on the writing thread.
    RecordingSink small;
    gRecording = &small;
    EXPECT_EQ(testing_io::RunWriter(&format, dir.File("small.raw"), kTypeF64, kTypeI16, 64, 32, 2, fn).filesWritten, 1);
    EXPECT_EQ(small.blocks, 1);
    EXPECT_EQ(small.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
    gRecording = nullptr;
}

TEST(OutputWriterTest, NegativeStepWritesFramesBackwardsAndCopiesSamples) {
    TempFolder dir;
    HookScope hooks(false);
    // Signed 16-bit written as signed 16-bit: the samples are copied unchanged.
    auto fn = [](int f, int, int64_t x, int64_t y, int64_t, int) {
        return -1000.0 * f + x - 7 * y;
    };
    Job job(kTypeI16, 5, 4, 6, fn);
    job.writer->SetFrameRange(1, 5, -2);
    ASSERT_EQ(job.Run(dir.File("seq.raw"), kTypeI16), 1);
    EXPECT_EQ(job.source->framesPulled, (std::vector<int>{5, 3, 1}));
    std::vector<int16_t> stored = ReadSamples<int16_t>(dir.File("out0060001.raw"));
    ASSERT_EQ(stored.size(), 3u * 20u);
    const int order[3] = {5, 3, 1};
    for (int i = 0; i < 3; ++i)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(stored[i * 20 + y * 5 + x], -1000 * order[i] + x - 7 * y);
    const std::string log = ReadText(dir.File("seq.log"));
    ExpectContains(log, {"frame_first=1, frame_last=5\nstep=-2\n", "ok: stream=1, err=0, frames=3, sections=3"});
    EXPECT_EQ(log.find("clipping"), std::string::npos) << log;
    ServiceDescription* d = nullptr;
    ASSERT_TRUE(LoadFsDescriptionForPath(dir.File("out0060001.raw").c_str(), &d));
    EXPECT_EQ(d->framesMax, 3u);
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(5, 4));
    EXPECT_EQ(d->scale, 1.0);
    EXPECT_EQ(d->zero, 0.0);
    delete d;
}

TEST(OutputWriterTest, ScaleZeroChannelsAndRealOutputs) {
    TempFolder dir;
    HookScope hooks(true);
    hooks.dialogs.answer = kClipAnswerIgnore;
    // Three channels; only the second one, as 8-bit unsigned with bscale 0.5 and bzero 10.
    auto fn = [](int, int, int64_t x, int64_t, int64_t, int c) {
        return 10.0 + 0.5 * x + 1000.0 * (c != 1);
    };
    {
        Job job(kTypeF64, 300, 2, 1, fn, 3);
        job.writer->SetScaleZero(0.5, 10.0);
        job.writer->SetOutputName("#sel");
        job.writer->SetTargetName(dir.File("sel.raw").c_str());
        job.writer->SetOutputParams(kTypeU8, true, 2, 0, 0);
        ASSERT_TRUE(job.writer->ConnectSourceInfo(&job.info));
        ASSERT_TRUE(job.writer->PrepareWrite(&job.format));
        EXPECT_EQ(job.writer->Channels(), 1u);
        ASSERT_EQ(job.writer->WriteRun(), 1);
        std::vector<uint8_t> stored = ReadSamples<uint8_t>(dir.File("sel0010001.raw"));
        ASSERT_EQ(stored.size(), 600u);
        // x = 0..255 fits, x = 256.. saturates at 255 (the clipping is ignored).
        for (int x = 0; x < 300; ++x) EXPECT_EQ(stored[x], x <= 255 ? x : 255);
    }
    {
        // A missing value (-DBL_MAX) is stored as the lowest value and raises no question.
        hooks.dialogs.titles.clear();
        Job job(kTypeF64, 6, 1, 1, [](int, int, int64_t x, int64_t, int64_t, int) {
            return x == 2 ? -1.7976931348623157e308 : 100.0 * x;
        });
        ASSERT_EQ(job.Run(dir.File("m.raw"), kTypeI16, "#m"), 1);
        EXPECT_TRUE(hooks.dialogs.titles.empty());
        EXPECT_EQ(ReadSamples<int16_t>(dir.File("m0010001.raw")),
                  (std::vector<int16_t>{0, 100, -32768, 300, 400, 500}));
        EXPECT_EQ(job.writer->MeasuredMin(), 0.0);
        EXPECT_EQ(job.writer->MeasuredMax(), 500.0);
    }
    {
        // Big-endian 32-bit reals (0x80): bytes reversed, values exact.
        Job job(kTypeF64, 7, 1, 1,
                [](int, int, int64_t x, int64_t, int64_t, int) { return x * 0.25 - 1.0; });
        ASSERT_EQ(job.Run(dir.File("f.raw"), kTypeF32 | kElemSwapped, "#f"), 1);
        std::string bytes = ReadText(dir.File("f0010001.raw"));
        ASSERT_EQ(bytes.size(), 28u);
        for (int x = 0; x < 7; ++x) EXPECT_EQ(RealAt(bytes, 4, x, true), x * 0.25 - 1.0);
    }
    {
        // Real outputs convert the pulled values without a scratch copy: a run longer
        // than one conversion pass, with a missing value and an infinity that take no
        // part in the range, as 32-bit and as 64-bit reals (a row of these beyond the
        // size of one write to the file).
        auto values = [](int, int, int64_t x, int64_t, int64_t, int) {
            if (x == 5000) return -1.7976931348623157e308;
            if (x == 7) return std::numeric_limits<double>::infinity();
            return x * 0.5 - 100.0;
        };
        for (uint32_t type : {kTypeF32, kTypeF64}) {
            const int width = type == kTypeF32 ? 9000 : 40000;
            Job job(kTypeF64, width, 1, 1, values);
            ASSERT_EQ(job.Run(dir.File("r.raw"), type, "#r"), 1);
            EXPECT_EQ(job.writer->MeasuredMin(), -100.0);
            EXPECT_EQ(job.writer->MeasuredMax(), (width - 1) * 0.5 - 100.0);
            const std::string bytes = ReadText(dir.File("r0010001.raw"));
            std::remove(dir.File("r0010001.raw").c_str());  // the next type writes it again
            const size_t size = type == kTypeF32 ? 4 : 8;
            ASSERT_EQ(bytes.size(), static_cast<size_t>(width) * size);
            for (int x : {0, 6, 8, 4095, 4096, 4999, 5001, width - 1})
                EXPECT_EQ(RealAt(bytes, size, x), x * 0.5 - 100.0) << x;
            // The sample without data is NaN, which every reader takes as missing.
            EXPECT_TRUE(std::isnan(RealAt(bytes, size, 5000)));
        }
    }
}

TEST(OutputWriterTest, NamesFromPatterns) {
    OutputNameField fields[kOutputNameFieldMax];
    // Literals joined by underscores, forbidden characters replaced, an unknown
    // field skipped to the next '#', text right after a field ignored.
    ASSERT_EQ(ParseOutputName("a?b#c*d%qzz#e%nignored%f#_snr%s", fields), 5);
    std::vector<int> kinds;
    for (int i = 0; i < 5; ++i) kinds.push_back(fields[i].kind);
    EXPECT_EQ(kinds, (std::vector<int>{1, 2, 5, 1, 6}));
    EXPECT_EQ(fields[0].text, "a_b_c_d_e");
    EXPECT_EQ(fields[3].text, "_snr");
    // Only nine fields are kept.
    EXPECT_EQ(ParseOutputName("%f%f%f%f%f%f%f%f%f%f%f", fields), 9);

    {
        // A writer prepared but never run leaves no temporary file behind.
        TempFolder scratch;
        HookScope hooks(false);
        Job job(kTypeU8, 3, 1, 1, &One);
        job.writer->SetTargetName(scratch.File("p.raw").c_str());
        job.writer->SetOutputParams(kTypeU8, false, 1, 0, 0);
        ASSERT_TRUE(job.writer->ConnectSourceInfo(&job.info));
        ASSERT_TRUE(job.writer->PrepareWrite(&job.format));
        EXPECT_TRUE(Exists(job.writer->OutputPath()));
        const std::string temp = job.writer->OutputPath();
        EXPECT_EQ(temp.rfind(scratch.Path() + "/orv", 0), 0u);
        job.writer->Release();
        job.writer = OutputWriter::Create(job.source);
        EXPECT_FALSE(Exists(temp));
    }

    TempFolder dir;
    HookScope hooks(false);
    // "%n" is the name the output was given (the save dialog's, here "t" and "d"); "%t" of
    // the fourth frame at the default 20 frames per second; "%d" leaves no trace; without
    // %f and %s both numbers follow.
    Job job(kTypeU8, 3, 1, 5, &One);
    job.writer->SetFrameRange(3, 3, 1);
    ASSERT_EQ(job.Run(dir.File("t.fits"), kTypeU8, "%n#x%t%d"), 1);
    EXPECT_EQ(std::string(job.writer->LastFileName()), dir.File("tx00001500040001.fits"));
    EXPECT_TRUE(Exists(dir.File("tx00001500040001.fits")));
    // The default pattern.
    Job def(kTypeU8, 3, 1, 1, &One);
    ASSERT_EQ(def.Run(dir.File("d.raw"), kTypeU8, nullptr), 1);
    EXPECT_EQ(std::string(def.writer->LastFileName()), dir.File("d001_snr0001.raw"));
}

TEST(OutputWriterTest, EmptyCropBoxAndSizeWarning) {
    TempFolder dir;
    {
        HookScope hooks(false);
        Job job(kTypeU8, 16, 4, 1, &One);
        job.writer->SetCropBox(16, 0, 0, 0, 0, 0);
        EXPECT_EQ(job.Run(dir.File("crop.raw"), kTypeU8, "#crop"), 0);
        ExpectContains(ReadText(dir.File("crop.log")),
                       {"crop box is empty, stop write\n'" + dir.File("crop0010001.raw") +
                        "' - not written: the crop box is empty\nerror write..."});
        EXPECT_EQ(dir.Files().size(), 1u);  // only the log
    }
    {
        // A failed pull stops the write: nothing but the log remains.
        HookScope hooks(false);
        Job job(kTypeU8, 16, 4, 3, &One);
        job.source->failFrame = 1;
        EXPECT_EQ(job.Run(dir.File("fail.raw"), kTypeU8, "#fail"), 0);
        EXPECT_EQ(job.writer->State(), kOutputStateStopped);
        ExpectContains(ReadText(dir.File("fail.log")),
                       {"error input\n'" + dir.File("fail0010001.raw") +
                        "' - not written: the data could not be read\nerror write..."});
        EXPECT_EQ(dir.Files().size(), 2u);  // the two logs
    }
    {
        // 32 Mi pixels of 8 bytes reach 256 MiB: the user cancels.
        HookScope hooks(true);
        hooks.dialogs.sizeAnswer = 2;
        Job job(kTypeU8, 0x2000000, 1, 1, &One);
        job.writer->SetSizeCheck(true);
        EXPECT_EQ(job.Run(dir.File("big.raw"), kTypeU8, "#big"), 0);
        EXPECT_EQ(job.writer->Result(), kOutputCancelled);
        ASSERT_EQ(hooks.dialogs.titles.size(), 1u);
        EXPECT_EQ(hooks.dialogs.titles[0], "Output: Warning (Large file size)...");
        EXPECT_EQ(hooks.dialogs.texts[0].rfind(
                      "Expected file size (" + dir.File("big0010001.raw") + ")", 0),
                  0u);
        ExpectContains(hooks.dialogs.texts[0], {") ~ 268.435 Mb"});
        ExpectContains(ReadText(dir.File("big.log")), {"check size: is big, user canceled:\nExpected file size ("});
        EXPECT_TRUE(job.source->framesPulled.empty());
    }
    {
        // Without a user interface the warning is only logged and the write goes on.
        HookScope hooks(false);
        Job job(kTypeU8, 0x2000000, 1, 1, &One);
        job.writer->SetSizeCheck(true);
        EXPECT_EQ(job.Run(dir.File("big2.raw"), kTypeU8, "#big2"), 1);
        EXPECT_TRUE(hooks.dialogs.titles.empty());
        ExpectContains(ReadText(dir.File("big2.log")), {"check size: is big:\nExpected file size ("});
        struct stat st {};
        ASSERT_EQ(::stat(dir.File("big20010001.raw").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 0x2000000);
    }
}

TEST(OutputWriterTest, OldServiceFilesFollowThePreferences) {
    TempFolder dir;
    HookScope hooks(false);
    const std::string data = dir.File("m0010001.fits");
    const std::string longOld = dir.File("m0010001.%fits");
    const std::string shortOld = dir.File("m0010001.%f");  // may belong to "m0010001.f"
    testing_util::WriteText(longOld, "1 1\n");
    testing_util::WriteText(shortOld, "1 1\n");
    // The same 3 x 2 file written again under each setting.
    // (the file of the last write removed first: a file is never replaced unasked).
    auto write = [&] {
        std::remove(data.c_str());
        return Job(kTypeU8, 3, 2, 1, &One).Run(dir.File("m.fits"), kTypeU8, "#m");
    };
    ASSERT_EQ(write(), 1);
    EXPECT_FALSE(Exists(longOld));
    EXPECT_TRUE(Exists(shortOld));
    EXPECT_TRUE(Exists(dir.File("m0010001.fs")));
    TheOutputWriterHooks().siShortExt = true;
    ASSERT_EQ(write(), 1);
    EXPECT_FALSE(Exists(shortOld));
    TheOutputWriterHooks().siShortExt = false;
    TheOutputWriterHooks().oldSIFormat = true;
    ASSERT_EQ(write(), 1);
    ASSERT_TRUE(Exists(longOld));
    ServiceDescription* d = nullptr;
    ASSERT_TRUE(LoadOldServiceDescription(data.c_str(), &d));
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(3, 2));
    delete d;
}

}  // namespace
}  // namespace orva

// The one-pass kernel of the writer gives what the library's in-place scaling,
// pack (or truncation) and byte swap give one after the other, and the range of the
// finite values without the missing-value mark.
namespace orva {
namespace {

template <class T>
void CompareWithLibrary(ElementType type, int mode, bool swap, const std::vector<double>& in,
                        double s, double z) {
    const ElementType word = swap ? (type | kElemSwapped) : type;
    OutputPackFn fused = SelectOutputPack(word, mode);
    ASSERT_NE(fused, nullptr);
    const int32_t n = static_cast<int32_t>(in.size());
    std::vector<unsigned char> got(in.size() * sizeof(T));
    MinMaxPair pair{1.7976931348623157e308, -1.7976931348623157e308};
    fused(in.data(), got.data(), n, s, z, &pair);

    // The range of the finite values other than the missing-value mark.
    MinMaxPair want{1.7976931348623157e308, -1.7976931348623157e308};
    for (double v : in) {
        if (!std::isfinite(v) || v == -1.7976931348623157e308) continue;
        want.minimum = std::min(want.minimum, v);
        want.maximum = std::max(want.maximum, v);
    }
    EXPECT_EQ(pair.minimum, want.minimum);
    EXPECT_EQ(pair.maximum, want.maximum);

    std::vector<double> work = in;
    ScaleZero p;
    p.scale = s;
    p.zero = z;
    if (ScaleInPlaceSelect(p, kTypeF64, mode) != nullptr)
        ScaleInPlaceSelect(p, kTypeF64, mode)(work.data(), n, p);
    std::vector<unsigned char> expect(in.size() * sizeof(T));
    if (mode == kRoundTruncate) {
        for (int32_t i = 0; i < n; ++i) {
            T v = kernel::SaturateTrunc<T>(work[i]);
            std::memcpy(expect.data() + i * sizeof(T), &v, sizeof(T));
        }
    } else {
        ScaleInPlaceSelectAlt(type, mode)(work.data(), n, nullptr);
        std::memcpy(expect.data(), work.data(), expect.size());
    }
    if (SwapRoutine r = ByteSwapSelect(word)) r(expect.data(), n);
    for (int32_t i = 0; i < n; ++i)
        ASSERT_EQ(std::memcmp(got.data() + i * sizeof(T), expect.data() + i * sizeof(T), sizeof(T)),
                  0)
            << "type " << type << " mode " << mode << " swap " << swap << " value " << in[i];
}

TEST(OutputPackKernelTest, MatchesScanScaleAndPack) {
    std::mt19937_64 rng(5);
    std::vector<double> in;
    const double specials[] = {0.0, -0.0, 0.5, -0.5, 1.5, -2.5, 0.49999999999999994, 127.5, -128.5,
                               255.5, 32767.5, -32768.5, 65535.49, 2147483647.5, -2147483648.5,
                               4294967295.4, 9.3e18, -9.3e18, 1.9e19, 1e300, -1e300, std::nan(""),
                               INFINITY, -INFINITY, -1.7976931348623157e308, 1.7976931348623157e308};
    for (double v : specials) in.push_back(v);
    std::uniform_real_distribution<double> wide(-70000.0, 70000.0);
    for (int i = 0; i < 3000; ++i)
        in.push_back(i % 3 == 0 ? std::floor(wide(rng)) + 0.5 : wide(rng));
    std::vector<double> finite(in.begin() + 26, in.end());  // the vector path without infinities
    const double pairs[][2] = {{1.0, 0.0}, {0.37, -12.25}, {-3.0, 5.0}};
    for (const auto& sz : pairs) {
        for (int mode : {0, kRoundTruncate}) {
            for (bool swap : {false, true}) {
                for (const auto* data : {&in, &finite}) {
                    CompareWithLibrary<int8_t>(kTypeI8, mode, false, *data, sz[0], sz[1]);
                    CompareWithLibrary<uint8_t>(kTypeU8, mode, false, *data, sz[0], sz[1]);
                    CompareWithLibrary<int16_t>(kTypeI16, mode, swap, *data, sz[0], sz[1]);
                    CompareWithLibrary<uint16_t>(kTypeU16, mode, swap, *data, sz[0], sz[1]);
                    CompareWithLibrary<int32_t>(kTypeI32, mode, swap, *data, sz[0], sz[1]);
                    CompareWithLibrary<uint32_t>(kTypeU32, mode, swap, *data, sz[0], sz[1]);
                    CompareWithLibrary<int64_t>(kTypeI64, mode, swap, *data, sz[0], sz[1]);
                    CompareWithLibrary<uint64_t>(kTypeU64, mode, swap, *data, sz[0], sz[1]);
                }
            }
        }
    }
    EXPECT_EQ(SelectOutputPack(kTypeF32, 0), nullptr);
    EXPECT_EQ(SelectOutputPack(kElemInt24, 0), nullptr);
    // 32-bit reals: bounded at the float range, NaN kept, rounded to nearest; both loops,
    // both byte orders, from every start so that each tail length is met.
    in.push_back(3.4028235677973366e38);  // rounds to FLT_MAX only after the bound
    in.push_back(1e-46);                  // below the smallest float
    for (bool baseline : {false, true}) {
        kernel::ForceBaselineForTest(baseline);
        for (bool swap : {false, true}) {
            for (size_t first = 0; first < 9; ++first) {
                const size_t n = in.size() - first;
                std::vector<unsigned char> out(n * 4);
                PackReal32(in.data() + first, out.data(), static_cast<int32_t>(n), swap);
                for (size_t i = 0; i < n; ++i) {
                    const double x = in[first + i];
                    const float want = x > FLT_MAX    ? FLT_MAX
                                       : x < -FLT_MAX ? -FLT_MAX
                                                      : static_cast<float>(x);
                    uint32_t got, bits;
                    std::memcpy(&got, out.data() + 4 * i, 4);
                    std::memcpy(&bits, &want, 4);
                    if (swap) got = __builtin_bswap32(got);
                    ASSERT_EQ(got, bits) << "value " << x << " baseline " << baseline;
                }
            }
        }
    }
    kernel::ForceBaselineForTest(false);
}

}  // namespace
}  // namespace orva

// Several files per run, the write scopes, the readers taking the files back, and
// a source that grows while it is written.
namespace orva {
namespace {

// Frames 0..3 of two sections, frame 2 without any; a sample tells where it lies.
double Tagged(int f, int s, int64_t x, int64_t y, int64_t, int) {
    return 50.0 * f + 10.0 * s + static_cast<double>(x + 3 * y);
}

TEST(OutputWriterFilesTest, FilesPerFrameOrSectionFollowTheScope) {
    struct Case {
        int scope, section, method, first, last, step;
        const char* files;  // "name:FS FS;": each file with its (frame, section) pieces
        const char* logTail;
    } cases[] = {
        {0, 0, kRecordSectionPerFile, 0, 3, 1,
         "o001_snr0001:00;o001_snr0002:01;o002_snr0001:10;o002_snr0002:11;"
         "o004_snr0001:30;o004_snr0002:31;",
         "ok: stream=6, err=0, frames=3, sections=6"},
        {0, 0, kRecordFramePerFile, 0, 3, 1,
         "o001_snr0001:00 01;o002_snr0001:10 11;o004_snr0001:30 31;", "frames=3, sections=6"},
        {2, 1, kRecordFramePerFile, 0, 3, -1,
         "o004_snr0002:31;o002_snr0002:11;o001_snr0002:01;", "frames=3, sections=3"},
        {1, 0, kRecordSectionPerFile, 1, 3, 1, "o002_snr0001:10;o002_snr0002:11;",
         "ok: stream=2, err=0, frames=1, sections=2"},
        {3, 1, kRecordOneFile, 0, 3, 1, "o001_snr0002:01;", "stream=1, err=0\nok"},
        {1, 0, kRecordOneFile, 2, 3, 1, "", ""},  // the one frame has no sections
    };
    HookScope hooks(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        TempFolder dir;
        Job job(kTypeU8, 3, 2, 4, &Tagged);
        job.info.sections = 2;
        job.info.sectionCount = [](void*, int32_t frame) -> uint32_t { return frame == 2 ? 0 : 2; };
        job.writer->SetWriteScope(c.scope, static_cast<uint32_t>(c.section));
        job.writer->SetRecordMethod(c.method);
        job.writer->SetFrameRange(c.first, c.last, c.step);
        const int written = job.Run(dir.File("o.raw"), kTypeU8, nullptr);
        size_t files = 0;
        for (const char* p = c.files; *p != '\0'; ++p, ++files) {
            const char* colon = std::strchr(p, ':');
            const std::string name = dir.File(std::string(p, colon) + ".raw");
            std::string want;
            for (p = colon + 1; *p != ';'; p += p[2] == ' ' ? 3 : 2)
                for (int64_t i = 0; i < 6; ++i)
                    want += static_cast<char>(Tagged(p[0] - '0', p[1] - '0', i % 3, i / 3, 0, 0));
            EXPECT_EQ(ReadText(name), want) << name;
        }
        EXPECT_EQ(written, files > 0 ? static_cast<int>(files) : -200);
        EXPECT_EQ(dir.Files().size(), files * 2 + 1);  // data, descriptions, the log
        EXPECT_NE(ReadText(dir.File("o.log")).find(c.logTail), std::string::npos);
    }
}

// The files a run would write, known before it runs; files of those names that exist are
// replaced only when the user agrees, in one question for all of them, and never without
// anybody to ask.
TEST(OutputWriterFilesTest, ExistingFilesAreReplacedOnlyWhenTheUserAgrees) {
    struct Case {
        bool ui;
        int answer;  // to the question (6 Yes, 7 No)
        int written;
        int32_t result;
    } cases[] = {{false, 0, 0, kOutputNotReplaced}, {true, 7, 0, kOutputCancelled}, {true, 6, 3, kOutputFileFinished}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        TempFolder dir;
        const std::vector<std::string> names = {dir.File("o001_snr0001.raw"), dir.File("o002_snr0001.raw"),
                                                dir.File("o004_snr0001.raw")};
        HookScope hooks(c.ui);
        hooks.dialogs.sizeAnswer = c.answer;
        // A first run writes them; only the second one of the file is left as it was.
        for (bool first : {true, false}) {
            Job job(kTypeU8, 3, 2, 4, &Tagged);
            job.info.sections = 2;
            job.info.sectionCount = [](void*, int32_t frame) -> uint32_t { return frame == 2 ? 0 : 2; };
            job.writer->SetRecordMethod(kRecordFramePerFile);
            job.writer->SetFrameRange(0, 3, 1);
            job.writer->SetOutputName(nullptr);
            job.writer->SetTargetName(dir.File("o.raw").c_str());
            job.writer->SetOutputParams(kTypeU8, false, 1, 0, 0);
            ASSERT_TRUE(job.writer->ConnectSourceInfo(&job.info));
            ASSERT_TRUE(job.writer->PrepareWrite(&job.format));
            EXPECT_EQ(job.writer->PlannedNames(), names);
            EXPECT_EQ(job.writer->PlannedNames(), names);  // the walk leaves the run where it was
            if (first) {
                ASSERT_EQ(job.writer->WriteRun(), 3);
                EXPECT_TRUE(hooks.dialogs.texts.empty());
                testing_util::WriteText(names[1], "old");
                testing_util::WriteText(dir.File("o.log"), "the first save's report\n");
                continue;
            }
            // The log is part of the save: untouched while the question is up.
            hooks.dialogs.answerCheck = [&] {
                EXPECT_EQ(ReadText(dir.File("o.log")), "the first save's report\n");
            };
            EXPECT_EQ(job.writer->WriteRun(), c.written);
            EXPECT_EQ(job.writer->Result(), c.result);
            // Every file it would replace: the data, their descriptions, the log.
            const std::vector<std::string> all = {
                names[0], names[1], names[2], dir.File("o001_snr0001.fs"),
                dir.File("o002_snr0001.fs"), dir.File("o004_snr0001.fs"), dir.File("o.log")};
            EXPECT_EQ(job.writer->ExistingNames(), all);
            EXPECT_EQ(ReadText(names[1]) == "old", c.written == 0);
            // After No, or with nobody to ask, the earlier report stays as it was.
            EXPECT_EQ(ReadText(dir.File("o.log")) == "the first save's report\n", c.written == 0);
            if (c.ui) {
                ASSERT_EQ(hooks.dialogs.texts.size(), 1u);
                EXPECT_EQ(hooks.dialogs.titles[0], "Output: Replace file(s)...");
                EXPECT_EQ(hooks.dialogs.texts[0], "7 files exist:\n" + all[0] + "\n" + all[1] + "\n" +
                                                      all[2] + "\n" + all[3] + "\n" + all[4] +
                                                      "\n... (1 more)\n" + all[6] + "\nReplace them?");
            } else {
                EXPECT_TRUE(hooks.dialogs.texts.empty());
            }
            if (c.written > 0) ExpectContains(ReadText(dir.File("o.log")), {"user: replace 7 file(s)"});
            // Nothing of the refused run is left behind: the three files, their
            // descriptions and the log.
            EXPECT_EQ(dir.Files().size(), 7u);
        }
    }
}

// A written file opened by the program's readers: its frame count, scale and frame
// `frame` in physical units (stored x scale + zero).
struct ReadBack {
    uint32_t frames = 0;
    double scale = 0.0;
    std::vector<double> values;
};
ReadBack ReadThroughReaders(const std::string& path, int frame) {
    ReadBack out;
    {
        testing_io::BuiltinFormats formats;
        testing_io::KeepReceiver keep;
        TypedFrameBuffer image;
        image.SetTypeAndCount(0x40, 1);
        if (testing_io::OpenThroughRegistry(&formats.registry, path, &keep) == 2) {
            const DataSet* d = keep.kept;
            out.frames = d->TotalFrames();
            out.scale = d->scale;
            ReadWindow w{frame, 0, 0, 0, static_cast<int32_t>(d->sizeX), static_cast<int32_t>(d->sizeY), 0, 1, 0};
            if (keep.kept->ReadWindowData(&image, &w)) {
                const auto* v = static_cast<const double*>(image.data);
                out.values.assign(v, v + d->sizeX * d->sizeY);
            }
        }
    }
    CloseAllStreams();
    return out;
}

TEST(OutputWriterFilesTest, EachFileTakesItsOwnRangeAndReadsBack) {
    // Frames 0 and 2 fit signed 16 bits as asked; frame 1 reaches 60000 and gets a
    // range of its own, which neither the file before it nor the one after it takes.
    auto fn = [](int f, int, int64_t x, int64_t y, int64_t, int) {
        if (f == 1 && x == 0 && y == 0) return 60000.0;
        return std::fmod(static_cast<double>(x * 977 + y * 131), f != 1 ? 30001.0 : 60001.0);
    };
    HookScope hooks(false);
    for (const char* ext : {".fits", ".dat"}) {
        TempFolder dir;
        Job job(kTypeU16, 20, 10, 3, fn);
        job.format = ext[1] == 'f' ? *FormatFits() : *FormatBinary();
        job.writer->SetRecordMethod(kRecordFramePerFile);
        ASSERT_EQ(job.Run(dir.File(std::string("c") + ext), kTypeI16, "#c"), 3);
        for (int f = 0; f < 3; ++f) {
            const ReadBack r =
                ReadThroughReaders(dir.File("c00" + std::to_string(f + 1) + "0001" + ext), 0);
            ASSERT_EQ(r.values.size(), 200u) << ext << f;
            // The measured 131..60000 spread over the 65535 steps of the type.
            EXPECT_NEAR(r.scale, f != 1 ? 1.0 : (60000.0 - 131.0) / 65535.0, 1e-12);
            for (int64_t i = 0; i < 200; ++i)
                ASSERT_NEAR(r.values[i], fn(f, 0, i % 20, i / 20, 0, 0), r.scale * 0.5 + 1e-9);
        }
        const std::string log = ReadText(dir.File("c.log"));
        ExpectContains(log, {"try again... frame=1, section=0"});
        EXPECT_EQ(log.find("try again... frame=0"), std::string::npos) << log;
    }
}

TEST(OutputWriterFilesTest, GrowingSourceIsFollowed) {
    HookScope hooks(false);
    auto fn = [](int f, int, int64_t x, int64_t y, int64_t, int) {
        return 1000.0 * f + 10.0 * y + x;
    };
    // Frames: the pull of frame 1 reports 5 frames; a range that reached the old end
    // follows them (FITS gets planes it did not plan), a shorter one does not. Width:
    // the file begun keeps its geometry; the next file takes the new width when the
    // crop reached the old end (crop width 0: the whole frame).
    struct Case {
        int last;
        int64_t crop;
        uint32_t grownFrames;
        int64_t grownWidth, widths[2];
    } cases[] = {
        {2, 0, 5, 0, {4, 4}}, {1, 0, 5, 0, {4, 4}}, {1, 0, 0, 6, {4, 6}}, {1, 3, 0, 6, {3, 3}}};
    for (const Case& c : cases) {
        TempFolder dir;
        Job job(kTypeI16, 4, 3, 3, fn);
        job.format = *FormatFits();
        job.source->growOnFrame = c.grownFrames > 0 ? 1 : 0;
        job.source->grownFrames = c.grownFrames;
        job.source->grownWidth = c.grownWidth;
        job.info.currentSize = &TestSource::CurrentSize;
        job.info.context = job.source;
        job.writer->SetFrameRange(0, c.last, 1);
        job.writer->SetCropBox(0, 0, 0, c.crop, 0, 0);
        job.writer->SetRecordMethod(c.grownWidth > 0 ? kRecordFramePerFile : kRecordOneFile);
        ASSERT_EQ(job.Run(dir.File("g.fits"), kTypeI16, "#g"), c.grownWidth > 0 ? 2 : 1);
        const int frames = c.last == 2 ? 5 : 2;
        EXPECT_EQ(job.source->framesPulled.size(), static_cast<size_t>(frames));
        for (int file = 0; file < (c.grownWidth > 0 ? 2 : 1); ++file) {
            const int frame = c.grownWidth > 0 ? file : frames - 1;  // the last one of the file
            const ReadBack r =
                ReadThroughReaders(dir.File("g00" + std::to_string(file + 1) + "0001.fits"),
                                   c.grownWidth > 0 ? 0 : frame);
            EXPECT_EQ(r.frames, c.grownWidth > 0 ? 1u : static_cast<uint32_t>(frames));
            ASSERT_EQ(r.values.size(), static_cast<size_t>(c.widths[file] * 3));
            EXPECT_EQ(r.values.back(), fn(frame, 0, c.widths[file] - 1, 2, 0, 0));
        }
    }
}

// A file that cannot be written stops the run, and the run names it and every file after it
// as not written, with the reason, in the order they would have come: a source that cannot be
// read from the third frame on, and files larger than the process may write (the way a full
// disk refuses them). The files before the failure are whole, no temporary file is left, and
// the write log counts honestly.
TEST(OutputWriterTest, AFailedFileAndTheFilesAfterItAreNamedNotWritten) {
    struct Case {
        const char* name;
        int failFrame;     // the source's frame that cannot be read (-1: none)
        rlim_t sizeLimit;  // bytes a file may reach (0: no limit)
        int written;
        const char* reason;
        const char* blocked;  // a folder in the place of this file beside the data ("": none)
        const char* last;     // the write log's last line (its start)
    } cases[] = {
        {"unreadable", 2, 0, 2, "the data could not be read", "",
         "error: 3 file(s) not written (stream=2, err=3, frames=2"},
        {"too large", -1, 4000, 0, std::strerror(EFBIG), "", "error write..."},
        // Every data file is written; a description that is not makes the save a failed one.
        {"description", -1, 0, 5, std::strerror(EISDIR), "c0030001.fs",
         "error: '*' - not written: Is a directory (stream=5, err=1, frames=5, sections=5)"},
        {"log", -1, 0, 5, std::strerror(EISDIR), "n.log", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        HookScope hooks(false);
        const std::string blocked = c.blocked[0] != '\0' ? dir.File(c.blocked) : "";
        if (!blocked.empty()) ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
        Job job(kTypeI16, 64, 32, 5, &Ramp);
        job.format = *FormatFits();
        job.source->failFrame = c.failFrame;
        job.writer->SetRecordMethod(kRecordFramePerFile);
        job.writer->SetFrameRange(0, 4, 1);
        job.writer->SetOutputName("c%f");
        job.writer->SetTargetName(dir.File("n.fits").c_str());
        job.writer->SetOutputParams(kTypeI16, false, 1, 0, 0);
        ASSERT_TRUE(job.writer->ConnectSourceInfo(&job.info));
        ASSERT_TRUE(job.writer->PrepareWrite(&job.format));
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        void (*handler)(int) = SIG_DFL;
        if (c.sizeLimit != 0) {
            // Writes past the limit fail with EFBIG instead of ending the process.
            handler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = before;
            limit.rlim_cur = c.sizeLimit;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        const int written = job.writer->WriteRun();
        if (c.sizeLimit != 0) {
            setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, handler);
        }
        EXPECT_EQ(written, c.written);
        std::vector<std::string> failed;
        for (int f = c.written + 1; f <= 5; ++f)
            failed.push_back(dir.File("c00" + std::to_string(f) + "0001.fits"));
        EXPECT_EQ(job.writer->FailedNames(), failed);
        EXPECT_EQ(job.writer->FailedReasons(), std::vector<std::string>(failed.size(), c.reason));
        EXPECT_EQ(job.writer->FilesFailed(), static_cast<int>(failed.size()));
        EXPECT_EQ(job.writer->CompanionFailures(),
                  blocked.empty() ? std::vector<std::string>() : std::vector<std::string>{blocked});
        EXPECT_EQ(job.writer->CompanionReasons(),
                  std::vector<std::string>(blocked.empty() ? 0 : 1, c.reason));
        for (const std::string& name : dir.Files()) {
            EXPECT_NE(name.rfind("orv", 0), 0u) << name;  // no temporary file
            EXPECT_EQ(std::find(failed.begin(), failed.end(), dir.File(name)), failed.end())
                << name;
        }
        for (int f = 1; f <= c.written; ++f)
            EXPECT_TRUE(Exists(dir.File("c00" + std::to_string(f) + "0001.fits"))) << f;
        if (blocked == dir.File("n.log")) continue;  // no log to read
        const std::string log = ReadText(dir.File("n.log"));
        if (!failed.empty())
            ExpectContains(log, {"'" + failed.front() + "' - not written: " + c.reason,
                                 "'" + failed.back() + "' - not written"});
        // The last line says what failed before any count.
        std::string last = c.last;
        if (const size_t star = last.find('*'); star != std::string::npos) last.replace(star, 1, blocked);
        const size_t end = log.rfind('\n', log.size() - 2);
        EXPECT_EQ(log.substr(end + 1, last.size()), last) << log;
        EXPECT_EQ(log.find("ok:"), std::string::npos) << log;
        // The write log and the messages name the files, never the temporary one.
        EXPECT_EQ(log.find(dir.Path() + "/orv"), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace orva
