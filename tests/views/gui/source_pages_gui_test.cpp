// The Source's Info and Options pages in the running shell on the X server: files made by
// numpy and astropy are opened through the open road and the pages' handlers are called
// with the pages' own widgets. A recording read state stands in for the data set's own
// where the test checks what the page sends; the clipboard is read back with xclip.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Before the X headers, which define Bool.
#include "io/redescribe.h"
#include "views/source_pages.h"

#include "../../app/shell_fixture.h"
#include "app/page_rows.h"
#include "app/ui_elements.h"
#include "../../toolkit/gl_test_support.h"
#include "app/graphics_window.h"
#include "app/image_window.h"
#include "app/message_dialog.h"
#include "common/number_text.h"
#include "common/system.h"
#include "io/frame_access.h"
#include "io/service_description.h"
#include "pump_support.h"
#include "toolkit/number_field.h"
#include "toolkit/list_control.h"
#include "toolkit/widget.h"
#include "io/data_set.h"
#include "main/output_services.h"
#include "main/source_page_services.h"
#include "../source_test_support.h"
#include "framework/display_lock.h"
#include "../../main/program_shell.h"
#include "test_support.h"
#include "views/open_data_files.h"
#include "views/output_page.h"
#include "views/source_component.h"
#include "views/source_pages.h"

namespace orva {
namespace {

using namespace testing_util;

class SourcePagesTest : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedPages_ = TheSourcePageHooks();
        savedSave_ = TheServiceSaveHooks();
        services_.emplace();
        InstallSourcePageServices();
        InstallOutputServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
        TheSourcePageHooks() = savedPages_;
        TheServiceSaveHooks() = savedSave_;
        ByteswapAlertPending() = true;
    }
    SourceComponent* Open(const std::string& path, const char* tag = "") {
        OpenParameters request;
        std::snprintf(request.typeTag, sizeof request.typeTag, "%s", tag);
        auto* s = dynamic_cast<SourceComponent*>(OpenSourceFileReport(&cui(), nullptr, &request, path.c_str()));
        PumpFor(200);
        return s;
    }
    // Opens the file; the Source, its data set and its pages.
    bool OpenPages(const std::string& path, const char* tag = "") {
        source = Open(path, tag);
        if (source == nullptr || source->Input() == nullptr) return Failed("not opened");
        d = source->Input();
        info = SourceInfoElement(source);
        options = SourceOptionsElement(source);
        if (info == nullptr || options == nullptr) return Failed("no pages");
        return true;
    }
    static bool Failed(const char* what) {
        ADD_FAILURE() << what;
        return false;
    }
    gElement* W(uint32_t slot) { return options->slots[slot]; }
    std::string Text(uint32_t slot) { return W(slot)->text; }
    uintptr_t Data() { return reinterpret_cast<uintptr_t>(options); }
    // Types into a field of the Options page and runs its commit handler.
    void Type(uint32_t slot, const char* text) {
        gWgtSetText(W(slot), text);
        W(slot)->onChange(W(slot), Data());
    }
    void Press(uint32_t slot) { W(slot)->onClick(W(slot), Data()); }
    // A value of a table of the Info page.
    std::string Cell(uint32_t table, int row) {
        ListCtrl* list = ListCtrl::FromWidget(info->slots[table]);
        if (list == nullptr || row >= list->rowCount) return "(none)";
        const ListRow& r = list->rows[static_cast<size_t>(row)];
        return r.cells.size() > 1 ? r.cells[1].text : std::string();
    }

    TempFolder folder;
    SourceComponent* source = nullptr;
    DataSet* d = nullptr;
    UIElement* info = nullptr;
    UIElement* options = nullptr;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    SourcePageHooks savedPages_;
    ServiceSaveHooks savedSave_;
};


// Runs a python script; true when it ran.
bool Python(const std::string& folder, const std::string& script) {
    const std::string file = folder + "/make.py";
    WriteText(file, script);
    return std::system((ORVA_PYTHON " '" + file + "' >/dev/null 2>&1").c_str()) == 0;
}

std::string Fit6(double v) {
    char text[32];
    FormatDoubleFit(6, text, v, nullptr);
    return text;
}

// Records what the page hands to the read state: id, kind of the first value, count and
// the values; accepts or refuses as told. Its default is the present description
// exactly while `same` is set.
class RecordingReadState : public ReadState {
public:
    struct Call {
        uint32_t id, kind, count;
        PropertyValue values[2];
    };
    void Reset() override {}
    bool TakeSnapshot(const DataSetInfo*, int) override { return snapshot; }
    bool ApplySnapshot(DataSet*, int) override { return accept; }
    bool CompareSnapshot(const DataSetInfo*, int) const override { return same; }
    bool SetProperty(DataSet*, uint32_t id, const PropertyValue* values, uint32_t count) override {
        Call c{id, values != nullptr && count > 0 ? values[0].kind : 0u, count, {}};
        for (uint32_t i = 0; i < count && i < 2; ++i) c.values[i] = values[i];
        calls.push_back(c);
        return accept;
    }
    std::vector<Call> calls;
    bool accept = true, same = true, snapshot = true;
};

// Puts a recording read state into the data set for the test's scope.
class ScopedRecorder {
public:
    explicit ScopedRecorder(DataSet* d) : d_(d), saved_(std::move(d->readState)) {
        auto r = std::make_unique<RecordingReadState>();
        rec = r.get();
        d->readState = std::move(r);
    }
    ~ScopedRecorder() { d_->readState = std::move(saved_); }
    RecordingReadState* rec;

private:
    DataSet* d_;
    std::unique_ptr<ReadState> saved_;
};

