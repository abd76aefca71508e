#include "framework/handover.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "platform/fd_watch.h"
#include "platform/paths.h"

namespace orva {

namespace {

struct Receiver {
    platform::HandoverServer server;
    AppObject* app = nullptr;
    int holds = 0;
};

Receiver& TheReceiver() {
    static Receiver r;
    return r;
}

// The name of a slot's socket up to its identity.
std::string SlotSocketPrefix(int slot) { return std::string(kInstanceCounterName) + "." + std::to_string(slot) + "."; }

// True when the instance of `slot` listens for another display or settings folder: its
// socket is there under another identity and ours is not. Such an instance is no
// receiver of ours, and not taking our line is no failure of it.
bool ListensForOthers(const AppObject& app, int slot, const std::string& ours) {
    struct stat st;
    if (ours.empty() || ::lstat(ours.c_str(), &st) == 0) return false;
    const std::string prefix = SlotSocketPrefix(slot);
    bool other = false;
    if (DIR* dir = ::opendir(app.RuntimeFolder().c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > prefix.size() + 5 && name.compare(0, prefix.size(), prefix) == 0 &&
                name.compare(name.size() - 5, 5, ".sock") == 0)
                other = true;
        }
        ::closedir(dir);
    }
    return other;
}

void* MainWindowOf(const AppObject& app) {
    return app.Services().mainWindow ? app.Services().mainWindow() : nullptr;
}

}  // namespace

std::string HandoverSocketPathFor(const AppObject& app, int slot) {
    return platform::HandoverSocketPath(app.RuntimeFolder(), SlotSocketPrefix(slot) +
                                                                 platform::HandoverIdentity(std::getenv("DISPLAY"),
                                                                                            app.UserFolder()));
}

bool HandOverCommandLine(AppObject& app, const std::vector<std::string>& words,
                         const platform::HandoverTimeouts& timeouts) {
    uint8_t newInstance = 0;
    if (!words.empty()) {
        CommandRecord& record = NewInstanceRecord();
        record.userData = &newInstance;
        CommandLineDispatchInterface(app.Registry(), &record, {&app, &app.Settings()}, words);
        record.userData = nullptr;
    }
    if (newInstance) return true;
    const platform::CommandBlock line{platform::CurrentDirectory(), words};
    for (int slot : app.OtherInstances()) {
        std::string path = HandoverSocketPathFor(app, slot);
        if (ListensForOthers(app, slot, path)) continue;
        std::string failure;
        bool waited = false;
        // A running instance that is busy (a long operation, a question on the screen) takes
        // the line, and runs it, once it is free: this start waits for it, and says so.
        auto waiting = [&](platform::HandoverWait what) {
            waited = true;
            if (what == platform::HandoverWait::kToTake) {
                LogPrintf("The running program (%d) is busy: waiting for it to take the command line", slot);
            } else {
                LogPrintf("The running program (%d) has the command line and runs it once it is free: waiting", slot);
            }
        };
        // Once the instance has the line, other starts need not wait for its run.
        switch (platform::SendCommandBlock(path, line, timeouts, &failure, [&app] { app.UnlockStartDecision(); },
                                           waiting)) {
            case platform::HandoverResult::kDone:
                if (waited) LogPrintf("The running program (%d) ran the command line", slot);
                return false;
            case platform::HandoverResult::kUnfinished:
                // The running instance has the line; running it here too would run it twice.
                LogPrintf("***the running program (%d) took the command line but did not report it run: %s", slot,
                          failure.c_str());
                return false;
            case platform::HandoverResult::kNoReceiver:
                // This instance did not take it (one without windows, or a hung one): the
                // next may, and the line is still ours to run.
                LogPrintf("***can`t send cmd: %s: %s", path.c_str(), failure.c_str());
                break;
        }
    }
    return true;
}

void ReceiveCommandLine(AppObject& app, const std::vector<std::string>& words, const std::string& folder) {
    MainSettings& settings = app.Settings();
    if (words.empty()) {
        BringToFront(MainWindowOf(app), settings);
        return;
    }
    std::string text;
    for (const std::string& w : words) {
        if (!text.empty()) text += ' ';
        text += w;
    }
    LogPrintf("Received command line: %s", text.c_str());
    {
        AppObject::CommandFolderScope scope(app, folder);
        app.DispatchCommandLine(words);
    }
    if (settings.quitRequest) {
        // `exit` cleared the exit-dialog flag: the window closes without the question.
        if (app.Services().closeMainWindow) app.Services().closeMainWindow();
        return;
    }
    if (settings.bringToFront) {
        settings.bringToFront = 0;
        void* window = MainWindowOf(app);
        if (window) BringToFront(window, settings);
    }
}

void BringToFront(void* window, MainSettings& settings) {
    platform::RaiseWindow(window);
    settings.bringToFront = 0;
}

namespace {

// The socket is polled with the main loop's input while nothing holds the receiver.
void WatchReceiver() {
    Receiver& r = TheReceiver();
    if (r.app == nullptr || !r.server.Listening() || r.holds > 0) return;
    platform::FdWatchAdd(r.server.Fd(), [](int) {
        Receiver& rr = TheReceiver();
        if (rr.app == nullptr) return;
        rr.server.ServeOne([&rr](const platform::CommandBlock& line) {
            CommandLineHold hold;
            ReceiveCommandLine(*rr.app, line.words, line.folder);
        });
    });
}

}  // namespace

CommandLineHold::CommandLineHold() {
    Receiver& r = TheReceiver();
    if (r.holds++ == 0 && r.server.Listening()) platform::FdWatchRemove(r.server.Fd());
}

CommandLineHold::~CommandLineHold() {
    Receiver& r = TheReceiver();
    if (r.holds > 0 && --r.holds == 0) WatchReceiver();
}

bool StartCommandLineReceiver(AppObject& app) {
    Receiver& r = TheReceiver();
    StopCommandLineReceiver();
    std::string path = HandoverSocketPathFor(app, app.InstanceNumber());
    if (app.InstanceNumber() < 1 || path.empty() || !r.server.Listen(path)) {
        LogPrintf("***can`t listen for cmd: %s", path.c_str());
        return false;
    }
    r.app = &app;
    WatchReceiver();
    return true;
}

void StopCommandLineReceiver() {
    Receiver& r = TheReceiver();
    if (r.server.Listening()) platform::FdWatchRemove(r.server.Fd());
    r.server.Close();
    r.app = nullptr;
}

bool CommandLineReceiverRunning() { return TheReceiver().server.Listening(); }

}  // namespace orva
