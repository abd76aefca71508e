#include "views/playback.h"

#include <atomic>
#include <vector>

#include "common/number_text.h"
#include "framework/component.h"
#include "framework/component_id.h"
#include "framework/device_view.h"
#include "framework/port.h"
#include "io/data_set_info.h"
#include "io/frame_cursor.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/timer_service.h"
#include "platform/window_api.h"
#include "reduction/reduction_component.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/small_controls.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// The timer whose port the installed frame routine draws; set with the routine.
std::atomic<EventTimer*> gFrameTimer{nullptr};

gWindow* WindowOf(ComponentBase* component) {
    const PlaybackHooks& h = ThePlaybackHooks();
    return component != nullptr && h.windowOf != nullptr ? h.windowOf(component) : nullptr;
}

bool IsDrawingCell(const ComponentBase* component) {
    const ComponentId* id = component != nullptr ? component->GetClassId() : nullptr;
    return id != nullptr && id->code[1] == kDisplayCellId.code[1];
}

bool Live(gElement* e) { return e != nullptr && gWgtIsLive(e) && e->window != nullptr; }

// A widget changed: queued for drawing in its window.
void DrawWidget(gElement* e) {
    if (Live(e)) gWgtDrawState(e, 5);
}

// Shows what was queued in the window: the changed widgets where the swap keeps the
// back buffer, else the whole window, then the swap. A window inside one of its own
// handlers (state 0x20) is shown when that handler returns.
void FlushWindow(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return;
    if ((window->state & kStateInHandler) != 0 || !gWinCanDraw(window)) return;
    gWinRedraw(window);
}

void ShowFrameNumber(const FramePlayer& player, gElement* text) {
    if (!Live(text)) return;
    FrameNumberText(player, text);
    DrawWidget(text);
}

// The play button shows its state by its glyph (play or stop); the pause toggle keeps
// its own glyph and shows its state by being pressed.
void SetToggle(gElement* toggle, uint32_t value, bool glyph = true) {
    if (!Live(toggle)) return;
    toggle->value = value;
    if (glyph && ThePlaybackHooks().setToggleGlyph != nullptr) ThePlaybackHooks().setToggleGlyph(toggle);
    DrawWidget(toggle);
}

// The displays that delivered something, in the order met, each once.
using DisplaySet = std::vector<DisplayCellBase*>;
void AddDisplay(DisplaySet& set, DisplayCellBase* display) {
    if (display == nullptr) return;
    for (DisplayCellBase* d : set)
        if (d == display) return;
    set.push_back(display);
}

// Re-reads one record for the current frame (the step's re-read).
void Reread(DeviceViewBase* d) {
    d->request.readAgain = 1;
    d->lastPullCode = d->Refresh();
    d->hasData = d->lastPullCode > 0 ? 1 : 0;
}

// The re-read state of a delivered record, for the frame routines that ask for it.
void HandleRereadState(DeviceViewBase* d) {
    const PlaybackHooks& h = ThePlaybackHooks();
    if (d->lastPullCode == 1) {
        if (h.reloadRecord != nullptr) h.reloadRecord(d);
        d->lastPullCode = 0;
    } else if (d->lastPullCode >= 2) {
        if (h.relinkRecord != nullptr) h.relinkRecord(d);
    }
}

bool Deliver(DeviceViewBase* d) { return d->deliverHook != nullptr && d->deliverHook(d); }

// The records that took new data, each held until what follows their delivery has run.
class Delivered {
public:
    Delivered() = default;
    Delivered(const Delivered&) = delete;
    Delivered& operator=(const Delivered&) = delete;
    ~Delivered() {
        for (DeviceViewBase* d : records_) d->Release();
    }
    void Add(DeviceViewBase* d) {
        d->AddRef();
        records_.push_back(d);
    }
    // Outside the lock: the windows of the records follow their new frame as after any
    // delivery (a chart's statistic list and axis, a picture's value under the pointer),
    // before they are drawn.
    void Follow() const {
        const PlaybackHooks& h = ThePlaybackHooks();
        if (h.delivered == nullptr) return;
        for (DeviceViewBase* d : records_) h.delivered(d);
    }
    bool Empty() const { return records_.empty(); }

private:
    std::vector<DeviceViewBase*> records_;
};

