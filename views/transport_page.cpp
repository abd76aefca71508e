#include "views/transport_page.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/field_readers.h"
#include "app/ui_elements.h"
#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "framework/frame_player.h"
#include "framework/port.h"
#include "io/frame_cursor.h"
#include "toolkit/font.h"
#include "toolkit/number_field.h"
#include "toolkit/small_controls.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/playback.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "app/page_rows.h"

namespace orva {

namespace {

constexpr float kButton = 22.0f;

struct TransportContext {
    UIElement* page = nullptr;
    WorkspaceComponent* ws = nullptr;
    FramePlayer* player = nullptr;
    gElement* Slot(uint32_t s) const { return PageSlot(page, s); }
};

TransportContext TransportContextOf(uintptr_t data) {
    TransportContext c;
    c.page = LivePageElement(data, kTransportSlotCount);
    c.ws = WorkspaceOfElement(c.page);
    c.player = ActivePlayer(c.ws);
    return c;
}

int32_t Flags(const FramePlayer& p) { return p.flags.load(); }

void SetFlag(FramePlayer& p, int32_t bit, bool on) {
    if (on) {
        p.flags.fetch_or(bit);
    } else {
        p.flags.fetch_and(~bit);
    }
}

void SetSavedFlag(int32_t bit, bool on) {
    std::atomic<int32_t>& word = TheFramePlayerSaved().flagWord;
    if (on) {
        word.fetch_or(bit);
    } else {
        word.fetch_and(~bit);
    }
}

void Mark(gElement* e, bool on) {
    if (e == nullptr) return;
    if (on) {
        gWgtMark(e);
    } else {
        gWgtUnmark(e);
    }
}

void ShowNumber(gElement* field, int32_t n) {
    char text[12];
    SelectorNumberText(n, text);
    PageSetText(field, text);
}

void ShowGlyph(gElement* toggle, uint8_t glyph) {
    if (toggle == nullptr) return;
    const char text[2] = {static_cast<char>(glyph), '\0'};
    PageSetText(toggle, text);
}

// A toggle set to a value with its glyph and drawn.
void ResetToggle(gElement* toggle, uint32_t value) {
    if (toggle == nullptr) return;
    toggle->value = value;
    SetToggleGlyph(toggle);
    RepaintFieldNow(toggle);
}

void ShowReverse(const TransportContext& c, bool on) {
    gElement* reverse = c.Slot(kTransportReverse);
    if (reverse != nullptr) {
        reverse->value = on ? 1 : 0;
        ShowGlyph(reverse, on ? kGlyphReverseOn : kGlyphReverseOff);
        RepaintFieldNow(reverse);
    }
    gElement* bar = c.Slot(kTransportSeekBar);
    if (bar != nullptr && ProgressBar::SetActive(bar, on)) RepaintFieldNow(bar);
}

void ShowRate(gElement* field, int32_t unit, int32_t period) {
    char text[32];
    TransportRateText(unit, period, text);
    PageSetText(field, text);
}

void ShowRange(const TransportContext& c) {
    if (c.player == nullptr) return;
    FrameTimeText(*c.player, c.player->first.load(), c.Slot(kTransportFirst));
    FrameTimeText(*c.player, c.player->last.load(), c.Slot(kTransportLast));
}

// The frame that a handler moved to: the frame text, the seek bar, the fast selector
// and the cells.
void ShowFrame(const TransportContext& c) { ShowSteppedFrame(c.ws, c.page, 0); }

bool AtEnd(const FramePlayer& p) {
    const int32_t step = p.step.load(), current = p.current.load();
    return step > 0 ? current >= p.last.load() : current <= p.first.load();
}

DisplayCellBase* ActiveCell(const TransportContext& c) { return c.ws != nullptr ? c.ws->activeCell : nullptr; }

// Playback holds the page's widgets for the whole play: a page that goes takes them
// out of the timer, so that the next tick of the page's updates finds none.
void ForgetPlaybackWidgets(gElement* gone) {
    EventTimer& timer = TheEventTimer();
    if (gone == nullptr) return;
    if (timer.playButton == gone || timer.frameText == gone || timer.rateText == gone || timer.progressBar == gone) {
        timer.playButton = timer.frameText = timer.rateText = timer.progressBar = nullptr;
    }
}

void WatchDestroy(gElement* e) {
    if (e != nullptr && e->onDestroy == nullptr) {
        e->onDestroy = &ForgetPlaybackWidgets;
        e->destroyArmed = 1;
    }
}

UIElement* OpenTransport(ComponentBase* workspace) {
    WorkspaceComponent* ws = AsWorkspace(workspace);
    return ws != nullptr ? WorkspaceOpenPage(ws, kWsPageTransport) : nullptr;
}

bool WidgetsOf(ComponentBase* workspace, PlaybackWidgets* out) {
    UIElement* e = OpenTransport(workspace);
    if (e == nullptr || out == nullptr) return false;
    out->playButton = PageSlot(e, kTransportPlay);
    out->frameText = PageSlot(e, kTransportFrameText);
    out->progressBar = PageSlot(e, kTransportSeekBar);
    out->rateText = PageSlot(e, kTransportRateText);
    return true;
}

gElement* PauseOf(ComponentBase* workspace) { return PageSlot(OpenTransport(workspace), kTransportPause); }

}  // namespace

void TransportFillPlaybackHooks(PlaybackHooks* h) {
    if (h == nullptr) return;
    h->transportWidgets = &WidgetsOf;
    h->pauseToggle = &PauseOf;
    h->setToggleGlyph = &SetToggleGlyph;
}

bool TransportPlayerHasFrames(const FramePlayer* player) { return player != nullptr && player->last.load() >= 1; }

void TransportRateText(int32_t unit, int32_t period, char text[32]) {
    if (unit == kRateFramesPerSecond) {
        std::snprintf(text, 32, "%.2f", period != 0 ? 1000.0 / period : 0.0);
    } else if (unit == kRateMillisecondsPerFrame) {
        std::snprintf(text, 32, "%03d", period);
    } else {
        std::snprintf(text, 32, "0");
    }
}

// ---- Building ----------------------------------------------------------------------------------------

namespace {

// The text styles of the page's widgets: the buttons and toggles of the transport row, those
// of the step row, and the text and number fields.
constexpr uint32_t kTransportRowStyle = 0x483c0;
constexpr uint32_t kStepRowStyle = 0x481c3;
constexpr uint32_t kFieldStyle = 0x40440c1;

void SetTextStyle(gElement* e, uint32_t style) {
    if (e == nullptr) return;
    e->textAlign = style;
    if (gTextHooks().layout != nullptr && e->font != nullptr) gTextHooks().layout(e);
}

// A text of the toolkit's text kind takes its text's width when it is made; the frame
// number and the rate keep the width they are given, so that a frame number of any
// length stands apart from the rate beside it instead of running into it.
gElement* FixedWidthText(PageWidgets& b, float width, const char* text) {
    gElement* e = b.Add(4, width, kPageRow, text);
    if (e == nullptr) return nullptr;
    e->textAlign &= ~kTextGrow;
    const float grow = width - e->cellWidth;
    // The widgets after it in the row are placed after the row's content.
    if (grow > 0.0f && e->row != nullptr && e->row->last == e) {
        e->cellWidth += grow;
        e->width += grow;
        e->row->contentWidth += grow;
    }
    return e;
}

}  // namespace

void BuildTransportPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Transport";
    PageWidgets b(element);
    s[kTransportToFirst] = b.Glyph(37, kButton, kPageRow, kGlyphToFirst, &TransportToFirstPress);
    s[kTransportStepBack] = b.Glyph(40, kButton, kPageRow, kGlyphStepBack, &TransportStepBackPress);
    s[kTransportPlay] = b.Glyph(44, kButton, kPageRow, kGlyphPlay, &TransportPlayPress);
    s[kTransportPause] = b.Glyph(44, kButton, kPageRow, kGlyphPause, &TransportPausePress);
    s[kTransportStepForward] = b.Glyph(40, kButton, kPageRow, kGlyphStepForward, &TransportStepForwardPress);
    s[kTransportToLast] = b.Glyph(37, kButton, kPageRow, kGlyphToLast, &TransportToLastPress);
    b.Add(10, 2.0f, kPageRow, "");
    s[kTransportLoop] = b.Glyph(44, kButton, kPageRow, kGlyphLoop, &TransportLoopPress);
    s[kTransportReverse] = b.Glyph(44, kButton, kPageRow, kGlyphReverseOff, &TransportReversePress);
    s[kTransportReturn] = b.Glyph(44, kButton, kPageRow, kGlyphReturn, &TransportReturnPress);
    s[kTransportIndicator] = b.Glyph(44, 10.0f, kPageRow, kGlyphStop);
    b.Row();
    ProgressDesc desc;
    desc.mode = &TransportSeekMode;
    desc.position = &TransportSeekPosition;
    desc.seek = &TransportSeek;
    desc.seekDone = &TransportSeekDone;
    desc.userData = reinterpret_cast<uintptr_t>(element);
    // The bar is made by its own control, which takes no row mark: a narrow spacer opens the
    // bar's row, or the bar would join the buttons' row.
    b.Add(10, 2.0f, 8.0f, "");
    const float width = b.window != nullptr ? static_cast<float>(b.window->clientWidth) - 10.0f : 100.0f;
    const float size[2] = {width > 100.0f ? width : 100.0f, 8.0f};
    s[kTransportSeekBar] = b.window != nullptr ? ProgressBar::Create(b.window, nullptr, &desc, size) : nullptr;
    b.Row();
    s[kTransportStepMode] = b.Add(47, 35.0f, kPageRow, "Step", &TransportStepModePress);
    s[kTransportStepMark] = b.Add(37, kButton, kPageRow, "-+-");
    s[kTransportDrawV] = b.Add(47, kButton, kPageRow, "V", &TransportDrawPress);
    s[kTransportDrawL] = b.Add(47, kButton, kPageRow, "L", &TransportDrawPress);
    s[kTransportFrameText] = FixedWidthText(b, 66.0f, "0");
    s[kTransportRateText] = FixedWidthText(b, 35.0f, "00.00");
    s[kTransportRateUnit] = b.Add(37, 10.0f, 18.0f, "F", &TransportRateUnitPress);
    b.Row();
    s[kTransportStepSize] = b.Field(35.0f, kPageRow, "1", &TransportStepSizeChanged);
    s[kTransportFirst] = b.Field(67.0f, kPageRow, "0", &TransportFirstChanged);
    s[kTransportLast] = b.Field(67.0f, kPageRow, "0", &TransportLastChanged);
    s[kTransportRate] = b.Field(37.0f, kPageRow, "00.00", &TransportRateChanged);
    s[kTransportStar] = b.Add(37, 10.0f, kPageRow, "*");
    for (uint32_t slot : {kTransportToFirst, kTransportStepBack, kTransportPlay, kTransportPause,
                          kTransportStepForward, kTransportToLast, kTransportLoop, kTransportReverse, kTransportReturn,
                          kTransportIndicator})
        SetTextStyle(s[slot], kTransportRowStyle);
    for (uint32_t slot : {kTransportStepMode, kTransportStepMark, kTransportDrawV, kTransportDrawL,
                          kTransportRateUnit, kTransportStar})
        SetTextStyle(s[slot], kStepRowStyle);
    for (uint32_t slot : {kTransportStepSize, kTransportFirst, kTransportLast, kTransportRate, kTransportFrameText,
                          kTransportRateText})
        SetTextStyle(s[slot], kFieldStyle);
    for (uint32_t slot : {kTransportPlay, kTransportFrameText, kTransportRateText}) WatchDestroy(s[slot]);
}