// A 512 x 512 file of 16-bit samples, opened as binary.
std::string RawFile(const std::string& folder) {
    const std::string path = folder + "/data.raw";
    WriteText(path, std::string(512 * 512 * 2, '\0'));
    return path;
}

TEST_F(SourcePagesTest, FieldsAreCheckedAndSentAsOneValue) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    ScopedRecorder scope(d);
    RecordingReadState* rec = scope.rec;
    struct Case {
        uint32_t slot;
        const char* typed;
        bool accept;
        const char* status;
        int id;  // -1: nothing sent
        uint32_t kind;
        int64_t i64;
        double f64;
    };
    const Case cases[] = {
        {kOptFrames, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptAxisX, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptAxisY, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptAxisZ, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptStep, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptFrames, "3", true, "Ready", 21, kPropertyUInt32, 3, 0},
        {kOptStep, "-1", true, "Ready", 23, kPropertyInt32, -1, 0},
        {kOptAxisX, "5000000000", true, "Ready", 7, kPropertyInt64, 5000000000LL, 0},
        {kOptAxisY, "3000000000", true, "Ready", 8, kPropertyInt64, 2147483647, 0},
        {kOptAxisZ, "4", true, "Ready", 10, kPropertyInt64, 4, 0},
        {kOptBegin, "0", true, "Ready", 12, kPropertyInt64, 0, 0},
        {kOptEnd, "0", true, "Ready", 13, kPropertyInt64, 0, 0},
        {kOptBlocks, "0", true, "Ready", 14, kPropertyInt64, 0, 0},
        {kOptCropX, "-5", true, "Ready", 15, kPropertyInt64, 5, 0},
        {kOptCropW, "0", true, "Ready", 16, kPropertyInt64, 1, 0},
        {kOptCropY, "7", true, "Ready", 17, kPropertyInt64, 7, 0},
        {kOptCropH, "-3", true, "Ready", 18, kPropertyInt64, 3, 0},
        {kOptCropZ, "0", true, "Ready", 19, kPropertyInt64, 0, 0},
        {kOptCropD, "0", true, "Ready", 20, kPropertyInt64, 1, 0},
        {kOptScale, "0", true, "Bad value", -1, 0, 0, 0},
        {kOptScale, "1e-310", true, "Bad value", -1, 0, 0, 0},
        {kOptScale, "1e999", true, "Bad value", -1, 0, 0, 0},
        {kOptScale, "2.5", true, "Ready", 3, kPropertyDouble, 0, 2.5},
        {kOptZero, "0", true, "Ready", 4, kPropertyDouble, 0, 0.0},
        {kOptZero, "-12.25", true, "Ready", 4, kPropertyDouble, 0, -12.25},
        // Refusals: every field tells so, Scaling and Zero offset too.
        {kOptScale, "2", false, "Can`t init decode convertor", 3, kPropertyDouble, 0, 2.0},
        {kOptZero, "1", false, "Can`t init decode convertor", 4, kPropertyDouble, 0, 1.0},
        {kOptAxisX, "100", false, "Can`t init decode convertor", 7, kPropertyInt64, 100, 0},
    };
    for (const Case& c : cases) {
        rec->calls.clear();
        rec->accept = c.accept;
        gWgtSetText(W(kOptStatus), "");
        Type(c.slot, c.typed);
        const std::string what = std::to_string(c.slot) + " <- " + c.typed;
        EXPECT_EQ(Text(kOptStatus), c.status) << what;
        if (c.id < 0) {
            EXPECT_TRUE(rec->calls.empty()) << what;
            continue;
        }
        ASSERT_EQ(rec->calls.size(), 1u) << what;
        const RecordingReadState::Call& call = rec->calls[0];
        EXPECT_EQ(call.id, static_cast<uint32_t>(c.id)) << what;
        EXPECT_EQ(call.kind, c.kind) << what;
        EXPECT_EQ(call.count, 1u) << what;
        if (c.kind == kPropertyDouble)
            EXPECT_EQ(call.values[0].f64, c.f64) << what;
        else if (c.kind == kPropertyInt64)
            EXPECT_EQ(call.values[0].i64, c.i64) << what;
        else if (c.kind == kPropertyInt32)
            EXPECT_EQ(call.values[0].i32, static_cast<int32_t>(c.i64)) << what;
        else
            EXPECT_EQ(call.values[0].u32, static_cast<uint32_t>(c.i64)) << what;
    }
    // The field shows the data set's value again, whatever was typed.
    Type(kOptAxisX, "0");
    EXPECT_EQ(Text(kOptAxisX), "512");
    // The channel selector: 0 is a bad value and nothing is stored.
    rec->calls.clear();
    Type(kOptSelector, "0");
    EXPECT_EQ(Text(kOptStatus), "Bad value");
    EXPECT_EQ(Text(kOptSelector), "1");
    EXPECT_TRUE(rec->calls.empty());
    // Above the channel count: the count.
    Type(kOptSelector, "9");
    EXPECT_EQ(d->selectedChannel, 1u);
    EXPECT_EQ(Text(kOptStatus), "Ready");
}

