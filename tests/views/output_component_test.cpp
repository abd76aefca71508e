// The Output component: which formats it takes from a target, how a connection corrects
// the frame range and the crop box and which stage it falls back to, how a file format's
// type is corrected, the result codes and reports of a write, the special value, the
// clipping question asked once, and the titles and format lists of Save As.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <cstdio>
#include <cmath>
#include <cfloat>
#include <string>
#include <tuple>
#include <vector>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "common/paths.h"
#include "io/format_registry.h"
#include "output_test_support.h"

namespace orva {
namespace {

using testing_views::OfferingStage;
using testing_views::OutputFile;
using testing_views::StatusTexts;

TEST(OutputComponentTest, ClassesAndInterfaces) {
    OutputComponent plain;
    OutputItemComponent item;
    EXPECT_EQ(plain.GetClassId(), &kOutputId);
    EXPECT_EQ(item.GetClassId(), &kOutputCommonId);
    EXPECT_STREQ(kOutputId.name, "Output");
    EXPECT_STREQ(kOutputCommonId.name, "Output Common");
    EXPECT_TRUE(plain.QueryInterface(&kOutputId, nullptr));
    EXPECT_FALSE(plain.QueryInterface(&kOutputCommonId, nullptr));
    EXPECT_TRUE(item.QueryInterface(&kOutputCommonId, nullptr));
    EXPECT_TRUE(item.QueryInterface(&kOutputId, nullptr));
    EXPECT_TRUE(item.QueryInterface(&kBaseId, nullptr));
    EXPECT_EQ(plain.GetInputLink(0), &plain.link);
    EXPECT_EQ(plain.GetInputLink(1), &plain.link);
    EXPECT_EQ(plain.GetInputLink(2), nullptr);
    EXPECT_EQ(std::tuple(plain.reportFlag, plain.rangeMode, plain.recordMethod, plain.targetTags[0], plain.targetTags[1]),
              std::tuple(1, kRangeAuto, kRecordSectionPerFile, FourCC("IOST"), FourCC("INPT")));
    EXPECT_EQ(std::tuple(plain.negotiated.format, plain.negotiated.channels, plain.negotiated.dims),
              std::tuple(0u, 1u, 1u));
    EXPECT_EQ(plain.panelBuilder, GetOutputPanelBuilder());
}

TEST(OutputComponentTest, FormatsTheTargetOffers) {
    struct Case {
        uint32_t format;
        bool accepted;
    };
    // Swapped 16-bit refused, 3-byte samples refused, swapped 8-bit taken, no size refused.
    for (Case c : {Case{0x82, false}, Case{0x04, false}, Case{0x84, false}, Case{0x81, true}, Case{0x40, true},
                   Case{0x102, true}, Case{0x100, false}, Case{0x10, true}}) {
        OfferingStage stage(&kInputId, c.format);
        OutputComponent output;
        EXPECT_EQ(output.link.Attach(&stage), c.accepted) << std::hex << c.format;
        EXPECT_EQ(output.upstream, c.accepted ? &stage : nullptr) << std::hex << c.format;
        EXPECT_EQ(output.process == &OutputWrite, c.accepted) << std::hex << c.format;
        if (c.accepted) {
            EXPECT_EQ(output.negotiated.format, c.format);
        }
        output.link.Detach();
    }
    // A target that offers a refused format anew loses the link.
    OfferingStage stage(&kInputId, 0x40);
    OutputComponent output;
    ASSERT_TRUE(output.link.Attach(&stage));
    EXPECT_EQ(stage.firstLink, &output.link);
    stage.offer.format = 0x82;
    EXPECT_FALSE(ConsumerRenegotiate(&output.link));
    EXPECT_EQ(output.link.upstream, nullptr);
    EXPECT_EQ(stage.firstLink, nullptr);
    // The item's output binds without joining the target's consumers.
    stage.offer.format = 0x40;
    OutputItemComponent item;
    ASSERT_TRUE(item.link.Attach(&stage));
    EXPECT_EQ(item.link.upstream, &stage);
    EXPECT_EQ(stage.firstLink, nullptr);
}

TEST(OutputComponentTest, AConnectionCorrectsTheFrameRange) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("ten.fits");
    testing_views::WriteCube(path, 10, 3, 4);
    ASSERT_TRUE(f.Open(path));
    OutputSettings* r = f.output->settings;
    ASSERT_NE(r, nullptr);
    struct Case {
        int32_t first, last, step;
        int32_t wantFirst, wantLast, wantStep;
    };
    const Case cases[] = {
        {0, -1, 1, 0, 9, 1},   // -1: the last frame
        {4, 9, 3, 3, 9, 3},    // rounded down to multiples of the step
        {0, -1, -2, 0, 8, 2},  // a negative step turns positive
        {2, 5, 0, 2, 5, 1},    // step 0 becomes 1
        {7, 5, 1, 5, 5, 1},    // the first lowered to the last
        {-3, 4, 1, 0, 4, 1},   // a negative first becomes 0
        {0, 40, 1, 0, 9, 1},   // beyond the frames: the last frame
        {8, 9, 4, 8, 8, 4},    // both rounded, the first kept at most the last
    };
    for (const Case& c : cases) {
        r->firstFrame = c.first;
        r->lastFrame = c.last;
        r->frameStep = c.step;
        ASSERT_TRUE(ConnectOutputToSource(f.output, f.file.item, kStageInput[0], kStageInput[1]));
        EXPECT_EQ(std::tuple(r->firstFrame, r->lastFrame, r->frameStep), std::tuple(c.wantFirst, c.wantLast, c.wantStep))
            << c.first << " " << c.last << " " << c.step;
    }
    // Crop sizes of 0 and negative origins take the data's box; others stay.
    r->cropSize[0] = 0;
    r->cropOrigin[1] = -2;
    r->cropSize[1] = 1;
    r->cropOrigin[2] = 0;
    r->cropSize[2] = 0;
    ASSERT_TRUE(ConnectOutputToSource(f.output, f.file.item, kStageInput[0], kStageInput[1]));
    EXPECT_EQ(std::tuple(r->cropOrigin[0], r->cropSize[0], r->cropOrigin[1], r->cropSize[1], r->cropSize[2]),
              std::tuple(int64_t{0}, int64_t{4}, int64_t{0}, int64_t{3}, int64_t{1}));
    r->cropOrigin[0] = 1;
    r->cropSize[0] = 2;
    ASSERT_TRUE(ConnectOutputToSource(f.output, f.file.item, kStageInput[0], kStageInput[1]));
    EXPECT_EQ(std::tuple(r->cropOrigin[0], r->cropSize[0]), std::tuple(int64_t{1}, int64_t{2}));
    // The channel: 0 becomes 1; the negotiated count limits it.
    r->channel = 0;
    OutputClampChannel(f.output, 0);
    EXPECT_EQ(r->channel, 1);
    OutputClampChannel(f.output, 5);
    EXPECT_EQ(r->channel, 1);
}

TEST(OutputComponentTest, AStageTheItemLacksFallsBackToItsWindowsFromTheFourth) {
    StatusTexts shown;
    ProjectItem* item = ProjectItemNew("/nowhere/data.fits");
    ASSERT_NE(item, nullptr);
    OfferingStage input(&kInputId), processed(&kProcessingId), bitmap(&kTransformationId), reduction(&kReductionId);
    OfferingStage* stages[4] = {&input, &processed, &bitmap, &reduction};
    for (int i = 0; i < 4; ++i) item->currentWindows[i] = stages[i];
    OutputComponent output;
    const uint32_t unknown[2] = {FourCC("XXXX"), FourCC("YYYY")};
    // The named stage when the item has it.
    ASSERT_TRUE(ConnectOutputToSource(&output, item, kStageBitmap[0], kStageBitmap[1]));
    EXPECT_EQ(output.upstream, &bitmap);
    // Else the fourth, third, second and first window, the first that is there.
    for (int present = 3; present >= 0; --present) {
        for (int i = 0; i < 4; ++i) item->currentWindows[i] = i <= present ? stages[i] : nullptr;
        ASSERT_TRUE(ConnectOutputToSource(&output, item, unknown[0], unknown[1])) << present;
        EXPECT_EQ(output.upstream, stages[present]) << present;
    }
    EXPECT_TRUE(shown.Texts().empty());
    // No window at all, a refused binding, no section record.
    item->currentWindows[0] = nullptr;
    EXPECT_FALSE(ConnectOutputToSource(&output, item, kStageInput[0], kStageInput[1]));
    input.offer.format = 0x82;
    item->currentWindows[0] = &input;
    EXPECT_FALSE(ConnectOutputToSource(&output, item, kStageInput[0], kStageInput[1]));
    input.offer.format = 0x40;
    input.answersRecord = false;
    EXPECT_FALSE(ConnectOutputToSource(&output, item, kStageInput[0], kStageInput[1]));
    EXPECT_EQ(shown.Texts(), (std::vector<std::string>{"-3 ***Can`t connect to source...",
                                                        "-3 ***Can`t connect to source...",
                                                        "-3 ***Can`t connect to source info..."}));
    // A connection without an item has nothing to do.
    EXPECT_TRUE(ConnectOutputToSource(&output, nullptr, kStageInput[0], kStageInput[1]));
    output.link.Detach();
    for (int i = 0; i < 4; ++i) item->currentWindows[i] = nullptr;
    delete item;
}

TEST(OutputComponentTest, SelectingAFormatCorrectsItsType) {
    struct Case {
        const char* what;
        uint32_t type, allowed, expected;
    };
    const Case cases[] = {
        {"no mask, no size", 0x100, 0, 0x40},
        {"no mask keeps a sized type", 0x182, 0, 0x182},
        {"signed 16 where only unsigned 16 is allowed", 0x02, 0x200 | 0x8000, 0x102},
        {"unsigned 16 where only signed 16 is allowed", 0x102, 0x02 | 0x8000, 0x02},
        {"swapped where only the native order is allowed", 0x82, 0x02 | 0x8000, 0x02},
        {"native where only the swapped order is allowed", 0x08, 0x08 | 0x80, 0x88},
        {"a real loses unsigned", 0x140, 0x40, 0x40},
        {"8-bit loses swap", 0x81, 0x01, 0x01},
        {"no size left: the highest plain size", 0x100, 0x0A, 0x08},
        {"no size left: the highest unsigned size", 0x100, 0x200 | 0x100, 0x102},
        {"real-only bits go from other types", 0x1000002, 0x02, 0x02},
    };
    for (const Case& c : cases) {
        FormatDesc format;
        format.defaultType = c.type;
        format.allowedTypes = c.allowed;
        OutputComponent output;
        EXPECT_TRUE(OutputSelectFormat(&output, &format)) << c.what;
        EXPECT_EQ(output.format, &format) << c.what;
        EXPECT_EQ(format.defaultType, c.expected) << c.what << std::hex << " got 0x" << format.defaultType;
        // The same format again changes nothing.
        EXPECT_FALSE(OutputSelectFormat(&output, &format)) << c.what;
    }
}

// FITS keeps unsigned integers of every size (stored signed with a zero of 2^(n-1)); its
// samples are big-endian and its bytes unsigned.
TEST(OutputComponentTest, FitsTakesUnsignedIntegers) {
    const uint32_t cases[][2] = {{0x102, 0x182}, {0x108, 0x188}, {0x120, 0x1A0}, {0x02, 0x82},
                                 {0x101, 0x101}, {0x01, 0x101},  {0x140, 0xC0}};
    for (const auto& c : cases) {
        FormatDesc format = *FormatFits();
        format.defaultType = c[0];
        OutputComponent output;
        OutputSelectFormat(&output, &format);
        EXPECT_EQ(format.defaultType, c[1]) << std::hex << c[0] << " got 0x" << format.defaultType;
    }
}

// The input's triple for the output type: integers of one size that differ in sign move
// the zero by 2^(n-1) x scale (kept negated); any other pair keeps the data's own.
TEST(OutputComponentTest, TheInputsTripleFollowsTheOutputsSign) {
    struct Case {
        const char* what;
        uint32_t in;
        double scale, zero;
        uint32_t out;
        ScaleTriple want;
    };
    const Case cases[] = {
        {"unsigned 16 to signed 16", 0x102, 1.0, 0.0, 0x82, {1.0, -32768.0, 1.0}},
        {"signed 16 with BZERO 32768 to unsigned 16", 0x82, 1.0, 32768.0, 0x182, {1.0, 0.0, 1.0}},
        {"signed 16 with BZERO 32768 to signed 16", 0x02, 1.0, 32768.0, 0x82, {1.0, -32768.0, 1.0}},
        {"unsigned 16 to unsigned 16", 0x102, 1.0, 0.0, 0x182, {1.0, 0.0, 1.0}},
        {"unsigned 16 to signed 32: no offset", 0x102, 1.0, 0.0, 0x08, {1.0, 0.0, 1.0}},
        {"unsigned 16 to a real", 0x102, 1.0, 0.0, 0x40, {1.0, 0.0, 1.0}},
        {"signed bytes to unsigned bytes", 0x01, 1.0, 0.0, 0x101, {1.0, 128.0, 1.0}},
        {"scaled unsigned 32 to signed 32", 0x108, 2.0, 10.0, 0x88, {2.0, -10.0 - 4294967296.0, 0.5}},
        {"scaled signed 64 to unsigned 64", 0x20, 0.5, -1.0, 0x120, {0.5, 1.0 + 4611686018427387904.0, 2.0}},
        {"3-byte samples keep theirs", 0x104, 1.0, 0.0, 0x04, {1.0, 0.0, 1.0}},
        {"no size: the data's own", 0x100, 4.0, 3.0, 0x02, {4.0, -3.0, 0.25}},
    };
    for (const Case& c : cases) {
        const ScaleTriple t = OutputInputTriple(c.in, c.scale, c.zero, c.out);
        EXPECT_EQ(std::tuple(t.scale, t.zero, t.reciprocal), std::tuple(c.want.scale, c.want.zero, c.want.reciprocal))
            << c.what;
        EXPECT_FALSE(std::signbit(t.zero) && t.zero == 0.0) << c.what << ": -0";
    }
}

TEST(OutputComponentTest, TheDefaultFormatIsTheListsCurrentElseFits) {
    FormatRegistry& registry = TheFormatRegistry();
    RegisterBuiltinFormats(registry, nullptr, nullptr);
    {
        OutputComponent output;
        registry.currentOutput = nullptr;
        EXPECT_TRUE(OutputSelectDefaultFormat(&output));
        EXPECT_EQ(output.format, FormatFits());
        // The list's current entry, its index reset to 1 when unset.
        OutputComponent second;
        registry.currentOutput = &registry.output;
        registry.output.current = -1;
        EXPECT_TRUE(OutputSelectDefaultFormat(&second));
        EXPECT_EQ(registry.output.current, 1);
        ASSERT_FALSE(registry.output.entries.empty());
        EXPECT_EQ(second.format, registry.output.entries[0]);
    }
    ReleaseFormats(registry);
}

TEST(OutputComponentTest, WriteResultsAndTheSpecialValue) {
    struct Code {
        int32_t writer, result;
    };
    for (Code c : {Code{-25, -5}, Code{-17, -5}, Code{-20, -2}, Code{-5, -2}, Code{-18, -1}, Code{-14, -4},
                   Code{-2, -3}, Code{0, 1}, Code{-1, 1}, Code{-27, 0}, Code{-7, 0}, Code{3, 0}})
        EXPECT_EQ(OutputWriteResultCode(c.writer), c.result) << c.writer;

    OutputComponent owner;
    OutputSettings r(&owner);
    struct Special {
        uint8_t flag;
        double value;
        uint32_t type;
        bool has;
        double expected;
    };
    const Special cases[] = {
        {0, 12.0, 0x02, false, 0.0},            // the flag is off
        {1, -DBL_MAX, 0x02, false, 0.0},        // -DBL_MAX means none
        {1, 12.5, 0x02, true, 12.5},
        {1, 1e6, 0x02, true, 32767.0},          // clamped into the type
        {1, -1e6, 0x02, true, -32768.0},
        {1, -5.0, 0x101, true, 0.0},            // unsigned 8-bit
        {1, 300.0, 0x101, true, 255.0},
        {1, -1e300, 0x40, true, -1e300},        // a 64-bit real holds it
    };
    for (const Special& c : cases) {
        r.specialFlag = c.flag;
        r.specialValue = c.value;
        double value = 0.0;
        EXPECT_EQ(OutputSpecialValue(r, c.type, &value), c.has) << c.value;
        if (c.has) {
            EXPECT_EQ(value, c.expected) << c.value;
        }
    }
}

TEST(OutputComponentTest, SaveAsTitlesAndFormatLists) {
    struct Title {
        uint32_t tag1, tag2;
        int32_t scope;
        const char* formatTag;
        const char* title;
    };
    const Title titles[] = {
        {kStageInput[0], kStageInput[1], 0, "", "Save As - [Input - format convertor] [All]"},
        {kStageProcessed[0], kStageProcessed[1], 1, "", "Save As - [Proccessing] [One frame]"},
        {FourCC("FILT"), FourCC("PRC1"), 2, "", "Save As - [Filter 1D] [All frame, selected section]"},
        {kStageBitmap[0], kStageBitmap[1], 3, "", "Save As - [Screen | Bitmap] [One frame, selected section]"},
        {kStageReduction[0], kStageReduction[1], 0, "SLISE", "Save As - [Tools - Slice] [All]"},
        {kStageReduction[0], kStageReduction[1], 0, "STATIST", "Save As - [Tools - Statistic] [All]"},
        {kStageReduction[0], kStageReduction[1], 0, "", "Save As - [Tools - Statistic] [All]"},
        {FourCC("XXXX"), FourCC("YYYY"), 0, "", "Save As - [Data] [All]"},
        {kStageInput[0], kStageInput[1], 4, "", "Save As"},
        {kStageInput[0], kStageInput[1], -1, "", "Save As"},
    };
    for (const Title& t : titles)
        EXPECT_EQ(OutputSaveTitle(t.tag1, t.tag2, t.scope, MakeFormatTag(t.formatTag)), t.title) << t.title;
    struct Mask {
        const char* tag;
        uint32_t mask;
    };
    for (Mask m : {Mask{"POINT", 0x380}, Mask{"POLIGON", 0x380}, Mask{"VECTOR", 0x380}, Mask{"ANCHOR", 0x380},
                   Mask{"REFPOINT", 0x380}, Mask{"REGION", 0x580}, Mask{"SIMPLOBJ", 0x180}, Mask{"FITS", 0},
                   Mask{"", 0}})
        EXPECT_EQ(OutputListMask(MakeFormatTag(m.tag)), m.mask) << m.tag;
    for (const uint32_t* pair : {kStageInput, kStageProcessed, kStageReduction, kStageBitmap})
        EXPECT_NE(OutputTargetLabel(pair[0], pair[1]), nullptr);
    EXPECT_STREQ(OutputTargetLabel(kStageInput[0], kStageInput[1]), "Input  [ formats convertor only ]");
    EXPECT_EQ(OutputTargetLabel(FourCC("FILT"), FourCC("PRC1")), nullptr);
}

TEST(OutputComponentTest, SaveAsAsksForTheNameWithTheStagesTitle) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("cube.fits");
    testing_views::WriteCube(path, 3, 4, 5);
    ASSERT_TRUE(f.Open(path));
    StatusTexts shown;
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    // Cancelled: nothing is written and the Save is over.
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}));
    ASSERT_EQ(dialog.Requests().size(), 1u);
    EXPECT_EQ(dialog.Requests()[0].title, "Save As - [Input - format convertor] [All]");
    EXPECT_TRUE(dialog.Requests()[0].save);
    EXPECT_EQ(dialog.Requests()[0].filters[0].description, "FITS");
    EXPECT_EQ(std::tuple(f.output->writing, f.output->explicitTarget), std::tuple(0, 0));
    // Chosen: the format of the list's entry, the one frame of the scope, one file.
    f.output->recordMethod = kRecordOneFile;
    dialog.Push(ScriptedFileDialog::Choose({"x.fits"}, f.file.folder.Path()));
    EXPECT_TRUE(OutputSaveCommand(f.output, f.file.item, kStageInput[0], kStageInput[1], kWriteScopeOneFrame,
                                  FormatTag{}));
    ASSERT_EQ(dialog.Requests().size(), 2u);
    EXPECT_EQ(dialog.Requests()[1].title, "Save As - [Input - format convertor] [One frame]");
    EXPECT_EQ(f.output->fileName, f.file.folder.File("x.fits"));
    EXPECT_EQ(f.output->format, FormatFits());
    ASSERT_FALSE(shown.Texts().empty());
    // The pattern names the file after the name chosen; the message names the file written.
    EXPECT_EQ(shown.Texts().back(), "-2 " + f.file.folder.File("x001_snr0001.fits") + " saved");
    EXPECT_TRUE(FileExists(f.file.folder.File("x001_snr0001.fits").c_str()));
    EXPECT_STREQ(TheCUI().preferences.saveFolder != nullptr ? "set" : "unset", "unset");
    EXPECT_STREQ(f.file.cui.preferences.saveFolder, f.file.folder.Path().c_str());
    // A path longer than a path may be is refused whole, never cut.
    dialog.Push(ScriptedFileDialog::Choose({std::string(PATH_MAX, 'n') + ".fits"}, f.file.folder.Path()));
    EXPECT_FALSE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}));
    EXPECT_EQ(shown.Texts().back(), "-3 'Save' - error [limit]");
    EXPECT_EQ(f.output->fileName, f.file.folder.File("x.fits"));
    EXPECT_EQ(f.output->writing, 0);
}

