#include "framework/app_object.h"

#include <climits>
#include <cstring>

#include "common/clib.h"
#include "common/cpu_info.h"
#include "common/log.h"
#include "common/system.h"
#include "framework/display_lock.h"
#include "framework/global_commands.h"
#include "framework/handover.h"
#include "platform/instance_slots.h"
#include "platform/paths.h"
#include "platform/shell.h"

namespace orva {

namespace {

constexpr uint32_t kMbIconHand = 0x10;

// The object whose log the library's opener opens.
AppObject* gLogOwner = nullptr;

void StartupError(const char* text) { ClibMessageBoxDirect(nullptr, text, "Error", kMbIconHand); }

bool EndsWithSeparator(const std::string& s) { return !s.empty() && s.back() == '/'; }

}  // namespace

AppObject::AppObject() {
    properties_.SetDefaultPathSource([this] { return GetConfigFilePath(kFolderPropertySets, nullptr); });
}

AppObject::~AppObject() { Shutdown(); }

std::string AppObject::RuntimeFolder() const { return platform::RuntimeFolder(userFolder_); }

std::string AppObject::ProgramPath() const {
    return programPath_.empty() ? platform::ExecutablePath() : programPath_;
}

void AppObject::DispatchCommandLine(const std::vector<std::string>& words) {
    std::vector<CommandContext> contexts{{this, &settings_}};
    if (uiCommands_) contexts.push_back({uiCommands_, uiUserData_});
    CommandLineDispatch(registry_, words, contexts);
}

std::string AppObject::CommandPath(const std::string& name) const {
    if (name.empty() || name[0] == '/' || name[0] == '<') return name;
    std::string folder = commandFolder_.empty() ? platform::CurrentDirectory() : commandFolder_;
    if (folder.empty()) return name;
    if (!EndsWithSeparator(folder)) folder += '/';
    return folder + name;
}

bool AppObject::OpenInstanceCounter(const char* name) {
    std::string folder = RuntimeFolder();
    if (folder.empty()) return false;
    slots_ = std::make_unique<platform::InstanceSlots>(folder, name);
    if (!slots_->Acquire()) {
        slots_.reset();
        return false;
    }
    // The slot is the instance number: a dead instance's number is free again.
    instanceNumber_ = slots_->Slot();
    return true;
}

int AppObject::InstanceCount() const { return slots_ && slots_->Held() ? slots_->Count() : 0; }

std::vector<int> AppObject::OtherInstances() const {
    return slots_ && slots_->Held() ? slots_->OthersLive() : std::vector<int>();
}

bool AppObject::LockStartDecision() {
    // Long enough for a start that waits on a hung instance's answer before us.
    return slots_ && slots_->LockDecision(15000);
}

void AppObject::UnlockStartDecision() {
    if (slots_) slots_->UnlockDecision();
}

void AppObject::DecrementInstanceOnce() {
    if (decremented_) return;
    decremented_ = true;
    if (slots_) slots_->Release();
}

void AppObject::FindFolders() {
    if (programPath_.empty()) programPath_ = platform::ExecutablePath();
    // The program folder: the folder of the program file, else the current directory.
    programFolder_.clear();
    std::string folder;
    if (ModuleFolderOf(programPath_.c_str(), &folder)) {
        programFolder_ = folder;
    } else {
        programFolder_ = platform::CurrentDirectory();
        if (!programFolder_.empty() && !EndsWithSeparator(programFolder_)) programFolder_ += '/';
    }
    // The user folder: our folder under the application-data folder, created when missing;
    // the program folder when that cannot be had.
    std::string appData = appDataFolder_.empty() ? platform::AppDataFolder() : appDataFolder_;
    userFolder_.clear();
    if (!appData.empty() && !programFolder_.empty() &&
        appData.size() + sizeof kUserFolderName + 2 < PATH_MAX) {
        std::string candidate = appData;
        if (!EndsWithSeparator(candidate)) candidate += '/';
        candidate += kUserFolderName;
        // A fresh account may lack the application-data folder itself: it is made too,
        // private to the user as the settings and the instance sockets are.
        if (platform::CreateFolder(candidate, 0700)) userFolder_ = candidate + "/";
    }
    if (userFolder_.empty()) userFolder_ = programFolder_;
}

bool AppObject::Init() {
    gLogOwner = this;
    // The folders come first: the log lives in the user folder, and without a runtime
    // folder of the session the instance slots live there too.
    FindFolders();
    if (!OpenInstanceCounter(kInstanceCounterName)) StartupError("Can`t initialize common memory");
    if (forceClibFailure_ || ClibInit(this, &AppObject::OpenLog) != 0) {
        StartupError("Can`t init clib");
        return false;
    }
    if (services_.showMessageBox) ClibSetMessageHook(services_.showMessageBox, services_.showMessageBox);
    static const uint8_t kCompanion = 1;
    ClibSetNumberFormat(".", &kCompanion);
    ReadMainConfig(this);
    std::string config = GetConfigFilePath(kFolderMainConfig, nullptr);
    if (services_.readPreferences && !config.empty()) services_.readPreferences(config.c_str());
    RegisterGlobalIface(*this);
    if (services_.registerProjectsIface) services_.registerProjectsIface();
    // The playback timer with the display lock: made now, so that its failures reach the log.
    TheEventTimer();
    return true;
}

bool AppObject::InitRuntime() {
    CpuReport();
    LoadPlugIns();
    return true;
}

void AppObject::LoadPlugIns() {
    if (programFolder_.empty()) {
        if (services_.loadFilters) services_.loadFilters("");
        return;
    }
    std::string base = programFolder_;
    if (!EndsWithSeparator(base)) base += '/';
    std::string filters = FilterModuleFolder.empty() ? base + "plug/filters/" : FilterModuleFolder;
    std::string io = IOModuleFolder.empty() ? base + "plug/io/" : IOModuleFolder;
    if (services_.loadFilters) services_.loadFilters(filters.c_str());
    if (services_.loadIOModules) services_.loadIOModules(io.c_str());
}

void AppObject::ReloadFilterPlugIns() {
    std::string base = programFolder_;
    if (!base.empty() && !EndsWithSeparator(base)) base += '/';
    std::string filters = FilterModuleFolder.empty()
                              ? (base.empty() ? std::string() : base + "plug/filters/")
                              : FilterModuleFolder;
    if (services_.loadFilters) services_.loadFilters(filters.c_str());
}

void AppObject::StopUI() {
    if (services_.stopEventTimer) services_.stopEventTimer();
    if (services_.releaseProjects) services_.releaseProjects();
    uiUp_ = false;
}

bool AppObject::Exit() {
    if (exited_) return false;
    exited_ = true;
    DecrementInstanceOnce();
    ShowLogWindow();
    // orvaext.cfg, then the main section of orva.cfg, then the preferences: each
    // writer rewrites only its own section.
    WritePropertySets(nullptr);
    WriteMainConfigFile(this);
    std::string config = GetConfigFilePath(kFolderMainConfig, nullptr);
    if (services_.writePreferences && !config.empty()) services_.writePreferences(config.c_str());
    if (services_.clearFilters) services_.clearFilters();
    return true;
}

void AppObject::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    DecrementInstanceOnce();
    if (services_.uiFinalShutdown) services_.uiFinalShutdown();
    if (services_.closeAllStreams) services_.closeAllStreams();
    slots_.reset();
    if (gLogOwner == this) {
        LogPrintf(nullptr);
        gLogOwner = nullptr;
    }
    properties_.Clear();
    if (services_.releaseFormats) services_.releaseFormats();
}

