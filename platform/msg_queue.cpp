// The per-thread message queues, posted and sent messages, timers and waiting.
#include "platform/msg_queue.h"

#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>

#include "platform/clock.h"
#include "platform/window_api.h"
#include "platform/window_registry.h"

#if __has_include("platform/fd_watch.h")
#include "platform/fd_watch.h"
#define ORVA_HAVE_FD_WATCH 1
#endif

namespace orva::platform {

namespace {

std::mutex gSendMutex;
std::condition_variable gSendDone;

int64_t NowMs() { return MonotonicNs() / 1000000; }

// The window thread gives the C library's free heap pages back to the system once input
// has stopped for a while. Work such as showing the next frame of a cube frees blocks
// in the middle of the heap (the renderer's vertex buffers, histograms, texts), and the
// library keeps those pages resident, and the top of the heap above the trim threshold,
// until something asks: without this the resident size wanders up and down by a
// megabyte or two from frame to frame while the live heap stays the same. Trimming
// takes about a tenth of a millisecond and runs only when the thread would sleep.
void TrimFreeHeapPages() { malloc_trim(0); }

struct IdleTrim {
    int delayMs = 500;
    void (*trim)() = TrimFreeHeapPages;
    bool due = false;    // a message was taken since the last trim
    int64_t atMs = 0;    // when the trim runs, if no message comes first
};
IdleTrim gIdleTrim;  // the window thread's alone

// Input (pointer, keys, window changes) and the work other threads hand over come as
// posted messages; paints and timers follow from those or run alone (a blinking caret),
// so an idle program trims once and then sleeps.
void NoteTakenOnWindowThread() {
    gIdleTrim.due = true;
    gIdleTrim.atMs = NowMs() + gIdleTrim.delayMs;
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        {
            std::lock_guard<std::mutex> lock(queue->mutex);
            queue->alive = false;
        }
        FailSentMessages(*queue, nullptr);
    }
};

thread_local QueueHolder tQueue;

void Complete(const std::shared_ptr<SentMessage>& item, bool ok, LResult result) {
    {
        std::lock_guard<std::mutex> lock(gSendMutex);
        item->ok = ok;
        item->result = result;
        item->done = true;
    }
    gSendDone.notify_all();
}

// A window that needs painting, in creation order; null when none.
Hwnd FindPaintWindow(const ThreadQueue* queue) {
    for (uintptr_t id : WindowsOfQueue(queue)) {
        WindowObject* window = FindWindowObject(HwndFromId(id));
        if (window != nullptr && window->needsPaint && !window->destroying &&
            IsWindowVisible(HwndFromId(id))) {
            return HwndFromId(id);
        }
    }
    return nullptr;
}

// Pointer input goes to the window holding the capture as the program takes it, as it
// would had the capture been there when the input came. The server routes each event by
// the grab of its moment, and the events since the last pump were all read at once: a
// capture taken while handling the first (a menu opening, a submenu taking the pointer)
// would otherwise leave the next ones with the window that held it before.
void ToCapture(Msg* msg) {
    if (msg->message < kWmMouseMove || msg->message > kWmMButtonDblClk) return;
    const Hwnd capture = GetCapture();
    if (capture == nullptr || capture == msg->hwnd || msg->hwnd == nullptr) return;
    Point at{GetXLParam(msg->lParam), GetYLParam(msg->lParam)};
    if (!ClientToScreen(msg->hwnd, &at) || !ScreenToClient(capture, &at)) return;
    msg->hwnd = capture;
    msg->lParam = MakeLParam(at.x, at.y);
}

void FillCommon(Msg* msg) {
    msg->time = MessageTime();
    msg->pt = LastPointerPosition();
}

// One attempt at taking a message. Returns 1 for a message, 2 for WM_QUIT, 0 for none.
int NextMessage(ThreadQueue& queue, Msg* msg, bool remove) {
    RunSentMessages();
    const bool backendThread = IsBackendThread();
    if (backendThread) {
        if (WindowBackend* backend = ActiveBackend()) backend->Pump();
        RunSentMessages();
    }
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (!queue.posted.empty()) {
            *msg = queue.posted.front();
            if (backendThread) ToCapture(msg);
            if (remove) {
                queue.posted.pop_front();
                if (backendThread) NoteTakenOnWindowThread();
            }
            return 1;
        }
        if (queue.quit) {
            *msg = Msg{};
            msg->message = kWmQuit;
            msg->wParam = static_cast<WParam>(queue.quitCode);
            FillCommon(msg);
            if (remove) queue.quit = false;
            return 2;
        }
    }
    if (Hwnd paint = FindPaintWindow(&queue)) {
        *msg = Msg{};
        msg->hwnd = paint;
        msg->message = kWmPaint;
        FillCommon(msg);
        return 1;
    }
    std::lock_guard<std::mutex> lock(queue.mutex);
    int64_t now = NowMs();
    for (ThreadQueue::Timer& timer : queue.timers) {
        if (timer.due <= now) {
            *msg = Msg{};
            msg->hwnd = timer.hwnd;
            msg->message = kWmTimer;
            msg->wParam = timer.id;
            FillCommon(msg);
            if (remove) timer.due = now + timer.period;
            return 1;
        }
    }
    return 0;
}