void TransportPageRefresh(UIPage*, UIElement* element, int32_t) {
    TransportPageUpdate(WorkspaceOfElement(element), element);
}

void RefreshTransportPage(WorkspaceComponent* ws) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageTransport);
    if (e != nullptr && PageWindowVisible(e)) TransportPageUpdate(ws, e);
}

void TransportPageUpdate(WorkspaceComponent* ws, UIElement* element) {
    TransportContext c;
    c.page = element;
    c.ws = ws;
    c.player = ActivePlayer(ws);
    if (c.Slot(0) == nullptr) return;
    MarkPageRepaint(element);
    EventTimer& timer = TheEventTimer();
    // Playback is over: the preview it left behind catches up.
    if (ws != nullptr && ws->auxiliaryPending != 0 && timer.port.load() == nullptr && timer.paused == 0) {
        ws->auxiliaryPending = 0;
        if (DisplayComponent* cell = AsDisplayCell(ws->activeCell)) cell->RenderPreview();
    }
    if (gElement* play = c.Slot(kTransportPlay)) {
        play->value = timer.port.load() != nullptr || (timer.paused != 0 && timer.savedPort != nullptr) ? 1 : 0;
        SetToggleGlyph(play);
    }
    if (gElement* pause = c.Slot(kTransportPause)) pause->value = timer.paused != 0 ? 1 : 0;
    auto set = [&](uint32_t slot, bool on) {
        if (gElement* e = c.Slot(slot)) e->value = on ? 1 : 0;
    };
    if (gElement* indicator = c.Slot(kTransportIndicator)) {
        indicator->value = 0;
        Mark(indicator, false);
    }
    const FramePlayerSaved& saved = TheFramePlayerSaved();
    if (c.player == nullptr) {
        ShowRate(c.Slot(kTransportRate), saved.timeMode.load(), saved.interval.load());
        PageSetText(c.Slot(kTransportStepSize), "1");
        Mark(c.Slot(kTransportStepSize), false);
        set(kTransportDrawV, false);
        set(kTransportDrawL, false);
        set(kTransportStepMode, false);
        Mark(c.Slot(kTransportStepMark), false);
        for (uint32_t s : {kTransportFirst, kTransportLast, kTransportFrameText}) PageSetText(c.Slot(s), "");
        set(kTransportLoop, (saved.flagWord.load() & kFramePlayerLoop) != 0);
        set(kTransportReturn, (saved.flagWord.load() & kFramePlayerReturnAtEnd) != 0);
        ShowReverse(c, false);
        PageSetText(c.Slot(kTransportRateUnit), saved.timeMode.load() == 1 ? "T" : "F");
        return;
    }
    const FramePlayer& p = *c.player;
    const int32_t flags = Flags(p);
    ShowRate(c.Slot(kTransportRate), p.timeMode.load(), p.interval.load());
    ShowNumber(c.Slot(kTransportStepSize), p.step.load());
    const bool stepMode = (flags & kFramePlayerStepMode) != 0;
    Mark(c.Slot(kTransportStepSize), stepMode);
    set(kTransportDrawV, (flags & kFramePlayerDrawV) != 0);
    set(kTransportDrawL, (flags & kFramePlayerDrawL) != 0);
    set(kTransportStepMode, stepMode);
    Mark(c.Slot(kTransportStepMark), stepMode && std::abs(p.step.load()) > 1);
    ShowRange(c);
    FrameNumberText(p, c.Slot(kTransportFrameText));
    set(kTransportLoop, (flags & kFramePlayerLoop) != 0);
    ShowReverse(c, (flags & kFramePlayerReverse) != 0);
    set(kTransportReturn, (flags & kFramePlayerReturnAtEnd) != 0);
    ShowRateUnitLetter(c.Slot(kTransportRateUnit), p.timeMode.load());
    if (gElement* bar = c.Slot(kTransportSeekBar)) ProgressBar::Update(bar);
}

