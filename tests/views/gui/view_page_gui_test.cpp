// The "View" page of a Transformation on the X server: a ramp source that answers
// statistics, the real scaler, converter and stage behind it, the page built in the
// shell's windows, the blocks' own widgets pressed and typed into, and the stage's
// pixels read back. The colour block (class, Quantize, mask and flags, levels, links,
// the palette menu with the scripted file dialog), the class options block, the range
// block (arrows with the modifiers, decades with the right button, Step, the menu and
// the region toggle), and two files whose pages live side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "../../app/shell_fixture.h"
#include "../../toolkit/gl_test_support.h"
#include "app/file_dialog.h"
#include "app/ui_elements.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "io/value_range.h"
#include "main/transform_services.h"
#include "platform/x11_keys.h"
#include "test_support.h"
#include "toolkit/edit_field.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "transform/color_classes.h"
#include "transform/scale_classes.h"
#include "transform/transformation_test_support.h"
#include "views/view_page.h"

namespace orva {
namespace {

using testing_transform::FakeRegion;
using testing_transform::PixelSink;
using testing_transform::RampSource;
using testing_transform::ReadBytes;
using testing_transform::RegionScope;
using testing_transform::RenderReference;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;
using Guard = std::lock_guard<std::recursive_mutex>;

// A ramp source at the head of an item that answers value-range requests.
class StatisticsSource : public RampSource {
public:
    StatisticsSource(int64_t width, int64_t height) : RampSource(width, height) {}
    bool OnMessage(MessageRecord* m, uint32_t a) override {
        if (m->code != kMsgValueRange) return RampSource::OnMessage(m, a);
        ValueRangeTarget* target = AsValueRangeTarget(MessageTargetOf(m));
        if (target == nullptr || flags == 0) return false;
        target->range = range;
        target->flags = flags;
        target->headerRange = header;
        return true;
    }
    ValueRangeRecord range;
    uint32_t flags = 0;
    LinearRange header;
};

// One opened file: item, source, stage, pixel sink and the stage's page.
struct File {
    testing::TestItem item;
    StatisticsSource* source = nullptr;
    TransformationComponent* stage = nullptr;
    PixelSink sink;
    UIPage* page = nullptr;
};

FakeRegion* gRegion = nullptr;

class ViewPageTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        TheApp().Properties().Clear();
        saved_ = TheTransformationUiServices();
        InstallTransformServices();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        for (File* f : files_) {
            ConsumerDetach(&f->sink);
            if (f->page != nullptr && UIPageIsLive(f->page)) UIPageDetachComponent(f->page, nullptr);
            f->stage->Release();
            f->source->Release();
            delete f;
        }
        files_.clear();
        Stop();
        TheTransformationUiServices() = saved_;
        TheTransformationViewHooks() = TransformationViewHooks{};
        TheApp().Properties().Clear();
        platform::ResetKeyStateForTest();
        gMouseButtonState() = 0;
        gRegion = nullptr;
    }

