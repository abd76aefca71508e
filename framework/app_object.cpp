#include "framework/app_object.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <thread>

#include "common/clib.h"
#include "common/cpu_info.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/system.h"
#include "framework/display_lock.h"
#include "framework/global_commands.h"
#include "framework/handover.h"
#include "framework/keyword_file.h"
#include "platform/instance_slots.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/viewer_windows.h"
#include "platform/window_api.h"

namespace orva {

namespace {

constexpr uint32_t kMbIconHand = 0x10;
// The status code of a failure: the status line shows it in the error colour.
constexpr int kErrorStatus = -3;

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
    // The user folder: our folder under the application-data folder, created when missing.
    std::string appData = appDataFolder_.empty() ? platform::AppDataFolder() : appDataFolder_;
    userFolder_.clear();
    std::string candidate;
    std::string why = "no application-data folder is known (HOME and XDG_CONFIG_HOME)";
    if (!appData.empty() && appData.size() + sizeof kUserFolderName + 2 < PATH_MAX) {
        candidate = appData;
        if (!EndsWithSeparator(candidate)) candidate += '/';
        candidate += kUserFolderName;
        // A fresh account may lack the application-data folder itself: it is made too,
        // private to the user as the settings and the instance sockets are.
        errno = 0;
        if (platform::CreateFolder(candidate, 0700)) {
            userFolder_ = candidate + "/";
            return;
        }
        why = errno == EEXIST || errno == 0 ? "it is not a folder" : std::strerror(errno);
    }
    // Not beside the program: every user of an installed program would share that one
    // file (and most may not write there). A folder of this user's own for this run and
    // the next ones of the session, else nothing at all; the user is told which.
    std::string refused;
    const std::string temporary = platform::PrivateTempFolder("orva", &refused);
    const std::string named = candidate.empty() ? std::string("the settings folder") : "'" + candidate + "'";
    if (!temporary.empty()) {
        userFolder_ = temporary + "/";
        Tell(named + " cannot be used (" + why + "): settings and the log are kept in '" + userFolder_ +
             "' instead, which the system may clear");
    } else {
        Tell(named + " cannot be used (" + why + ") and no private temporary folder either (" + refused +
             "): no settings and no log are written in this run");
    }
}

void AppObject::RemoveStaleTempFiles() {
    if (userFolder_.empty()) return;
    DIR* dir = ::opendir(userFolder_.c_str());
    if (dir == nullptr) return;
    // Another instance may be writing its copy right now: then only copies older than
    // any write takes are left-overs.
    const bool alone = OtherInstances().empty();
    const time_t now = ::time(nullptr);
    std::vector<std::string> stale;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        // The copies are "orv" and six characters of mkstemps, with ".tmp".
        if (name.size() != 13 || name.compare(0, 3, "orv") != 0 || name.compare(9, 4, ".tmp") != 0) continue;
        const std::string path = userFolder_ + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (alone || now - st.st_mtime > 600) stale.push_back(path);
    }
    ::closedir(dir);
    for (const std::string& path : stale)
        if (::unlink(path.c_str()) == 0)
            LogPrintf("Removed '%s', a settings copy an earlier run left unfinished", path.c_str());
}

void AppObject::Tell(const std::string& text) {
    std::fprintf(stderr, "orva: %s\n", text.c_str());
    std::fflush(stderr);
    if (LogEnabled())
        LogPrintf("%s", text.c_str());
    else
        unlogged_.push_back(text);
    if (uiUp_)
        PrintStatusLine(kStatusGroupMain, kErrorStatus, kStatusFlagsShow, "%s", text.c_str());
    else
        heldNotes_.push_back(text);
}

void AppObject::ShowHeldNotes() {
    if (!uiUp_) return;
    // The last says the most; each would replace the one before on the line.
    for (const std::string& note : heldNotes_)
        PrintStatusLine(kStatusGroupMain, kErrorStatus, kStatusFlagsShow, "%s", note.c_str());
    heldNotes_.clear();
}

void AppObject::SayWithoutWindows(const std::string& text, bool failure) {
    std::fprintf(stderr, "orva: %s\n", text.c_str());
    std::fflush(stderr);
    if (failure) ++failuresSaid_;
}

void AppObject::LogFailed(int error) {
    AppObject* app = gLogOwner;
    // Once a run: a log opened anew fails as the first did.
    if (app == nullptr || app->logFailureTold_) return;
    app->logFailureTold_ = true;
    const std::string path = app->LogFilePath();
    const std::string text = "the log '" + path + "' cannot be written" +
                             (error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string());
    // The log's lock is held, possibly on the playback thread: no line to the log, and the
    // status line only from the thread that draws it.
    std::fprintf(stderr, "orva: %s\n", text.c_str());
    std::fflush(stderr);
    if (app->uiUp_ && std::this_thread::get_id() == app->mainThread_)
        PrintStatusLine(kStatusGroupMain, kErrorStatus, kStatusFlagsShow, "%s", text.c_str());
    else if (!app->uiUp_)
        app->heldNotes_.push_back(text);
}

void AppObject::WriteFailed(const char* path, int error) {
    AppObject* app = gLogOwner;
    if (app == nullptr || path == nullptr || app->userFolder_.empty() ||
        std::strncmp(path, app->userFolder_.c_str(), app->userFolder_.size()) != 0)
        return;
    app->settingsUnsaved_ = true;
    // One file holds several sections, each written on its own: the file is named once.
    if (!app->unsavedFiles_.insert(path).second) return;
    app->Tell(std::string("the settings could not be saved in '") + path + "'" +
              (error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string()) +
              ": what changed in this run is lost, the file keeps what it held");
}

