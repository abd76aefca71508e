#include "framework/main_settings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "framework/app_object.h"

namespace orva {

namespace {

// The standard library's atoi rules, saturated to the int range.
int AtoiValue(const char* text) {
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

MainSettings* Target(ParseState* state) { return static_cast<MainSettings*>(state->context); }

template <uint8_t MainSettings::*Field>
int FlagHandler(const char* value, ParseState* state) {
    MainSettings* s = Target(state);
    if (s) s->*Field = AtoiValue(value) != 0 ? 1 : 0;
    return 1;
}

int WarningOnExitHandler(const char* value, ParseState* state) {
    MainSettings* s = Target(state);
    if (s) s->warningOnExit = s->exitDialog = AtoiValue(value) != 0 ? 1 : 0;
    return 1;
}

int MaxWindowsHandler(const char* value, ParseState* state) {
    MainSettings* s = Target(state);
    if (s) {
        int n = AtoiValue(value);
        s->maxWorkSpaceWindows = n <= 0 ? 1 : n;
    }
    return 1;
}

KeywordName kConsole[] = {{"Console", 0}, {nullptr, 0}};
KeywordName kWarningOnExit[] = {{"WarningOnExit", 0}, {nullptr, 0}};
KeywordName kConfirmClosing[] = {{"ConfirmClosing", 0}, {nullptr, 0}};
KeywordName kAutoOpenChartTools[] = {{"AutoOpenChartTools", 0}, {nullptr, 0}};
KeywordName kChartToolsOnTop[] = {{"ChartToolsOnTop", 0}, {nullptr, 0}};
KeywordName kMaximizeWrkSpace[] = {{"MaximizeWrkSpace", 0}, {nullptr, 0}};
KeywordName kMaxWorkSpaceWindows[] = {{"MaxWorkSpaceWindows", 0}, {nullptr, 0}};
KeywordName kRememberViewSetting[] = {{"RememberViewSetting", 0}, {nullptr, 0}};
KeywordName kRememberProcSetting[] = {{"RememberProcSetting", 0}, {nullptr, 0}};
KeywordName kRememberChartToolsSetting[] = {{"RememberChartToolsSetting", 0}, {nullptr, 0}};
KeywordName kBitmapDefaultCenter[] = {{"BitmapDefaultCenter", 0}, {nullptr, 0}};
KeywordName kIncreaseSizeDlg[] = {{"IncreaseSizeDlg", 0}, {nullptr, 0}};
KeywordName kBitmapFitDefault[] = {{"BitmapFitDefault", 0}, {nullptr, 0}};
KeywordName kLayoutPages[] = {{"LayoutPages", 0}, {nullptr, 0}};

// A set of pages: the bits of a non-negative number; anything else keeps no choice.
int LayoutPagesHandler(const char* value, ParseState* state) {
    MainSettings* s = Target(state);
    if (s == nullptr) return 1;
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(value, &end, 10);
    s->layoutPages = errno == 0 && end != value && n >= 0 && n < kLayoutPagesUnset ? static_cast<uint32_t>(n)
                                                                                  : kLayoutPagesUnset;
    return 1;
}

KeywordDescriptor kDescConsole{kConsole, &FlagHandler<&MainSettings::console>};
KeywordDescriptor kDescWarningOnExit{kWarningOnExit, &WarningOnExitHandler};
KeywordDescriptor kDescConfirmClosing{kConfirmClosing, &FlagHandler<&MainSettings::confirmClosing>};
KeywordDescriptor kDescAutoOpenChartTools{kAutoOpenChartTools,
                                          &FlagHandler<&MainSettings::autoOpenChartTools>};
KeywordDescriptor kDescChartToolsOnTop{kChartToolsOnTop, &FlagHandler<&MainSettings::chartToolsOnTop>};
KeywordDescriptor kDescMaximizeWrkSpace{kMaximizeWrkSpace, &FlagHandler<&MainSettings::maximizeWrkSpace>};
KeywordDescriptor kDescMaxWorkSpaceWindows{kMaxWorkSpaceWindows, &MaxWindowsHandler};
KeywordDescriptor kDescRememberViewSetting{kRememberViewSetting,
                                           &FlagHandler<&MainSettings::rememberViewSetting>};
KeywordDescriptor kDescRememberProcSetting{kRememberProcSetting,
                                           &FlagHandler<&MainSettings::rememberProcSetting>};
KeywordDescriptor kDescRememberChartToolsSetting{kRememberChartToolsSetting,
                                                 &FlagHandler<&MainSettings::rememberChartToolsSetting>};
KeywordDescriptor kDescBitmapDefaultCenter{kBitmapDefaultCenter,
                                           &FlagHandler<&MainSettings::bitmapDefaultCenter>};
KeywordDescriptor kDescIncreaseSizeDlg{kIncreaseSizeDlg, &FlagHandler<&MainSettings::increaseSizeDlg>};
KeywordDescriptor kDescBitmapFitDefault{kBitmapFitDefault, &FlagHandler<&MainSettings::bitmapFitDefault>};
KeywordDescriptor kDescLayoutPages{kLayoutPages, &LayoutPagesHandler};

KeywordDescriptor* const kMainDescriptors[] = {
    &kDescConsole,          &kDescWarningOnExit,      &kDescConfirmClosing,
    &kDescAutoOpenChartTools, &kDescChartToolsOnTop,  &kDescMaximizeWrkSpace,
    &kDescMaxWorkSpaceWindows, &kDescRememberViewSetting, &kDescRememberProcSetting,
    &kDescRememberChartToolsSetting, &kDescBitmapDefaultCenter, &kDescIncreaseSizeDlg,
    &kDescBitmapFitDefault, &kDescLayoutPages, nullptr};

}  // namespace

KeywordTable& MainSettingsTable() {
    static KeywordTable table(kMainDescriptors);
    return table;
}

namespace {
// Builds and prepares the table during static initialisation.
const bool kMainTableRegistered = MainSettingsTable().Prepared();
}  // namespace

bool MainSettingsFile::WriteBody(char) { return WriteMainConfig(this); }

bool WriteMainConfig(MainSettingsFile* file) {
    const MainSettings* s = file ? file->Values() : nullptr;
    if (s == nullptr) return false;
    bool ok = file->Print("\n") && file->Print("Console=%d\n", s->console) &&
              file->Print("WarningOnExit=%d\n", s->warningOnExit) &&
              file->Print("ConfirmClosing=%d\n", s->confirmClosing) &&
              file->Print("AutoOpenChartTools=%d\n", s->autoOpenChartTools) &&
              file->Print("ChartToolsOnTop=%d\n", s->chartToolsOnTop) &&
              file->Print("MaximizeWrkSpace=%d\n", s->maximizeWrkSpace) &&
              file->Print("MaxWorkSpaceWindows=%d\n", s->maxWorkSpaceWindows) &&
              file->Print("RememberViewSetting=%d\n", s->rememberViewSetting) &&
              file->Print("RememberProcSetting=%d\n", s->rememberProcSetting) &&
              file->Print("RememberChartToolsSetting=%d\n", s->rememberChartToolsSetting) &&
              file->Print("BitmapDefaultCenter=%d\n", s->bitmapDefaultCenter) &&
              file->Print("IncreaseSizeDlg=%d\n", s->increaseSizeDlg) &&
              file->Print("BitmapFitDefault=%d\n", s->bitmapFitDefault) &&
              (s->layoutPages == kLayoutPagesUnset || file->Print("LayoutPages=%u\n", s->layoutPages));
    if (!ok) file->SetState(-5);
    return ok;
}

bool ReadMainSettings(const char* path, MainSettings* settings, void* user) {
    if (path == nullptr || *path == '\0' || settings == nullptr) return false;
    MainSettingsFile file;
    MainSettings temp;
    uint8_t accepted = 0;
    KeywordTable& table = MainSettingsTable();
    ParseState& state = file.Parse();
    state.table = table.Prepared() ? &table : nullptr;
    state.accepted = &accepted;
    state.context = &temp;
    bool ok = file.Open(path, user, &kMainAppId, 0, nullptr);
    if (ok && accepted) *settings = temp;
    // What was read is what a save at the end leaves to the file as it stands then.
    BaselineRecording recording;
    WriteMainSettings(path, *settings, user);
    return ok;
}

bool WriteMainSettings(const char* path, const MainSettings& settings, void* user) {
    if (path == nullptr || *path == '\0') return false;
    MainSettingsFile file(&settings);
    return file.WriteFile(path, user, &kMainAppId, 0, nullptr, false);
}

bool ReadMainConfig(AppObject* app) {
    if (app == nullptr) return false;
    std::string path = app->GetConfigFilePath(kFolderMainConfig, nullptr);
    return ReadMainSettings(path.c_str(), &app->Settings(), app);
}

bool WriteMainConfigFile(AppObject* app) {
    if (app == nullptr) return false;
    std::string path = app->GetConfigFilePath(kFolderMainConfig, nullptr);
    return WriteMainSettings(path.c_str(), app->Settings(), app);
}

}  // namespace orva