// Delivers the records of the chain (under the lock): with `rereadAll` every record not
// frozen is re-read first, else only those the step marked are delivered. A display
// that took new data gets its window's repaint state `state` (6: the frame alone,
// 7: the whole window) unless one is pending.
void DeliverRecords(PortList* port, int mode, bool rereadAll, uint32_t state, DisplaySet& displays,
                    Delivered& delivered) {
    for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->chainNext) {
        if (d->frozen != 0) continue;
        if (rereadAll) Reread(d);
        if (d->hasData == 0) continue;
        d->hasData = 0;
        const bool took = Deliver(d);
        if (mode != 0) HandleRereadState(d);
        if (!took || d->display == nullptr) continue;
        delivered.Add(d);
        AddDisplay(displays, d->display);
        gWindow* w = WindowOf(d->display);
        if (w != nullptr && w->dirty == 0) w->dirty = state;
    }
}

// Paints a window whole and swaps, when it may draw.
bool PaintWhole(gWindow* w) {
    if (w == nullptr || !gWinCanDraw(w) || !gWinMakeCurrent(w)) return false;
    gWinPaint(w);
    gWinSwapPainted(w);
    w->dirty = 0;
    return true;
}

// Draws the displays that took new data (outside the lock), in the order of the
// list's ports.
void DrawDisplays(PortList* port, int mode, bool overlays, DisplaySet& displays) {
    const PlaybackHooks& h = ThePlaybackHooks();
    auto take = [&displays](DisplayCellBase* d) {
        for (auto it = displays.begin(); it != displays.end(); ++it) {
            if (*it == d) {
                displays.erase(it);
                return true;
            }
        }
        return false;
    };
    auto draw = [&](DisplayCellBase* cell) {
        if (!IsDrawingCell(cell)) {
            if (h.redraw != nullptr) h.redraw(cell);
            return;
        }
        gWindow* w = WindowOf(cell);
        if (w != nullptr && w->dirty == 6) {
            if (gWinCanDraw(w) && gWinMakeCurrent(w)) {
                // Only the image where the swap keeps the back buffer; else all of it.
                if (gWinSwapCopies(w) && h.drawCellImage != nullptr && h.drawCellImage(cell, w, overlays)) {
                    platform::SwapBuffers(w->hdc);
                } else {
                    gWinPaint(w);
                    gWinSwapPainted(w);
                }
                w->dirty = 0;
            } else {
                w->dirty = 7;  // drawn by the next refresh once the window may draw
            }
        } else if (w != nullptr && w->dirty != 0) {
            PaintWhole(w);
        }
        if ((mode & 1) != 0 && h.redrawReadouts != nullptr) h.redrawReadouts(cell);
        if ((mode & 2) != 0 && h.redrawCellWidgets != nullptr) h.redrawCellWidgets(cell);
    };
    for (OutPort* p = port->firstPort; p != nullptr && !displays.empty(); p = p->next)
        if (take(p->display)) draw(p->display);
    // Records whose display is in none of the list's ports.
    DisplaySet rest;
    rest.swap(displays);
    for (DisplayCellBase* d : rest) draw(d);
}

// The number of the frame being drawn, on the transport page and the pages that follow
// the played cell: written now and shown with the frame itself, never beside another.
void ShowPlayedFrameNumber(EventTimer* timer, PortList* port) {
    ShowFrameNumber(port->player, static_cast<gElement*>(timer->frameText));
    const PlaybackHooks& h = ThePlaybackHooks();
    if (h.followFrame != nullptr) h.followFrame(timer->owner.load());
}

