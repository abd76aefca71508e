#pragma once
// The values of orva.cfg's main section and the run-time flags that commands set.
#include <cstdint>

#include "framework/keyword_file.h"

namespace orva {

class AppObject;

// The main settings keep no choice of the main workspace's pages.
constexpr uint32_t kLayoutPagesUnset = 0xFFFFFFFFu;

class MainSettings {
public:
    MainSettings() { SetDefaults(); }
    virtual ~MainSettings() = default;
    MainSettings(const MainSettings&) = default;
    MainSettings& operator=(const MainSettings&) = default;

    // Restores the defaults; true.
    virtual bool Reset() {
        SetDefaults();
        return true;
    }

    uint8_t autoOpenChartTools;         // AutoOpenChartTools
    uint8_t windowless;                 // run-time: run the command line without a user interface
    uint8_t console;                    // Console
    uint8_t exitDialog;                 // run-time: ask before the program exits (from WarningOnExit)
    uint8_t warningOnExit;              // WarningOnExit
    uint8_t confirmClosing;             // ConfirmClosing
    uint8_t bringToFront;               // run-time: the main window is to come to the front
    uint8_t chartToolsOnTop;            // ChartToolsOnTop
    uint8_t maximizeWrkSpace;           // MaximizeWrkSpace
    int32_t maxWorkSpaceWindows;        // MaxWorkSpaceWindows (1 or more)
    uint8_t rememberViewSetting;        // RememberViewSetting
    uint8_t rememberProcSetting;        // RememberProcSetting
    uint8_t rememberChartToolsSetting;  // RememberChartToolsSetting
    uint8_t bitmapDefaultCenter;        // BitmapDefaultCenter
    uint8_t bitmapFitDefault;           // BitmapFitDefault
    uint8_t increaseSizeDlg;            // IncreaseSizeDlg
    uint32_t layoutPages;               // LayoutPages: the main workspace's pages shown, one bit each;
                                        // kLayoutPagesUnset until the user chose (then not written)
    uint8_t quitRequest;                // run-time: the main window is to close

private:
    void SetDefaults() {
        autoOpenChartTools = 0;
        windowless = 0;
        console = 0;
        exitDialog = 1;
        warningOnExit = 1;
        confirmClosing = 0;
        bringToFront = 0;
        chartToolsOnTop = 0;
        maximizeWrkSpace = 0;
        maxWorkSpaceWindows = 16;
        rememberViewSetting = 1;
        rememberProcSetting = 1;
        rememberChartToolsSetting = 1;
        bitmapDefaultCenter = 1;
        bitmapFitDefault = 1;
        increaseSizeDlg = 0;
        layoutPages = kLayoutPagesUnset;
        quitRequest = 0;
    }
};

// The orva.cfg main-section keyword table (prepared at static initialisation).
KeywordTable& MainSettingsTable();

// The keyword file of the main section: the section is named by the
// application's identity with number 0; its body is WriteMainConfig.
class MainSettingsFile : public KeywordFile {
public:
    explicit MainSettingsFile(const MainSettings* values = nullptr) : values_(values) {}
    bool WriteBody(char lead) override;
    const MainSettings* Values() const { return values_; }

private:
    const MainSettings* values_;
};

// Writes the body of the main section; a failed write sets state -5 and answers false.
bool WriteMainConfig(MainSettingsFile* file);

// Reads the main section of the script file at `path` into `settings`: the values
// are copied only when reading succeeded and at least one value was accepted.
// Answers the result of reading.
bool ReadMainSettings(const char* path, MainSettings* settings, void* user = nullptr);
// Rewrites the main section of the script file at `path`, keeping every other line.
bool WriteMainSettings(const char* path, const MainSettings& settings, void* user = nullptr);

// The application's orva.cfg in its user folder: read at start-up, written at the end.
bool ReadMainConfig(AppObject* app);
bool WriteMainConfigFile(AppObject* app);

}  // namespace orva
