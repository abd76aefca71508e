#include "framework/handover.h"

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "platform/fd_watch.h"

namespace orva {

namespace {

struct Receiver {
    platform::HandoverServer server;
    AppObject* app = nullptr;
};

Receiver& TheReceiver() {
    static Receiver r;
    return r;
}

void* MainWindowOf(const AppObject& app) {
    return app.Services().mainWindow ? app.Services().mainWindow() : nullptr;
}

}  // namespace

std::string HandoverSocketPathFor(const AppObject& app) {
    return platform::HandoverSocketPath(app.RuntimeFolder(), kInstanceCounterName);
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
    switch (SendCommandLine(app, words, timeouts)) {
        case platform::HandoverResult::kDone:
            return false;
        case platform::HandoverResult::kUnfinished:
            // The running instance has the line; starting another would run it twice.
            LogPrintf("%s", "***can`t send cmd");
            return false;
        case platform::HandoverResult::kNoReceiver:
            break;
    }
    return true;
}

platform::HandoverResult SendCommandLine(const AppObject& app, const std::vector<std::string>& words,
                                         const platform::HandoverTimeouts& timeouts) {
    return platform::SendCommandBlock(HandoverSocketPathFor(app), words, timeouts);
}

void ReceiveCommandLine(AppObject& app, const std::vector<std::string>& words) {
    MainSettings& settings = app.Settings();
    if (words.empty()) {
        BringToFront(MainWindowOf(app), settings);
        return;
    }
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        line += w;
    }
    LogPrintf("Received command line: %s", line.c_str());
    app.DispatchCommandLine(words);
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

bool StartCommandLineReceiver(AppObject& app) {
    Receiver& r = TheReceiver();
    StopCommandLineReceiver();
    std::string path = HandoverSocketPathFor(app);
    if (path.empty() || !r.server.Listen(path)) {
        LogPrintf("***can`t listen for cmd: %s", path.c_str());
        return false;
    }
    r.app = &app;
    platform::FdWatchAdd(r.server.Fd(), [](int) {
        Receiver& rr = TheReceiver();
        if (rr.app == nullptr) return;
        rr.server.ServeOne([&rr](const std::vector<std::string>& words) { ReceiveCommandLine(*rr.app, words); });
    });
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
