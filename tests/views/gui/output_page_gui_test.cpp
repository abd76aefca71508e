// The Output page in the running shell on the X server: a FITS cube written by astropy is
// opened through the open road, the main menu's "Save" opens the Output panel and writes
// the file chosen in the save dialog, and the page's handlers are called with the page's
// own widgets: frames, the range button, type toggles under a format's mask, the crop box,
// the rows of axes of size 1, the status texts and the empty state.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../../app/shell_fixture.h"
#include "../../toolkit/gl_test_support.h"
#include "app/field_readers.h"
#include "app/graphics_window.h"
#include "app/image_window.h"
#include "app/file_dialog.h"
#include "app/main_menu.h"
#include "app/ui_elements.h"
#include "main/output_services.h"
#include "../../main/program_shell.h"
#include "test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"
#include "views/open_data_files.h"
#include "views/output_component.h"
#include "views/output_page.h"
#include "views/source_component.h"

namespace orva {
namespace {

using namespace testing_util;

// A cube of astropy: `frames` x `height` x `width` unsigned 16-bit values.
bool WriteCube(const std::string& path, int frames, int height, int width) {
    const std::string script = "import numpy as np\nfrom astropy.io import fits\n"
                               "a = (np.arange(" + std::to_string(frames * height * width) + ") * 97 % 65536)"
                               ".reshape(" + std::to_string(frames) + ", " + std::to_string(height) + ", " +
                               std::to_string(width) + ").astype(np.uint16)\n"
                               "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n";
    return testing_program::RunPython(path + ".py", script);
}

class OutputPageTest : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallOutputServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
        OutputClipMessageSwitch() = true;
        OutputStatusReset();
        std::free(cui().preferences.saveFolder);
        cui().preferences.saveFolder = nullptr;
    }
    // Opens the file, opens the Output panel and connects the output to the input.
    bool OpenWithPanel(const std::string& path) {
        OpenParameters request;
        if (OpenSourceFileReport(&cui(), nullptr, &request, path.c_str()) == nullptr) return Failed("not opened");
        PumpFor(200);
        if ((OpenOutputPanel(1, 1) & 1) == 0) return Failed("the panel does not open");
        output = dynamic_cast<OutputComponent*>(cui().currentOutput);
        ProjectItem* item = cui().currentProject != nullptr ? cui().currentProject->currentItem.load() : nullptr;
        if (output == nullptr || item == nullptr) return Failed("no output or item");
        if (!ReconnectItemOutput(output, item)) return Failed("the output does not connect");
        page = OutputPageElement(output);
        if (page == nullptr) return Failed("no page");
        RefreshOutputPage(page, false);
        return true;
    }
    static bool Failed(const char* what) {
        ADD_FAILURE() << what;
        return false;
    }
    gElement* W(uint32_t slot) { return page->slots[slot]; }
    std::string Text(uint32_t slot) { return W(slot)->text; }
    uintptr_t Data() { return reinterpret_cast<uintptr_t>(page); }
    // Types into a field and runs its change handler.
    void Type(uint32_t slot, const char* text, void (*handler)(gElement*, uintptr_t)) {
        gWgtSetText(W(slot), text);
        handler(W(slot), Data());
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    OutputComponent* output = nullptr;
    UIElement* page = nullptr;
};

TEST_F(OutputPageTest, SaveFromTheMainMenuWritesTheChosenFile) {
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, 3, 6, 8)) GTEST_SKIP() << "no astropy";
    OpenParameters request;
    ASSERT_NE(OpenSourceFileReport(&cui(), nullptr, &request, path.c_str()), nullptr);
    PumpFor(200);
    MenuBar* bar = cui().groups[0].menuBar;
    ASSERT_NE(bar, nullptr);
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    const std::string out = folder.File("saved");
    ASSERT_EQ(::system(("mkdir -p '" + out + "'").c_str()), 0);
    dialog.Push(ScriptedFileDialog::Choose({"x.fits"}, out));
    bar->titles[kMenuSave]->command(bar->widget, 0);
    ASSERT_EQ(dialog.Requests().size(), 1u);
    EXPECT_EQ(dialog.Requests()[0].title, "Save As - [Input - format convertor] [All]");
    // The panel the Save opened went with it; it holds what was written.
    output = dynamic_cast<OutputComponent*>(cui().currentOutput);
    ASSERT_NE(output, nullptr);
    page = OutputPageElement(output);
    ASSERT_NE(page, nullptr);
    ASSERT_NE(page->window, nullptr);
    EXPECT_FALSE(platform::IsWindowVisible(page->window->hwnd));
    EXPECT_EQ(Text(kOutTarget), "Input  [ formats convertor only ]");
    EXPECT_EQ(Text(kOutFormat), "FITS");
    // One section in a file: a file for each frame, each read back by astropy.
    const std::string check =
        "import sys\nimport numpy as np\nfrom astropy.io import fits\n"
        "src = fits.getdata(sys.argv[1]).astype(np.float64)\n"
        "got = np.concatenate([fits.getdata(n).astype(np.float64).reshape(1, 6, 8) for n in sys.argv[2:]])\n"
        "print('ok' if np.array_equal(got, src) else 'differ')\n";
    WriteText(folder.File("check.py"), check);
    std::string files;
    for (const char* n : {"x001_snr0001.fits", "x002_snr0001.fits", "x003_snr0001.fits"}) {
        EXPECT_TRUE(Exists(out + "/" + n)) << n;
        files += " '" + out + "/" + n + "'";
    }
    const std::string command = ORVA_PYTHON " '" + folder.File("check.py") + "' '" + path + "'" + files;
    std::string result;
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, p) != nullptr) result += line;
        pclose(p);
    }
    EXPECT_EQ(result, "ok\n");
    // The folder of the chosen file is remembered for the next Save.
    ASSERT_NE(cui().preferences.saveFolder, nullptr);
    EXPECT_EQ(std::string(cui().preferences.saveFolder), out);
    // Shown again (as View > "Output Options" does), the page's texts are drawn: "SOURCE"
    // leaves dark ink at the window's top left.
    ASSERT_EQ(OpenOutputPanel(kOutputPanelShow, 1), kOutputPanelShown);
    EXPECT_TRUE(OutputPanelShown());
    PumpFor(300);
    RepaintWindowNow(page->window, 7);
    PumpFor(200);
    ScreenImage image = ReadScreen(XDisplay(), platform::X11WindowOf(page->window->hwnd));
    ASSERT_GT(image.width, 60);
    int ink = 0;
    for (int y = 2; y < 20 && y < image.height; ++y)
        for (int x = 2; x < 60; ++x) {
            const Rgb c = image.At(x, y);
            ink += c.r < 80 && c.g < 80 && c.b < 80 ? 1 : 0;
        }
    EXPECT_GT(ink, 10);
}

