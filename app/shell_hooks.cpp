#include "app/shell_hooks.h"

#include "app/cui.h"
#include "app/ui_startup.h"
#include "toolkit/window.h"

namespace orva {

ShellHooks& TheShellHooks() {
    static ShellHooks hooks;
    return hooks;
}

void PlaybackRefresh(int32_t code) {
    if (TheShellHooks().playbackRefresh != nullptr) TheShellHooks().playbackRefresh(code);
}

bool ConfirmCloseData() {
    return TheShellHooks().confirmCloseData == nullptr || TheShellHooks().confirmCloseData();
}

void ExitCommand() {
    if (TheShellHooks().exitCommand != nullptr) {
        TheShellHooks().exitCommand();
        return;
    }
    // Without the exit path the main window simply closes, which ends the program.
    gWindow* main = TheCUI().mainWindow;
    if (main != nullptr && gWinValidate(main) != nullptr) gUiClose(main);
}

}  // namespace orva