// The frame routine of message 0x501 (UI thread, while the timer thread waits). The
// timer thread moved the frame and waits for this routine, so the frame the records
// were re-read for is the player's current one.
void DrawFrame(int mode) {
    EventTimer* timer = gFrameTimer.load();
    if (timer == nullptr) return;
    DisplaySet displays;
    Delivered delivered;
    timer->Enter();
    // Stopped meanwhile: nothing plays, nothing to draw.
    PortList* port = timer->port.load();
    if (port != nullptr) DeliverRecords(port, mode, false, 6, displays, delivered);
    const bool overlays = timer->delayedTimerId != 0;
    timer->Leave();
    if (port == nullptr) return;
    delivered.Follow();
    ShowPlayedFrameNumber(timer, port);
    DrawDisplays(port, mode, overlays, displays);
    // What followed the frame in windows of their own (a chart's statistic list, a page
    // that is no part of the cell's window).
    gWinRefreshAll();
}
void DrawFrame0() { DrawFrame(0); }
void DrawFrame1() { DrawFrame(1); }
void DrawFrame2() { DrawFrame(2); }
void DrawFrame3() { DrawFrame(3); }

// The one-shot routine of message 0x502: the end of the range without loop.
void EndRoutine(platform::WParam wParam) {
    auto* timer = reinterpret_cast<EventTimer*>(wParam);
    if (timer != nullptr) PlaybackEnd(timer, 0);
}

void DelayedNotify(EventTimer* timer) { NotifyLinkedSources(timer->port.load(), 1); }

void ControlRoutine(EventTimer* timer, int32_t code) {
    if (!ComponentUiUp()) {
        if (timer->port.load() != nullptr || (timer->paused != 0 && timer->savedPort != nullptr)) timer->Stop(false);
        return;
    }
    switch (code) {
        case kPlaybackPause:
            if (!(timer->paused != 0 && timer->savedPort != nullptr)) PlaybackEnd(timer, 1);
            break;
        case kPlaybackEnd:
            PlaybackEnd(timer, 0);
            break;
        case kPlaybackResume:
            if (timer->port.load() == nullptr) PlaybackStart(timer, nullptr, 0);
            break;
        default:
            PlaybackStart(timer, nullptr, 0);
            break;
    }
}

// The period of the played data: the player's, else the saved one, never 0.
uint32_t PeriodOf(const FramePlayer& player) {
    int32_t period = player.interval.load();
    if (period <= 0) period = TheFramePlayerSaved().interval.load();
    return period > 0 ? static_cast<uint32_t>(period) : kDefaultFramePeriod;
}

}  // namespace

PlaybackHooks& ThePlaybackHooks() {
    static PlaybackHooks hooks;
    return hooks;
}

int32_t PlaybackFrameCount(ComponentBase* component) {
    if (component == nullptr) return 0;
    void* description = component->CachedFrameDescription();
    if (description == nullptr) description = component->QueryFrameDescription();
    if (description == nullptr) return 0;
    const uint32_t frames = static_cast<const DataSetInfo*>(description)->StepFrames();
    return frames > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(frames);
}

bool PlaybackRange(PortList* port, OutPort* leaveOut) {
    if (port == nullptr) return false;
    DisplayLockGuard hold;
    int32_t max = 0;
    if (port->playableAuthoritative != 0 && port->firstDevice != nullptr) {
        for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->chainNext)
            max = std::max(max, PlaybackFrameCount(d->pin.upstream));
    } else {
        if (port->firstDevice != nullptr) {
            for (DeviceViewBase* d = port->firstDevice; d != nullptr;) {
                DeviceViewBase* next = d->chainNext;
                if (port->playablePrune != 0) {
                    // Records of one frame stay (they follow the frame of the others).
                    const int32_t frames = PlaybackFrameCount(d->pin.upstream);
                    if (frames == 1) max = std::max(max, 1);
                    else PortListChainRemove(port, d);
                } else {
                    PortListChainRemove(port, d);
                }
                d = next;
            }
        }
        for (OutPort* source = port->firstPort; source != nullptr; source = source->next) {
            if (source == leaveOut) continue;
            for (DeviceViewBase* d = source->firstDevice; d != nullptr; d = d->portNext) {
                if (d->frozen != 0 || d->exclusion != 0) continue;
                const int32_t frames = PlaybackFrameCount(d->pin.upstream);
                if (frames <= 1) continue;
                PortListChainAdd(port, d);
                max = std::max(max, frames);
            }
        }
    }
    FramePlayer& player = port->player;
    if (max < 2) {
        PortListParkPlayer(port);
    } else {
        if (port->saved[0] > 1) {
            // Back from a time without frames: the old range returns, once.
            player.current.exchange(port->saved[1]);
            player.last.store(port->saved[2]);
            player.first.store(port->saved[3]);
            player.count.exchange(port->saved[0]);
            port->saved[0] = 0;
        }
        FramePlayerSetCount(player, static_cast<uint32_t>(max));
    }
    return max > 1;
}