// Saved with the default method and name pattern, the file takes the name the pattern
// builds from the name chosen; the status line names that file, which astropy reads back
// with the source's values.
TEST(OutputComponentTest, TheSavedMessageNamesTheFileThePatternMade) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("plain.fits");
    testing_views::WriteCube(path, 1, 4, 5);
    ASSERT_TRUE(f.Open(path));
    StatusTexts shown;
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    ASSERT_EQ(f.output->recordMethod, kRecordSectionPerFile);
    dialog.Push(ScriptedFileDialog::Choose({"chosen.fits"}, f.file.folder.Path()));
    EXPECT_TRUE(OutputSaveCommand(f.output, f.file.item, kStageInput[0], kStageInput[1], kWriteScopeAll,
                                  FormatTag{}));
    const std::string written = f.File("chosen001_snr0001.fits");
    ASSERT_FALSE(shown.Texts().empty());
    EXPECT_EQ(shown.Texts().back(), "-2 " + written + " saved");
    EXPECT_FALSE(FileExists(f.File("chosen.fits").c_str()));
    // The source is a cube of one frame; the file holds that frame as an image.
    const std::string out = testing_views::RunPython("a = fits.getdata('" + written + "').astype(float)\n"
                                                     "b = fits.getdata('" + path + "')[0].astype(float)\n"
                                                     "print(a.shape == b.shape and bool((a == b).all()))\n");
    EXPECT_EQ(out, "True\n");
}