// ---- Moving ------------------------------------------------------------------------------------------

void TransportToFirstPress(gElement*, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (!TransportPlayerHasFrames(c.player)) return;
    bool moved;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        moved = FramePlayerToFirst(*c.player);
    }
    if (moved) ShowFrame(c);
}

void TransportToLastPress(gElement*, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (!TransportPlayerHasFrames(c.player)) return;
    bool moved;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        moved = FramePlayerToLast(*c.player);
    }
    if (moved) ShowFrame(c);
}

void TransportStepBackPress(gElement* button, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    MarkPageRepaint(c.page);
    StepFrameBack(c.ws, button, c.page, 0);
}

void TransportStepForwardPress(gElement* button, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    MarkPageRepaint(c.page);
    StepFrameForward(c.ws, button, c.page, 0);
}

void TransportPlayPress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    EventTimer& timer = TheEventTimer();
    if (toggle->value == 0) {
        PlaybackEnd(&timer, 0);
        SetToggleGlyph(toggle);
        RepaintFieldNow(toggle);
        return;
    }
    if (c.player == nullptr) {
        timer.Stop(false);
        ResetToggle(toggle, 0);
        return;
    }
    const FramePlayer& p = *c.player;
    if (!TransportPlayerHasFrames(c.player)) {
        ResetToggle(toggle, 0);
        return;
    }
    const bool loop = (Flags(p) & kFramePlayerLoop) != 0;
    const int32_t first = p.first.load(), last = p.last.load(), current = p.current.load(), step = p.step.load();
    if (!loop && (first >= last || (step > 0 && current >= last) || (step < 0 && current <= first))) {
        ResetToggle(toggle, 0);
        return;
    }
    if (!PlaybackStart(&timer, ActiveCell(c), 0)) ResetToggle(toggle, 0);
}

