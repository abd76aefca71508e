#pragma once
// The one application object: folders, the instance slot, the main settings,
// and the road from process start to process end.
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/app_services.h"
#include "framework/command_registry.h"
#include "framework/main_settings.h"
#include "framework/property_registry.h"

namespace orva {

namespace platform {
class InstanceSlots;
}

// Indexes of GetAppFolderPath / GetConfigFilePath.
enum AppFolderIndex : int {
    kFolderMainConfig = 0,   // user folder, "orva.cfg"
    kFolderPropertySets = 1, // user folder, "orvaext.cfg"
    kFolderProgram = 3,
    kFolderUser = 4,
};

// The name of the folder that holds the settings and the log, under the
// user's application-data folder.
inline constexpr char kUserFolderName[] = "ZEL Lab";
inline constexpr char kInstanceCounterName[] = "orvaCommonSharedData";
inline constexpr char kMainConfigName[] = "orva.cfg";
inline constexpr char kPropertySetsName[] = "orvaext.cfg";

// The application object carries the application's own command list (the "Global"
// interface) as a CommandOwner.
class AppObject : public CommandOwner {
public:
    AppObject();
    virtual ~AppObject();
    AppObject(const AppObject&) = delete;
    AppObject& operator=(const AppObject&) = delete;

    void SetServices(const AppServices& services) { services_ = services; }
    const AppServices& Services() const { return services_; }

    // Start-up steps before the entry point's decisions; false when the program must end (-1).
    bool Init();
    // Finds the program folder and the user folder (made when missing, else a private
    // temporary one); Init does it first.
    void FindFolders();
    bool OpenInstanceCounter(const char* name);
    // The live number of running instances (0 when no slot is held).
    int InstanceCount() const;
    int InstanceNumber() const { return instanceNumber_; }
    // The slots of the other running instances, lowest first.
    std::vector<int> OtherInstances() const;
    // The start-up decision lock (see InstanceSlots::LockDecision): taken before the
    // other instances are counted, given back once this start handed its line over or
    // listens for lines itself.
    bool LockStartDecision();
    void UnlockStartDecision();
    // The folder of the instance slots and the hand-over sockets: $XDG_RUNTIME_DIR, else
    // the user folder.
    std::string RuntimeFolder() const;

    // Commands: the registry of interfaces, and the user interface's command owner with its
    // user data (set when the user interface registers its interface).
    CommandRegistry& Registry() { return registry_; }
    const CommandRegistry& Registry() const { return registry_; }
    void SetUiCommandOwner(CommandOwner* owner, void* userData) {
        uiCommands_ = owner;
        uiUserData_ = userData;
    }
    // Runs a command line against the application's commands, then the user interface's.
    void DispatchCommandLine(const std::vector<std::string>& words);
    // A file name of a command line as a full path: a relative name is taken in the
    // folder the line was typed in (the sender's, for a handed-over line; else the
    // current directory). Tagged names ("<...>") and absolute paths stay as they are.
    std::string CommandPath(const std::string& name) const;
    // Sets the folder of the command line being run, for as long as the scope lives.
    class CommandFolderScope {
    public:
        CommandFolderScope(AppObject& app, std::string folder) : app_(app), saved_(std::move(app.commandFolder_)) {
            app.commandFolder_ = std::move(folder);
        }
        ~CommandFolderScope() { app_.commandFolder_ = std::move(saved_); }
        CommandFolderScope(const CommandFolderScope&) = delete;
        CommandFolderScope& operator=(const CommandFolderScope&) = delete;

    private:
        AppObject& app_;
        std::string saved_;
    };

    // The processor report, then the filter modules and the formats.
    bool InitRuntime();
    void LoadPlugIns();
    void ReloadFilterPlugIns();
    void StopUI();
    // The orderly end of a full instance; safe to call once. Without `saveSettings` (a
    // start whose windows never came up) no settings file is written.
    bool Exit(bool saveSettings = true);
    // What the process does at its end, whichever way it goes.
    void Shutdown();

    // The log's path for this instance, or empty when none can be built.
    std::string LogFilePath() const;
    // Opens the log file anew; installed as the library's log opener.
    static FILE* OpenLog();
    // LOG: a viewer on the log, one at a time: a viewer already showing it is raised
    // instead of starting another. False when no viewer could be started.
    bool OpenLogInViewer();
    // Closes the viewer that shows the log (the first window found whose title names it);
    // true when one was asked to close.
    bool ShowLogWindow() const;