// Three frames, one file each: the message names the first and the last file written. A
// second save of the same names, with nobody to ask, replaces nothing and says so.
TEST(OutputComponentTest, FilesOfThePatternAreNamedAndNeverReplacedUnasked) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("cube.fits");
    testing_views::WriteCube(path, 3, 4, 5);
    ASSERT_TRUE(f.Open(path));
    StatusTexts shown;
    const std::string first = f.File("typed001_snr0001.fits"), last = f.File("typed003_snr0001.fits");
    ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, f.File("typed.fits").c_str(), nullptr, kWriteScopeAll));
    EXPECT_EQ(shown.Texts().back(), "-2 " + first + " ... typed003_snr0001.fits saved, [stream(s) 3, frame(s) 3]");
    testing_util::WriteText(last, "kept");
    EXPECT_FALSE(OutputWriteFile(f.output, f.file.item, f.File("typed.fits").c_str(), nullptr, kWriteScopeAll));
    // The question would have named the files' descriptions and the log too.
    EXPECT_EQ(shown.Texts().back(), "-3 " + first + " ... typed.log: 7 files exist, not replaced");
    EXPECT_EQ(testing_util::ReadText(last), "kept");
}

// A small memory file system at a folder for the life of the object, filled so that `pages`
// blocks stay free; empty `error` when it could be mounted.
struct SmallDisk {
    SmallDisk(const std::string& folder, uint64_t pages) : path(folder) {
        if (::mkdir(path.c_str(), 0755) != 0 || ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") != 0) {
            error = std::strerror(errno);
            return;
        }
        mounted = true;
        struct statvfs st {};
        if (::statvfs(path.c_str(), &st) != 0 || st.f_bavail < pages) {
            error = "no room to fill";
            return;
        }
        const std::string fill((st.f_bavail - pages) * st.f_bsize, 'f');
        const int fd = ::open((path + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, fill.data(), fill.size()) != static_cast<ssize_t>(fill.size())) error = "filler";
        if (fd >= 0) ::close(fd);
        if (::statvfs(path.c_str(), &st) != 0 || st.f_bavail != pages) error = "the filler left other room";
    }
    ~SmallDisk() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string path, error;
    bool mounted = false;
};