void TransportPausePress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    EventTimer& timer = TheEventTimer();
    if (toggle->value != 0) {
        if (timer.port.load() != nullptr) {
            PlaybackEnd(&timer, 1);
            if (timer.paused != 0) return;
        }
        ResetToggle(toggle, 0);
        return;
    }
    if (timer.paused == 0) return;
    gElement* play = c.Slot(kTransportPlay);
    if (c.player == nullptr) {
        timer.Stop(false);
        ResetToggle(play, 0);
        return;
    }
    const FramePlayer& p = *c.player;
    const bool loop = (Flags(p) & kFramePlayerLoop) != 0;
    if (TransportPlayerHasFrames(c.player) && (loop || (p.last.load() > p.first.load() && !AtEnd(p))) &&
        PlaybackStart(&timer, ActiveCell(c), 0))
        return;
    ResetToggle(play, 0);
}

// ---- Flags -------------------------------------------------------------------------------------------

void TransportLoopPress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    const bool on = toggle->value != 0;
    // The player's loop is stored as the saved flags too.
    if (c.player != nullptr) {
        FramePlayerSetLoop(*c.player, on);
    } else {
        SetSavedFlag(kFramePlayerLoop, on);
    }
}

void TransportReversePress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    if (c.player == nullptr) {
        ShowReverse(c, false);
        return;
    }
    const bool on = toggle->value != 0;
    const int32_t step = FramePlayerSetReverse(*c.player, on);
    ShowNumber(c.Slot(kTransportStepSize), step);
    RepaintFieldNow(c.Slot(kTransportStepSize));
    ShowReverse(c, on);
}

