#pragma once
// One-time initialisation of the base library, its message-box hooks and
// its number-format settings.
#include <cstdint>
#include <cstdio>

#include "common/log.h"

namespace orva {

// Message box: owner window (opaque), text, title, flags; returns the button pressed.
using MessageBoxFn = int (*)(void* owner, const char* text, const char* title, uint32_t flags);

// Returns 0 on success. The first call records the module value and the calling thread
// as the main thread, installs the log opener when none is installed, selects the
// stopwatch and marks the library initialised. A later call does nothing unless it
// brings an opener while none is installed or a module value while none is recorded:
// then it records what it brings, takes the calling thread as the main thread again and
// selects the stopwatch again.
int ClibInit(const void* module, LogOpener opener);
bool ClibInitialised();
// Installs the hook pair; a null hook gets its default back (first: the threaded box,
// second: the direct box).
void ClibSetMessageHook(MessageBoxFn first, MessageBoxFn second);
// The hook the library itself calls for its notices (the second one).
int ClibMessageBox(void* owner, const char* text, const char* title, uint32_t flags);
// Logs "title: text" and shows the platform's message box with the flags or-ed with
// 0x10020 (to the front, question icon).
int ClibMessageBoxDirect(void* owner, const char* text, const char* title, uint32_t flags);
// The same box from any thread: the platform's box needs no thread of its own, so this
// is the direct box on every thread.
int ClibMessageBoxThreaded(void* owner, const char* text, const char* title, uint32_t flags);
void ClibSetNumberFormat(const char* decimalPoint, const uint8_t* companion);
// The first character of the decimal-point text (default '.').
char ClibDecimalPoint();
// The main thread's id (the platform's thread id), 0 before ClibInit.
uint64_t ClibMainThreadId();
// True on the main thread, the one that runs the user interface (never before ClibInit).
bool ClibOnMainThread();
// The module value recorded by ClibInit.
const void* ClibModule();
// Returns the library to its uninitialised state with the default hooks (tests only).
void ClibResetForTest();

}  // namespace orva