TEST_F(SourcePagesTest, LockKnownAndTheEnablingRules) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    const uint64_t savedFlags = d->flags;
    d->flags = 0x1;
    W(kOptLockKnown)->value = 1;
    Press(kOptLockKnown);
    EXPECT_EQ(d->lockKnown, 1);
    for (uint32_t slot = kOptType8; slot <= kOptTypeReal64; ++slot) EXPECT_EQ(W(slot)->enabled, 0) << slot;
    EXPECT_EQ(W(kOptByteswap)->enabled, 1);
    EXPECT_EQ(W(kOptBlocks)->enabled, 1);
    W(kOptLockKnown)->value = 0;
    Press(kOptLockKnown);
    EXPECT_EQ(d->lockKnown, 0);
    for (uint32_t slot = kOptType8; slot <= kOptTypeReal64; ++slot) EXPECT_EQ(W(slot)->enabled, 1) << slot;
    // Blocks is locked only when the header states all of 0x719.
    W(kOptLockKnown)->value = 1;
    for (const auto& [mask, enabled] : {std::pair<uint64_t, int>{0x718, 1}, {0x619, 1}, {0x719, 0}, {0xFFFFF, 0}}) {
        d->flags = mask;
        Press(kOptLockKnown);
        EXPECT_EQ(W(kOptBlocks)->enabled, enabled) << std::hex << mask;
    }
    EXPECT_EQ(W(kOptScale)->enabled, 0);
    EXPECT_EQ(W(kOptZeroMenu)->enabled, 0);
    EXPECT_EQ(W(kOptCropWhole)->enabled, 0);
    W(kOptLockKnown)->value = 0;
    Press(kOptLockKnown);
    d->flags = savedFlags;
    // Without a read state the description cannot change: slots 6-26 are disabled and
    // Begin, End and Blocks hidden; the axes stay while there is a record.
    std::unique_ptr<ReadState> state = std::move(d->readState);
    RefreshSourceOptionsPage(source, options, 0);
    for (uint32_t slot = kOptType8; slot <= kOptBlocks; ++slot) EXPECT_EQ(W(slot)->enabled, 0) << slot;
    for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks}) EXPECT_FALSE(WidgetWanted(W(slot))) << slot;
    for (uint32_t slot : {kOptAxisX, kOptAxisY, kOptAxisZ}) EXPECT_TRUE(WidgetWanted(W(slot))) << slot;
    EXPECT_EQ(W(kOptCropX)->enabled, 1);
    d->readState = std::move(state);
    RefreshSourceOptionsPage(source, options, 0);
    for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks, kOptAxisX}) EXPECT_TRUE(WidgetWanted(W(slot))) << slot;
    // A frame table without a record of the current section: the axes go too.
    d->frameTable = std::make_shared<SectionFrameTable>();
    RefreshSourceOptionsPage(source, options, 0);
    for (uint32_t slot = kOptType8; slot <= kOptBlocks; ++slot) EXPECT_EQ(W(slot)->enabled, 0) << slot;
    for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks, kOptAxisX, kOptAxisY, kOptAxisZ})
        EXPECT_FALSE(WidgetWanted(W(slot))) << slot;
    d->frameTable.reset();
    RefreshSourceOptionsPage(source, options, 0);
    for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks, kOptAxisX}) EXPECT_TRUE(WidgetWanted(W(slot))) << slot;
    EXPECT_EQ(W(kOptType8)->enabled, 1);
    EXPECT_EQ(W(kOptAxisY)->enabled, 1);
    // The Info page is the one shown: the refreshes of the hidden Options page draw none
    // of its widgets over it.
    ASSERT_EQ(options->group->shown, 0);
    for (uint32_t slot = 0; slot < options->slotCount; ++slot) {
        if (W(slot) != nullptr) {
            EXPECT_EQ(W(slot)->shown, 0) << slot;
        }
    }
}

TEST_F(SourcePagesTest, CropArithmeticAndButtons) {
    struct Case {
        void (*apply)(int64_t, int64_t*, int64_t*);
        int64_t n, o, s, wantO, wantS;
    };
    const Case cases[] = {
        {&CropShrinkAxis, 3, 0, 3, 1, 1},  {&CropShrinkAxis, 3, 0, 2, 0, 2},  {&CropShrinkAxis, 3, 2, 3, 2, 3},
        {&CropGrowAxis, 8, 1, 5, 0, 7},    {&CropGrowAxis, 8, 0, 4, 0, 4},    {&CropGrowAxis, 8, 1, 6, 1, 6},
        {&CropHalfAxis, 10, 0, 10, 2, 6},  {&CropHalfAxis, 3, 0, 3, 1, 1},    {&CropHalfAxis, 1, 0, 1, 0, 1},
        {&CropHalfAxis, 2, 0, 2, 1, 1},
    };
    for (const Case& c : cases) {
        int64_t o = c.o, s = c.s;
        c.apply(c.n, &o, &s);
        EXPECT_EQ(std::make_pair(o, s), std::make_pair(c.wantO, c.wantS)) << c.n << " " << c.o << " " << c.s;
    }
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    // Through the page: "Half", "-", "+" and the whole section, on both axes of 512.
    Press(kOptCropHalf);
    EXPECT_EQ(std::make_pair(d->cropX, d->cropSizeX), std::make_pair(int64_t{128}, int64_t{256}));
    EXPECT_EQ(std::make_pair(Text(kOptCropY), Text(kOptCropH)), std::make_pair(std::string("128"), std::string("256")));
    Press(kOptCropShrink);
    EXPECT_EQ(std::make_pair(d->cropY, d->cropSizeY), std::make_pair(int64_t{129}, int64_t{254}));
    Press(kOptCropGrow);
    Press(kOptCropGrow);
    EXPECT_EQ(std::make_pair(d->cropX, d->cropSizeX), std::make_pair(int64_t{127}, int64_t{258}));
    EXPECT_EQ(Text(kOptStatus), "Ready");
    Press(kOptCropWhole);
    EXPECT_EQ(std::make_pair(d->cropX, d->cropSizeX), std::make_pair(int64_t{0}, int64_t{512}));
    EXPECT_EQ(std::make_pair(Text(kOptCropX), Text(kOptCropW)), std::make_pair(std::string("0"), std::string("512")));
}