    // A file of a 16 x 16 ramp through "range" 0 … 65535 and "Grey", its page built in `window`.
    File* Open(gWindow* window) {
        auto* f = new File;
        files_.push_back(f);
        f->source = new StatisticsSource(16, 16);
        f->item.firstStage = f->source;
        f->stage = new TransformationComponent(&f->item, nullptr, 0);
        EXPECT_TRUE(ConsumerAttach(&f->stage->input, f->source));
        EXPECT_TRUE(ConsumerAttach(&f->sink, f->stage));
        EXPECT_TRUE(ValueScalerSetClass(&f->stage->scaler, FindScaleClass("range", 5)));
        EXPECT_TRUE(ColorConverterSetClass(&f->stage->converter, 1));
        SetRange(f, 0.0, 65535.0);
        f->page = CUICreateWindowRecord(&cui());
        EXPECT_TRUE(UIPageAttachComponent(f->page, f->stage));
        EXPECT_EQ(TransformationViewPage(f->page, window, 0), 4);
        return f;
    }
    static void SetRange(File* f, double low, double high) {
        Guard hold(DisplayLock());
        f->stage->scaler.Current().min = low;
        f->stage->scaler.Current().max = high;
        f->stage->scaler.Current().UpdateScale();
    }
    static UIElement* Block(File* f, uint32_t index) {
        return f->page->table.size() > index ? f->page->table[index] : nullptr;
    }
    static gElement* W(UIElement* e, uint32_t slot) { return e->slots[slot]; }
    static std::string Text(UIElement* e, uint32_t slot) { return W(e, slot)->text; }
    // A press as the toolkit makes it (toggles change their value first).
    static void Press(UIElement* e, uint32_t slot) {
        gElement* w = W(e, slot);
        ASSERT_EQ(gWgtPress(w->window, w, false), 1) << slot;
    }
    static void Type(UIElement* e, uint32_t slot, const char* text) {
        gWgtSetText(W(e, slot), text);
        W(e, slot)->onChange(W(e, slot), reinterpret_cast<uintptr_t>(e));
    }
    static void Hold(uint32_t vk) { platform::KeyTrackState(vk, false, true); }
    static void Free() { platform::ResetKeyStateForTest(); }
    // The RGB bytes of the whole frame as the stage gives them now.
    static std::vector<uint8_t> Pixels(File* f) {
        PullResult r;
        r.window.frame = r.window.section = -1;
        r.window.width = r.window.height = 16;
        PullRequest request;
        request.readAgain = 1;
        if (f->stage->process(f->stage, &r, &request) < 3) return {};
        const auto* p = static_cast<const uint8_t*>(r.image.data);
        return std::vector<uint8_t>(p, p + r.image.rowBytes * r.image.height);
    }
    // The numpy reference of the ramp through "range" and "Grey".
    std::vector<uint8_t> GreyReference() {
        const std::string out = folder.File("grey.raw");
        EXPECT_EQ(RenderReference("ramp 16 16 0 0 16 16 '" + out + "'"), "");
        return ReadBytes(out);
    }

    TempFolder folder;
    testing_util::ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::vector<File*> files_;
    TransformationUiServices saved_;
};

// The blocks stack in their window: range, colour, class options, none over another.
TEST_F(ViewPageTest, TheBlocksStackInTheirWindow) {
    File* f = Open(Main());
    float top[3], bottom[3];
    for (uint32_t b = 0; b < 3; ++b) {
        UIElement* e = Block(f, b);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->window, Main());
        top[b] = 1e9f;
        bottom[b] = -1e9f;
        for (uint32_t i = 0; i < e->slotCount; ++i) {
            ASSERT_NE(e->slots[i], nullptr) << b << " " << i;
            top[b] = std::min(top[b], e->slots[i]->y);
            bottom[b] = std::max(bottom[b], e->slots[i]->y + e->slots[i]->height);
        }
    }
    EXPECT_LT(bottom[0], top[1]);
    EXPECT_LT(bottom[1], top[2]);
    EXPECT_EQ(Block(f, 2)->name, "Options");
    // A second build only refreshes: the same elements.
    UIElement* before = Block(f, 1);
    EXPECT_EQ(TransformationViewPage(f->page, Main(), 0), 4);
    EXPECT_EQ(Block(f, 1), before);
}

// ---- Colour block ---------------------------------------------------------------------------------

