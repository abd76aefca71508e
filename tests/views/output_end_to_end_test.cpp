// End to end, without windows: a 3-frame FITS cube written by astropy (BITPIX 16, BZERO
// 32768: physical values 0..65535) is opened through the open road, and its Output writes
// the input stage as FITS and as raw binary, in "As Input" (signed 16-bit, the samples as
// stored) and in "Asis" (unsigned 16-bit). astropy reads every FITS file back, numpy every
// raw file with the scale and zero of its ".fs"; each gives the source's physical values,
// and fitsverify passes every FITS file. Also the report of a write, a frame range, a
// format that allows only unsigned 16-bit data, and the clipping question asked once.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "io/redescribe.h"
#include "output_test_support.h"

namespace orva {
namespace {

using testing_views::OutputFile;
using testing_views::StatusTexts;

constexpr int kOutFrames = 3, kOutHeight = 5, kOutWidth = 7;

// Compares written files with the source: `kind` "fits" or "raw"; the frames first ..
// first + count - 1 of the source in file order. Prints "ok" or what differs.
constexpr const char kCheck[] = R"(
import sys, re
src, kind, first, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
files = sys.argv[5:]
want = fits.getdata(src).astype(np.float64)[first:first + count]
got = []
for name in files:
    if kind == 'fits':
        with fits.open(name) as h:
            d = h[0].data
            got.append(np.asarray(d, dtype=np.float64).reshape(-1, want.shape[1], want.shape[2]))
    else:
        keys = {}
        for line in open(name.rsplit('.', 1)[0] + '.fs', encoding='latin-1'):
            m = re.match(r'\s*([A-Za-z_]+)\s*=\s*(.*?)\s*$', line)
            if m: keys[m.group(1).lower()] = m.group(2)
        bits = int(keys['bits']); unsigned = keys.get('unsigned', '0') == '1'
        swapped = keys.get('byteswap', '0') == '1'
        dt = np.dtype(('u' if unsigned else 'i') + str(abs(bits) // 8)) if bits > 0 else np.dtype('f' + str(-bits // 8))
        dt = dt.newbyteorder('>' if swapped == (sys.byteorder == 'little') else '<')
        raw = np.fromfile(name, dtype=dt).astype(np.float64)
        raw = raw * float(keys.get('bscale', '1')) + float(keys.get('bzero', '0'))
        got.append(raw.reshape(-1, want.shape[1], want.shape[2]))
got = np.concatenate(got)
if got.shape != want.shape:
    print('shape', got.shape, want.shape)
elif not np.array_equal(got, want):
    print('values differ at', np.argwhere(got != want)[:3].tolist())
else:
    print('ok')
)";

class OutputEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
        source = f.File("cube.fits");
        testing_views::WriteCube(source, kOutFrames, kOutHeight, kOutWidth);
        ASSERT_TRUE(f.Open(source));
        testing_util::WriteText(f.File("check.py"),
                                std::string("import numpy as np\nfrom astropy.io import fits\n") + kCheck);
        f.output->recordMethod = kRecordOneFile;
    }
    // A folder of its own for each write.
    std::string Folder(const std::string& name) {
        const std::string path = f.File(name);
        ::mkdir(path.c_str(), 0777);
        return path;
    }
    // The files written into a folder with the extension, in name order.
    std::vector<std::string> Written(const std::string& folder, const std::string& extension) {
        std::vector<std::string> names;
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) return names;
        while (dirent* entry = readdir(dir)) {
            const std::string n = entry->d_name;
            if (n.size() > extension.size() && n.compare(n.size() - extension.size(), extension.size(), extension) == 0)
                names.push_back(folder + "/" + n);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Check(const char* kind, int first, int count, const std::vector<std::string>& files) {
        std::string command = ORVA_PYTHON " '" + f.File("check.py") + "' '" + source + "' " + kind + " " +
                              std::to_string(first) + " " + std::to_string(count);
        for (const std::string& n : files) command += " '" + n + "'";
        int status = -1;
        std::string out = testing_io::RunCommand(command + " 2>&1", &status);
        return out;
    }
    // The format of the registry's output list with the tag, its type set and corrected.
    FormatDesc* Use(const char* tag, uint32_t type) {
        FormatList& list = TheFormatRegistry().output;
        list.current = -1;
        FormatListSelectTag(list, MakeFormatTag(tag));
        int32_t index = list.current;
        FormatDesc* format = RegisteredFormat(OutputFormatByIndex(list, &index));
        if (format == nullptr) return nullptr;
        format->defaultType = type;
        f.output->format = nullptr;
        OutputSelectFormat(f.output, format);
        return format;
    }

    OutputFile f;
    std::string source;
};

TEST_F(OutputEndToEnd, FitsAndRawInAsInputAndAsisGiveThePhysicalValues) {
    const bool verify = testing_io::HaveTool("command -v fitsverify");
    struct Case {
        const char* name;
        const char* tag;
        uint32_t type;
        int32_t mode;
        uint32_t written;  // the type the format lets through
        const char* extension;
    };
    const Case cases[] = {
        {"fits-as-input", "FITS", 0x02, kRangeAsInput, 0x82, ".fits"},
        // FITS keeps unsigned 16-bit samples (signed, with BZERO 32768).
        {"fits-asis", "FITS", 0x102, kRangeAsis, 0x182, ".fits"},
        {"raw-as-input", "BINARY", 0x02, kRangeAsInput, 0x02, ".bin"},
        {"raw-asis", "BINARY", 0x102, kRangeAsis, 0x102, ".bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatusTexts shown;
        FormatDesc* format = Use(c.tag, c.type);
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->defaultType, c.written);
        f.output->rangeMode = c.mode;
        const std::string folder = Folder(c.name);
        const std::string name = folder + "/x" + c.extension;
        ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, name.c_str(), &TheFormatRegistry().output, kWriteScopeAll));
        EXPECT_EQ(f.output->format, format);
        ASSERT_FALSE(shown.Texts().empty());
        const std::vector<std::string> files = Written(folder, c.extension);
        ASSERT_EQ(files.size(), 1u);
        // The one file, named by the pattern, is the one the message names.
        EXPECT_EQ(files[0], folder + "/x001_snr0001" + c.extension);
        EXPECT_EQ(shown.Texts().back(), "-2 " + files[0] + " saved, [frame(s) 3]");
        EXPECT_EQ(Check(std::string(c.extension) == ".fits" ? "fits" : "raw", 0, kOutFrames, files), "ok\n");
        if (verify && std::string(c.extension) == ".fits") {
            int status = -1;
            const std::string out = testing_io::RunCommand("fitsverify -q '" + files[0] + "' 2>&1", &status);
            EXPECT_EQ(status, 0) << out;
        }
    }
    // "As Input" keeps the samples as stored: BITPIX 16 with the source's BZERO.
    const std::string header = testing_views::RunPython(
        "h = fits.getheader('" + Written(f.File("fits-as-input"), ".fits")[0] + "')\n"
        "print(h['BITPIX'], float(h['BSCALE']), float(h['BZERO']))\n");
    EXPECT_EQ(header, "16 1.0 32768.0\n");
}

