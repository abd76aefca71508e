#include "main/stand_ins.h"

#include <signal.h>

#include <cstdlib>
#include <cstring>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "io/format_registry.h"
#include "io/stream.h"
#include "platform/fd_watch.h"
#include "processing/filter_registry.h"

namespace orva {

namespace {

void LoadIOModulesReal(const char* folder) { LoadIOModules(TheFormatRegistry(), folder); }
void ReleaseFormatsReal() { ReleaseFormats(TheFormatRegistry()); }

bool HeadlessLoopWanted() {
    const char* v = std::getenv(kHeadlessLoopVariable);
    return v && std::strcmp(v, "1") == 0;
}

bool UiInitStandIn() {
    if (HeadlessLoopWanted()) {
        LogPrintf("%s", "Stand-in UI: headless loop");
        return true;
    }
    LogPrintf("%s", "Can't init UI...");
    return false;
}

// ---- The headless loop --------------------------------------------------------------

volatile sig_atomic_t gTerminate = 0;
bool gCloseRequested = false;

void OnTerminate(int) { gTerminate = 1; }

void HeadlessMessageLoop() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = &OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: the poll returns at once
    struct sigaction old;
    sigaction(SIGTERM, &sa, &old);
    gCloseRequested = false;
    // The short time-out bounds the window between the flag test and the poll.
    while (!gCloseRequested && !gTerminate) platform::FdWatchPollOnce(200);
    sigaction(SIGTERM, &old, nullptr);
}

void CloseMainWindowStandIn() { gCloseRequested = true; }

// ---- The "Projects" stand-in ----------------------------------------------------------

class ProjectsOwner : public CommandOwner {};

ProjectsOwner gProjects;

// What the projects would do, logged; the requests of a running user interface are set as
// the real handlers set them.
void NoteRequest() {
    AppObject& app = TheApp();
    if (app.UiUp()) app.Settings().bringToFront = 1;
}

bool OpenHandler(const CommandRecord* record, const CommandArgList* args, CommandContext*) {
    if (record->disabled || args == nullptr) return false;
    for (const CommandArg& a : *args)
        LogPrintf("Projects stand-in: open %s", TheApp().CommandPath(a.text).c_str());
    NoteRequest();
    return true;
}

bool CloseHandler(const CommandRecord* record, const CommandArgList* args, CommandContext*) {
    if (record->disabled || args == nullptr) return false;
    for (const CommandArg& a : *args)
        LogPrintf("Projects stand-in: close %s", TheApp().CommandPath(a.text).c_str());
    NoteRequest();
    return true;
}

bool AllCloseHandler(const CommandRecord* record, const CommandArgList*, CommandContext*) {
    if (record->disabled) return false;
    LogPrintf("%s", "Projects stand-in: allclose");
    NoteRequest();
    return true;
}

const ComponentId kProjectsId{{FourCC("GRPH"), 0, FourCC("NODE"), FourCC("PJLT")}, "ProjectList"};

CommandRecord gOpenBare{"Open (file)", 0, nullptr, &OpenHandler, -1, nullptr, nullptr, 1};
CommandRecord gOpen{"Open (file) [opt.]", 0, "open\0o\0", &OpenHandler, -1, nullptr, nullptr, 1};
CommandRecord gClose{"Close (file)", 0, "close\0c\0", &CloseHandler, -1, nullptr, nullptr, 0};
CommandRecord gAllClose{"Close all (files)", 0, "allclose\0", &AllCloseHandler, 0, nullptr, nullptr, 0};
CommandRecord* const kProjectsRecords[] = {&gOpenBare, &gOpen, &gClose, &gAllClose, nullptr};

void RegisterProjectsStandIn() {
    AppObject& app = TheApp();
    CommandRegistryAdd(app.Registry(), gProjects, kProjectsStandInIface);
    app.SetUiCommandOwner(&gProjects, &gProjects);
}

}  // namespace

const CommandInterface kProjectsStandInIface{&kProjectsId, "Projects", "Projects Iface", kProjectsRecords};

CommandOwner& ProjectsStandIn() { return gProjects; }

AppServices DefaultAppServices() {
    AppServices s;
    s.loadFilters = &LoadFilterModules;
    s.clearFilters = &ClearFilterModules;
    s.loadIOModules = &LoadIOModulesReal;
    s.releaseFormats = &ReleaseFormatsReal;
    s.closeAllStreams = &CloseAllStreams;
    s.uiInit = &UiInitStandIn;
    s.registerProjectsIface = &RegisterProjectsStandIn;
    s.messageLoop = &HeadlessMessageLoop;
    s.closeMainWindow = &CloseMainWindowStandIn;
    return s;
}

}  // namespace orva