void TransportReturnPress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    const bool on = toggle->value != 0;
    if (c.player != nullptr) SetFlag(*c.player, kFramePlayerReturnAtEnd, on);
    SetSavedFlag(kFramePlayerReturnAtEnd, on);
    // The return to the start redraws the preview with the frame it comes back to.
    if (on && c.ws != nullptr) c.ws->auxiliaryPending = 0;
}

void TransportDrawPress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    if (c.player == nullptr) {
        ResetToggle(toggle, 0);
        return;
    }
    const int32_t bit = toggle == c.Slot(kTransportDrawV) ? kFramePlayerDrawV : kFramePlayerDrawL;
    const bool on = toggle->value != 0;
    SetFlag(*c.player, bit, on);
    // With "L" the preview follows every played frame; without it while playing, it is
    // left behind and waits for the end of playback.
    if (bit == kFramePlayerDrawL && c.ws != nullptr) {
        if (on) {
            c.ws->auxiliaryPending = 0;
        } else if (TheEventTimer().port.load() != nullptr) {
            c.ws->auxiliaryPending = 1;
        }
    }
    EventTimer& timer = TheEventTimer();
    if (PlaybackInstall(&timer, 1, timer.ready, Flags(*c.player)) && c.ws != nullptr) {
        if (gWindow* w = gWinValidate(c.ws->window)) w->dirty = 7;
    }
}