TEST_F(SourcePagesTest, ByteswapOnRealDataAsksOncePerRun) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    ScopedRecorder scope(d);
    RecordingReadState* rec = scope.rec;
    const uint32_t savedType = d->input.type;
    ByteswapAlertPending() = true;
    d->input.type = 0x10;
    QueueModalResponder(AnswerPress("No"));
    W(kOptByteswap)->value = 1;
    Press(kOptByteswap);
    EXPECT_EQ(PendingModalResponders(), 0);
    EXPECT_TRUE(rec->calls.empty());
    EXPECT_EQ(W(kOptByteswap)->value, 0u);
    EXPECT_FALSE(ByteswapAlertPending());
    // Asked once: the next press is sent at once (a queued answer stays unused).
    QueueModalResponder(AnswerPress("No"));
    W(kOptByteswap)->value = 1;
    Press(kOptByteswap);
    EXPECT_EQ(PendingModalResponders(), 1);
    ClearModalResponders();
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].id, static_cast<uint32_t>(kPropByteOrder));
    EXPECT_EQ(rec->calls[0].kind, kPropertyBool);
    EXPECT_EQ(rec->calls[0].values[0].boolean, 1);
    // 8-bit samples have no byte order: released, disabled, nothing sent.
    rec->calls.clear();
    d->input.type = 0x01;
    W(kOptByteswap)->value = 1;
    Press(kOptByteswap);
    EXPECT_EQ(W(kOptByteswap)->value, 0u);
    EXPECT_EQ(W(kOptByteswap)->enabled, 0);
    EXPECT_TRUE(rec->calls.empty());
    // The type already held: nothing sent, the button stays pressed.
    d->input.type = savedType;
    W(kOptType8 + 1)->value = 0;
    Press(kOptType8 + 1);
    EXPECT_EQ(W(kOptType8 + 1)->value, 1u);
    EXPECT_TRUE(rec->calls.empty());
    Press(kOptType8 + 4);
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].id, static_cast<uint32_t>(kPropSampleType));
    EXPECT_EQ(rec->calls[0].values[0].u32, 0x10u);
    ByteswapAlertPending() = true;
}

TEST_F(SourcePagesTest, UpdateSavesTheDescriptionAndTellsTheResult) {
    const std::string path = RawFile(folder.Path());
    ASSERT_TRUE(OpenPages(path, "BINARY"));
    // A change makes "Update" stand out until it is saved.
    const uint32_t plain = W(kOptUpdate)->color1;
    Type(kOptScale, "2");
    EXPECT_EQ(d->scale, 2.0);
    EXPECT_EQ(W(kOptUpdate)->color1, 0x423317Fu);
    Press(kOptUpdate);
    EXPECT_EQ(Text(kOptStatus), "Update...");
    EXPECT_TRUE(Exists(folder.File("data.fs")));
    EXPECT_EQ(W(kOptUpdate)->color1, plain);
    EXPECT_EQ(W(kOptService)->enabled, 1);
    // The other results.
    {
        // Saved, but the read state does not take it as its default.
        ScopedRecorder scope(d);
        scope.rec->snapshot = false;
        Press(kOptUpdate);
        EXPECT_EQ(Text(kOptStatus), "Can`t update");
    }
    const std::string savedName = d->sourceName;
    d->sourceName = "<NAME>" + folder.File("missing/data.raw");
    Press(kOptUpdate);
    EXPECT_EQ(Text(kOptStatus), "Can`t open file");
    d->sourceName = savedName;
    StreamRecord* stream = d->stream;
    d->stream = nullptr;
    Press(kOptUpdate);
    EXPECT_EQ(Text(kOptStatus), "Can`t update");
    d->stream = stream;
    const ServiceSaveHooks hooks = TheServiceSaveHooks();
    TheServiceSaveHooks().chooseName = [](std::string*, const char*, const char*) { return false; };
    const std::string name = stream->name;
    stream->name.clear();
    d->sourceName.clear();
    gWgtSetText(W(kOptStatus), "");
    OutputStatusReset();
    Press(kOptUpdate);
    EXPECT_EQ(Text(kOptStatus), "Ready");
    stream->name = name;
    d->sourceName = savedName;
    TheServiceSaveHooks() = hooks;
}

TEST_F(SourcePagesTest, TheClearedPageComesBack) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    EXPECT_EQ(Text(kOptName), "data.raw");
    RefreshSourceOptionsPage(source, options, kPageRefresh);
    EXPECT_EQ(Text(kOptName), "[none]");
    EXPECT_EQ(Text(kOptPath), "");
    for (uint32_t slot = kOptLockKnown; slot <= kOptHeader; ++slot) EXPECT_EQ(W(slot)->enabled, 0) << slot;
    RefreshSourceOptionsPage(source, options, 0);
    EXPECT_EQ(Text(kOptName), "data.raw");
    EXPECT_EQ(Text(kOptPath), folder.Path());
    for (uint32_t slot : {kOptLockKnown, kOptDefault, kOptLast, kOptUpdate, kOptHeader})
        EXPECT_EQ(W(slot)->enabled, 1) << slot;
    EXPECT_EQ(W(kOptService)->enabled, 0);
    EXPECT_EQ(Text(kOptAxisX), "512");
    EXPECT_EQ(Text(kOptType8 + 1), "16 Bit");
    EXPECT_EQ(W(kOptType8 + 1)->value, 1u);
}

