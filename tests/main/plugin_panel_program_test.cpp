// The "Plugins" panel of an opened file's Processing stage, in the running shell on the X
// server: a 256 x 256 FITS file written by astropy is opened through the open road. The
// panel's commands and handlers are called directly (the module menu, the "Edit" states,
// the list's "On" column, moves, removal); then the affine page zooms the picture to
// 200 % without interpolation, which the cell shows at double size (each source pixel a
// 2 x 2 block), and "Remove All" brings the original picture back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/graphics_window.h"
#include "app/ui_elements.h"
#include "app/image_window.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "io/format_registry.h"
#include "main/chart_services.h"
#include "main/display_services.h"
#include "main/menu_services.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/shape_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"
#include "processing/filter_registry.h"
#include "processing/modules/affine_module.h"
#include "processing/modules/affine_panel.h"
#include "processing/processing_component.h"
#include "test_support.h"
#include "toolkit/list_control.h"
#include "toolkit/menu.h"
#include "toolkit/number_field.h"
#include "toolkit/tab_bar.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/plugin_list_panel.h"
#include "views/workspace.h"

namespace orva {
namespace {

using namespace testing_util;

using testing_program::WriteRampFits;

// An RGB picture as the Transformation stage makes it.
struct StagePicture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
};

class PluginPanelProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedServices_ = TheComponentServices();
        savedProcessing_ = TheProcessingServices();
        savedApp_ = TheApp().Services();
        AppServices app = savedApp_;
        app.loadFilters = [](const char*) { LoadFilters(&TheFilterRegistry(), nullptr); };
        TheApp().SetServices(app);
        LoadFilters(&TheFilterRegistry(), nullptr);
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs_, &outputs_);
        InstallShapeServices();
        InstallProcessingServices();
        InstallReductionServices();
        InstallTransformServices();
        InstallViewsDisplayServices();
        InstallViewsServices();
        InstallMenuServices();
        InstallDisplayServices();
        InstallChartServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        ReleaseFormats(TheFormatRegistry());
        TheFormatRegistry().input.Clear();
        TheComponentServices() = savedServices_;
        TheProcessingServices() = savedProcessing_;
        TheApp().SetServices(savedApp_);
        TheFilterRegistry().Clear();
    }

    // Opens the file; the Processing stage, its panel and cell 1.
    bool Open(const std::string& path) {
        OpenParameters request;
        ComponentBase* source = OpenSourceFileReport(&cui(), nullptr, &request, path.c_str());
        if (source == nullptr || source->owner == nullptr) return Failed("not opened");
        PumpFor(500);
        processing = dynamic_cast<ProcessingComponent*>(source->owner->processing);
        if (processing == nullptr) return Failed("no processing stage");
        panel = PluginPanelOf(PluginListElement(processing));
        if (panel == nullptr) return Failed("no panel");
        WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
        uint32_t number = 1;
        cell = ws != nullptr ? GetCellByNumber(ws, &number, false) : nullptr;
        if (cell == nullptr || cell->currentDevice == nullptr) return Failed("no cell");
        return true;
    }
    // The main window with the "Plug-ins" tab shown, kept for a look.
    void SaveMainWindow(const char* name) {
        WindowGroup& g = cui().groups[0];
        for (size_t i = 0; i < g.tabLabels.size(); ++i)
            if (g.tabLabels[i] == "Plug-ins" && g.tabBar != nullptr) {
                TabCtrl::SelectTab(g.tabBar, static_cast<int32_t>(i));
                TabCtrl::NotifyCurrent(g.tabBar);
            }
        PumpFor(100);
        gWindow* w = Main();
        PaintWindow(w);
        const std::vector<uint8_t> pixels = ReadBack(w);
        ScreenImage shot;
        shot.width = w->clientWidth;
        shot.height = w->clientHeight;
        for (int y = shot.height - 1; y >= 0; --y) {
            const uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(shot.width) * 3;
            for (int x = 0; x < shot.width; ++x) shot.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
        }
        EXPECT_TRUE(shot.SavePpm(std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm"));
        platform::SwapBuffers(w->hdc);
    }
    static bool Failed(const char* what) {
        ADD_FAILURE() << what;
        return false;
    }
    FilterChain& Chain() { return processing->chain; }
    ListCtrl* List() { return ListCtrl::FromWidget(PluginListElement(processing)->slots[kPluginList]); }
    std::vector<std::string> Rows(int column) {
        std::vector<std::string> rows;
        ListCtrl* list = List();
        for (int32_t r = 0; list != nullptr && r < list->rowCount; ++r)
            rows.push_back(list->rows[static_cast<size_t>(r)].cells[static_cast<size_t>(column)].text);
        return rows;
    }
    int32_t Selected() { return List()->IndexOf(List()->selectedRow); }
    std::vector<bool> States() {
        const PluginEditStates s = PluginListEditStates(panel);
        return std::vector<bool>(s.enabled + 1, s.enabled + 7);
    }
    // The module menu's entry of a submenu by their labels, or null.
    gMenuItem* Entry(const char* group, const char* title) {
        gMenu* menu = PluginListModuleMenu(panel);
        for (gMenuItem* i = menu != nullptr ? menu->first : nullptr; i != nullptr; i = i->next) {
            if (i->label != group) continue;
            for (gMenuItem* c = i->firstChild; c != nullptr; c = c->next)
                if (c->label == title) return c;
        }
        return nullptr;
    }
    // The Transformation stage's picture of the current frame.
    StagePicture Pull() {
        StagePicture p;
        ComponentBase* stage = cell->currentDevice->pin.upstream;
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        // The whole frame as the Processing stage describes it.
        const FrameDataRecord* d = processing->QueryFrameData(-1, -1);
        if (d == nullptr || d->width <= 0 || d->height <= 0 || d->width > 4096 || d->height > 4096) return p;
        PullResult frame;
        frame.window.frame = frame.window.section = -1;
        frame.window.width = static_cast<int32_t>(d->width);
        frame.window.height = static_cast<int32_t>(d->height);
        PullRequest ask;
        ask.readAgain = 1;
        if (stage == nullptr || stage->process(stage, &frame, &ask) < 2) return p;
        const TypedFrameBuffer& rgb = frame.image;
        p.width = static_cast<int>(rgb.width);
        p.height = static_cast<int>(rgb.height);
        const uint32_t channels = rgb.width != 0 ? rgb.rowBytes / rgb.width : 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const auto* q = static_cast<const uint8_t*>(rgb.data) + static_cast<size_t>(y) * rgb.rowBytes +
                                static_cast<size_t>(x) * channels;
                p.pixels.push_back(Rgb{q[0], q[1], q[2]});
            }
        return p;
    }
    // The window pixel where the picture's top-left corner (which is `corner`) is drawn in
    // the cell's plot area; false when it is not found.
    bool FindCorner(Rgb corner, int* ox, int* oy) {
        gWindow* host = cell->window;
        const int vx = static_cast<int>(cell->widget->x), vy = static_cast<int>(cell->widget->y);
        for (int y = 0; y < cell->plotHeight; ++y)
            for (int x = 0; x < cell->plotWidth; ++x)
                if (PixelAt(host, vx + x, vy + y) == corner) {
                    *ox = vx + x;
                    *oy = vy + y;
                    return true;
                }
        return false;
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    ComponentServices savedServices_;
    ProcessingServices savedProcessing_;
    AppServices savedApp_;
    int inputs_ = 0, outputs_ = 0;
    ProcessingComponent* processing = nullptr;
    PluginPanel* panel = nullptr;
    DisplayComponent* cell = nullptr;
};

TEST_F(PluginPanelProgram, CommandsMenuAndListOnAnOpenedFile) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(Open(path));

    // The chain starts with the affine filter, current and skipped (the identity).
    EXPECT_EQ(Rows(1), std::vector<std::string>{"Affine Transformations"});
    EXPECT_EQ(Rows(0), std::vector<std::string>{"[x]"});
    EXPECT_EQ(Selected(), 0);
    // Properties, Remove, Remove All, Move Up, Move Down, Rescan Plugins.
    EXPECT_EQ(States(), (std::vector<bool>{true, true, true, false, false, true}));
    // Its page shows below the list, in the panel's group.
    gElement* page = PluginListShownPage(panel);
    ASSERT_NE(page, nullptr);
    EXPECT_NE(AffinePanelOf(page), nullptr);
    EXPECT_EQ(page, Chain().first->settingsPage);
    const gElement* list = PluginListElement(processing)->slots[kPluginList];
    EXPECT_GE(page->y, list->y + list->cellHeight);

    // The module menu: "Geometry" -> "Affine Transformations", "Convolution" -> "Convolver".
    gMenuItem* affine = Entry("Geometry", "Affine Transformations");
    gMenuItem* convolver = Entry("Convolution", "Convolver");
    ASSERT_NE(affine, nullptr);
    ASSERT_NE(convolver, nullptr);
    // Choosing "Convolver" inserts a row above the affine filter, which stays last.
    ASSERT_EQ(convolver->handler(convolver, convolver->userData), 1);
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Convolver", "Affine Transformations"}));
    EXPECT_EQ(Selected(), 0);
    FilterInstance* conv = Chain().first;
    EXPECT_EQ(std::tuple(Chain().current, conv->skip), std::tuple(conv, 0));
    EXPECT_EQ(States(), (std::vector<bool>{true, true, true, false, true, true}));
    EXPECT_NE(PluginListShownPage(panel), page);  // the Convolver's page now
    EXPECT_EQ(page->shown, 0);

    // A click on the name selects; on the last one "Move Down" is disabled.
    PluginListClick(panel, 1, 1, 1);
    EXPECT_EQ(std::tuple(Chain().current, Selected()), std::tuple(Chain().last, 1));
    EXPECT_EQ(States(), (std::vector<bool>{true, true, true, true, false, true}));
    EXPECT_EQ(PluginListShownPage(panel), page);
    SaveMainWindow("plugin_panel");
    // Without a page builder "Properties" is disabled.
    FilterPageBuilderFn builder = Chain().last->callbacks.pageBuilder;
    Chain().last->callbacks.pageBuilder = nullptr;
    EXPECT_EQ(States()[0], false);
    EXPECT_FALSE(PluginListCommand(panel, kPluginProperties));
    Chain().last->callbacks.pageBuilder = builder;
    // Without a current instance only "Remove All" and "Rescan Plugins".
    Chain().current = nullptr;
    EXPECT_EQ(States(), (std::vector<bool>{false, false, true, false, false, true}));
    Chain().current = Chain().last;

    // "Edit" opens its menu with the entries the chain allows.
    ASSERT_TRUE(PluginListOpenEdit(panel));
    const gMenuHost* host = gMenuHostPeek();
    ASSERT_TRUE(host != nullptr && host->current != nullptr);
    std::vector<std::pair<std::string, int>> entries;  // label, 1 when disabled
    for (gMenuItem* i = host->current->first; i != nullptr; i = i->next)
        if (i->state != 2) entries.emplace_back(i->label, i->state);
    EXPECT_EQ(entries, (std::vector<std::pair<std::string, int>>{{"Properties", 0}, {"Remove", 0}, {"Remove All", 0},
                                                                  {"Move Up", 0}, {"Move Down", 1},
                                                                  {"Rescan Plugins", 0}}));
    gMenuCloseAll();
    PumpFor(50);

    // "On": a click in its column switches the filter off (skipped) and on again; back on,
    // the stage below is told and its picture is the filtered one again.
    const StagePicture convolved = Pull();
    PluginListClick(panel, 0, 0, 1);
    EXPECT_EQ(std::tuple(conv->off, conv->skip, Chain().current), std::tuple(1, 1, conv));
    EXPECT_EQ(Rows(0), (std::vector<std::string>{"[ ]", "[x]"}));
    const StagePicture plain = Pull();
    PluginListClick(panel, 0, 0, 1);
    EXPECT_EQ(std::tuple(conv->off, conv->skip), std::tuple(0, 0));
    const StagePicture again = Pull();
    ASSERT_EQ(again.width, 256);
    EXPECT_EQ(again.pixels, convolved.pixels);
    EXPECT_NE(again.pixels, plain.pixels);

    // Moves: the convolver down (below the affine filter), then back up.
    ASSERT_TRUE(PluginListCommand(panel, kPluginMoveDown));
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Affine Transformations", "Convolver"}));
    EXPECT_EQ(Selected(), 1);
    EXPECT_FALSE(PluginListCommand(panel, kPluginMoveDown));
    ASSERT_TRUE(PluginListCommand(panel, kPluginMoveUp));
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Convolver", "Affine Transformations"}));

    // "Rescan Plugins" empties and refills the registry: the menu is made again from the
    // new records.
    FilterModuleRecord* before = TheFilterRegistry().byId.at(0).records.at(0);
    gMenu* menuBefore = PluginListModuleMenu(panel);
    ASSERT_TRUE(PluginListCommand(panel, kPluginRescan));
    EXPECT_NE(TheFilterRegistry().byId.at(0).records.at(0), before);
    gMenu* menuAfter = PluginListModuleMenu(panel);
    ASSERT_NE(menuAfter, nullptr);
    (void)menuBefore;
    EXPECT_NE(Entry("Convolution", "Convolver"), nullptr);

    // Removing one by one leaves an idle chain and an empty list; "Edit" opens nothing.
    ASSERT_TRUE(PluginListCommand(panel, kPluginRemove));
    EXPECT_EQ(Rows(1), std::vector<std::string>{"Affine Transformations"});
    ASSERT_TRUE(PluginListCommand(panel, kPluginRemove));
    EXPECT_EQ(std::tuple(Chain().count, Chain().idle, List()->rowCount), std::tuple(0, 1, 0));
    EXPECT_EQ(PluginListShownPage(panel), nullptr);
    EXPECT_FALSE(PluginListOpenEdit(panel));
    EXPECT_FALSE(PluginListCommand(panel, kPluginRemove));
    EXPECT_EQ(States(), (std::vector<bool>{false, false, false, false, false, true}));
    // The picture is the Source's again.
    EXPECT_EQ(Pull().pixels, plain.pixels);
}