void TransportStepModePress(gElement* toggle, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (toggle == nullptr) return;
    if (c.player == nullptr) {
        ResetToggle(toggle, 0);
        return;
    }
    FramePlayer& p = *c.player;
    const bool on = toggle->value != 0;
    int32_t magnitude = 1;
    SetFlag(p, kFramePlayerStepMode, on);
    if (on) {
        const int32_t size = p.stepSize.load();
        magnitude = size == 0 ? 1 : size < 0 ? (size == INT32_MIN ? INT32_MAX : -size) : size;
    }
    Mark(c.Slot(kTransportStepSize), on);
    Mark(c.Slot(kTransportStepMark), on && magnitude > 1);
    const int32_t step = (Flags(p) & kFramePlayerReverse) != 0 ? -magnitude : magnitude;
    const int32_t before = p.step.load();
    if (step != before) {
        p.step.exchange(step);
        ShowNumber(c.Slot(kTransportStepSize), step);
        if (p.timeMode.load() == 1 && std::abs(before) != magnitude) FrameNumberText(p, c.Slot(kTransportFrameText));
    }
    MarkPageRepaint(c.page);
}

// ---- Fields ------------------------------------------------------------------------------------------

void TransportStepSizeChanged(gElement* field, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (field == nullptr) return;
    if (c.player == nullptr) {
        PageSetText(field, "1");
        ShowReverse(c, false);
        return;
    }
    FramePlayer& p = *c.player;
    int32_t n = 0;
    // A signed entry: through the calculator, which reads the minus sign.
    if (ReadFieldInt(field, &n, true)) {
        if (n < 0) SetFlag(p, kFramePlayerReverse, true);
        if (n > 0) SetFlag(p, kFramePlayerReverse, false);
        const bool reverse = (Flags(p) & kFramePlayerReverse) != 0;
        if (n == 0) n = reverse ? -1 : 1;
        p.stepSize.store(n);
        if ((Flags(p) & kFramePlayerStepMode) != 0 && p.step.load() != n) {
            p.step.exchange(n);
            FrameNumberText(p, c.Slot(kTransportFrameText));
            ShowReverse(c, reverse);
        }
    }
    ShowNumber(field, p.step.load());
    MarkPageRepaint(c.page);
}

namespace {

// A frame field entry: a frame number, or a time h:m:s:ms in rate unit 1.
bool ReadPosition(gElement* field, const FramePlayer& p, int32_t* value, int* unit) {
    if (p.timeMode.load() == 1) {
        *unit = kFrameUnitMilliseconds;
        return gWgtReadTime(field, value);
    }
    *unit = kFrameUnitNumber;
    uint32_t n = 0;
    if (!ReadFieldUInt(field, &n, false)) return false;
    *value = n > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(n);
    return true;
}

void RangeChanged(const TransportContext& c, gElement* field, bool last) {
    if (field == nullptr) return;
    if (c.player == nullptr) {
        PageSetText(field, "");
        return;
    }
    FramePlayer& p = *c.player;
    int32_t value = 0;
    int unit = kFrameUnitNumber;
    int result = 0;
    if (ReadPosition(field, p, &value, &unit)) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        result = last ? FramePlayerSetLast(p, &value, unit) : FramePlayerSetFirst(p, &value, unit);
    }
    if (result == 2) {
        ShowFrame(c);
    } else if (result == 1) {
        gElement* bar = c.Slot(kTransportSeekBar);
        if (bar != nullptr && ProgressBar::Update(bar)) RepaintFieldNow(bar);
    }
    FrameTimeText(p, last ? p.last.load() : p.first.load(), field);
    MarkPageRepaint(c.page);
}

}  // namespace

void TransportFirstChanged(gElement* field, uintptr_t data) { RangeChanged(TransportContextOf(data), field, false); }

void TransportLastChanged(gElement* field, uintptr_t data) { RangeChanged(TransportContextOf(data), field, true); }