std::string AppObject::LogFilePath() const {
    std::string program = programPath_.empty() ? platform::ExecutablePath() : programPath_;
    std::string name;
    if (!ModuleBaseNameOf(program.c_str(), instanceNumber_, &name)) return std::string();
    std::string path;
    if (!userFolder_.empty()) {
        path = userFolder_;
        if (!EndsWithSeparator(path)) path += '/';
        path += name;
    } else {
        // Beside the program: its full path without the extension, with the same number.
        std::string folder = program.substr(0, program.rfind('/') + 1);
        path = folder + name;
    }
    path += ".log";
    if (path.size() >= PATH_MAX) return std::string();
    return path;
}

FILE* AppObject::OpenLog() {
    if (gLogOwner == nullptr) return nullptr;
    std::string path = gLogOwner->LogFilePath();
    if (path.empty()) return nullptr;
    return std::fopen(path.c_str(), "w");
}

bool AppObject::OpenLogInViewer() const {
    std::string path = LogFilePath();
    return !path.empty() && platform::OpenViewer(path);
}

// The log is shown in a separate viewer process that we do not own, so nothing is
// closed at the end.
bool AppObject::ShowLogWindow() const { return false; }

bool AppObject::GetAppFolderPath(int index, std::string* out) const {
    out->clear();
    std::string folder;
    switch (index) {
        case kFolderMainConfig:
        case kFolderPropertySets:
        case kFolderUser:
            folder = userFolder_;
            break;
        case kFolderProgram:
            folder = programFolder_;
            break;
        case 5:
        case 7:
        case 8:
        case 9:
            if (services_.preferenceFolder) {
                folder = services_.preferenceFolder(index);
                if (folder.empty() && (index == 8 || index == 9)) folder = services_.preferenceFolder(7);
            }
            break;
        default:
            return false;
    }
    if (folder.empty() && index >= kFolderProgram) {
        char buffer[PATH_MAX];
        if (SpecialFolder(buffer, kSpecialFolderSearch)) folder = buffer;
    }
    if (folder.empty() || folder.size() >= PATH_MAX) return false;
    if (!EndsWithSeparator(folder)) folder += '/';
    *out = folder;
    return true;
}