void NotifyLinkedSources(PortList* port, uint8_t flag) {
    if (port == nullptr) return;
    std::vector<ComponentBase*> done;
    for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->chainNext) {
        ComponentBase* source = d->pin.upstream;
        if (source == nullptr) continue;
        bool seen = false;
        for (ComponentBase* c : done) seen = seen || c == source;
        if (seen) continue;
        done.push_back(source);
    }
    for (ComponentBase* source : done)
        if (ComponentIsLive(source)) source->Refresh(flag);
}

bool PlaybackStartTimer(EventTimer* timer) {
    if (timer == nullptr || !timer->Start()) return false;
    NotifyLinkedSources(timer->port.load(), 1);
    return true;
}

bool PlaybackStopTimer(EventTimer* timer, uint8_t keep) {
    if (timer == nullptr) return false;
    PortList* port = timer->port.load();
    if (port == nullptr) port = timer->savedPort;
    const bool stopped = timer->Stop(keep != 0);
    if (stopped) NotifyLinkedSources(port, 0);
    return stopped;
}

bool PlaybackInstall(EventTimer* timer, uint8_t installDraw, int32_t ready, int32_t flags) {
    if (timer == nullptr || ready != 1) return false;
    if (installDraw != 0) {
        static constexpr gFrameHookFn kRoutines[4] = {&DrawFrame0, &DrawFrame1, &DrawFrame2, &DrawFrame3};
        gFrameTimer.store(timer);
        gSetFrameHook(kRoutines[flags & (kFramePlayerDrawV | kFramePlayerDrawL)]);
    }
    timer->stepHandler.exchange(&PlaybackStep);
    return true;
}

