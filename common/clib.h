#pragma once
// One-time initialisation of the base library, its message-box hooks and
// its number-format settings.
#include <cstdint>
#include <cstdio>

#include "common/log.h"

namespace orva {

// Message box: owner window (opaque), text, title, flags; returns the button pressed.
using MessageBoxFn = int (*)(void* owner, const char* text, const char* title, uint32_t flags);

// Returns 0 on success. `module` is an opaque value recorded on the first call.
int ClibInit(const void* module, LogOpener opener);
bool ClibInitialised();
void ClibSetMessageHook(MessageBoxFn first, MessageBoxFn second);
// The hook the library itself calls for its notices (the second one).
int ClibMessageBox(void* owner, const char* text, const char* title, uint32_t flags);
int ClibMessageBoxDirect(void* owner, const char* text, const char* title, uint32_t flags);
int ClibMessageBoxThreaded(void* owner, const char* text, const char* title, uint32_t flags);
void ClibSetNumberFormat(const char* decimalPoint, const uint8_t* companion);
// The first character of the decimal-point text (default '.').
char ClibDecimalPoint();
uint64_t ClibMainThreadId();

}  // namespace orva
