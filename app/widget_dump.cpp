#include "app/widget_dump.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/cui.h"
#include "app/group_layout.h"
#include "platform/fd_watch.h"
#include "platform/window_api.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/tab_bar.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {
namespace {

int gWakePipe[2] = {-1, -1};

void OnDumpSignal(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a request is already waiting.
    [[maybe_unused]] ssize_t n = write(gWakePipe[1], &byte, 1);
}

// Text without line breaks or quotes, for one line of the record.
std::string OneLine(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '"') c = ' ';
    return out;
}

void WriteWindow(FILE* f, gWindow* w) {
    platform::Point origin{0, 0};
    const bool placed = w->hwnd != nullptr && platform::ClientToScreen(w->hwnd, &origin);
    const bool visible = placed && gWinShownNow(w) && platform::IsWindowVisible(w->hwnd);
    std::fprintf(f, "W %p %p %d %d %d %d %d \"%s\"\n", static_cast<void*>(w), static_cast<void*>(w->parent),
                 origin.x, origin.y, w->clientWidth, w->clientHeight, visible ? 1 : 0, OneLine(w->title).c_str());
    for (gElement* e = w->widgets.head; e != nullptr; e = e->next) {
        if (dynamic_cast<gGroup*>(e) != nullptr) continue;
        // Each corner slot has its own frame, its axes pointing into the window: the
        // rectangle in the window's own terms.
        const int slot = gSlotIndex(e->style);
        float left = e->x, top = e->y;
        if (slot == 1 || slot == 3) left = static_cast<float>(w->clientWidth) - e->x - e->cellWidth;
        if (slot == 2 || slot == 3) top = static_cast<float>(w->clientHeight) - e->y - e->cellHeight;
        const gTextRun run = gWgtVisibleText(e);
        const bool edit = gWgtEdit(e) != nullptr;
        const float textWidth = e->font != nullptr && !e->text.empty() ? gFontTextWidth(e->font, e->text.c_str()) : 0;
        std::fprintf(f, "E %p %d %.1f %.1f %.1f %.1f %d %d %d %d %d %.1f %.1f %d \"%s\"\n", static_cast<void*>(w),
                     e->kind, left, top, e->cellWidth, e->cellHeight, e->shown, e->state7, edit ? 1 : 0,
                     static_cast<int>(e->text.size()), run.count, textWidth, e->textMarginX, run.cut ? 1 : 0,
                     OneLine(e->text).c_str());
        // A tab bar draws its tabs itself: each visible tab of its current set.
        const TabCtrl* tabs = e->kind == kTabCtrlKind ? TabCtrl::FromWidget(e) : nullptr;
        const TabGroup* set = tabs != nullptr ? tabs->current : nullptr;
        if (set == nullptr || e->shown == 0) continue;
        const float start = left + (tabs->HasArrows() ? TabCtrl::kArrowWidth : 0.0f);
        for (int32_t i = 0; i < static_cast<int32_t>(set->tabs.size()); ++i) {
            const float x = tabs->TabX(set, i);
            const float width = set->tabs[i]->width;
            if (x < 0 || x + width > tabs->visibleWidth + 0.5f) continue;
            std::fprintf(f, "T %p %.1f %.1f %.1f %.1f %d \"%s\"\n", static_cast<void*>(w), start + x, top, width,
                         tabs->tabHeight, i == set->current ? 1 : 0, OneLine(set->tabs[i]->label).c_str());
        }
    }
}

}  // namespace

bool WriteWidgetRecords(const std::string& path) {
    const std::string temporary = path + ".part";
    FILE* f = std::fopen(temporary.c_str(), "w");
    if (f == nullptr) return false;
    std::fprintf(f, "S %d %d\n", gScreenWidth(), gScreenHeight());
    for (gWindow* top = gWinList(); top != nullptr; top = top->next) {
        WriteWindow(f, top);
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) WriteWindow(f, child);
    }
    // The page columns: how far each can scroll (what lies beyond is hidden until it does).
    for (WindowGroup& g : TheCUI().groups) {
        float top = 0, bottom = 0;
        if (g.windows[0] == nullptr || !PageColumnBand(g, &top, &bottom)) continue;
        std::fprintf(f, "C %p %.1f %.1f %.1f %d\n", static_cast<void*>(g.windows[0]), top, bottom, g.pageScroll,
                     g.sideWidth);
    }
    const bool ok = std::fclose(f) == 0;
    return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

void InstallWidgetDump() {
    const char* path = std::getenv("ORVA_WIDGET_DUMP");
    if (path == nullptr || *path == '\0' || gWakePipe[0] >= 0) return;
    if (pipe2(gWakePipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
    const std::string target = path;
    platform::FdWatchAdd(gWakePipe[0], [target](int fd) {
        char bytes[16];
        while (read(fd, bytes, sizeof bytes) > 0) {
        }
        WriteWidgetRecords(target);
    });
    struct sigaction action {};
    action.sa_handler = &OnDumpSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace orva