// A save on a disk that fills up (32 x 16 samples: one 4 KiB block of 64-bit reals, and
// one for the log): it succeeds only when the data, its description and the log are all
// written; a file it lost is named with its reason first, in the error colour, and what was
// written stays under its name.
TEST(OutputComponentTest, ASaveOnAFullDiskNamesEveryFileItLost) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("img.fits");
    testing_views::WriteCube(path, 1, 16, 32);
    ASSERT_TRUE(f.Open(path));
    ASSERT_TRUE(OutputSelectFormat(f.output, RegisteredFormat(FormatBinary())));
    struct Case {
        const char* name;
        uint64_t pages;      // free blocks when the save begins
        const char* status;  // "%" stands for the disk's folder
        const char* last;    // the log's last line ("": no log)
        const char* files;
    } cases[] = {
        {"data fits, its description does not", 2,
         "-3 '%/g001_snr0001.fs' - not written: No space left on device; %/g001_snr0001.dat saved",
         "error: '%/g001_snr0001.fs' - not written: No space left on device (stream=1, err=1, frames=1, "
         "sections=1)",
         "filler g.log g001_snr0001.dat"},
        {"the log fits, the data does not", 1,
         "-3 '%/g001_snr0001.dat' - not written: No space left on device", "error write...", "filler g.log"},
        {"nothing fits", 0, "-3 '%/g001_snr0001.dat', g.log - 2 not written: No space left on device", "",
         "filler"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        SmallDisk disk(f.File("disk" + std::to_string(i)), c.pages);
        if (!disk.mounted) GTEST_SKIP() << "a memory file system cannot be mounted here: " << disk.error;
        ASSERT_EQ(disk.error, "");
        auto at = [&](std::string text) {
            for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1))
                text.replace(p, 1, disk.path);
            return text;
        };
        StatusTexts shown;
        OutputWriteFile(f.output, f.file.item, (disk.path + "/g.dat").c_str(), nullptr, kWriteScopeAll);
        ASSERT_FALSE(shown.Texts().empty());
        EXPECT_EQ(shown.Texts().back(), at(c.status));
        std::string files;
        for (const std::string& name : disk.Files()) files += (files.empty() ? "" : " ") + name;
        EXPECT_EQ(files, c.files);
        if (c.last[0] == '\0') continue;
        const std::string log = testing_util::ReadText(disk.path + "/g.log");
        ASSERT_GT(log.size(), 1u);
        EXPECT_EQ(log.substr(0, log.find('\n')), "/////////////////////");
        EXPECT_EQ(log.substr(log.rfind('\n', log.size() - 2) + 1), at(c.last) + "\n");
        if (c.pages == 2) EXPECT_EQ(testing_util::ReadText(disk.path + "/g001_snr0001.dat").size(), 4096u);
    }
}