// Waits for a wake-up, a native event, a watched descriptor or the next timer.
void WaitForInput(ThreadQueue& queue) {
    int timeout = -1;
    const bool backendThread = IsBackendThread();
    if (backendThread && gIdleTrim.due) {
        const int64_t left = gIdleTrim.atMs - NowMs();
        if (left <= 0) {
            gIdleTrim.due = false;
            gIdleTrim.trim();
        } else {
            timeout = static_cast<int>(std::min<int64_t>(left, INT_MAX));
        }
    }
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (!queue.posted.empty() || queue.quit || !queue.sent.empty()) return;
        int64_t now = NowMs();
        for (const ThreadQueue::Timer& timer : queue.timers) {
            int64_t wait = std::max<int64_t>(0, timer.due - now);
            if (timeout < 0 || wait < timeout) timeout = static_cast<int>(std::min<int64_t>(wait, INT_MAX));
        }
    }
    std::vector<pollfd> fds;
    fds.push_back(pollfd{queue.wakeFd, POLLIN, 0});
    if (backendThread) {
        if (WindowBackend* backend = ActiveBackend()) {
            int fd = backend->EventFd();
            if (fd >= 0) fds.push_back(pollfd{fd, POLLIN, 0});
        }
    }
#ifdef ORVA_HAVE_FD_WATCH
    size_t watchedFrom = fds.size();
    std::vector<FdWatchEntry> watched;
    if (backendThread) {
        watched = FdWatchSnapshot();
        for (const FdWatchEntry& entry : watched) fds.push_back(pollfd{entry.fd, POLLIN, 0});
    }
#endif
    int n = poll(fds.data(), fds.size(), timeout);
    if (n <= 0) return;
    if (fds[0].revents != 0) queue.DrainWake();
#ifdef ORVA_HAVE_FD_WATCH
    for (size_t i = watchedFrom; i < fds.size(); ++i) {
        if (fds[i].revents != 0) FdWatchRun(watched[i - watchedFrom], fds[i].revents);
    }
#endif
}

}  // namespace

ThreadQueue::ThreadQueue() { wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

ThreadQueue::~ThreadQueue() {
    if (wakeFd >= 0) close(wakeFd);
}

void ThreadQueue::Wake() {
    if (wakeFd < 0) return;
    uint64_t one = 1;
    ssize_t written = write(wakeFd, &one, sizeof one);
    (void)written;
}

void ThreadQueue::DrainWake() {
    if (wakeFd < 0) return;
    uint64_t value = 0;
    ssize_t got = read(wakeFd, &value, sizeof value);
    (void)got;
}

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
    if (!tQueue.queue) tQueue.queue = std::make_shared<ThreadQueue>();
    return tQueue.queue;
}