std::string AppObject::GetConfigFilePath(int index, const char* prefix) const {
    std::string folder;
    if (!GetAppFolderPath(index, &folder)) return std::string();
    std::string path;
    if (prefix && *prefix) path = std::string("<") + prefix + ">";
    path += folder;
    if (index == kFolderMainConfig) path += kMainConfigName;
    if (index == kFolderPropertySets) path += kPropertySetsName;
    return path;
}

AppObject& TheApp() {
    static AppObject app;
    return app;
}

namespace {

void RunCommandLine(AppObject& app, const std::vector<std::string>& words) {
    if (words.empty()) return;
    if (app.Services().dispatchCommandLine)
        app.Services().dispatchCommandLine(words);
    else
        app.DispatchCommandLine(words);
}

}  // namespace

int WinMain(AppObject& app, const std::vector<std::string>& words) {
    if (!app.Init()) return -1;
    const AppServices& s = app.Services();
    // Starts decide one at a time: two starts at the same moment never both become full
    // instances, nor wait for each other.
    app.LockStartDecision();
    if (app.InstanceCount() > 1) {
        // A later start hands its command line to a running instance unless it asked for
        // an instance of its own (or none took the line).
        bool own = s.handOver ? s.handOver(words) : HandOverCommandLine(app, words);
        if (!own) {
            app.UnlockStartDecision();
            return 0;
        }
    }
    // From here on the line runs as a full instance's, where `newinstance` means nothing.
    NewInstanceRecord().disabled = 1;
    // `exit` on the command line of a full instance: the line runs without a user
    // interface and the program ends without writing its settings. Questions asked on the
    // way take their default answers (the direct box logs them).
    if (!words.empty())
        CommandLineDispatchInterface(app.Registry(), &ExitRecord(), {&app, &app.Settings()}, words);
    const bool windowless = app.Settings().windowless != 0;
    // Every full instance takes the lines of later starts, so that single instance holds
    // whichever instance ended first. It listens from now on: a line that arrives early
    // waits until the main loop polls; when the user interface does not come up, closing
    // the socket sends the waiting starts on to another instance or their own start.
    if (!windowless) StartCommandLineReceiver(app);
    app.UnlockStartDecision();
    app.InitRuntime();
    if (windowless) {
        ClibSetMessageHook(nullptr, nullptr);
        RunCommandLine(app, words);
        return 0;
    }
    try {
        bool up = s.uiInit && s.uiInit();
        if (!up) {
            app.SetUiUp(false);
            LogPrintf("%s", "***Can`t init CUI, Exit!");
        } else {
            app.SetUiUp(true);
            RunCommandLine(app, words);
            if (s.messageLoop) s.messageLoop();
            StopCommandLineReceiver();
            app.StopUI();
            if (s.clearWindowGroups) s.clearWindowGroups();
        }
        StopCommandLineReceiver();
        if (s.uiShutdown) s.uiShutdown();
    } catch (...) {
        StopCommandLineReceiver();
        app.SetUiUp(false);
    }
    // After the last stop of the timer: its thread ends and is joined.
    TheEventTimer().Shutdown();
    app.Exit();
    return 0;
}

}  // namespace orva
