#pragma once
// The program's shell in this process on the test's X server, with the services the
// running program installs to open data files and show them: the built-in formats, the
// shapes, the Processing, Reduction and Transformation stages and the views. Every
// service record those installs change is put back when the object goes, so that the
// next test starts from what it would have found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "../toolkit/gl_test_support.h"
#include "app/cui.h"
#include "app/graphics_window.h"
#include "app/main_menu.h"
#include "app/shell_hooks.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "io/format_registry.h"
#include "io/frame_cursor.h"
#include "io/output_writer.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/shape_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"
#include "test_support.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/playback.h"
#include "views/workspace.h"

namespace orva::testing_program {

// Runs Debian's python3 (the one with numpy and astropy) on `script`, kept as `file`;
// true when it ended well.
inline bool RunPython(const std::string& file, const std::string& script) {
    testing_util::WriteText(file, script);
    return std::system((ORVA_PYTHON " '" + file + "' >/dev/null 2>&1").c_str()) == 0;
}

// A 256 x 256 16-bit frame written by astropy: a border of 30000 around a ramp of
// 50 x + 20 y.
inline bool WriteRampFits(const std::string& path) {
    const std::string script =
        "import numpy as np\n"
        "from astropy.io import fits\n"
        "y, x = np.mgrid[0:256, 0:256]\n"
        "a = (x * 50 + y * 20).astype(np.int16)\n"
        "a[0, :] = a[-1, :] = a[:, 0] = a[:, -1] = 30000\n"
        "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n";
    return RunPython(path + ".py", script);
}

// The colour the cell's Transformation gives a frame pixel; (-1, -1, -1) when it gives none.
inline testing_util::Rgb StageColour(DisplayComponent* cell, int64_t x, int64_t y) {
    ComponentBase* stage = cell->currentDevice->pin.upstream;
    PullResult frame;
    frame.window.frame = frame.window.section = -1;
    frame.window.x = x;
    frame.window.y = y;
    frame.window.width = frame.window.height = 1;
    PullRequest ask;
    ask.readAgain = 1;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    if (stage->process(stage, &frame, &ask) < 2 || frame.image.data == nullptr) return testing_util::Rgb{-1, -1, -1};
    const auto* p = static_cast<const uint8_t*>(frame.image.data);
    return testing_util::Rgb{p[0], p[1], p[2]};
}

class OpenAndShowServices {
public:
    OpenAndShowServices()
        : components_(TheComponentServices()),
          host_(TheGraphicsHostServices()),
          shapes_(TheGraphicsShapeServices()),
          shell_(TheShellHooks()),
          menu_(TheMainMenuHooks()),
          playback_(ThePlaybackHooks()),
          writer_(TheOutputWriterHooks()),
          display_(TheDisplayHooks()),
          frameText_(TheFrameTextHooks()) {
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs_, &outputs_);
        InstallShapeServices();
        InstallProcessingServices();
        InstallReductionServices();
        InstallTransformServices();
        InstallViewsDisplayServices();
        InstallViewsServices();
    }
    ~OpenAndShowServices() {
        ReleaseFormats(TheFormatRegistry());
        TheFormatRegistry().input.Clear();
        TheComponentServices() = components_;
        TheGraphicsHostServices() = host_;
        TheGraphicsShapeServices() = shapes_;
        TheShellHooks() = shell_;
        TheMainMenuHooks() = menu_;
        ThePlaybackHooks() = playback_;
        TheOutputWriterHooks() = writer_;
        TheDisplayHooks() = display_;
        TheFrameTextHooks() = frameText_;
    }
    OpenAndShowServices(const OpenAndShowServices&) = delete;
    OpenAndShowServices& operator=(const OpenAndShowServices&) = delete;

private:
    ComponentServices components_;
    GraphicsHostServices host_;
    GraphicsShapeServices shapes_;
    ShellHooks shell_;
    MainMenuHooks menu_;
    PlaybackHooks playback_;
    OutputWriterHooks writer_;
    DisplayHooks display_;
    FrameTextHooks frameText_;
    int inputs_ = 0, outputs_ = 0;
};

// Opens the file through the open road, lets the pipeline deliver for half a second and
// answers cell 1 of the main window's workspace (nullptr when something is missing);
// `source` receives the file's Source.
inline DisplayComponent* OpenIntoCellOne(CUI* cui, const std::string& path, ComponentBase** source = nullptr) {
    OpenParameters request;
    ComponentBase* opened = OpenSourceFileReport(cui, nullptr, &request, path.c_str());
    if (source != nullptr) *source = opened;
    if (opened == nullptr) return nullptr;
    testing_util::PumpFor(500);
    WorkspaceComponent* ws = AsWorkspace(cui->groups[0].workspace);
    if (ws == nullptr) return nullptr;
    uint32_t number = 1;
    return GetCellByNumber(ws, &number, false);
}

}  // namespace orva::testing_program