// Counts the data set's notifications.
struct CountingNotify : SourceNotify {
    void PropertiesChanged() override { ++properties; }
    void KernelsRefreshed() override { ++kernels; }
    int properties = 0, kernels = 0;
};

// A FITS cube by astropy: `frames` x `height` x `width` values of the numpy expression
// (over the flat index i) in the dtype.
bool WriteFits(const std::string& folder, const std::string& path, int frames, int height, int width,
               const std::string& expression, const std::string& dtype) {
    const std::string n = std::to_string(frames * height * width);
    std::string shape = std::to_string(height) + ", " + std::to_string(width);
    if (frames > 1) shape = std::to_string(frames) + ", " + shape;
    return Python(folder, "import numpy as np\nfrom astropy.io import fits\ni = np.arange(" + n + ")\n"
                          "a = (" + expression + ").reshape(" + shape + ").astype(np." + dtype + ")\n"
                          "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n");
}

TEST_F(SourcePagesTest, TheInfoTablesDescribeTheFileAndTheSection) {
    const std::string path = folder.File("cube.fits");
    if (!WriteFits(folder.Path(), path, 3, 10, 20, "i % 1000 - 300", "int16")) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenPages(path));
    InfoPageRefresh(source, info);
    EXPECT_EQ(Cell(kInfoDescription, 1), "cube.fits");
    EXPECT_EQ(Cell(kInfoDescription, 2), folder.Path());
    EXPECT_EQ(Cell(kInfoDescription, 7), "20 x 10");
    EXPECT_EQ(Cell(kInfoDescription, 8), "3");
    EXPECT_EQ(Cell(kInfoDescription, 9), "1");
    EXPECT_EQ(Cell(kInfoStatistic, 0), "20 x 10");
    EXPECT_EQ(Cell(kInfoStatistic, 1), "20 x 10,  (0,  0)");
    EXPECT_EQ(Text(kOptFrames), "3");
    // The drive of the file: its kind, mount point, label and file system.
    char drive[100];
    ASSERT_TRUE(DiskInfoText(path.c_str(), drive, sizeof drive));
    EXPECT_EQ(Cell(kInfoDescription, 0), drive);
    if (std::system("findmnt -n --target /dev/shm 2>/dev/null | grep -q tmpfs") == 0) {
        ASSERT_TRUE(DiskInfoText("/dev/shm", drive, sizeof drive));
        EXPECT_STREQ(drive, "RAM disk /dev/shm , tmpfs");
        ASSERT_TRUE(DiskInfoText("/dev/shm", drive, 9));
        EXPECT_STREQ(drive, "RAM disk");
    }
    EXPECT_FALSE(DiskInfoText("relative", drive, sizeof drive));
    EXPECT_STREQ(drive, "");
    // The one-, two- and three-axis forms.
    const int64_t y = d->sizeY;
    d->sizeY = 1;
    InfoPageRefresh(source, info);
    EXPECT_EQ(Cell(kInfoDescription, 7), "20");
    d->sizeY = y;
    d->sizeZ = 4;
    InfoPageRefresh(source, info);
    EXPECT_EQ(Cell(kInfoDescription, 7), "20 x 10 x 4");
    d->sizeZ = 1;
    // A frame step of 2 offers frames 1 and 3: the file's count and the logical one, and
    // the physical frame beside the size.
    const PropertyValue step = PropertyValue::Int32(2);
    ASSERT_TRUE(ReadStateSetProperty(d->readState.get(), d, kPropFrameStep, &step, 1));
    d->currentFrame = 1;
    InfoPageRefresh(source, info);
    EXPECT_EQ(Cell(kInfoDescription, 8), "Origin: 3 | Internal: 2");
    EXPECT_EQ(Cell(kInfoStatistic, 0), "20 x 10  [frame#3]");
    EXPECT_EQ(info->slots[kInfoFrame]->text, "2");
    EXPECT_EQ(info->slots[kInfoFrame]->enabled, 1);
    // Statistics of the section: computed on "Calculate"; an overflowed stored range is
    // marked.
    InfoPageCalculate(info->slots[kInfoCalculate], reinterpret_cast<uintptr_t>(info));
    EXPECT_FALSE(Cell(kInfoStatistic, 2).empty());
    SectionStatistics* r = DataSetSectionRecord(d, d->currentFrame, d->currentSection, nullptr);
    ASSERT_NE(r, nullptr);
    r->channelOverflow = 1;
    InfoPageShowCurrent(source, info);
    const std::string raw = Cell(kInfoStatistic, 2);
    EXPECT_EQ(raw.substr(raw.size() - 7), " (Ower)") << raw;
    // Frame 3 holds 100 .. 299: a span of 200 values, which 8 bits hold.
    EXPECT_EQ(Cell(kInfoStatistic, 7), "Integer 8");
}

