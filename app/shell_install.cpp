#include "app/shell_install.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/cui.h"
#include "app/main_menu.h"
#include "app/message_dialog.h"
#include "app/preferences.h"
#include "app/status_line.h"
#include "app/ui_elements.h"
#include "app/ui_startup.h"
#include "common/system.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "io/data_set.h"
#include "platform/fd_watch.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/edit_field.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// ---- SIGTERM: a desktop logout ends the program in order ----------------------------------------
// The handler only notes the request and writes to a pipe; the loop's poll sees it and
// closes the main window quietly, which takes the ordinary road to the end (settings
// written, socket removed). The loop polls only between messages: long work in a
// message (a file of many shapes) looks at the noted request and stops early.

int gTermPipe[2] = {-1, -1};
struct sigaction gOldTerm;
bool gTermInstalled = false;

void OnTerminate(int) {
    int saved = errno;
    platform::NoteEndRequest();
    if (gTermPipe[1] >= 0) {
        char byte = 1;
        ssize_t written = ::write(gTermPipe[1], &byte, 1);
        (void)written;
    }
    errno = saved;
}

void InstallTermHandler() {
    if (gTermInstalled || ::pipe2(gTermPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    platform::FdWatchAdd(gTermPipe[0], [](int fd) {
        char buffer[16];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        platform::ClearEndRequest();
        CUICloseMainWindowQuietly();
    });
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = &OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &gOldTerm);
    gTermInstalled = true;
}

void RemoveTermHandler() {
    if (!gTermInstalled) return;
    sigaction(SIGTERM, &gOldTerm, nullptr);
    platform::FdWatchRemove(gTermPipe[0]);
    ::close(gTermPipe[0]);
    ::close(gTermPipe[1]);
    gTermPipe[0] = gTermPipe[1] = -1;
    gTermInstalled = false;
}

// From the start of the user interface to its end, SIGTERM closes the main window; a
// signal that comes while the windows are built is served by the loop's first poll.
bool UiInit() {
    InstallTermHandler();
    return CUIInit(&TheCUI());
}

void UiShutdown() {
    RemoveTermHandler();
    CUIShutdownToolkit();
}

// ---- Window helpers of the common library --------------------------------------------------------

bool CloseByTitle(const char* title) {
    if (title == nullptr) return false;
    for (gWindow* w = gWinList(); w != nullptr; w = w->next) {
        if (gWinValidate(w) != nullptr && w->title == title) {
            gUiClose(w);
            return true;
        }
    }
    return false;
}

void SetIcon(void* window, int resourceId) {
    auto* w = gWinValidate(window);
    if (w != nullptr && w->hwnd != nullptr) platform::SetNativeIcon(w->hwnd, resourceId);
}

void InstallWindowHooks() {
    static WindowHooks hooks;
    hooks.closeWindowByTitle = &CloseByTitle;
    hooks.setWindowIcon = &SetIcon;
    gClipboardFillHooks(&hooks);
    SetWindowHooks(&hooks);
}

// An item shown in the pipeline: its options window and the select tab strips follow.
void RefreshItemOptions(ProjectItemBase* item) {
    auto* it = dynamic_cast<ProjectItem*>(item);
    if (it == nullptr) return;
    RefreshItemOptionsWindow(it);
    if (ProjectItemIsLive(it) && it->project != nullptr) CUIRefreshSelectTabs(it->project->owner);
}

}  // namespace

void InstallAppShell(AppServices* services) {
    CUI& cui = TheCUI();
    if (services != nullptr) {
        services->registerProjectsIface = [] { RegisterProjectsIface(&TheCUI()); };
        services->uiInit = &UiInit;
        services->messageLoop = &CUIMessageLoop;
        services->releaseProjects = [] { CUIChildListVisit(&TheCUI()); };
        services->clearWindowGroups = [] { CUIClearWindowGroups(&TheCUI()); };
        services->uiShutdown = &UiShutdown;
        services->uiFinalShutdown = [] { CUIShutdown(&TheCUI()); };
        services->runWithoutWindows = [] { TheDataSetServices().saveServiceFiles = false; };
        services->mainWindow = []() -> void* {
            gWindow* w = TheCUI().mainWindow;
            return w != nullptr && gWinValidate(w) != nullptr ? static_cast<void*>(w->hwnd) : nullptr;
        };
        services->closeMainWindow = &CUICloseMainWindowQuietly;
        // The shell's last stop of the playback timer (the program joins its thread later).
        if (services->stopEventTimer == nullptr) services->stopEventTimer = [] { return TheEventTimer().Stop(false); };
    }
    InstallStatusLineHooks();
    InstallWindowHooks();
    InstallQuestions(services);
    InstallPreferences(services);
    InstallMainMenus();
    ThePipelineServices().defaultUi = &cui;
    ComponentServices& components = TheComponentServices();
    components.uiUp = [] { return TheCUI().IsUp(); };
    // Painting is the user-interface thread's: a refresh asked on a pipeline thread
    // leaves the windows marked for the next one there.
    components.refreshAllWindows = [] {
        if (OnUiThread()) gWinRefreshAll();
    };
    components.redrawComponentWindows = &RedrawVisibleComponentWindows;
    components.refreshItemOptionsWindow = &RefreshItemOptions;
}

}  // namespace orva