std::vector<std::string> AppObject::CheckOptions(const std::vector<std::string>& words) {
    std::vector<std::string> kept;
    kept.reserve(words.size());
    for (const std::string& word : words) {
        const size_t dashes = word.compare(0, 2, "--") == 0 ? 2 : word.compare(0, 1, "-") == 0 ? 1 : 0;
        // "-name" or "--name" that no command answers to; "-5" and "-" are words.
        const bool option =
            dashes > 0 && word.size() > dashes && std::isalpha(static_cast<unsigned char>(word[dashes]));
        if (!option || registry_.IsCommandName(word.c_str() + dashes)) {
            kept.push_back(word);
            continue;
        }
        const bool file = FileExists(CommandPath(word).c_str());
        Tell("unknown option '" + word + "' (orva --help lists the options)" +
             (file ? std::string(": the file of that name is opened") : std::string()));
        if (file) kept.push_back(word);
    }
    // A word after a command that takes none is not a file to open: the command's item
    // holds it, and the command leaves it unused.
    for (const auto& [command, word] : UnusedCommandWords(registry_, kept))
        Tell("'-" + command + "' takes no arguments: '" + word +
             "' is not used (files are named before the commands, or after -open)");
    return kept;
}

bool AppObject::Init() {
    gLogOwner = this;
    mainThread_ = std::this_thread::get_id();
    // The folders come first: the log lives in the user folder, and without a runtime
    // folder of the session the instance slots live there too.
    FindFolders();
    if (!OpenInstanceCounter(kInstanceCounterName)) StartupError("Can`t initialize common memory");
    // Before the first line: a log that takes none is said at once.
    LogSetFailureHook(&AppObject::LogFailed);
    if (forceClibFailure_ || ClibInit(this, &AppObject::OpenLog) != 0) {
        StartupError("Can`t init clib");
        return false;
    }
    SetWriteFailureReporter(&AppObject::WriteFailed);
    for (const std::string& text : unlogged_) LogPrintf("%s", text.c_str());
    unlogged_.clear();
    RemoveStaleTempFiles();
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

bool AppObject::Exit(bool saveSettings) {
    if (exited_) return false;
    exited_ = true;
    DecrementInstanceOnce();
    // Only a run whose windows were up can have started a viewer on its log.
    if (saveSettings) ShowLogWindow();
    if (!saveSettings) {
        if (services_.clearFilters) services_.clearFilters();
        return true;
    }
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
        LogSetFailureHook(nullptr);
        SetWriteFailureReporter(nullptr);
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
    // Never beside the program: without a user folder there is no log.
    if (userFolder_.empty()) return std::string();
    std::string path = userFolder_;
    if (!EndsWithSeparator(path)) path += '/';
    path += name;
    path += ".log";
    if (path.size() >= PATH_MAX) return std::string();
    return path;
}

FILE* AppObject::OpenLog() {
    if (gLogOwner == nullptr) return nullptr;
    std::string path = gLogOwner->LogFilePath();
    if (path.empty()) return nullptr;
    FILE* f = std::fopen(path.c_str(), "w");
    // Said once; the next lines try again quietly.
    if (f == nullptr) LogFailed(errno);
    return f;
}

bool AppObject::OpenLogInViewer() {
    const std::string path = LogFilePath();
    if (path.empty()) return false;
    if (platform::RaiseWindowShowing(path)) {
        viewerStarted_ = {};
        return true;
    }
    // The viewer started a moment ago may not show its window yet: a second press does
    // not start another. (A viewer whose title never names the log is started again once
    // the time a viewer takes to come up has passed.)
    const auto now = std::chrono::steady_clock::now();
    if (viewerStarted_ != std::chrono::steady_clock::time_point{} &&
        now - viewerStarted_ < std::chrono::seconds(10))
        return true;
    if (!platform::OpenViewer(path)) return false;
    viewerStarted_ = now;
    return true;
}

bool AppObject::ShowLogWindow() const {
    const std::string path = LogFilePath();
    return !path.empty() && platform::CloseWindowShowing(path);
}

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

int WinMain(AppObject& app, const std::vector<std::string>& given) {
    if (!app.Init()) return -1;
    const AppServices& s = app.Services();
    // Options no command answers to are said on the terminal, not taken for file names.
    const std::vector<std::string> words = app.CheckOptions(given);
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
        // Such a run only looks at its files: it writes nothing beside them.
        if (s.runWithoutWindows) s.runWithoutWindows();
        // Without windows the terminal and the exit status are all that report: a command
        // of the line that failed (a file that could not be opened) ends the run with 1.
        const int failures = CommandFailureCount();
        RunCommandLine(app, words);
        if (CommandFailureCount() != failures || app.FailuresSaid() != 0) {
            const std::string log = app.LogFilePath();
            app.Tell(log.empty() ? std::string("a command of the line failed")
                                 : "a command of the line failed; " + log + " says why");
            return 1;
        }
        return app.FilesUnwritten() ? 1 : 0;
    }
    bool up = false;
    try {
        up = s.uiInit && s.uiInit();
        if (!up) {
            app.SetUiUp(false);
            LogPrintf("%s", "***Can`t init CUI, Exit!");
        } else {
            app.SetUiUp(true);
            RunCommandLine(app, words);
            // What the start found wrong with its files stays on the status line.
            app.ShowHeldNotes();
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
    if (!up) {
        // Nothing was shown, so nothing changed: the settings stay as they are, and the
        // terminal hears why the program ends.
        const std::string display = platform::DisplayOpenFailure();
        app.Tell(display.empty() ? "the windows could not be made; the program ends"
                                 : "cannot start: " + display);
        app.Exit(false);
        return 1;
    }
    app.Exit();
    // A log or settings that could not be written end the run as a failure: the user was told.
    return app.FilesUnwritten() ? 1 : 0;
}

}  // namespace orva