TEST_F(SourcePagesTest, ASingleFrameShowsFrameOneDisabled) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    InfoPageRefresh(source, info);
    EXPECT_EQ(info->slots[kInfoFrame]->text, "1");
    EXPECT_EQ(info->slots[kInfoFrame]->enabled, 0);
    EXPECT_EQ(info->slots[kInfoSection]->enabled, 0);
    EXPECT_EQ(Cell(kInfoDescription, 8), "1");
    EXPECT_EQ(Cell(kInfoDescription, 7), "512 x 512");
    // The tables are as high as their rows: each row of the page starts below the one
    // before it.
    const gElement* description = info->slots[kInfoDescription];
    const gElement* statistic = info->slots[kInfoStatistic];
    const ListCtrl* list = ListCtrl::FromWidget(description);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(description->height, 10 * list->rowHeight + 2);
    EXPECT_EQ(statistic->height, 8 * list->rowHeight + 2);
    EXPECT_EQ(statistic->x, description->x);
    EXPECT_GE(statistic->y, description->y + description->height);
    EXPECT_GE(info->slots[kInfoFrame]->y, statistic->y + statistic->height);
    EXPECT_GE(info->slots[kInfoCalculate]->y, info->slots[kInfoFrame]->y + info->slots[kInfoFrame]->height);
}

TEST_F(SourcePagesTest, CopyPutsBothTablesOnTheClipboard) {
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip missing";
    const std::string path = folder.File("cube.fits");
    if (!WriteFits(folder.Path(), path, 3, 10, 20, "i % 700", "int16")) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenPages(path));
    const PropertyValue step = PropertyValue::Int32(-1);
    ASSERT_TRUE(ReadStateSetProperty(d->readState.get(), d, kPropFrameStep, &step, 1));
    d->currentFrame = 0;
    InfoPageRefresh(source, info);
    InfoPageCopy(info->slots[kInfoCopy], reinterpret_cast<uintptr_t>(info));
    const std::string text = RunPumping("xclip -o -selection clipboard");
    const std::string header = ";   STATISTIC | Current : frame 2/0/-1, section 0,  channels 1\n\n";
    const size_t at = text.find(header);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.substr(0, 6), "Source");
    EXPECT_NE(text.find("cube.fits"), std::string::npos);
    ASSERT_GE(at, 2u);
    EXPECT_EQ(text.substr(at - 2, 2), "\r\n");
    EXPECT_EQ(text.substr(at + header.size(), 4), "Size");
    // Without physical frames nothing is copied.
    ASSERT_TRUE(ClipboardSetText("kept", 4, nullptr));
    d->totalFrames = 0;
    InfoPageCopy(info->slots[kInfoCopy], reinterpret_cast<uintptr_t>(info));
    EXPECT_EQ(RunPumping("xclip -o -selection clipboard"), "kept");
    d->totalFrames = 3;
}

TEST_F(SourcePagesTest, CalculateAgreesWithNumpy) {
    const std::string path = folder.File("image.fits");
    const std::string script =
        "import numpy as np\nfrom astropy.io import fits\n"
        "rng = np.random.default_rng(7)\n"
        "a = (rng.normal(5.0, 3.0, (100, 100))).astype(np.float32)\n"
        "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n"
        "v = a.astype(np.float64)\n"
        "open('" + folder.File("stats.txt") + "', 'w').write('%r %r %r %r' % "
        "(float(v.min()), float(v.max()), float(v.mean()), float(v.std(ddof=1))))\n";
    if (!Python(folder.Path(), script)) GTEST_SKIP() << "no astropy";
    double lo = 0, hi = 0, mean = 0, sd = 0;
    ASSERT_EQ(std::sscanf(ReadText(folder.File("stats.txt")).c_str(), "%lf %lf %lf %lf", &lo, &hi, &mean, &sd), 4);
    ASSERT_TRUE(OpenPages(path));
    InfoPageCalculate(info->slots[kInfoCalculate], reinterpret_cast<uintptr_t>(info));
    EXPECT_EQ(Cell(kInfoStatistic, 3), Fit6(lo) + " / " + Fit6(hi));
    EXPECT_EQ(Cell(kInfoStatistic, 5), Fit6(mean));
    EXPECT_EQ(Cell(kInfoStatistic, 6), Fit6(sd));
    EXPECT_EQ(Cell(kInfoStatistic, 4), Fit6(hi - lo));
}

TEST_F(SourcePagesTest, TheScalingMenuMapsTheRange) {
    const std::string path = folder.File("bytes.fits");
    if (!WriteFits(folder.Path(), path, 1, 10, 10, "10 + i % 11", "uint8")) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenPages(path));
    ScopedRecorder scope(d);
    RecordingReadState* rec = scope.rec;
    // Without statistics nothing can be mapped.
    d->ForgetStatistics();
    ScalingMenu(options, 1);
    EXPECT_EQ(Text(kOptStatus), "Can`t rescale... Calc statistic first [tab info]");
    EXPECT_TRUE(rec->calls.empty());
    InfoPageCalculate(info->slots[kInfoCalculate], reinterpret_cast<uintptr_t>(info));
    struct Case {
        int item;
        double scale, zero;
    };
    for (Case c : {Case{1, 25.5, -255.0}, Case{2, 25.5, -383.0}, Case{7, 0.1, -1.0}, Case{9, 1.0, 0.0},
                   Case{10, -1.0, 0.0}}) {
        rec->calls.clear();
        ScalingMenu(options, c.item);
        ASSERT_EQ(rec->calls.size(), 1u) << c.item;
        EXPECT_EQ(rec->calls[0].id, static_cast<uint32_t>(kPropScaleZero));
        EXPECT_EQ(rec->calls[0].count, 2u);
        EXPECT_EQ(rec->calls[0].values[0].kind, kPropertyDouble);
        EXPECT_EQ(rec->calls[0].values[1].kind, kPropertyDouble);
        EXPECT_DOUBLE_EQ(rec->calls[0].values[0].f64, c.scale) << c.item;
        EXPECT_DOUBLE_EQ(rec->calls[0].values[1].f64, c.zero) << c.item;
        EXPECT_EQ(Text(kOptStatus), "Ready");
    }
    // An empty range: final, nothing sent.
    rec->calls.clear();
    d->cacheRawMax = d->cacheRawMin;
    ScalingMenu(options, 3);
    EXPECT_EQ(Text(kOptStatus), "Can`t rescale");
    EXPECT_TRUE(rec->calls.empty());
}

