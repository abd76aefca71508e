#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/clib.h"
#include "common/error_codes.h"
#include "data_set_fixture.h"
#include "io/format_registry.h"
#include "io/frame_access.h"
#include "io/input_source.h"
#include "io/read_kernel.h"
#include "io/service_description.h"
#include "platform/message_box.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::ExpectContains;
using testing_io::KeepReceiver;
using testing_io::OpenThroughRegistry;
using testing_io::Sample;

// ---- Probing order ---------------------------------------------------------------------

// What the test formats answer, by display name, and the calls they saw.
std::map<std::string, int> gAnswers;
std::vector<std::string> gCalls;
std::string gFsTag;       // the tag the ".fs" loaders name ("" none)
bool gFsSized = false;    // the loaded description states a size and a type
int gQuestionAnswer = platform::kIdNo;

// Answers as told; a success opens the stream as a reader would.
int ProbeOpen(InputSource* source) {
    const std::string tag = source->format->name;
    const char* slash = std::strrchr(source->name->Text(), '/');
    gCalls.push_back(tag + ":" + (slash ? slash + 1 : source->name->Text()));
    auto it = gAnswers.find(tag);
    const int r = it == gAnswers.end() ? -10 : it->second;
    if (r >= 2 || r == 0) StreamOpen(&source->stream, kStreamBinary, source->name->Text());
    return r;
}

ServiceDescription* FsDescription(const char*) {
    if (gFsTag.empty()) return nullptr;
    auto* d = new ServiceDescription;
    d->formatTag = MakeFormatTag(gFsTag.c_str());
    if (gFsSized) {
        d->sizeX = 10;
        d->bits = 16;
    }
    return d;
}
ServiceDescription* LoadFs(const char* name) {
    gCalls.push_back("fs");
    return FsDescription(name);
}
ServiceDescription* LoadAny(const char* name) {
    gCalls.push_back("sd");
    return FsDescription(name);
}
int Question(void*, const char* text, const char* title, uint32_t flags) {
    EXPECT_STREQ(title, "Cannot detect the type of file... Open as binary?");
    EXPECT_EQ(flags & platform::kMbButtonMask, platform::kMbYesNo);
    const char* slash = std::strrchr(text, '/');
    gCalls.push_back(std::string("Q:") + (slash ? slash + 1 : text));
    return gQuestionAnswer;
}

FormatDesc Probe(const char* tag, const char* name, const char* extensions, uint32_t flags) {
    FormatDesc f;
    f.tag = MakeFormatTag(tag);
    f.name = name;
    f.extensions = extensions;
    f.flags = flags;
    f.open = &ProbeOpen;
    return f;
}

class OpenProbe : public DataSetFixture {
protected:
    void SetUp() override {
        DataSetFixture::SetUp();
        formats = {Probe("AAA", "A", "aaa\0*qqq\0", 0),
                   Probe("BBB", "B", "bbb\0XYZ\0", 0),
                   Probe("NNN", "N", "nnn\0", kFormatNoProbe),
                   Probe("AAA", "A2", "aa2\0", 0),
                   Probe("FITS", "FITS", "fits\0", 0),
                   Probe("BINARY", "BIN", "bin\0", kFormatNoProbe)};
        for (FormatDesc& f : formats) ASSERT_EQ(ValidateFormatDesc(registry, &f), 1);
        InputFormatFilter(registry.input, registry.head);
        gAnswers.clear();
        gCalls.clear();
        gFsTag.clear();
        gFsSized = false;
        gQuestionAnswer = platform::kIdNo;
        savedHooks = TheServiceDescriptionHooks();
        TheServiceDescriptionHooks().loadFs = &LoadFs;
        TheServiceDescriptionHooks().load = &LoadAny;
        ClibSetMessageHook(nullptr, &Question);
    }
    void TearDown() override {
        TheServiceDescriptionHooks() = savedHooks;
        ClibSetMessageHook(nullptr, nullptr);
        ReleaseFormats(registry);
        DataSetFixture::TearDown();
    }
    int Open(const std::string& file, uint32_t listPosition = 0, const char* forced = nullptr) {
        PathName name;
        EXPECT_EQ(name.Set((dir + "/" + file).c_str()), 2);
        OpenRequest request;
        request.registry = &registry;
        request.listPosition = listPosition;
        if (forced) request.forcedFormat = MakeFormatTag(forced);
        InputSource source;
        const int r = OpenInputFile(&source, &request, &name);
        EXPECT_EQ(source.stream, nullptr);
        EXPECT_EQ(source.format, nullptr);
        EXPECT_EQ(source.name, nullptr);
        EXPECT_EQ(source.request, nullptr);
        return r;
    }
    std::vector<FormatDesc> formats;
    FormatRegistry registry;
    ServiceDescriptionHooks savedHooks;
};