    bool GetAppFolderPath(int index, std::string* out) const;
    // The folder of the index followed by its file name, behind "<prefix>" when given.
    std::string GetConfigFilePath(int index, const char* prefix) const;

    const std::string& ProgramFolder() const { return programFolder_; }
    const std::string& UserFolder() const { return userFolder_; }
    // The program file's path (this executable unless overridden).
    std::string ProgramPath() const;
    MainSettings& Settings() { return settings_; }

    // The registry of property components and its operations (orvaext.cfg).
    PropertyRegistry& Properties() { return properties_; }
    bool QueryInterface(const ComponentId* id, PropertyComponent** out) {
        return properties_.QueryInterface(id, out);
    }
    bool AddComponent(PropertyComponent* component) { return properties_.AddComponent(component); }
    bool GetPropertyComponent(PropertyComponent* prototype, PropertyComponent** out) {
        return properties_.GetPropertyComponent(prototype, out);
    }
    bool SaveProperties(PropertyComponent* component) { return properties_.SaveProperties(component); }
    bool ReadPropertySets(const char* path) { return properties_.ReadPropertySets(path); }
    bool WritePropertySets(const char* path) { return properties_.WritePropertySets(path); }
    bool UiUp() const { return uiUp_; }
    void SetUiUp(bool up) { uiUp_ = up; }

    // Says what the user must know about this run's files (a settings folder that cannot be
    // used, a log or settings that cannot be written): one line on stderr, the log, and the
    // status line of the main window once it is up (held until then).
    void Tell(const std::string& text);
    // The notes held for the status line, shown now (the user interface is up).
    void ShowHeldNotes();
    // A run without windows: what the status line would show goes to stderr, and a failure
    // shown there makes the run end with status 1.
    void SayWithoutWindows(const std::string& text, bool failure);
    int FailuresSaid() const { return failuresSaid_; }
    // The words of a command line less the options no command answers to: each is told
    // (one line naming it and pointing to --help) and dropped, unless a file of that name
    // exists (it is then opened as the name of a file).
    std::vector<std::string> CheckOptions(const std::vector<std::string>& words);
    // A settings file of the user folder could not be written in this run.
    bool SettingsUnsaved() const { return settingsUnsaved_; }
    // The log or a settings file could not be written in this run: the run ends with 1.
    bool FilesUnwritten() const { return settingsUnsaved_ || logFailureTold_; }

    // Overrides for tests and special set-ups: the program file's path (default: this
    // executable), the application-data folder (default: the platform's).
    void SetProgramPath(std::string path) { programPath_ = std::move(path); }
    void SetAppDataFolder(std::string folder) { appDataFolder_ = std::move(folder); }
    // Makes the library's start fail, so that the failure road can be exercised.
    void ForceClibFailure(bool on) { forceClibFailure_ = on; }
    std::string FilterModuleFolder;  // replaces the built plug-in folders when not empty
    std::string IOModuleFolder;

private:
    void DecrementInstanceOnce();
    // Removes the temporary copies that settings writes of an earlier run left in the user
    // folder (a run killed while it saved), when no other instance may be writing them.
    void RemoveStaleTempFiles();
    static void LogFailed(int error);
    static void WriteFailed(const char* path, int error);

    AppServices services_;
    MainSettings settings_;
    PropertyRegistry properties_;
    std::string programPath_;
    std::string appDataFolder_;
    std::string programFolder_;
    std::string userFolder_;
    std::string commandFolder_;
    int instanceNumber_ = 0;
    std::unique_ptr<platform::InstanceSlots> slots_;
    bool decremented_ = false;
    bool exited_ = false;
    bool shutDown_ = false;
    bool uiUp_ = false;
    bool forceClibFailure_ = false;
    bool settingsUnsaved_ = false;
    int failuresSaid_ = 0;  // failures said on the terminal in a run without windows
    bool logFailureTold_ = false;
    // When the last viewer on the log was started (none yet: the epoch).
    std::chrono::steady_clock::time_point viewerStarted_{};
    std::set<std::string> unsavedFiles_;
    std::thread::id mainThread_;
    std::vector<std::string> unlogged_;   // told before the log could take them
    std::vector<std::string> heldNotes_;  // told before the status line was there
    CommandRegistry registry_;
    CommandOwner* uiCommands_ = nullptr;
    void* uiUserData_ = nullptr;
};

// The one application object of the process.
AppObject& TheApp();

// The entry point's road: returns the exit code (-1 when start-up fails).
int WinMain(AppObject& app, const std::vector<std::string>& words);

}  // namespace orva