void FailSentMessages(ThreadQueue& queue, Hwnd hwnd) {
    std::vector<std::shared_ptr<SentMessage>> failed;
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        for (auto it = queue.sent.begin(); it != queue.sent.end();) {
            if (hwnd == nullptr || (*it)->hwnd == hwnd) {
                failed.push_back(*it);
                it = queue.sent.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& item : failed) Complete(item, false, 0);
}

void ForgetWindowMessages(ThreadQueue& queue, Hwnd hwnd) {
    std::lock_guard<std::mutex> lock(queue.mutex);
    std::erase_if(queue.timers, [hwnd](const ThreadQueue::Timer& t) { return t.hwnd == hwnd; });
    std::erase_if(queue.posted, [hwnd](const Msg& m) { return m.hwnd == hwnd; });
}

void PostToQueue(ThreadQueue& queue, const Msg& msg, bool wake) {
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (msg.message == kWmMouseMove && !queue.posted.empty() &&
            queue.posted.back().message == kWmMouseMove && queue.posted.back().hwnd == msg.hwnd) {
            queue.posted.back() = msg;
        } else {
            queue.posted.push_back(msg);
        }
    }
    if (wake) queue.Wake();
}

void RunSentMessages() {
    if (!tQueue.queue) return;
    ThreadQueue& queue = *tQueue.queue;
    for (;;) {
        std::shared_ptr<SentMessage> item;
        {
            std::lock_guard<std::mutex> lock(queue.mutex);
            if (queue.sent.empty()) return;
            item = queue.sent.front();
            queue.sent.pop_front();
        }
        WindowObject* window = FindWindowObject(item->hwnd);
        if (window == nullptr || window->destroying || window->proc == nullptr) {
            Complete(item, false, 0);
            continue;
        }
        LResult result = window->proc(item->hwnd, item->message, item->wParam, item->lParam);
        Complete(item, true, result);
    }
}

bool PostMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    std::shared_ptr<ThreadQueue> queue = hwnd == nullptr ? CurrentThreadQueue() : QueueOfWindow(hwnd);
    if (!queue) return false;
    Msg msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    FillCommon(&msg);
    PostToQueue(*queue, msg, queue != tQueue.queue);
    return true;
}

bool SendMessageChecked(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam, LResult* result) {
    if (result != nullptr) *result = 0;
    std::shared_ptr<ThreadQueue> queue = QueueOfWindow(hwnd);
    if (!queue) return false;
    if (queue == tQueue.queue) {
        WindowObject* window = FindWindowObject(hwnd);
        if (window == nullptr || window->proc == nullptr) return false;
        LResult r = window->proc(hwnd, message, wParam, lParam);
        if (result != nullptr) *result = r;
        return true;
    }
    auto item = std::make_shared<SentMessage>();
    item->hwnd = hwnd;
    item->message = message;
    item->wParam = wParam;
    item->lParam = lParam;
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        if (!queue->alive) return false;
        queue->sent.push_back(item);
    }
    queue->Wake();
    // The target may have died between the look-up and the hand-over.
    if (!IsWindow(hwnd)) FailSentMessages(*queue, hwnd);
    std::unique_lock<std::mutex> lock(gSendMutex);
    while (!item->done) {
        gSendDone.wait_for(lock, std::chrono::milliseconds(10));
        if (item->done) break;
        // Serve messages sent to this thread meanwhile, so two threads sending to each
        // other do not wait forever.
        lock.unlock();
        RunSentMessages();
        if (!IsWindow(hwnd)) FailSentMessages(*queue, hwnd);
        lock.lock();
    }
    if (result != nullptr) *result = item->result;
    return item->ok;
}

LResult SendMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    LResult result = 0;
    SendMessageChecked(hwnd, message, wParam, lParam, &result);
    return result;
}

void FailPendingSentMessages() {
    if (tQueue.queue) FailSentMessages(*tQueue.queue, nullptr);
}

namespace {
std::atomic<bool> gEndRequest{false};
static_assert(std::atomic<bool>::is_always_lock_free, "noted from a signal handler");
}  // namespace

void NoteEndRequest() { gEndRequest.store(true, std::memory_order_relaxed); }
bool EndRequestPending() { return gEndRequest.load(std::memory_order_relaxed); }
void ClearEndRequest() { gEndRequest.store(false, std::memory_order_relaxed); }

void PostQuitMessage(int exitCode) {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->quit = true;
    queue->quitCode = exitCode;
}

bool GetMessage(Msg* msg) {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    for (;;) {
        int got = NextMessage(*queue, msg, true);
        if (got == 1) return true;
        if (got == 2) return false;
        WaitForInput(*queue);
    }
}