TEST_F(OutputEndToEnd, FrameFirstTwoWritesTwoFramesAndEveryFrameAFileOfItsOwn) {
    ASSERT_NE(Use("FITS", 0x02), nullptr);
    f.output->rangeMode = kRangeAsInput;
    // "Frame First:" 2 (the second frame, 0-based 1).
    f.output->settings->firstFrame = 1;
    StatusTexts shown;
    const std::string folder = Folder("range");
    ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, (folder + "/x.fits").c_str(), &TheFormatRegistry().output,
                                kWriteScopeAll));
    EXPECT_EQ(shown.Texts().back(), "-2 " + folder + "/x002_snr0001.fits saved, [frame(s) 2]");
    std::vector<std::string> files = Written(folder, ".fits");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Check("fits", 1, 2, files), "ok\n");
    // One frame in a file: a file for each frame, named by the pattern.
    f.output->settings->firstFrame = 0;
    f.output->recordMethod = kRecordFramePerFile;
    const std::string each = Folder("each");
    ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, (each + "/x.fits").c_str(), &TheFormatRegistry().output,
                                kWriteScopeAll));
    // The message names the first and the last file written.
    EXPECT_EQ(shown.Texts().back(),
              "-2 " + each + "/x001_snr0001.fits ... x003_snr0001.fits saved, [stream(s) 3, frame(s) 3]");
    files = Written(each, ".fits");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], each + "/x001_snr0001.fits");
    EXPECT_EQ(Check("fits", 0, 3, files), "ok\n");
}

// A frame step of 2 on the 3-frame cube visits frames 1 and 3: the Output offers those two
// positions, a range typed before the step (all three frames) is brought into them, and
// the save writes frames 1 and 3, reported without an error.
TEST_F(OutputEndToEnd, AFrameStepOfTwoWritesThePositionsItVisits) {
    ASSERT_NE(Use("FITS", 0x02), nullptr);
    f.output->rangeMode = kRangeAsInput;
    f.output->recordMethod = kRecordFramePerFile;
    f.output->settings->firstFrame = 0;
    f.output->settings->lastFrame = kOutFrames - 1;  // typed while every frame was visited
    DataSet* d = f.file.source->Input();
    ASSERT_NE(d, nullptr);
    PropertyValue step;
    step.kind = 5;
    step.i32 = 2;
    ASSERT_TRUE(ReadStateSetProperty(d, 23, &step, 1));
    ASSERT_EQ(d->StepFrames(), 2u);
    StatusTexts shown;
    const std::string folder = Folder("stepped");
    ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, (folder + "/x.fits").c_str(),
                                &TheFormatRegistry().output, kWriteScopeAll));
    EXPECT_EQ(std::tuple(f.output->settings->firstFrame, f.output->settings->lastFrame),
              std::tuple(0, 1));
    EXPECT_EQ(
        shown.Texts().back(),
        "-2 " + folder +
            "/x001_snr0001.fits ... x002_snr0001.fits saved, [stream(s) 2, frame(s) 2]");
    const std::vector<std::string> files = Written(folder, ".fits");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(Check("fits", 0, 1, {files[0]}), "ok\n");
    EXPECT_EQ(Check("fits", 2, 1, {files[1]}), "ok\n");
}