// The index (1-based) of the entry of the list whose format is the descriptor, 0 for none.
int32_t ListIndexOf(const FormatList* list, const FormatDesc* format) {
    for (size_t i = 0; list != nullptr && i < list->entries.size(); ++i)
        if (list->entries[i] == format) return static_cast<int32_t>(i + 1);
    return 0;
}

// "Binary" chosen as the file type in the dialog writes raw samples under a binary name (a
// typed ".fits" becomes ".dat"); "Binary" chosen on the Output page is the type the next
// dialog starts with and the format written; FITS chosen there again gives FITS.
TEST(OutputComponentTest, TheChosenFormatIsTheOneWrittenAndNamed) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("img.fits");
    testing_views::WriteCube(path, 1, 4, 5);
    ASSERT_TRUE(f.Open(path));
    StatusTexts shown;
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    f.output->recordMethod = kRecordOneFile;
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}));
    FormatList* list = TheFormatRegistry().currentOutput;
    ASSERT_NE(list, nullptr);
    const int32_t binary = ListIndexOf(list, FormatBinary()), fits = ListIndexOf(list, FormatFits());
    ASSERT_GT(binary, 0);
    ASSERT_GT(fits, 0);
    EXPECT_EQ(dialog.Requests().back().filterIndex, fits);

    // The dialog's type: a name typed as FITS is written as a binary file.
    dialog.Push(ScriptedFileDialog::Choose({"d.fits"}, f.file.folder.Path(), binary));
    EXPECT_TRUE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}));
    EXPECT_EQ(f.output->format, FormatBinary());
    EXPECT_EQ(f.output->fileName, f.File("d.dat"));
    EXPECT_EQ(shown.Texts().back(), "-2 " + f.File("d001_snr0001.dat") + " saved");
    EXPECT_FALSE(FileExists(f.File("d001_snr0001.fits").c_str()));
    // Raw samples of the output type (64-bit reals at first): 4 x 5 of them, no header.
    EXPECT_EQ(testing_util::ReadText(f.File("d001_snr0001.dat")).size(), 4u * 5u * 8u);

    // The page's choice: FITS stepped to on the page is the type the dialog starts with.
    ASSERT_TRUE(OutputSelectFormat(f.output, RegisteredFormat(FormatFits())));
    dialog.Push(ScriptedFileDialog::Choose({"e"}, f.file.folder.Path()));
    EXPECT_TRUE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}))
        << ::testing::PrintToString(shown.Texts());
    EXPECT_TRUE(FileExists(f.File("e001_snr0001").c_str()));
    EXPECT_EQ(dialog.Requests().back().filterIndex, fits);
    EXPECT_EQ(f.output->format, FormatFits());
    // ... and Binary stepped to there is kept by the next Save, not put back to FITS.
    ASSERT_TRUE(OutputSelectFormat(f.output, RegisteredFormat(FormatBinary())));
    dialog.Push(ScriptedFileDialog::Choose({"g.dat"}, f.file.folder.Path()));
    EXPECT_TRUE(OutputSaveCommand(f.output, f.file.item, 0, 0, kWriteScopeAll, FormatTag{}));
    EXPECT_EQ(dialog.Requests().back().filterIndex, binary);
    EXPECT_EQ(f.output->format, FormatBinary());
    EXPECT_EQ(f.output->fileName, f.File("g.dat"));
    EXPECT_EQ(testing_util::ReadText(f.File("g001_snr0001.dat")).size(), 4u * 5u * 8u);
}