bool PlaybackStart(EventTimer* timer, DisplayCellBase* display, uint8_t toggle) {
    if (timer == nullptr) return false;
    const PlaybackHooks& h = ThePlaybackHooks();
    const bool resuming = timer->paused != 0 && timer->savedPort != nullptr;
    if (resuming && display == nullptr) display = dynamic_cast<DisplayCellBase*>(timer->savedOwner);
    ComponentBase* ws = display != nullptr && h.currentWorkspaceOf != nullptr ? h.currentWorkspaceOf(display) : nullptr;
    PortList* port = display != nullptr ? display->portList : nullptr;
    auto refuse = [timer] {
        timer->Stop(false);
        return false;
    };
    if (resuming) {
        if ((display != nullptr && port != timer->savedPort) ||
            timer->savedPort->player.count.load() < 2)
            return refuse();
        port = timer->savedPort;
    } else {
        if (display == nullptr || port == nullptr || port->player.count.load() < 2) return refuse();
        if (PortList* playing = timer->port.load()) {
            if (toggle == 0 && playing == port) return true;
            PlaybackEnd(timer, 0);
            if (toggle != 0) return true;
        }
    }
    if (!PlaybackRange(port, nullptr)) return true;
    FramePlayer& player = port->player;
    const int32_t count = player.count.load();
    if (player.last.load() >= count) player.last.exchange(count - 1);
    const int32_t step = player.step.load(), first = player.first.load(), last = player.last.load();
    if (last < 1 || step == 0) return false;
    const int32_t before = player.current.load();
    bool moved = false;
    if (first < before && before < last) {
        if (!resuming) player.mark.store(before);
    } else {
        if ((player.flags.load() & kFramePlayerLoop) == 0 && ((step > 0 && before >= last) || (step < 0 && before <= first)))
            return false;
        player.mark.store(before);
        const int32_t to = step > 0 ? first : last;
        player.current.exchange(to);
        moved = to != before;
    }
    timer->controlHandler = &ControlRoutine;
    timer->port.exchange(port);
    timer->owner.exchange(display);
    gWindow* view = ComponentUiUp() ? WindowOf(ws != nullptr ? ws : display) : nullptr;
    timer->view.exchange(view);
    timer->viewHwnd.exchange(view != nullptr ? view->hwnd : nullptr);
    PlaybackInstall(timer, timer->viewHwnd.load() != nullptr ? 1 : 0, timer->ready, player.flags.load());
    PlaybackWidgets widgets;
    if (ws != nullptr && ComponentUiUp() && h.transportWidgets != nullptr && h.transportWidgets(ws, &widgets)) {
        timer->delayedHandler = &DelayedNotify;
    } else {
        widgets = PlaybackWidgets{};
        timer->delayedHandler = nullptr;
    }
    // The readouts run whenever the workspace's pages are up: the fast selector shows the
    // played frame too, with or without the transport page.
    timer->uiTickHandler = ws != nullptr && ComponentUiUp() ? &PlaybackUiTick : nullptr;
    timer->playButton = widgets.playButton;
    timer->frameText = widgets.frameText;
    timer->progressBar = widgets.progressBar;
    timer->rateText = widgets.rateText;
    timer->period = PeriodOf(player);
    const bool started = PlaybackStartTimer(timer);
    if (started) {
        gSetOnceHook(&EndRoutine);
    } else {
        player.current.exchange(before);
        moved = false;
        // A start refused before the timer cleared its block leaves nothing installed.
        if (timer->port.load() == port) {
            timer->stepHandler.exchange(nullptr);
            timer->port.exchange(nullptr);
            timer->owner.exchange(nullptr);
            timer->view.exchange(nullptr);
            timer->viewHwnd.exchange(nullptr);
        }
    }
    // The transport page shows the start.
    if (Live(widgets.playButton) || Live(widgets.frameText)) {
        if (moved) ShowFrameNumber(player, widgets.frameText);
        SetToggle(widgets.playButton, started ? 1 : 0);
        if (h.pauseToggle != nullptr) SetToggle(h.pauseToggle(ws), 0, false);
        FlushWindow(Live(widgets.playButton) ? widgets.playButton->window : widgets.frameText->window);
    }
    return started;
}

bool PlaybackFollowRate(EventTimer* timer, PortList* port) {
    if (timer == nullptr || port == nullptr || timer->port.load() != port) return false;
    return timer->SetPeriod(PeriodOf(port->player));
}

void PlaybackStep(EventTimer* timer) {
    timer->Enter();
    PortList* port = timer->port.load();
    if (port == nullptr) {
        timer->Leave();
        return;
    }
    if (!FramePlayerAdvance(port->player)) {
        // The end of the range without loop: the UI thread ends playback.
        const platform::Hwnd hwnd = timer->viewHwnd.load();
        timer->Leave();
        if (hwnd != nullptr) platform::SendMessage(hwnd, kMsgOnce, reinterpret_cast<platform::WParam>(timer), 0);
        return;
    }
    PortMarkSourcesReread(port);
    // Whether the view may draw, read under the lock: the view is null while the user
    // interface is down, and then nothing is sent.
    auto* view = static_cast<gWindow*>(timer->view.load());
    const platform::Hwnd hwnd = timer->viewHwnd.load();
    const bool mayDraw = view != nullptr && hwnd != nullptr && platform::IsWindow(hwnd) &&
                         (view->state.load() & kNotDrawnMask) == 0;
    timer->Leave();
    // The achieved rate counts the steps against the time they were taken, as the
    // pace is kept: the time a frame then takes to be drawn is no part of the pace,
    // and counted after the draw it made the rate shown fall short of the one kept by
    // a frame's drawing time (a tenth at 5 frames a second on a busy machine).
    const uint32_t now = timer->Service().GetTime();
    if (mayDraw) platform::SendMessage(hwnd, kMsgFrame, 0, 0);
    timer->lastTickTime.store(now);
    if (timer->tickCount.load() == 0xFFFFFFFFu) {
        timer->tickCount.store(0);
        timer->startTime.store(now);
    } else {
        timer->tickCount.fetch_add(1);
    }
}