TEST_F(ViewPageTest, QuantizeClassStepsAndTheChannelToggles) {
    File* f = Open(Main());
    UIElement* e = Block(f, 1);
    ASSERT_NE(e, nullptr);
    ColorConverter* c = &f->stage->converter;
    EXPECT_EQ(Text(e, kColTitle), "Grey  [Black/White]");
    EXPECT_EQ(Text(e, kColQuantize), "[none]");
    // 2^Qbits + 1 levels.
    for (auto [q, text] : {std::pair{0, "2"}, {7, "129"}, {8, "[none]"}}) {
        ColorConverterSetQbits(c, q);
        ColorPanelRefresh(e);
        EXPECT_EQ(Text(e, kColQuantize), text) << q;
    }
    int before = f->sink.changed;
    Press(e, kColQuantizeUp);
    EXPECT_EQ(c->Current().qbits, 8u);
    EXPECT_EQ(f->sink.changed, before);
    Press(e, kColQuantizeDown);
    EXPECT_EQ(c->Current().qbits, 7u);
    EXPECT_EQ(Text(e, kColQuantize), "129");
    ColorConverterSetQbits(c, 0);
    before = f->sink.changed;
    Press(e, kColQuantizeDown);
    EXPECT_EQ(c->Current().qbits, 0u);
    EXPECT_EQ(f->sink.changed, before);
    Press(e, kColQuantizeNone);
    EXPECT_EQ(c->Current().qbits, 8u);

    // The next class at the last one keeps it and tells nobody.
    const int last = CountColorClasses() - 1;
    ASSERT_TRUE(ColorConverterSetClass(c, last));
    before = f->sink.changed;
    Press(e, kColClassNext);
    EXPECT_EQ(c->Current().classIndex, last);
    EXPECT_EQ(f->sink.changed, before);
    Press(e, kColClassPrevious);
    EXPECT_EQ(c->Current().classIndex, last - 1);
    EXPECT_EQ(Text(e, kColTitle), ColorClassAt(last - 1)->title);
    EXPECT_GT(f->sink.changed, before);
    Press(e, kColClassDefault);
    EXPECT_EQ(c->Current().classIndex, 1);

    // "I" turns the channel toggles cyan, magenta and yellow; the row's reset undoes it.
    const uint32_t inverted[3][2] = {{0x4504F2F, 0x4665C02}, {0x4301858, 0x4605B7F}, {0x4005A5A, 0x4007F7F}};
    const uint32_t normal[3][2] = {{0x400005A, 0x420207F}, {0x40F5500, 0x4287F28}, {0x4552C1E, 0x47F480F}};
    Press(e, kColInvert);
    EXPECT_EQ(c->Current().correction.colorFlags, 0x02u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::make_pair(W(e, kColMaskR + i)->color1, W(e, kColMaskR + i)->color2),
                  std::make_pair(inverted[i][0], inverted[i][1]));
    // Inverted Grey: the first pixel is white.
    std::vector<uint8_t> px = Pixels(f);
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(std::make_tuple(px[0], px[1], px[2]), std::make_tuple(255, 255, 255));
    // The green channel off.
    Press(e, kColMaskG);
    EXPECT_EQ(c->Current().correction.colorMask & 0xFFFFFF, 0xFF00FFu);
    Press(e, kColReset);
    EXPECT_EQ(c->Current().correction.colorFlags, 0u);
    EXPECT_EQ(c->Current().correction.colorMask, 0xFFFFFFFFu);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::make_pair(W(e, kColMaskR + i)->color1, W(e, kColMaskR + i)->color2),
                  std::make_pair(normal[i][0], normal[i][1]));
        EXPECT_EQ(W(e, kColMaskR + i)->value, 1u);
    }
    EXPECT_EQ(W(e, kColInvert)->value, 0u);
    EXPECT_EQ(Pixels(f), GreyReference());
}