// The name a Save writes under: an extension of another format of the list is replaced by
// the chosen format's; names without one, or with one no format claims, are kept.
TEST(OutputComponentTest, ANameOfAnotherFormatTakesTheChosenFormatsExtension) {
    FormatList list;
    FormatDesc fits = *FormatFits(), binary = *FormatBinary();
    list.entries = {&fits, &binary};
    list.entryCount = 2;
    list.hasEntries = true;
    struct Case {
        int32_t current;
        const char* name;
        const char* want;
    } cases[] = {
        {2, "/d/a.fits", "/d/a.dat"},  {2, "/d/a.FTS", "/d/a.dat"},   {2, "/d/a.raw", "/d/a.raw"},
        {2, "/d/a.xyz", "/d/a.xyz"},   {2, "/d.fits/a", "/d.fits/a"}, {1, "/d/a.dat", "/d/a.fits"},
        {1, "/d/a.fit", "/d/a.fit"},   {1, "/d/a", "/d/a"},           {0, "/d/a.dat", "/d/a.dat"},
        {3, "/d/a.dat", "/d/a.dat"},
    };
    for (const Case& c : cases) {
        list.current = c.current;
        EXPECT_EQ(NameForFormat(c.name, &list), c.want) << c.current << " " << c.name;
    }
    EXPECT_EQ(NameForFormat("/d/a.fits", nullptr), "/d/a.fits");
}

