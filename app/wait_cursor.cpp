#include "app/wait_cursor.h"

#include "app/message_dialog.h"
#include "framework/component.h"
#include "platform/msg_types.h"
#include "platform/window_api.h"

namespace orva {

namespace {

// UI thread only: no synchronisation needed.
int gDepth = 0;
unsigned gShown = 0;
platform::Cursor gPrevious = nullptr;

}  // namespace

void BeginWaitCursor() {
    if (!OnUiThread() || !ComponentUiUp()) return;
    if (gDepth++ == 0) {
        ++gShown;
        gPrevious = platform::SetCursor(platform::LoadCursor(platform::kIdcWait));
    }
}

void EndWaitCursor() {
    if (!OnUiThread() || gDepth == 0) return;
    if (--gDepth == 0) {
        platform::SetCursor(gPrevious);
        gPrevious = nullptr;
    }
}

WaitCursor::WaitCursor(bool show) {
    if (!show || !OnUiThread() || !ComponentUiUp()) return;
    BeginWaitCursor();
    shown_ = true;
}

WaitCursor::~WaitCursor() {
    if (shown_) EndWaitCursor();
}

unsigned WaitCursorShownCount() { return gShown; }

}  // namespace orva