TEST_F(OutputPageTest, FramesRangeModesAndTheStatus) {
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, 5, 6, 8)) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenWithPanel(path));
    OutputSettings* r = output->settings;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Text(kOutTarget), "Input  [ formats convertor only ]");
    // "Frame First:" 0 stores frame 0 and shows 1.
    r->firstFrame = 2;
    Type(kOutFirst, "0", &OutputFirstChanged);
    EXPECT_EQ(r->firstFrame, 0);
    EXPECT_EQ(Text(kOutFirst), "1");
    EXPECT_EQ(Text(kOutStatus), "Ready");
    // A last frame above the count shows the count.
    Type(kOutLast, "40", &OutputLastChanged);
    EXPECT_EQ(r->lastFrame, 4);
    EXPECT_EQ(Text(kOutLast), "5");
    // Text that is not a number is a bad value and changes nothing.
    Type(kOutFirst, "two", &OutputFirstChanged);
    EXPECT_EQ(Text(kOutStatus), "Bad value");
    EXPECT_EQ(r->firstFrame, 0);
    EXPECT_EQ(Text(kOutFirst), "1");
    // The all-frames button: 0 .. count - 1.
    r->firstFrame = 1;
    r->lastFrame = 2;
    OutputAllFrames(W(kOutAllFrames), Data());
    EXPECT_EQ(std::make_pair(r->firstFrame, r->lastFrame), std::make_pair(0, 4));
    EXPECT_EQ(std::make_pair(Text(kOutFirst), Text(kOutLast)), std::make_pair(std::string("1"), std::string("5")));
    // The range button steps Auto -> As Input -> Asis -> User defined -> Auto.
    output->rangeMode = kRangeAuto;
    r->user = ScaleTriple{2.0, 3.0, 0.5};
    const char* labels[4] = {"As Input", "Asis", "User defined", "Auto"};
    const ScaleTriple input{1.0, -32768.0, 1.0}, identity{};
    const ScaleTriple triples[4] = {input, identity, ScaleTriple{2.0, 3.0, 0.5}, identity};
    for (int i = 0; i < 4; ++i) {
        OutputRangeStep(W(kOutRange), Data());
        EXPECT_EQ(Text(kOutRange), labels[i]);
        EXPECT_EQ(r->effective, triples[i]) << labels[i];
    }
    EXPECT_EQ(output->rangeMode, kRangeAuto);
    EXPECT_EQ(Text(kOutScale), "1");
    EXPECT_EQ(Text(kOutZero), "0");
    // A scale typed in: "User defined".
    Type(kOutScale, "0.25", &OutputScaleChanged);
    EXPECT_EQ(std::make_pair(r->effective.scale, r->effective.reciprocal), std::make_pair(0.25, 4.0));
    EXPECT_EQ(Text(kOutRange), "User defined");
    Type(kOutScale, "-1", &OutputScaleChanged);
    EXPECT_EQ(Text(kOutStatus), "Bad value");
    EXPECT_EQ(r->effective.scale, 0.25);

    // The status texts by index; the same index is written once.
    gElement* status = W(kOutStatus);
    const char* texts[10] = {"Ready", "Can`t init decode convertor", "Can`t init encode convertor", "Bad value",
                             "Can`t rescale", "Can`t update", "Can`t alloc memory", "Can`t open file",
                             "Can`t rescale... Calc statistic first [tab info]", "Update..."};
    OutputStatusReset();
    for (int i = 0; i < 10; ++i) {
        OutputStatusText(status, i);
        EXPECT_EQ(status->text, texts[i]) << i;
    }
    gWgtSetText(status, "elsewhere");
    OutputStatusText(status, 9);
    EXPECT_EQ(status->text, "elsewhere");
    OutputStatusText(status, 10);
    OutputStatusText(status, -1);
    EXPECT_EQ(status->text, "elsewhere");
    struct Code {
        int32_t code, index;
    };
    for (Code c : {Code{-2, 7}, Code{-1, 0}, Code{0, 6}, Code{1, 9}, Code{5, 0}, Code{-3, 0}})
        EXPECT_EQ(OutputResultStatus(c.code), c.index) << c.code;
}