TEST_F(SourcePagesTest, TheZeroOffsetMenuByTypeAndStatistics) {
    const std::string path = folder.File("bytes.fits");
    if (!WriteFits(folder.Path(), path, 1, 10, 10, "10 + i % 11", "uint8")) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenPages(path));
    ScopedRecorder scope(d);
    RecordingReadState* rec = scope.rec;
    const uint32_t savedType = d->input.type;
    struct Case {
        uint32_t type;
        int item;
        bool sent;
        double zero;
    };
    for (Case c : {Case{0x01, 1, true, 128.0}, Case{0x02, 1, true, 32768.0}, Case{0x04, 1, true, 8388608.0},
                   Case{0x08, 1, true, 2147483648.0}, Case{0x20, 1, true, 0.0}, Case{0x02, 2, true, -32768.0},
                   Case{0x10, 1, false, 0.0}, Case{0x40, 5, false, 0.0}, Case{0x02, 5, true, 0.0}}) {
        rec->calls.clear();
        d->input.type = c.type;
        ZeroOffsetMenu(options, c.item);
        ASSERT_EQ(rec->calls.size(), c.sent ? 1u : 0u) << std::hex << c.type << " " << c.item;
        if (!c.sent) continue;
        EXPECT_EQ(rec->calls[0].id, static_cast<uint32_t>(kPropZero));
        EXPECT_EQ(rec->calls[0].kind, kPropertyDouble);
        EXPECT_EQ(rec->calls[0].values[0].f64, c.zero) << std::hex << c.type << " " << c.item;
    }
    d->input.type = savedType;
    // The minimum and the mean of 10 + i % 11 over i < 100 move to 0.
    InfoPageCalculate(info->slots[kInfoCalculate], reinterpret_cast<uintptr_t>(info));
    double sum = 0;
    for (int i = 0; i < 100; ++i) sum += 10 + i % 11;
    rec->calls.clear();
    ZeroOffsetMenu(options, 3);
    ZeroOffsetMenu(options, 4);
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[0].values[0].f64, -10.0);
    EXPECT_DOUBLE_EQ(rec->calls[1].values[0].f64, -sum / 100.0);
}

// The zero offset items take the statistics of the data as they stand: after "-1.0 [Raw
// Inv]" the mean and the minimum are those of the inverted values.
TEST_F(SourcePagesTest, TheZeroOffsetFollowsANewScaling) {
    const std::string path = folder.File("bytes.fits");
    if (!WriteFits(folder.Path(), path, 1, 10, 10, "10 + i % 11", "uint8")) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenPages(path));
    InfoPageCalculate(info->slots[kInfoCalculate], reinterpret_cast<uintptr_t>(info));
    double sum = 0;
    for (int i = 0; i < 100; ++i) sum += 10 + i % 11;
    struct Step {
        int scaleItem, zeroItem;
        double scale, zero, mean, min;
    };
    // Raw Inv then Remove mean: values -(10..20) + 14.95 (mean 0); then the minimum to 0.
    for (Step c : {Step{10, 4, -1.0, sum / 100.0, 0.0, -20.0 + sum / 100.0},
                   Step{0, 3, -1.0, 20.0, 20.0 - sum / 100.0, 0.0}}) {
        if (c.scaleItem != 0) ScalingMenu(options, c.scaleItem);
        ZeroOffsetMenu(options, c.zeroItem);
        EXPECT_EQ(d->scale, c.scale);
        EXPECT_NEAR(d->zero, c.zero, 1e-12);
        const SectionStatistics* t = DataSetTotalInfo(d, 0);
        ASSERT_NE(t, nullptr);
        const ValueRangeRecord r = ValueRangeOf(*t);
        EXPECT_NEAR(r.mean, c.mean, 1e-9);
        EXPECT_NEAR(r.min, c.min, 1e-9);
    }
}