void PlaybackStepRedraw(PortList* port) {
    if (port == nullptr) return;
    EventTimer& timer = TheEventTimer();
    DisplaySet displays;
    Delivered delivered;
    timer.Enter();
    DeliverRecords(port, 3, true, 6, displays, delivered);
    const bool overlays = timer.delayedTimerId != 0;
    timer.Leave();
    delivered.Follow();
    DrawDisplays(port, 3, overlays, displays);
    if (!delivered.Empty()) gWinRefreshAll();
}

const char* PlaybackFpsText(EventTimer* timer) {
    static char text[22];
    const uint32_t start = timer->startTime.load(), last = timer->lastTickTime.load();
    const uint32_t elapsed = static_cast<int32_t>(last - start) > 0 ? last - start : 0;
    const uint32_t frames = timer->tickCount.load();
    const int32_t msPerFrame =
        frames == 0 ? 0 : static_cast<int32_t>((static_cast<uint64_t>(elapsed) + frames / 2) / frames);
    switch (TheFramePlayerSaved().timeMode.load()) {
        case 0: {
            timer->lastRateValue.store(msPerFrame);
            const double rate = elapsed == 0 ? 0.0 : static_cast<double>(frames) * 1000.0 / elapsed;
            BoundedPrintf(text, sizeof text, "%.2f", rate);
            return text;
        }
        case 1:
            if (msPerFrame == timer->lastRateValue.load()) return nullptr;
            timer->lastRateValue.store(msPerFrame);
            ThreeDigitText(msPerFrame, text);
            return text;
        default:
            timer->lastRateValue.store(msPerFrame);
            BoundedPrintf(text, sizeof text, "%s", "0");
            return text;
    }
}

void PlaybackFps(EventTimer* timer, gElement* widget) {
    if (timer == nullptr) return;
    const char* text = PlaybackFpsText(timer);
    if (text == nullptr || !Live(widget)) return;
    gWgtSetText(widget, text);
    DrawWidget(widget);
}

void PlaybackUiTick(EventTimer* timer) {
    PortList* port = timer->port.load();
    if (port == nullptr) return;
    // The frame number goes with each drawn frame (the frame routine); here it follows
    // only while no frame is drawn (the view cannot draw now).
    gWindow* view = gWinValidate(static_cast<gWindow*>(timer->view.load()));
    const bool drawn = timer->viewHwnd.load() != nullptr && view != nullptr && (view->state.load() & kNotDrawnMask) == 0;
    if (!drawn) {
        const PlaybackHooks& h = ThePlaybackHooks();
        if (h.followFrame != nullptr) h.followFrame(timer->owner.load());
    }
    auto* text = static_cast<gElement*>(timer->frameText);
    if (!Live(text) || text->shown == 0 || !gWinCanDraw(text->window)) return;
    if (!drawn) ShowFrameNumber(port->player, text);
    PlaybackFps(timer, static_cast<gElement*>(timer->rateText));
    auto* bar = static_cast<gElement*>(timer->progressBar);
    if (Live(bar) && ProgressBar::Update(bar)) DrawWidget(bar);
    FlushWindow(text->window);
}