TEST_F(ViewPageTest, LevelEntriesAreLimitedAndLinksMarkTheirFields) {
    File* f = Open(Main());
    UIElement* e = Block(f, 1);
    ColourCorrection& k = f->stage->converter.Current().correction;
    Type(e, kColAmplification + 1, "250");
    EXPECT_EQ(k.amplification[1], 100.0f);
    EXPECT_EQ(Text(e, kColAmplification + 1), "100");
    Type(e, kColGamma, "-3");
    EXPECT_EQ(k.gamma[0], 0.001f);
    EXPECT_EQ(Text(e, kColGamma), "0.001");
    Type(e, kColGamma + 2, "12");
    EXPECT_EQ(k.gamma[2], 10.0f);
    EXPECT_EQ(Text(e, kColGamma + 2), "10");
    // The stored value again: no notification.
    const int before = f->sink.changed;
    Type(e, kColGamma + 2, "10");
    Type(e, kColBlackLevel, "0");
    EXPECT_EQ(f->sink.changed, before);
    // An unreadable entry shows the stored value again.
    Type(e, kColBlackLevel + 1, "abc");
    EXPECT_EQ(Text(e, kColBlackLevel + 1), "0");

    // Linked gamma: G and B unmarked; releasing "L" sets 0x40 and marks them.
    EXPECT_EQ(W(e, kColGammaLink)->value, 1u);
    EXPECT_EQ(W(e, kColGamma + 1)->enabled, 0);
    Press(e, kColGammaLink);
    EXPECT_EQ(k.colorFlags & 0x40u, 0x40u);
    EXPECT_EQ(W(e, kColGamma + 1)->enabled + W(e, kColGamma + 2)->enabled, 2);
    ColorPanelRefresh(e);
    EXPECT_EQ(W(e, kColGammaLink)->value, 0u);
    EXPECT_EQ(W(e, kColGamma + 1)->enabled + W(e, kColGamma + 2)->enabled, 2);
    // The row resets.
    Press(e, kColGammaReset);
    EXPECT_EQ(std::make_tuple(k.gamma[0], k.gamma[1], k.gamma[2]), std::make_tuple(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(Text(e, kColGamma), "1");
    Press(e, kColAmplificationReset);
    EXPECT_EQ(k.amplification[1], 1.0f);
}

TEST_F(ViewPageTest, PaletteMenuLoadsSavesClearsAndSwitchesToTheSharedDefaults) {
    File* f = Open(Main());
    UIElement* e = Block(f, 1);
    ColorConverter* c = &f->stage->converter;
    // 16 entries: (10 j, j, 255 - j).
    std::string text;
    for (int j = 0; j < 16; ++j) text += std::to_string(10 * j) + "\n" + std::to_string(j) + "\n" + std::to_string(255 - j) + "\n";
    const std::string path = folder.File("user.pal");
    WriteText(path, text);
    const std::vector<uint8_t> grey = GreyReference();
    ASSERT_EQ(grey.size(), 16u * 16u * 3u);

    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    // A file that is no palette changes nothing.
    WriteText(folder.File("bad.pal"), "abc\n");
    dialog.Push(ScriptedFileDialog::Choose({"bad.pal"}, folder.File("")));
    int before = f->sink.changed;
    PaletteMenuCommand(e, 0);
    EXPECT_EQ(c->Current().classIndex, 1);
    EXPECT_FALSE(c->Current().HasUserPalette());
    EXPECT_EQ(f->sink.changed, before);
    // A cancelled dialog neither.
    PaletteMenuCommand(e, 0);
    EXPECT_EQ(f->sink.changed, before);
    dialog.Push(ScriptedFileDialog::Choose({"user.pal"}, folder.File("")));
    PaletteMenuCommand(e, 0);
    ASSERT_EQ(dialog.Requests().size(), 3u);
    const ScriptedFileDialog::Record& asked = dialog.Requests()[2];
    EXPECT_EQ(asked.title, "Open Palette file");
    // The dialog adds its own flags to those asked for.
    EXPECT_EQ(asked.flags & 0x1C05u, 0x1C05u);
    ASSERT_FALSE(asked.filters.empty());
    EXPECT_EQ(asked.filters[0].description, "Palette [*.pal]");
    EXPECT_EQ(c->Current().classIndex, 0);
    EXPECT_EQ(Text(e, kColTitle), "User  Palette");
    // Each Grey level k shows user entry k / 16.
    std::vector<uint8_t> px = Pixels(f);
    ASSERT_EQ(px.size(), grey.size());
    for (size_t i = 0; i < grey.size(); i += 3) {
        const int j = grey[i] / 16;
        ASSERT_EQ(std::make_tuple(px[i], px[i + 1], px[i + 2]), std::make_tuple(10 * j, j, 255 - j)) << i;
    }
    // At class 0 the previous-class button does nothing.
    before = f->sink.changed;
    Press(e, kColClassPrevious);
    EXPECT_EQ(c->Current().classIndex, 0);
    EXPECT_EQ(f->sink.changed, before);

    // "Save Palette" writes the name the dialog gives: the user palette as loaded.
    dialog.Push(ScriptedFileDialog::Choose({"saved.pal"}, folder.File("")));
    PaletteMenuCommand(e, 1);
    ASSERT_EQ(dialog.Requests().size(), 4u);
    EXPECT_EQ(dialog.Requests()[3].title, "Save Palette file");
    EXPECT_EQ(dialog.Requests()[3].flags & 0xC02u, 0xC02u);
    EXPECT_EQ(ReadText(folder.File("saved.pal")), text);

    PaletteMenuCommand(e, 2);
    EXPECT_EQ(c->Current().classIndex, 1);
    EXPECT_EQ(Text(e, kColTitle), "Grey  [Black/White]");
    EXPECT_EQ(Pixels(f), grey);

    // "Common Properties": checked exactly while the shared defaults are in use.
    Press(e, kColMenu);
    ASSERT_NE(PaletteMenu(), nullptr);
    gMenuCloseAll();
    PaletteMenuPrepare(e);
    auto common = [] {
        gMenuItem* i = PaletteMenu()->first;
        while (i != nullptr && i->label != "Common Properties") i = i->next;
        return i;
    };
    ASSERT_NE(common(), nullptr);
    EXPECT_EQ(common()->check, 0);
    PaletteMenuCommand(e, 3);
    EXPECT_TRUE(c->UsesDefaults());
    PaletteMenuPrepare(e);
    EXPECT_EQ(common()->check, 1);
    PaletteMenuCommand(e, 3);
    EXPECT_FALSE(c->UsesDefaults());
}

// ---- Class options block -------------------------------------------------------------------------------

TEST_F(ViewPageTest, ClassOptionsShowTheRowsOfTheClassAndStepItsValues) {
    File* f = Open(Main());
    UIElement* e = Block(f, 2);
    ASSERT_NE(e, nullptr);
    ValueScaler* s = &f->stage->scaler;
    auto shown = [&](int row) { return W(e, kClsRow + 5 * row + kClsField)->shown != 0; };
    auto select = [&](const char* key) {
        ASSERT_TRUE(ValueScalerSetClass(s, FindScaleClass(key, std::string(key).size())));
        ScaleClassPanelRefresh(e);
    };
    EXPECT_EQ(Text(e, kClsTitle), "Range");
    EXPECT_EQ((std::vector<bool>{shown(0), shown(1), shown(2), shown(3)}), (std::vector<bool>{false, false, false, false}));
    // The first-class button while "Range" is selected does nothing.
    int before = f->sink.changed;
    Press(e, kClsFirst);
    EXPECT_EQ(f->sink.changed, before);
    const std::vector<uint8_t> range = Pixels(f);
    Press(e, kClsNext);
    EXPECT_EQ(Text(e, kClsTitle), "Power function");
    EXPECT_EQ((std::vector<bool>{shown(0), shown(1), shown(2), shown(3)}), (std::vector<bool>{false, true, false, false}));
    EXPECT_NE(Pixels(f), range);
    select("box");
    EXPECT_EQ((std::vector<bool>{shown(0), shown(1), shown(2), shown(3)}), (std::vector<bool>{true, false, false, false}));
    select("bitsshift");
    EXPECT_EQ((std::vector<bool>{shown(0), shown(1), shown(2), shown(3)}), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(Text(e, kClsFormula), "V1 * BitsShift( V2 * Range )");

    ScaleSettings& c = s->Current();
    Type(e, kClsRow + kClsField, "-5");
    EXPECT_EQ(c.value1, 0.0);
    before = f->sink.changed;
    Press(e, kClsRow + kClsDown);
    EXPECT_EQ(c.value1, 0.0);
    EXPECT_EQ(f->sink.changed, before);
    Type(e, kClsRow + 5 + kClsField, "0.35");
    Hold(platform::kVkControl);
    Press(e, kClsRow + 5 + kClsUp);
    EXPECT_DOUBLE_EQ(c.value2, 0.351);
    Type(e, kClsRow + 5 + kClsField, "0.35");
    Hold(platform::kVkShift);
    Press(e, kClsRow + 5 + kClsUp);
    EXPECT_DOUBLE_EQ(c.value2, 0.36);
    Free();
    Press(e, kClsRow + 5 + kClsUp);
    EXPECT_DOUBLE_EQ(c.value2, 0.46);
    Press(e, kClsRow + 5 + kClsDefault);
    EXPECT_EQ(c.value2, 1.0);

    // Shift: 0 … 31.
    Type(e, kClsRow + 10 + kClsField, "40");
    EXPECT_EQ(c.value3, 31u);
    EXPECT_EQ(Text(e, kClsRow + 10 + kClsField), "31");
    before = f->sink.changed;
    Press(e, kClsRow + 10 + kClsUp);
    EXPECT_EQ(c.value3, 31u);
    EXPECT_EQ(f->sink.changed, before);
    // Mask: bits out to the right and back in.
    EXPECT_EQ(Text(e, kClsRow + 15 + kClsField), "0x000000FF");
    Press(e, kClsRow + 15 + kClsDown);
    EXPECT_EQ(c.value4, 0x7Fu);
    EXPECT_EQ(Text(e, kClsRow + 15 + kClsField), "0x0000007F");
    {
        Guard hold(DisplayLock());
        c.value4 = 1;
    }
    Press(e, kClsRow + 15 + kClsDown);
    EXPECT_EQ(c.value4, 0u);
    before = f->sink.changed;
    Press(e, kClsRow + 15 + kClsDown);
    EXPECT_EQ(f->sink.changed, before);
    {
        Guard hold(DisplayLock());
        c.value4 = 0xFFFFFFFFu;
    }
    Press(e, kClsRow + 15 + kClsUp);
    EXPECT_EQ(c.value4, 0xFFFFFFFFu);
    EXPECT_EQ(f->sink.changed, before);
}

// ---- Range block ---------------------------------------------------------------------------------------

TEST_F(ViewPageTest, ArrowsDecadesAndStep) {
    File* f = Open(Main());
    UIElement* e = Block(f, 0);
    ASSERT_NE(e, nullptr);
    ScaleSettings& c = f->stage->scaler.Current();
    auto set = [&](double low, double high, double step, bool lock) {
        SetRange(f, low, high);
        Guard hold(DisplayLock());
        c.step = step;
        c.lock = lock ? 1 : 0;
    };
    set(0, 10, 2, false);
    Press(e, kRngHighUp);
    EXPECT_EQ(c.max, 12.0);
    EXPECT_EQ(Text(e, kRngHigh), "12");
    set(0, 10, 2, false);
    Hold(platform::kVkControl);
    Press(e, kRngHighUp);
    EXPECT_DOUBLE_EQ(c.max, 10.02);
    set(0, 10, 2, false);
    Hold(platform::kVkShift);
    Press(e, kRngHighUp);
    EXPECT_DOUBLE_EQ(c.max, 10.2);
    Free();
    // A held arrow: its repeating steps keep the range the press started from as the previous one.
    set(0, 10, 1, false);
    Press(e, kRngHighUp);
    gSetRepeatWidget(W(e, kRngHighUp));
    gRepeatStep = 5;
    W(e, kRngHighUp)->onPress(W(e, kRngHighUp), reinterpret_cast<uintptr_t>(e));
    gSetRepeatWidget(nullptr);
    EXPECT_EQ(c.max, 12.0);
    EXPECT_EQ(std::make_pair(c.previousRange.low, c.previousRange.high), std::make_pair(0.0, 10.0));
    // Min never reaches Max: 1 % of the width stays.
    set(4, 5, 1, false);
    Press(e, kRngLowUp);
    EXPECT_DOUBLE_EQ(c.min, 4.99);
    Press(e, kRngLowUp);
    EXPECT_DOUBLE_EQ(c.min, 4.9999);
    // With Lock the range moves.
    set(0, 10, 1, true);
    Press(e, kRngLowUp);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(1.0, 11.0));
    EXPECT_EQ(std::make_pair(Text(e, kRngLow), Text(e, kRngHigh)), std::make_pair(std::string("1"), std::string("11")));
    // Decades of Max 500 with Step 1: 10, 1000, and back with the right button.
    set(0, 500, 1, false);
    Press(e, kRngHighDecade);
    EXPECT_EQ(c.max, 510.0);
    set(0, 500, 1, false);
    Press(e, kRngHighDecade + 2);
    EXPECT_EQ(c.max, 1500.0);
    set(0, 500, 1, false);
    gMouseButtonState() = 5;
    Press(e, kRngHighDecade);
    gMouseButtonState() = 0;
    EXPECT_EQ(c.max, 490.0);
    set(-5, 0, 1, false);
    const int before = f->sink.changed;
    for (uint32_t i = 0; i < 3; ++i) Press(e, kRngHighDecade + i);
    EXPECT_EQ(c.max, 0.0);
    EXPECT_EQ(f->sink.changed, before);
    // Step: 0 and −1 are refused, a huge one is capped; no notification.
    set(0, 10, 3, false);
    Type(e, kRngStep, "0");
    EXPECT_EQ(c.step, 3.0);
    EXPECT_EQ(Text(e, kRngStep), "3");
    Type(e, kRngStep, "-1");
    EXPECT_EQ(c.step, 3.0);
    Type(e, kRngStep, "1e308");
    EXPECT_EQ(c.step, 1.1235582092889473e307);
    EXPECT_EQ(f->sink.changed, before);
    // An entry of High moves the image: the range 0 … 32767.5 doubles the Grey levels.
    set(0, 65535, 1, false);
    const std::vector<uint8_t> grey = Pixels(f);
    Type(e, kRngHigh, "32767.5");
    EXPECT_EQ(c.max, 32767.5);
    EXPECT_NE(Pixels(f), grey);
}

TEST_F(ViewPageTest, RangeMenuEntries) {
    File* f = Open(Main());
    UIElement* e = Block(f, 0);
    ScaleSettings& c = f->stage->scaler.Current();
    f->source->flags = kValueRangeMinMax | kValueRangeMeanRms | kValueRangeHeader;
    f->source->range.min = 5;
    f->source->range.max = 60000;
    f->source->range.mean = 1000;
    f->source->range.rms = 100;
    f->source->header = {-1, 1};
    Press(e, kRngMenu);
    ASSERT_NE(RangeMenu(), nullptr);
    gMenuCloseAll();
    auto entry = [](int n) {
        int k = 0;
        for (gMenuItem* i = RangeMenu()->first; i != nullptr; i = i->next)
            if (i->state != 2 && ++k == n) return i;
        return static_cast<gMenuItem*>(nullptr);
    };
    auto greyed = [&](int n) { return entry(n)->state == 1; };
    // "Paste" is greyed before any "Copy"; "Copy" then "Paste" changes nothing.
    RangeMenuPrepare(e);
    EXPECT_TRUE(greyed(8));
    RangeMenuCommand(e, 6);
    RangeMenuPrepare(e);
    EXPECT_FALSE(greyed(8));
    EXPECT_EQ(entry(8)->check, 1);
    int before = f->sink.changed;
    RangeMenuCommand(e, 7);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(0.0, 65535.0));
    EXPECT_EQ(f->sink.changed, before);
    // "[Min | Max]" and "Average" (mean − 2 σ … mean + 4 σ); "Previous" twice goes back and forth.
    RangeMenuCommand(e, 2);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(5.0, 60000.0));
    EXPECT_EQ(Text(e, kRngHigh), "60000");
    RangeMenuPrepare(e);
    EXPECT_EQ(entry(3)->check, 1);
    RangeMenuCommand(e, 3);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(800.0, 1400.0));
    RangeMenuCommand(e, 0);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(5.0, 60000.0));
    RangeMenuCommand(e, 0);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(800.0, 1400.0));
    RangeMenuCommand(e, 4);
    EXPECT_EQ(std::make_pair(c.min, c.max), std::make_pair(-1.0, 1.0));
    // The statistics buttons.
    Press(e, kRngHighStats);
    EXPECT_EQ(c.max, 1400.0);
    // "Common Properties" links the shared defaults and back.
    RangeMenuCommand(e, 8);
    EXPECT_TRUE(f->stage->scaler.LinkedToDefaults());
    RangeMenuPrepare(e);
    EXPECT_EQ(entry(9)->check, 1);
    RangeMenuCommand(e, 8);
    EXPECT_FALSE(f->stage->scaler.LinkedToDefaults());

    // With a region attached the ranges that it would replace are greyed.
    RegionScope regions;
    FakeRegion region;
    region.box = {0, 0, 4, 4};
    ASSERT_TRUE(f->stage->AttachRegion(&region));
    RangeMenuPrepare(e);
    for (int n : {1, 2, 5, 6, 8}) EXPECT_TRUE(greyed(n)) << n;
    for (int n : {3, 4, 7, 9}) EXPECT_FALSE(greyed(n)) << n;
    EXPECT_EQ(W(e, kRngMask)->value, 1u);
    ConsumerDetach(&f->sink);
    f->stage->DetachRegion(false);
    ASSERT_TRUE(ConsumerAttach(&f->sink, f->stage));
}