TEST_F(OutputPageTest, TypeTogglesFollowTheFormatsMask) {
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, 2, 6, 8)) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenWithPanel(path));
    // A format that allows only unsigned 16-bit data forces "Unsigned" on and disables it.
    FormatDesc own = *FormatBinary();
    own.name = "Own";
    own.defaultType = 0x02;
    own.allowedTypes = 0x200;
    FormatDesc* previous = output->format;
    ASSERT_TRUE(OutputSelectFormat(output, &own));
    RefreshOutputPage(page, false);
    EXPECT_EQ(Text(kOutFormat), "Own");
    EXPECT_EQ(W(kOutUnsigned)->value, 1u);
    EXPECT_EQ(W(kOutUnsigned)->enabled, 0);
    EXPECT_EQ(W(kOutSize8 + 1)->value, 1u);  // "16 Bit"
    // The other sizes are not allowed: off and disabled.
    EXPECT_EQ(std::make_pair(W(kOutSize8)->value, W(kOutSize8)->enabled), std::make_pair(0u, uint8_t{0}));
    // Pressing "Unsigned" off leaves it on.
    W(kOutUnsigned)->value = 0;
    OutputUnsignedToggled(W(kOutUnsigned), Data());
    EXPECT_EQ(own.defaultType, 0x102u);
    EXPECT_EQ(W(kOutUnsigned)->value, 1u);
    // A format without a mask: every size may be chosen; "32 Bit" keeps unsigned.
    own.allowedTypes = 0;
    RefreshOutputPage(page, false);
    EXPECT_EQ(W(kOutUnsigned)->enabled, 1);
    EXPECT_EQ(W(kOutByteswap)->enabled, 1);
    W(kOutSize8 + 2)->value = 1;
    OutputSizeToggled(W(kOutSize8 + 2), Data());
    EXPECT_EQ(own.defaultType, 0x108u);
    EXPECT_EQ(std::make_pair(W(kOutSize8 + 2)->value, W(kOutSize8 + 1)->value), std::make_pair(1u, 0u));
    // "Real 64": unsigned goes; "Byteswap" follows its toggle.
    W(kOutSize8 + 5)->value = 1;
    OutputSizeToggled(W(kOutSize8 + 5), Data());
    EXPECT_EQ(own.defaultType, 0x40u);
    EXPECT_EQ(W(kOutUnsigned)->enabled, 0);
    W(kOutByteswap)->value = 1;
    OutputByteswapToggled(W(kOutByteswap), Data());
    EXPECT_EQ(own.defaultType, 0xC0u);
    output->format = previous;
}