void TransportRateChanged(gElement* field, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (field == nullptr) return;
    FramePlayerSaved& saved = TheFramePlayerSaved();
    const int32_t unit = c.player != nullptr ? c.player->timeMode.load() : saved.timeMode.load();
    std::atomic<int32_t>& period = c.player != nullptr ? c.player->interval : saved.interval;
    double x = 0.0;
    if (ReadFieldDouble(field, &x, false) && FramePlayerSetRate(unit, x, &period) && c.player != nullptr) {
        ShowRange(c);
        FrameNumberText(*c.player, c.Slot(kTransportFrameText));
        // A playback of this cell goes on at the new rate at once; a pace that could not
        // be set at all ended it, which the page then shows.
        EventTimer& timer = TheEventTimer();
        PortList* list = c.ws->activeCell->portList;
        const bool played = timer.port.load() == list;
        PlaybackFollowRate(&timer, list);
        if (played && timer.port.load() == nullptr) TransportPageUpdate(c.ws, c.page);
    }
    ShowRate(field, unit, period.load());
    MarkPageRepaint(c.page);
}

void TransportRateUnitPress(gElement* button, uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    if (button == nullptr) return;
    FramePlayerSaved& saved = TheFramePlayerSaved();
    EventTimer& timer = TheEventTimer();
    if (c.player == nullptr) {
        const int32_t unit = saved.timeMode.load() == 1 ? 0 : 1;
        saved.timeMode.store(unit);
        for (uint32_t s : {kTransportRateText, kTransportFirst, kTransportLast, kTransportFrameText})
            PageSetText(c.Slot(s), "");
        ShowRate(c.Slot(kTransportRate), unit, saved.interval.load());
        ShowRateUnitLetter(button, unit);
        MarkPageRepaint(c.page);
        return;
    }
    FramePlayer& p = *c.player;
    const int32_t unit = FramePlayerTogglePlay(p);
    saved.timeMode.store(unit);
    timer.lastRateValue.store(-1);
    ShowRate(c.Slot(kTransportRate), unit, p.interval.load());
    if (gElement* rate = c.Slot(kTransportRateText)) {
        if (const char* text = PlaybackFpsText(&timer)) PageSetText(rate, text);
    }
    ShowRange(c);
    FrameNumberText(p, c.Slot(kTransportFrameText));
    ShowRateUnitLetter(button, unit);
    MarkPageRepaint(c.page);
}

// ---- The seek bar ------------------------------------------------------------------------------------

int TransportSeekMode(uintptr_t data) {
    const FramePlayer* p = TransportContextOf(data).player;
    if (!TransportPlayerHasFrames(p)) return 1;
    return p->last.load() - p->first.load() > 0 ? kProgressDraggable : kProgressFull;
}

void TransportSeekPosition(uintptr_t data, float* fraction) {
    if (fraction == nullptr) return;
    *fraction = 0.0f;
    const FramePlayer* p = TransportContextOf(data).player;
    if (p == nullptr) return;
    const int64_t done = int64_t{p->current.load()} - p->first.load();
    const int64_t span = int64_t{p->last.load()} - p->first.load();
    if (done >= 1 && span >= 1) *fraction = static_cast<float>(static_cast<double>(done) / static_cast<double>(span));
}

uint8_t TransportSeek(uintptr_t data, float* fraction) {
    TransportContext c = TransportContextOf(data);
    if (fraction == nullptr || c.player == nullptr) return 0;
    FramePlayer& p = *c.player;
    double f = *fraction;
    if (!(f >= 0.0)) f = 0.0;  // negative or undefined
    const int32_t first = p.first.load();
    const int64_t span = int64_t{p.last.load()} - first;
    int64_t frame = kernel::SaturateRound<int64_t>(f * static_cast<double>(span));
    if (frame < 0) frame = 0;
    if (frame > span) frame = span < 0 ? 0 : span;
    *fraction = span >= 1 ? static_cast<float>(static_cast<double>(frame) / static_cast<double>(span)) : 0.0f;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        p.current.exchange(static_cast<int32_t>(first + frame));
    }
    FrameNumberText(p, c.Slot(kTransportFrameText));
    RepaintFieldNow(c.Slot(kTransportFrameText));
    return 1;
}

void TransportSeekDone(uintptr_t data) {
    TransportContext c = TransportContextOf(data);
    DisplayComponent* cell = c.ws != nullptr ? c.ws->activeCell : nullptr;
    if (cell != nullptr && cell->portList != nullptr) PlaybackStepRedraw(cell->portList);
}

}  // namespace orva