bool PlaybackEnd(EventTimer* timer, uint8_t keep) {
    if (timer == nullptr) return false;
    const PlaybackHooks& h = ThePlaybackHooks();
    PortList* port = timer->port.load();
    ComponentBase* owner = timer->owner.load();
    if (port == nullptr) {
        if (timer->paused == 0) return false;
        if (timer->savedPort == nullptr) {
            timer->paused = 0;
            return false;
        }
        owner = timer->savedOwner;
        port = timer->savedPort;
    }
    if (port->player.count.load() < 2) {
        // The data lost their frames meanwhile: nothing to return to or redraw. An end
        // still ends a pause, which would otherwise refuse every later start.
        const bool stopped = PlaybackStopTimer(timer, keep);
        if (stopped && keep == 0) {
            gSetFrameHook(nullptr);
            gFrameTimer.store(nullptr);
            timer->ForgetPlayback();
        }
        return stopped;
    }
    auto* frameText = static_cast<gElement*>(timer->frameText);
    auto* progressBar = static_cast<gElement*>(timer->progressBar);
    auto* rateText = static_cast<gElement*>(timer->rateText);
    auto* playButton = keep != 0 ? nullptr : static_cast<gElement*>(timer->playButton);
    const bool stopped = PlaybackStopTimer(timer, keep);
    gSetFrameHook(nullptr);
    gFrameTimer.store(nullptr);
    if (!stopped) return false;
    // An end after a pause: the timer kept the pause for this routine to clear.
    if (keep == 0) timer->ForgetPlayback();

    FramePlayer& player = port->player;
    bool moved = false;
    const int32_t flags = player.flags.load();
    if (keep == 0 && (flags & kFramePlayerReturnAtEnd) != 0) {
        const int32_t target = (flags & kFramePlayerReturnToFirst) != 0 ? player.first.load() : player.mark.load();
        if (player.current.load() != target) {
            player.current.exchange(target);
            moved = true;
        }
    }
    // The transport page follows.
    auto* display = dynamic_cast<DisplayCellBase*>(owner);
    gWindow* ownWindow = WindowOf(owner);
    SetToggle(playButton, 0);
    ShowFrameNumber(player, frameText);
    PlaybackFps(timer, rateText);
    if (Live(progressBar) && ProgressBar::Update(progressBar)) DrawWidget(progressBar);
    if (display != nullptr && h.pauseToggle != nullptr && h.currentWorkspaceOf != nullptr) {
        gElement* pause = h.pauseToggle(h.currentWorkspaceOf(display));
        if (Live(pause) && pause->value != (keep != 0 ? 1u : 0u)) SetToggle(pause, keep != 0 ? 1 : 0, false);
    }
    for (gElement* e : {frameText, playButton, rateText, progressBar}) {
        if (Live(e) && e->window != ownWindow) {
            FlushWindow(e->window);
            break;
        }
    }
    if (!moved && player.mark.load() != player.current.load()) moved = true;

    if (display != nullptr) {
        DisplaySet displays;
        Delivered delivered;
        timer->Enter();
        // Moved: every record shows the frame it stopped at; else only what is pending.
        DeliverRecords(port, 3, moved, 7, displays, delivered);
        timer->Leave();
        delivered.Follow();
        for (DisplayCellBase* cell : displays) {
            if (!IsDrawingCell(cell)) {
                if (h.redraw != nullptr) h.redraw(cell);
                continue;
            }
            gWindow* w = WindowOf(cell);
            if (w == nullptr) continue;
            if (w->dirty == 0) w->dirty = 7;
            PaintWhole(w);  // a window that may not draw keeps state 7 for the refresh
        }
    }
    if (timer->port.load() == nullptr && owner != nullptr && h.frameSync != nullptr) h.frameSync(owner);
    gWinRefreshAll();
    return true;
}

void PlaybackControl(int32_t code, EventTimer& timer) {
    if (timer.controlHandler != nullptr) timer.controlHandler(&timer, code);
}

}  // namespace orva