TEST_F(OutputPageTest, TheCropBoxAndTheRowsOfAxesOfSizeOne) {
    const std::string image = folder.File("image.fits");
    if (!WriteCube(image, 1, 6, 50)) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(OpenWithPanel(image));
    // An image is one plane deep: the Z row (indexes 40-43) is hidden, X and Y shown.
    for (uint32_t i = 40; i <= 43; ++i) EXPECT_EQ(W(i)->shown, 0) << i;
    for (uint32_t i = 32; i <= 39; ++i) EXPECT_EQ(W(i)->shown, 1) << i;
    // Data of height 1 (the input cropped to one row): the Y row is hidden too.
    auto* source = dynamic_cast<SourceComponent*>(output->ItemSource());
    ASSERT_NE(source, nullptr);
    ASSERT_NE(source->Input(), nullptr);
    source->Input()->cropSizeY = 1;
    RefreshOutputPage(page, false);
    for (uint32_t i = 36; i <= 39; ++i) EXPECT_EQ(W(i)->shown, 0) << i;
    for (uint32_t i = 32; i <= 35; ++i) EXPECT_EQ(W(i)->shown, 1) << i;
    source->Input()->cropSizeY = 6;
    RefreshOutputPage(page, false);
    EXPECT_EQ(W(36)->shown, 1);
    OutputSettings* r = output->settings;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::make_pair(Text(kOutCropX), Text(kOutCropW)), std::make_pair(std::string("0"), std::string("50")));
    // While "Crop" is off its fields are disabled.
    EXPECT_EQ(W(kOutCropW)->enabled, 0);
    W(kOutCrop)->value = 1;
    OutputCropToggled(W(kOutCrop), Data());
    EXPECT_EQ(r->crop, 1);
    EXPECT_EQ(W(kOutCropW)->enabled, 1);
    // A width of 0 becomes 1, above the data's the data's; an origin at or beyond the
    // size becomes size - 1, a negative one 0.
    struct Case {
        uint32_t slot;
        const char* typed;
        const char* shown;
    };
    for (Case c : {Case{kOutCropW, "0", "1"}, Case{kOutCropW, "80", "50"}, Case{kOutCropW, "20", "20"},
                   Case{kOutCropX, "50", "49"}, Case{kOutCropX, "-4", "0"}, Case{kOutCropX, "12", "12"}}) {
        Type(c.slot, c.typed, &OutputCropChanged);
        EXPECT_EQ(Text(c.slot), c.shown) << c.typed;
    }
    EXPECT_EQ(std::make_pair(r->cropOrigin[0], r->cropSize[0]), std::make_pair(int64_t{12}, int64_t{20}));
    OutputCropReset(W(kOutCropReset), Data());
    EXPECT_EQ(std::make_pair(r->cropOrigin[0], r->cropSize[0]), std::make_pair(int64_t{0}, int64_t{50}));
    // The empty state.
    RefreshOutputPage(page, true);
    EXPECT_EQ(Text(kOutFormat), "[none]");
    EXPECT_EQ(Text(kOutDataType), "[empty]");
    EXPECT_EQ(std::make_pair(Text(kOutScale), Text(kOutZero)), std::make_pair(std::string("1"), std::string("0")));
    EXPECT_EQ(Text(kOutCropW), "");
    EXPECT_EQ(W(kOutFirst)->enabled, 0);
    // And back.
    RefreshOutputPage(page, false);
    EXPECT_EQ(Text(kOutFormat), "FITS");
    EXPECT_EQ(W(kOutFirst)->enabled, 1);
}

}  // namespace
}  // namespace orva