TEST_F(OpenProbe, StagesAreTriedInOrder) {
    struct Case {
        const char* what;
        const char* file;
        std::map<std::string, int> answers;
        uint32_t listPosition;
        const char* forced;
        const char* fsTag;
        int question;
        int result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"extension, all formats, question No", "f.aaa", {}, 0, nullptr, "", platform::kIdNo, -17,
         {"A:f.aaa", "A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd", "Q:f.aaa"}},
        // A format the name points to that knew the file and found it unusable: not
        // probed again, and its answer is the result, without the question.
        {"-22 by extension is not probed again", "f.aaa", {{"A", -22}}, 0, nullptr, "",
         platform::kIdNo, -22, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd"}},
        {"-23 by extension: corrupt, no question", "f.aaa", {{"A", -23}}, 0, nullptr, "",
         platform::kIdYes, -23, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd"}},
        {"-24 by extension: bad header, no question", "f.aaa", {{"A", -24}}, 0, nullptr, "",
         platform::kIdYes, -24, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd"}},
        {"1 by extension: no data, no question", "f.aaa", {{"A", 1}}, 0, nullptr, "",
         platform::kIdYes, 1, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd"}},
        {"the dialog's format found the file corrupt", "f.qqq", {{"B", -23}}, 2, nullptr, "",
         platform::kIdYes, -23, {"B:f.qqq", "A:f.qqq", "A2:f.qqq", "FITS:f.qqq", "sd"}},
        {"a later format that reads the file still wins", "f.aaa", {{"A", -23}, {"FITS", 2}}, 0,
         nullptr, "", platform::kIdNo, 2, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa"}},
        {"the service description's format before the known failure", "f.aaa",
         {{"A", -23}, {"N", 2}}, 0, nullptr, "NNN", platform::kIdNo, 2,
         {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd", "N:f.aaa"}},
        {"-1 by extension (not its format) still asks", "f.aaa", {{"A", -1}}, 0, nullptr, "",
         platform::kIdNo, -17, {"A:f.aaa", "B:f.aaa", "A2:f.aaa", "FITS:f.aaa", "sd", "Q:f.aaa"}},
        {"unknown extension, question Yes opens as binary", "f.qqq", {{"BIN", 2}}, 0, nullptr,
         "", platform::kIdYes, 2,
         {"A:f.qqq", "B:f.qqq", "A2:f.qqq", "FITS:f.qqq", "sd", "Q:f.qqq", "BIN:f.qqq"}},
        {"extension found without regard to case", "f.xyz", {{"B", 2}}, 0, nullptr, "", 0, 2,
         {"B:f.xyz"}},
        {"forced FITS", "f.aaa", {{"FITS", 2}}, 0, "FITS", "BBB", 0, 2, {"FITS:f.aaa"}},
        {"forced JPEG tries nothing", "f.aaa", {}, 0, "JPEG", "", 0, -10, {}},
        {"no extension: the .fs format before the forced one", "f", {{"B", 2}}, 0, "FITS",
         "BBB", 0, 2, {"fs", "B:f"}},
        {"list position -12 and no extension match", "f.qqq", {{"B", -12}}, 2, nullptr, "", 0,
         -13, {"B:f.qqq"}},
        {"-7 keeps only formats of the same tag", "f.aaa", {{"A", -7}}, 0, nullptr, "",
         platform::kIdNo, -17, {"A:f.aaa", "A2:f.aaa", "sd", "Q:f.aaa"}},
        {"the service description names a never-probed format", "f.qqq", {{"N", 2}}, 0,
         nullptr, "NNN", 0, 2, {"A:f.qqq", "B:f.qqq", "A2:f.qqq", "FITS:f.qqq", "sd", "N:f.qqq"}},
        {"empty file by extension", "e.aaa", {{"A", 0}}, 0, nullptr, "", 0, 0, {"A:e.aaa"}},
    };
    Write("f.aaa", "data");
    Write("f.qqq", "data");
    Write("f.xyz", "data");
    Write("f", "data");
    Write("e.aaa", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gAnswers = c.answers;
        gCalls.clear();
        gFsTag = c.fsTag;
        gQuestionAnswer = c.question;
        EXPECT_EQ(Open(c.file, c.listPosition, c.forced), c.result);
        EXPECT_EQ(gCalls, c.calls);
    }
    // A described size and type without a registered format: -17 without the question.
    gCalls.clear();
    gAnswers.clear();
    gFsTag = "ZZZ";
    gFsSized = true;
    EXPECT_EQ(Open("f.qqq"), -17);
    EXPECT_EQ(gCalls.back(), "sd");
    // Without a user interface the question takes its default answer, No, and is logged.
    ClibSetMessageHook(nullptr, nullptr);
    platform::SetMessageBoxAnswer(0);
    unsetenv(platform::kMessageBoxAnswerVariable);
    gFsTag.clear();
    gCalls.clear();
    EXPECT_EQ(Open("f.qqq"), -17);
    EXPECT_EQ(gCalls.back(), "sd");
    ExpectContains(Log(), {"Cannot detect the type of file... Open as binary?: " + dir + "/f.qqq",
                           "Source format: \"B\".", "'" + dir + "/f.aaa' - user abort"});
}

TEST_F(OpenProbe, NamesWithAPercentExtension) {
    Write("d.nnn", "data");
    Write("d", "data");
    Write("d.XYZ", "data");
    gAnswers = {{"N", 2}, {"A", 2}, {"B", 2}};
    // The text after '%' selects the formats by extension: every format when the file
    // it names exists, else the probed ones under the name spelled as their list has it.
    EXPECT_EQ(Open("d.%nnn"), 2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"N:d.nnn"}));
    gCalls.clear();
    EXPECT_EQ(Open("d.%NNN"), -13);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(Open("d.%xyz"), 2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"B:d.XYZ"}));
    // An empty text opens only through the .fs description.
    gCalls.clear();
    gFsTag = "AAA";
    EXPECT_EQ(Open("d.%"), 2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"fs", "A:d"}));
    gCalls.clear();
    EXPECT_EQ(Open("nothing.%aaa"), -13);
    EXPECT_TRUE(gCalls.empty());
    // A name that ends with a separator holds no file name.
    gCalls.clear();
    EXPECT_EQ(Open("sub/"), -2);
    EXPECT_TRUE(gCalls.empty());
    ExpectContains(Log(), {"/sub/' - no such file or directory"});
    // Names that cannot name a file here carry the invalid mark: -13 before any format,
    // '%' names alike. A component longer than a file name may be, a path longer than a path.
    const std::string longName(300, 'n'), longPath = std::string(2100, 'd') + "/" + std::string(2100, 'e');
    for (const std::string& bad : {longName + ".aaa", longName + ".%aaa", longPath + "/f.aaa"}) {
        PathName name;
        ASSERT_EQ(name.Set((dir + "/" + bad).c_str()), 2);
        EXPECT_TRUE(name.Invalid());
        EXPECT_EQ(Open(bad), -13);
        EXPECT_TRUE(gCalls.empty());
        ExpectContains(Log(), {"(" + dir + "/" + bad + ") - unsupported"});
    }
    PathName fine;
    ASSERT_EQ(fine.Set((dir + "/" + std::string(255, 'n')).c_str()), 2);
    EXPECT_FALSE(fine.Invalid());
}

