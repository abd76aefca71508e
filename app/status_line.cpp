#include "app/status_line.h"

#include <cstdarg>
#include <cstdlib>
#include <string>

#include "app/cui.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/printf_format.h"
#include "framework/app_object.h"
#include "io/frame_cursor.h"
#include "io/output_writer.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/texture_view.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"

namespace orva {

namespace {

constexpr const char* kStatusTexts[] = {"Ready",     "Can`t init",  "Device not init",
                                        "Can`t open", "Can`t set",   "Bad value:",
                                        "Can`t read", "Can`t write", "m_PinOut: user has cancelled"};
constexpr int kStatusCodeCount = 9;

// The group's live status line, or null while nothing may be shown there.
WindowGroup* ShownGroup(int group) {
    if (group < 0 || group >= kGroupCount || !gUiReady()) return nullptr;
    WindowGroup& g = TheCUI().groups[group];
    if (g.windows[0] == nullptr || gWinValidate(g.windows[0]) == nullptr) return nullptr;
    if (g.statusWidget == nullptr || !gWgtIsLive(g.statusWidget)) return nullptr;
    return &g;
}

void Redraw(WindowGroup& g, int redraw) {
    if (redraw != kStatusRedrawNow && redraw != kStatusRedrawDraw) return;
    for (gElement* w : {g.secondStatus, g.statusWidget}) {
        if (w == nullptr || !gWgtIsLive(w)) continue;
        if (redraw == kStatusRedrawNow) {
            gWgtRedrawState(w, 5);
        } else {
            gWgtDrawState(w, 5);
        }
    }
}

void Echo(const WindowGroup& g, const std::string& text) {
    const char* on = std::getenv(kStatusLogVariable);
    if (on == nullptr || on[0] == '\0') return;
    LogPrintf("# status line %d: %s", static_cast<int>(&g - TheCUI().groups), text.c_str());
}

void Show(WindowGroup& g, uint32_t colour, bool defaultColour, const std::string& text, int redraw) {
    Echo(g, text);
    gElement* w = g.statusWidget;
    if (defaultColour) {
        gWgtRestoreColor(w);
    } else {
        gWgtChangeColor(w, colour);
    }
    gWgtSetText(w, text.c_str());
    Redraw(g, redraw);
}

void Cut(std::string* text) {
    if (text->size() > static_cast<size_t>(kStatusTextMax)) text->resize(kStatusTextMax);
}

// A run without windows has no status line: the main group's reports go to the terminal.
bool SaidOnTerminal(int group, const std::string& text, bool failure) {
    if (group != 0 || text.empty() || gUiReady() || TheApp().Settings().windowless == 0) return false;
    TheApp().SayWithoutWindows(text, failure);
    return true;
}

}  // namespace

const char* StatusCodeText(int code) { return code >= 0 && code < kStatusCodeCount ? kStatusTexts[code] : nullptr; }

int SetGroupStatus(int group, int code, int redraw, const char* text) {
    WindowGroup* g = ShownGroup(group);
    if (code == -1 || code >= kStatusCodeCount || (code < -1 && text == nullptr)) return 0;
    if (g == nullptr && (code == 0 || group != 0 || gUiReady())) return 0;
    std::string line;
    if (code >= 0) line = kStatusTexts[code];
    if (text != nullptr) {
        if (code >= 1) {
            line += ' ';
        } else {
            line.clear();
        }
        line += text;
    }
    if (code >= 1) line += "...";
    Cut(&line);
    const bool failure = (code >= 1 && code <= 7) || code < -2;
    if (g == nullptr) return SaidOnTerminal(group, line, failure) ? 1 : 0;
    // Only a repeat of what the line shows now is dropped.
    if (code >= 0 && code == g->statusCode && g->statusWidget->text == line) return 0;
    g->statusCode = code < 0 ? -1 : code;
    uint32_t colour = code == 8 ? kStatusCancelColour : kStatusErrorColour;
    Show(*g, colour, !failure && code != 8, line, redraw);
    return 1;
}

namespace {

int VPrintStatusLine(int group, int code, int redraw, const char* format, va_list args) {
    WindowGroup* g = ShownGroup(group);
    if (code >= -1 || format == nullptr) return 0;
    if (g == nullptr && (group != 0 || gUiReady())) return 0;
    char buffer[kStatusTextMax + 1];
    int n = VFormat(buffer, sizeof buffer, format, args);
    if (n < 0) buffer[0] = '\0';
    std::string line(buffer);
    Cut(&line);
    if (line.empty()) return 0;
    if (g == nullptr) return SaidOnTerminal(group, line, code < -2) ? 1 : 0;
    g->statusCode = -1;
    Show(*g, kStatusErrorColour, code >= -2, line, redraw);
    return 1;
}

// The library's status helper hands one text argument.
int PrintOneText(int group, int code, int redraw, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VPrintStatusLine(group, code, redraw, format, args);
    va_end(args);
    return n;
}

}  // namespace

int PrintStatusLine(int group, int code, int redraw, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VPrintStatusLine(group, code, redraw, format, args);
    va_end(args);
    return n;
}

void StatusResetGroup(int group) {
    WindowGroup* g = ShownGroup(group);
    if (g == nullptr) return;
    // The stored code is forgotten, so that the same report shows again.
    g->statusCode = -1;
    Show(*g, 0, true, kStatusTexts[0], kStatusRedrawNow);
}

void StatusClearReport(int group) {
    WindowGroup* g = ShownGroup(group);
    if (g != nullptr && g->statusWidget->text != kStatusTexts[0]) StatusResetGroup(group);
}

void StatusResetHandler(gElement* widget, uintptr_t) {
    for (int group = 0; group < kGroupCount; ++group)
        if (TheCUI().groups[group].statusWidget == widget) StatusResetGroup(group);
}

void InstallStatusLineHooks() {
    static const StatusLineHooks hooks{
        [](int group, int code, int flags, const char* text) { return SetGroupStatus(group, code, flags, text); },
        [](int group, int code, int flags, const char* format, const char* name) {
            return PrintOneText(group, code, flags, format, name != nullptr ? name : "");
        }};
    SetStatusLineHooks(&hooks);
    OutputWriterHooks& writer = TheOutputWriterHooks();
    writer.uiUp = [] { return gUiReady(); };
    writer.setGroupStatus = [](int group, int code, int refresh, const char* text) {
        SetGroupStatus(group, code, refresh, text);
    };
    SetTextureViewStatusHook([](int32_t group, int32_t code, uint32_t flags, const char* text) {
        SetGroupStatus(group, code, static_cast<int>(flags), text);
    });
    TheFrameTextHooks().setText = [](void* widget, const char* text) {
        gWgtSetText(static_cast<gElement*>(widget), text);
    };
}

}  // namespace orva