TEST_F(PluginPanelProgram, ZoomTwoHundredShowsDoubleSizeAndRemoveAllTheOriginal) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    ASSERT_TRUE(Open(path));
    gWindow* host = cell->window;
    const StagePicture original = Pull();
    ASSERT_EQ(std::tuple(original.width, original.height), std::tuple(256, 256));

    // "Add Filter" -> "Convolver": a row above "Affine Transformations"; switched off
    // in "On" so that the affine filter works on the file's own values.
    gMenuItem* convolver = Entry("Convolution", "Convolver");
    ASSERT_NE(convolver, nullptr);
    convolver->handler(convolver, convolver->userData);
    EXPECT_EQ(Rows(1), (std::vector<std::string>{"Convolver", "Affine Transformations"}));
    PluginListClick(panel, 0, 0, 1);
    PluginListClick(panel, 1, 1, 2);
    AffinePanel* affine = AffinePanelOf(PluginListShownPage(panel));
    ASSERT_NE(affine, nullptr);
    // "Filter" off (nearest neighbour), locked, 200 % on X and Y.
    AffinePanelSetFilter(affine, false);
    AffinePanelSetLock(affine, true);
    for (int k : {kAffineZoomX, kAffineZoomY}) {
        gElement* field = affine->geometry[k];
        gWgtSetText(field, "200");
        field->onChange(field, field->handlerData);
    }
    EXPECT_EQ(std::tuple(affine->geometry[kAffineZoomX]->text, affine->geometry[kAffineZoomY]->text),
              std::tuple(std::string("200%"), std::string("200%")));
    PumpFor(300);
    const StagePicture doubled = Pull();
    ASSERT_EQ(std::tuple(doubled.width, doubled.height), std::tuple(512, 512));
    for (int y = 0; y < 512; y += 7)
        for (int x = 0; x < 512; x += 5)
            ASSERT_EQ(doubled.At(x, y), original.At(x / 2, y / 2)) << x << ", " << y;

    // In the cell: each source pixel a 2 x 2 block.
    PaintWindow(host);
    int ox = 0, oy = 0;
    ASSERT_TRUE(FindCorner(doubled.At(0, 0), &ox, &oy));
    const int right = static_cast<int>(cell->widget->x) + cell->plotWidth;
    const int bottom = static_cast<int>(cell->widget->y) + cell->plotHeight;
    int checked = 0;
    for (int sy = 0; sy < 256; sy += 3)
        for (int sx = 0; sx < 256; sx += 3) {
            const int x = ox + 2 * sx, y = oy + 2 * sy;
            if (x + 1 >= right || y + 1 >= bottom) continue;
            const Rgb want = original.At(sx, sy);
            for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
                ASSERT_TRUE(RgbNear(PixelAt(host, x + dx, y + dy), want, 0)) << sx << ", " << sy;
            ++checked;
        }
    EXPECT_GT(checked, 100);
    platform::SwapBuffers(host->hdc);

    // "Remove All": the original picture again, in the stage and in the cell.
    ASSERT_TRUE(PluginListCommand(panel, kPluginRemoveAll));
    EXPECT_EQ(std::tuple(Chain().count, List()->rowCount), std::tuple(0, 0));
    PumpFor(300);
    EXPECT_EQ(Pull().pixels, original.pixels);
    PaintWindow(host);
    ASSERT_TRUE(FindCorner(original.At(0, 0), &ox, &oy));
    for (auto [sx, sy] : {std::pair{1, 1}, {10, 10}, {128, 40}, {37, 190}}) {
        if (ox + sx >= right || oy + sy >= bottom) continue;
        EXPECT_TRUE(RgbNear(PixelAt(host, ox + sx, oy + sy), original.At(sx, sy), 0)) << sx << ", " << sy;
    }
}

}  // namespace
}  // namespace orva
