#pragma once
// Internal to the window layer: the per-thread queues and the registry of live windows
// shared by the queue, window and event code.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/msg_queue.h"
#include "platform/msg_types.h"
#include "platform/window_backend.h"

namespace orva::platform {

struct SentMessage {
    Hwnd hwnd = nullptr;
    uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    LResult result = 0;
    bool done = false;
    bool ok = false;
};

struct ThreadQueue {
    ThreadQueue();
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    struct Timer {
        Hwnd hwnd = nullptr;
        uintptr_t id = 0;
        uint32_t period = 1;
        int64_t due = 0;  // milliseconds
        TimerProc proc = nullptr;  // window-less timers: run by DispatchMessage
        void* user = nullptr;
    };

    std::mutex mutex;
    std::deque<Msg> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    int wakeFd = -1;

    void Wake();
    void DrainWake();
};

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();
// The queue of the thread that owns the window; null when the window does not exist.
std::shared_ptr<ThreadQueue> QueueOfWindow(Hwnd hwnd);
// Completes the messages sent to the window (or all when hwnd is null) as failed.
void FailSentMessages(ThreadQueue& queue, Hwnd hwnd);
// Drops the window's timers and posted messages.
void ForgetWindowMessages(ThreadQueue& queue, Hwnd hwnd);
// Posts to a queue; pointer moves replace a pointer move still waiting for the window.
void PostToQueue(ThreadQueue& queue, const Msg& msg, bool wake);
// Runs the messages other threads sent to the calling thread.
void RunSentMessages();

// Registry access (thread-safe).
std::mutex& RegistryMutex();
// Ids of the windows owned by the queue, in creation order.
std::vector<uintptr_t> WindowsOfQueue(const ThreadQueue* queue);

inline Hwnd HwndFromId(uintptr_t id) { return reinterpret_cast<Hwnd>(id); }
inline uintptr_t IdFromHwnd(Hwnd hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

// The current pointer position (screen) as last reported.
Point LastPointerPosition();
void SetLastPointerPosition(Point point);

// Activation as the native side reports it; the capture lost without a release.
void NoteNativeActivation(Hwnd active, Hwnd focus);
void ForgetCapture();

// True when the calling thread runs the native backend.
bool IsBackendThread();

}  // namespace orva::platform