// A cube saved one file per frame where frame 2's name is taken by a folder: the other
// files are written, the status line says in the error colour which file was not, the
// folder stays, and no temporary file is left behind. With every name taken, the message
// names them all and nothing is saved.
TEST(OutputComponentTest, AFileWhoseNameIsTakenIsReportedAsAnError) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("cubef.fits");
    testing_views::WriteCube(path, 5, 4, 5);
    ASSERT_TRUE(f.Open(path));
    StatusTexts shown;
    const std::string blocked = f.File("typed002_snr0001.fits");
    ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
    ASSERT_TRUE(OutputWriteFile(f.output, f.file.item, f.File("typed.fits").c_str(), nullptr, kWriteScopeAll));
    EXPECT_EQ(shown.Texts().back(),
              "-3 '" + blocked + "' - not written: Is a directory; " +
                  f.File("typed001_snr0001.fits") +
                  " ... typed005_snr0001.fits saved, [stream(s) 4, frame(s) 5, err(s) 1]");
    struct stat st {};
    ASSERT_EQ(stat(blocked.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    for (int frame : {1, 3, 4, 5})
        EXPECT_TRUE(FileExists(f.File("typed00" + std::to_string(frame) + "_snr0001.fits").c_str())) << frame;
    for (const std::string& name : f.file.folder.Files()) EXPECT_NE(name.rfind("orv", 0), 0u) << name;

    for (int frame : {1, 3, 4, 5}) {
        const std::string name = f.File("typed00" + std::to_string(frame) + "_snr0001.fits");
        std::remove(name.c_str());
        ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
    }
    EXPECT_FALSE(OutputWriteFile(f.output, f.file.item, f.File("typed.fits").c_str(), nullptr, kWriteScopeAll));
    EXPECT_EQ(shown.Texts().back(),
              "-3 '" + f.File("typed001_snr0001.fits") +
                  "', typed002_snr0001.fits, typed003_snr0001.fits ... typed005_snr0001.fits"
                  " - 5 not written: Is a directory (each is named in the log)");
    for (const std::string& name : f.file.folder.Files()) EXPECT_NE(name.rfind("orv", 0), 0u) << name;
}

}  // namespace
}  // namespace orva