TEST_F(ViewPageTest, TheMaskToggleAttachesAStatisticRectangle) {
    File* f = Open(Main());
    UIElement* e = Block(f, 0);
    RegionScope regions;
    FakeRegion region;
    region.box = {2, 2, 4, 4};
    gRegion = &region;
    f->stage->regionItem = nullptr;
    TheRegionShapeServices().nodeShapeAction = [](ComponentBase* stage, const void*, int32_t kind, int32_t role) {
        RegionScope::actions().push_back({nullptr, kind, role});
        return static_cast<TransformationComponent*>(stage)->AttachRegion(gRegion);
    };
    Press(e, kRngMask);
    ASSERT_EQ(RegionScope::actions().size(), 1u);
    EXPECT_EQ(std::make_pair(RegionScope::actions()[0].kind, RegionScope::actions()[0].role), std::make_pair(4, 6));
    EXPECT_TRUE(f->stage->IsAttachedRegion());
    EXPECT_EQ(W(e, kRngOrigin)->enabled, 1);
    // The origin button puts the region's box at the negated offset of the view.
    TheTransformationViewHooks().viewOffset = [](TransformationComponent*, double* x, double* y) {
        *x = 3;
        *y = 5;
    };
    Press(e, kRngOrigin);
    EXPECT_EQ(region.box.x, -3);
    EXPECT_EQ(region.box.y, -5);
    Press(e, kRngMask);
    EXPECT_FALSE(f->stage->IsAttachedRegion());
    EXPECT_EQ(W(e, kRngOrigin)->enabled, 0);
    EXPECT_EQ(W(e, kRngMask)->value, 0u);
    // Without a region to take, the toggle goes back.
    TheRegionShapeServices().nodeShapeAction = [](ComponentBase*, const void*, int32_t, int32_t) { return false; };
    region.inContainer = false;
    Press(e, kRngMask);
    EXPECT_EQ(W(e, kRngMask)->value, 0u);
    EXPECT_FALSE(f->stage->IsAttachedRegion());
}