TEST_F(SourcePagesTest, TheChannelModeMenu) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    SourceNotify* savedNotify = d->notify;
    CountingNotify counts;
    d->notify = &counts;
    // One channel: the mode is set, nothing is refreshed.
    ChannelModeMenu(options, 2);
    EXPECT_EQ(d->channelMode, kChannelSumming);
    EXPECT_EQ(counts.kernels + counts.properties, 0);
    EXPECT_EQ(Text(kOptStatus), "Ready");
    // Several channels: between "Asis" and a combining mode the channels offered change
    // and the kernels are chosen anew; between two combining modes the Source is told.
    d->input.channels = 2;
    ChannelModeMenu(options, 3);
    EXPECT_EQ(d->channelMode, kChannelAsIs);
    EXPECT_EQ(std::make_pair(counts.kernels, counts.properties), std::make_pair(1, 0));
    ChannelModeMenu(options, 1);
    EXPECT_EQ(std::make_pair(counts.kernels, counts.properties), std::make_pair(2, 0));
    EXPECT_EQ(W(kOptSelector)->enabled, 1);
    ChannelModeMenu(options, 2);
    EXPECT_EQ(std::make_pair(counts.kernels, counts.properties), std::make_pair(2, 1));
    EXPECT_EQ(W(kOptSelector)->enabled, 0);
    ChannelModeMenu(options, 2);
    EXPECT_EQ(std::make_pair(counts.kernels, counts.properties), std::make_pair(2, 1));
    d->input.channels = 1;
    d->channelMode = kChannelSelected;
    d->notify = savedNotify;
    d->FormatChanged();
}

TEST_F(SourcePagesTest, DefaultAndLastBringBackADescription) {
    ASSERT_TRUE(OpenPages(RawFile(folder.Path()), "BINARY"));
    Type(kOptScale, "2");
    Type(kOptScale, "3");
    EXPECT_EQ(d->scale, 3.0);
    // "Last": the description before the last change.
    Press(kOptLast);
    EXPECT_EQ(d->scale, 2.0);
    EXPECT_EQ(Text(kOptScale), "2");
    EXPECT_EQ(Text(kOptStatus), "Ready");
    // "Default": what the file gave.
    Press(kOptDefault);
    EXPECT_EQ(d->scale, 1.0);
    EXPECT_EQ(Text(kOptScale), "1");
    EXPECT_NE(W(kOptUpdate)->color1, 0x423317Fu);
    // Without a service description "Servis info" is refused; the refresh says "Ready".
    Press(kOptService);
    EXPECT_EQ(Text(kOptStatus), "Ready");
}

// Pulls the whole current frame from the Source through a consumer of its own.
std::vector<double> PullAll(SourceComponent* source, int32_t width, int32_t height) {
    testing_views::Consumer consumer;
    std::vector<double> values;
    if (!ConsumerAttach(&consumer.input, source)) {
        ADD_FAILURE() << "the Source refused the consumer";
        return values;
    }
    PullResult r;
    int32_t code = 0;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        code = consumer.Pull(&r, -1, -1, width, height);
    }
    EXPECT_EQ(code, 3);
    if (code == 3 && r.image.data != nullptr && r.window.width == width && r.window.height == height) {
        const auto* base = static_cast<const uint8_t*>(r.image.data);
        for (int32_t y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const double*>(base + static_cast<size_t>(y) * r.image.rowBytes);
            values.insert(values.end(), row, row + width);
        }
    }
    ConsumerDetach(&consumer.input);
    return values;
}

// Raw big-endian data described on the page reads as numpy wrote it; "Update" keeps the
// description in the ".fs" file, which the next opening of the file takes.
TEST_F(SourcePagesTest, DescribedRawDataIsKeptForTheNextOpening) {
    const std::string path = folder.File("data.raw");
    const std::string expected = folder.File("expected.f64");
    const std::string script = "import numpy as np\n"
                               "a = ((np.arange(512 * 512) * 37) % 65536 - 32768).reshape(512, 512).astype('>i2')\n"
                               "a.tofile('" + path + "')\n"
                               "a.astype('<f8').tofile('" + expected + "')\n";
    if (!Python(folder.Path(), script)) GTEST_SKIP() << "no numpy";
    const std::string bytes = ReadText(expected);
    ASSERT_EQ(bytes.size(), 512u * 512u * 8u);
    std::vector<double> want(512 * 512);
    std::memcpy(want.data(), bytes.data(), bytes.size());

    ASSERT_TRUE(OpenPages(path, "BINARY"));
    W(kOptType8 + 1)->value = 1;
    Press(kOptType8 + 1);
    if (W(kOptUnsigned)->value != 0) {
        W(kOptUnsigned)->value = 0;
        Press(kOptUnsigned);
    }
    W(kOptByteswap)->value = 1;
    Press(kOptByteswap);
    Type(kOptAxisX, "512");
    Type(kOptAxisY, "512");
    EXPECT_EQ(W(kOptType8 + 1)->value, 1u);
    EXPECT_EQ(Text(kOptType8 + 1), "16 Bit");
    EXPECT_EQ(W(kOptByteswap)->value, 1u);
    EXPECT_EQ(W(kOptUnsigned)->value, 0u);
    EXPECT_EQ(Text(kOptAxisX), "512");
    EXPECT_EQ(Text(kOptAxisY), "512");
    EXPECT_EQ(Text(kOptStatus), "Ready");
    EXPECT_TRUE(PullAll(source, 512, 512) == want);

    Press(kOptUpdate);
    EXPECT_EQ(Text(kOptStatus), "Update...");
    ASSERT_TRUE(Exists(folder.File("data.fs")));
    // Closed and opened again, the file reads the same without the page.
    CUICloseAllProjects(&cui(), false);
    PumpFor(100);
    source = nullptr;
    d = nullptr;
    SourceComponent* again = Open(path, "BINARY");
    ASSERT_NE(again, nullptr);
    ASSERT_NE(again->Input(), nullptr);
    EXPECT_EQ(again->Input()->sizeX, 512);
    EXPECT_EQ(again->Input()->sizeY, 512);
    EXPECT_TRUE(PullAll(again, 512, 512) == want);
}

}  // namespace
}  // namespace orva