// ---- A raw file with its service description ---------------------------------------------

int RawTestOpen(InputSource* source) { return RawOpen(source, nullptr); }

TEST_F(OpenProbe, RawFileWithServiceDescriptionReadsTheGeneratorsValues) {
    FormatDesc raw = Probe("RAWT", "Raw test", "raw\0", 0);
    raw.open = &RawTestOpen;
    ASSERT_EQ(ValidateFormatDesc(registry, &raw), 1);
    TheServiceDescriptionHooks() = savedHooks;  // the service-file loaders
    const uint32_t W = 1024, H = 768;
    const std::string data = BigEndianFrames(W, H, 1);
    // The data file and its service file describing 1024 x 768 big-endian i16 with zero 32768.
    auto described = [&](const std::string& name, const std::string& bytes) {
        Write(name + ".fs", "SEL(URL=\"" + name + ".raw\")\n{\n [{" + ServiceSectionName() +
                                "}]\n SIZEX=1024\n SIZEY=768\n BITPIX=16\n BYTESWAP=1\n BZERO=32768\n}\n");
        return Write(name + ".raw", bytes);
    };
    const std::string path = described("img", data);

    KeepReceiver receiver;
    ASSERT_EQ(OpenThroughRegistry(&registry, path, &receiver), 2);
    ASSERT_NE(receiver.kept, nullptr);
    DataSet* d = receiver.kept;
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(1024, 768));
    EXPECT_EQ(d->TotalFrames(), 1u);
    EXPECT_EQ(d->zero, 32768.0);
    EXPECT_EQ(d->sourceName, "<NAME>" + path);
    EXPECT_STREQ(d->TagText(), "BINARY");
    EXPECT_EQ(d->windowKernel, &InputReadKernel1Swapped);
    ExpectContains(Log(), {"Input file: '" + path + "'", "Source format: \"Raw test\"."});

    struct Window {
        int64_t x, y;
        int32_t w, h;
        int32_t wantW, wantH;
        uint32_t flags;
    };
    const Window windows[] = {{0, 0, 1024, 768, 1024, 768, 0},
                              {0, 100, 1024, 3, 1024, 3, 0},
                              {500, 300, 3, 40, 3, 40, 0},
                              {1000, 700, 100, 100, 24, 68, kWindowWidthClipped | kWindowHeightClipped}};
    for (const Window& c : windows) {
        ReadWindow w{0, 0, c.x, c.y, c.w, c.h, 0, 1, 0};
        ASSERT_TRUE(Read(d, &w));
        EXPECT_EQ(w.flags, c.flags);
        ASSERT_EQ(w.width, c.wantW);
        ASSERT_EQ(w.height, c.wantH);
        for (int32_t y = 0; y < c.wantH; ++y)
            for (int32_t x = 0; x < c.wantW; ++x)
                ASSERT_EQ(At(x, y), Sample(c.x + x, c.y + y, 0)) << x << "," << y;
    }

    // A truncated copy: the description is clipped to the rows the file holds.
    const std::string cut = described("cut", data.substr(0, W * 2 * 300 + 1000));
    ASSERT_EQ(OpenThroughRegistry(&registry, cut, &receiver), 2);
    DataSet* c = receiver.kept;
    EXPECT_EQ(c->sizeX, 1024);
    EXPECT_EQ(c->cropSizeY, 300);
    ReadWindow w{0, 0, 0, 0, 1024, 768, 0, 1, 0};
    ASSERT_TRUE(Read(c, &w));
    EXPECT_EQ(w.height, 300);
    EXPECT_EQ(At(1023, 299), Sample(1023, 299, 0));
}