// ---- Two files -----------------------------------------------------------------------------------------

TEST_F(ViewPageTest, EachPageShowsItsOwnRangeAndOutlivesTheOther) {
    File* a = Open(Main());
    File* b = Open(Tools());
    UIElement* ea = Block(a, 0);
    UIElement* eb = Block(b, 0);
    ASSERT_NE(ea, eb);
    EXPECT_EQ(PaletteMenuButtons(), 2);
    EXPECT_EQ(RangeMenuButtons(), 2);
    // A range computed for B shows in B's page; A's keeps its values.
    SetRange(b, 7, 70);
    b->stage->scaler.panel(&b->stage->scaler);
    EXPECT_EQ(std::make_pair(Text(eb, kRngLow), Text(eb, kRngHigh)), std::make_pair(std::string("7"), std::string("70")));
    EXPECT_EQ(std::make_pair(Text(ea, kRngLow), Text(ea, kRngHigh)), std::make_pair(std::string("0"), std::string("65535")));

    // A's page goes: its menus stay for B, and a range computed for A touches nothing.
    Press(Block(a, 1), kColMenu);
    gMenuCloseAll();
    ASSERT_NE(PaletteMenu(), nullptr);
    UIPageDropWindow(a->page, Main());
    EXPECT_EQ(PaletteMenuButtons(), 1);
    EXPECT_EQ(RangeMenuButtons(), 1);
    SetRange(a, 1, 2);
    a->stage->scaler.panel(&a->stage->scaler);
    EXPECT_EQ(Text(eb, kRngHigh), "70");
    UIElement* colourB = Block(b, 1);
    Press(colourB, kColMenu);
    ASSERT_NE(PaletteMenu(), nullptr);
    gMenuCloseAll();
    PaletteMenuCommand(colourB, 3);
    EXPECT_TRUE(b->stage->converter.UsesDefaults());
    // The last button frees the menu.
    UIPageDropWindow(b->page, Tools());
    EXPECT_EQ(PaletteMenuButtons(), 0);
    EXPECT_EQ(PaletteMenu(), nullptr);
    EXPECT_EQ(RangeMenu(), nullptr);
}

}  // namespace
}  // namespace orva