bool PeekMessage(Msg* msg, bool remove) {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    Msg local;
    int got = NextMessage(*queue, &local, remove);
    if (got == 0) return false;
    if (msg != nullptr) *msg = local;
    return true;
}

void WaitMessage() {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    Msg msg;
    if (NextMessage(*queue, &msg, false) != 0) return;
    WaitForInput(*queue);
}

LResult DispatchMessage(const Msg* msg) {
    if (msg == nullptr) return 0;
    if (msg->hwnd == nullptr) {
        if (msg->message != kWmTimer || !tQueue.queue) return 0;
        TimerProc proc = nullptr;
        void* user = nullptr;
        {
            std::lock_guard<std::mutex> lock(tQueue.queue->mutex);
            for (const ThreadQueue::Timer& timer : tQueue.queue->timers) {
                if (timer.hwnd == nullptr && timer.id == msg->wParam) {
                    proc = timer.proc;
                    user = timer.user;
                }
            }
        }
        // Outside the queue's lock: the routine may set or kill timers.
        if (proc != nullptr) proc(msg->wParam, user);
        return 0;
    }
    WindowObject* window = FindWindowObject(msg->hwnd);
    if (window == nullptr || window->proc == nullptr) return 0;
    LResult result = window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == kWmPaint) {
        // A procedure that did not validate gets its window validated, so an unhandled
        // paint does not come back forever.
        if (WindowObject* again = FindWindowObject(msg->hwnd)) again->needsPaint = false;
    }
    return result;
}

uintptr_t SetTimer(Hwnd hwnd, uintptr_t id, uint32_t milliseconds, TimerProc proc, void* user) {
    std::shared_ptr<ThreadQueue> queue = hwnd == nullptr ? CurrentThreadQueue() : QueueOfWindow(hwnd);
    if (!queue) return 0;
    uint32_t period = std::max<uint32_t>(1, milliseconds);
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        if (hwnd == nullptr && id == 0) {
            // A new window-less timer: the lowest id from 1 that none of the thread's
            // window-less timers holds.
            id = 1;
            for (bool taken = true; taken;) {
                taken = false;
                for (const ThreadQueue::Timer& timer : queue->timers) {
                    if (timer.hwnd == nullptr && timer.id == id) {
                        taken = true;
                        ++id;
                        break;
                    }
                }
            }
        }
        int64_t due = NowMs() + period;
        bool found = false;
        for (ThreadQueue::Timer& timer : queue->timers) {
            if (timer.hwnd == hwnd && timer.id == id) {
                timer.period = period;
                timer.due = due;
                timer.proc = proc;
                timer.user = user;
                found = true;
            }
        }
        if (!found) queue->timers.push_back(ThreadQueue::Timer{hwnd, id, period, due, proc, user});
    }
    if (queue != tQueue.queue) queue->Wake();
    return id == 0 ? 1 : id;
}

bool KillTimer(Hwnd hwnd, uintptr_t id) {
    std::shared_ptr<ThreadQueue> queue = hwnd == nullptr ? CurrentThreadQueue() : QueueOfWindow(hwnd);
    if (!queue) return false;
    std::lock_guard<std::mutex> lock(queue->mutex);
    size_t removed = std::erase_if(queue->timers, [&](const ThreadQueue::Timer& t) {
        return t.hwnd == hwnd && t.id == id;
    });
    return removed > 0;
}

uint32_t MessageTime() { return static_cast<uint32_t>(NowMs()); }

size_t PendingPostedMessages() {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    std::lock_guard<std::mutex> lock(queue->mutex);
    return queue->posted.size();
}

size_t PendingSentMessages() {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    std::lock_guard<std::mutex> lock(queue->mutex);
    return queue->sent.size();
}

void SetIdleTrimForTest(int delayMs, void (*trim)()) {
    gIdleTrim = IdleTrim{};
    gIdleTrim.delayMs = delayMs;
    gIdleTrim.trim = trim != nullptr ? trim : TrimFreeHeapPages;
}

void ResetThreadQueueForTest() {
    std::shared_ptr<ThreadQueue> queue = CurrentThreadQueue();
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->posted.clear();
    queue->timers.clear();
    queue->quit = false;
    queue->quitCode = 0;
}

}  // namespace orva::platform