TEST_F(OutputEndToEnd, AFormatThatAllowsOnlyUnsigned16BitForcesTheType) {
    // A raw format of its own that names unsigned 16-bit samples in the native order alone.
    FormatDesc own = *FormatBinary();
    own.defaultType = 0x02;
    own.allowedTypes = 0x200 | 0x8000;
    f.output->format = nullptr;
    ASSERT_TRUE(OutputSelectFormat(f.output, &own));
    EXPECT_EQ(own.defaultType, 0x102u);
    f.output->rangeMode = kRangeAsis;
    const std::string folder = Folder("own");
    ASSERT_TRUE(OutputSetFileName(f.output, (folder + "/x.dat").c_str()));
    ASSERT_TRUE(OutputRunWrite(f.output, kWriteScopeAll));
    const std::vector<std::string> files = Written(folder, ".dat");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Check("raw", 0, kOutFrames, files), "ok\n");
    const std::string fs = testing_util::ReadText(files[0].substr(0, files[0].size() - 4) + ".fs");
    EXPECT_NE(fs.find("unsigned=1"), std::string::npos) << fs;
    f.output->format = nullptr;
}

TEST_F(OutputEndToEnd, AFailedWriteIsReportedWithItsName) {
    ASSERT_NE(Use("FITS", 0x02), nullptr);
    StatusTexts shown;
    // The folder does not exist: nothing can be made there.
    const std::string name = f.File("missing/x.fits");
    EXPECT_FALSE(OutputWriteFile(f.output, f.file.item, name.c_str(), &TheFormatRegistry().output, kWriteScopeAll));
    ASSERT_FALSE(shown.Texts().empty());
    // The message names the file that could not be made (the name the pattern built there),
    // and the save's log, which could not be made there either.
    EXPECT_EQ(shown.Texts().back(), "-3 '" + f.File("missing/x001_snr0001.fits") +
                                        "', x.log - 2 not written: No such file or directory");
    EXPECT_EQ(std::tuple(f.output->writing, f.output->explicitTarget), std::tuple(0, 0));
}

// The writer's message dialog: counts and ignores.
int gQuestions = 0;
int CountQuestion(const char*, const char*, uint32_t) {
    ++gQuestions;
    return kClipAnswerIgnore;
}

TEST_F(OutputEndToEnd, TheClippingQuestionComesOnce) {
    const OutputWriterHooks saved = TheOutputWriterHooks();
    OutputWriterHooks& hooks = TheOutputWriterHooks();
    hooks.uiUp = [] { return true; };
    hooks.messageDialog = &CountQuestion;
    // The same file is written again: the user agrees to its replacement.
    hooks.messageBox = [](const char*, const char*, uint32_t) { return 6; };
    gQuestions = 0;
    // 8-bit samples cannot hold the values as stored: they clip.
    ASSERT_NE(Use("BINARY", 0x01), nullptr);
    f.output->rangeMode = kRangeAsInput;
    OutputClipMessageSwitch() = true;
    const std::string folder = Folder("clip");
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(OutputWriteFile(f.output, f.file.item, (folder + "/x.bin").c_str(), &TheFormatRegistry().output,
                                    kWriteScopeAll));
    EXPECT_EQ(gQuestions, 1);
    EXPECT_FALSE(OutputClipMessageSwitch());
    // In "Auto" the writer never asks.
    OutputClipMessageSwitch() = true;
    f.output->rangeMode = kRangeAuto;
    EXPECT_TRUE(OutputWriteFile(f.output, f.file.item, (folder + "/x.bin").c_str(), &TheFormatRegistry().output,
                                kWriteScopeAll));
    EXPECT_EQ(gQuestions, 1);
    EXPECT_TRUE(OutputClipMessageSwitch());
    // The writer's range went into the record.
    EXPECT_NE(f.output->settings->effective.scale, 1.0);
    TheOutputWriterHooks() = saved;
}

}  // namespace
}  // namespace orva