// ---- Files that are not what their name says --------------------------------------------------

// What the status line was given, formatted.
std::vector<std::string> gStatus;
int RecordStatus(int, int code, int, const char* format, const char* name) {
    char line[512];
    std::snprintf(line, sizeof line, format, name);
    gStatus.push_back(std::to_string(code) + " " + line);
    return 1;
}
int gQuestions = 0;
int CountQuestion(void*, const char*, const char*, uint32_t) {
    ++gQuestions;
    return platform::kIdNo;
}

// Through the built-in formats: a file named .fits that is empty, or cut short in its
// data, is reported as such in the log and on the status line, without the question
// whether to read it as raw data; prose named .fits is no format's, so the question
// comes, and a No is reported as the user's.
TEST_F(DataSetFixture, BadFilesNamedLikeFitsSayWhy) {
    testing_io::BuiltinFormats formats;
    std::string header;
    for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                   16",
                             "NAXIS   =                    2", "NAXIS1  =                  100",
                             "NAXIS2  =                  100", "END"}) {
        std::string c = card;
        c.resize(80, ' ');
        header += c;
    }
    header.resize(2880, ' ');
    struct Case {
        const char* file;
        std::string bytes;
        int result;
        int questions;
        std::vector<std::string> log;  // lines, each after "'" and the path
        std::string status;            // the same
    };
    const std::string prose = "Notes of the night.\nClouds after midnight; the seeing was poor.\n";
    const Case cases[] = {
        // 20000 bytes of data announced, 10000 there.
        {"cut.fits", header + std::string(10000, '\x01'), -23, 0,
         {"' - fits header unit 1: data run past the end of the file", "' - corrupt"}, "' - corrupt"},
        {"empty.fits", "", 1, 0, {"' - data is empty [not processed]"}, "' - data is empty [not processed]"},
        {"notes.fits", prose + prose + prose, -17, 1, {"' - not a fits file", "' - user abort"}, "' - user abort"},
    };
    StatusLineHooks hooks{nullptr, &RecordStatus};
    SetStatusLineHooks(&hooks);
    ClibSetMessageHook(nullptr, &CountQuestion);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        gStatus.clear();
        gQuestions = 0;
        const std::string path = Write(c.file, c.bytes);
        testing_io::KeepReceiver receiver;
        EXPECT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &receiver), c.result);
        EXPECT_EQ(receiver.kept, nullptr);
        EXPECT_EQ(gQuestions, c.questions);
        for (const std::string& line : c.log)
            testing_io::ExpectContains(Log(), {"'" + path + line});
        EXPECT_EQ(gStatus, std::vector<std::string>{"-3 '" + path + c.status});
    }
    ClibSetMessageHook(nullptr, nullptr);
    SetStatusLineHooks(nullptr);
}

}  // namespace
}  // namespace orva
