#pragma once
// The message queue: one per thread, holding posted messages, messages sent from other
// threads, the quit request and the thread's window timers. Every function that waits
// for or looks at messages first runs the messages other threads have sent to this
// thread, so a sender is served by whichever loop the thread is in.
#include <cstddef>
#include <cstdint>

#include "platform/msg_types.h"

namespace orva::platform {

// Posts a message to the queue of the thread that owns the window (a null window posts
// to the calling thread's own queue). False when the window does not exist.
bool PostMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);

// Sends a message and returns the window procedure's result. On the window's own thread
// the procedure is called at once; from another thread the message is handed to the
// window's thread and the caller waits while that thread runs it. 0 when the window
// does not exist or is destroyed before the message runs.
LResult SendMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);
// The same, telling whether the message ran: false when the window did not exist, was
// destroyed while the caller waited, or its thread ended.
bool SendMessageChecked(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam,
                        LResult* result);

// Asks the calling thread's loop to end: GetMessage returns false with WM_QUIT once
// the posted messages before it have been taken.
void PostQuitMessage(int exitCode);

// A request from outside to end the program (SIGTERM) that the loop has not served yet.
// The loop serves it at its next wait; long work on the user-interface thread looks at it
// now and then and stops early, so that the wait comes in time. Noting is
// async-signal-safe.
void NoteEndRequest();
bool EndRequestPending();
void ClearEndRequest();

// Takes the next message for the calling thread, waiting when none is there. Returns
// false for WM_QUIT (msg holds it, wParam the exit code), true otherwise. Order: sent
// messages are run inside; then posted messages; then WM_QUIT; then WM_PAINT for a
// visible window that needs painting; then due timers.
bool GetMessage(Msg* msg);

// Like GetMessage without waiting: false when nothing is there. With remove false the
// message stays (a paint or timer message is made again on the next call).
bool PeekMessage(Msg* msg, bool remove);

// Waits until a message may be there (returns at once when one is).
void WaitMessage();

// Calls the window procedure of msg->hwnd; 0 when the window does not exist. A
// window-less timer's WM_TIMER runs the timer's routine instead (when it still exists).
LResult DispatchMessage(const Msg* msg);

// Fails every message other threads have sent to the calling thread and still wait on
// (their senders return with "not run"). For a thread that is about to wait for a
// sender without serving its queue, such as a join at shut-down.
void FailPendingSentMessages();

// Timers: WM_TIMER with wParam = id for the window every `milliseconds` (at least 1).
// Setting an existing (window, id) pair restarts it. Returns id (0 on failure).
// A window-less timer (null window) belongs to the calling thread; id 0 asks for a new
// id of its own (from 1). Its WM_TIMER carries no window: DispatchMessage runs its
// routine with the id and the user value, on the thread whose loop took the message.
using TimerProc = void (*)(uintptr_t id, void* user);
uintptr_t SetTimer(Hwnd hwnd, uintptr_t id, uint32_t milliseconds, TimerProc proc = nullptr,
                   void* user = nullptr);
bool KillTimer(Hwnd hwnd, uintptr_t id);

// The monotonic time in milliseconds that messages carry.
uint32_t MessageTime();

// Number of posted messages waiting in the calling thread's queue (tests).
size_t PendingPostedMessages();
// Number of messages other threads have sent to the calling thread and still wait on
// (tests).
size_t PendingSentMessages();
// The window thread returns the heap's free pages to the system (malloc_trim) once no
// posted message has been taken for `delayMs` after one was (500 ms unless set). Tests set the delay
// and what runs in its place; a null routine puts the trim back.
void SetIdleTrimForTest(int delayMs, void (*trim)());
// Drops the calling thread's posted messages, quit request and timers (tests).
void ResetThreadQueueForTest();

}  // namespace orva::platform
