#pragma once
// The program's result codes, their message formats, and the helpers that log
// a message and show it in the status line of the main window group.
#include <cstdint>

namespace orva {

// Result codes. 2 is ready/done; 0, 1, 3 and 4 report data that was not, or not
// completely, processed; negative codes are failures.
enum ErrorCode : int {
    kErrLimit = -28,
    kErrNotValidArg = -27,
    kErrOutOfRange = -26,
    kErrUserCancelled = -25,
    kErrCorrupt = -23,
    kErrDrive = -21,
    kErrCantWrite = -20,
    kErrCantRead = -19,
    kErrUserAbort = -17,
    kErrOutOfMemory = -14,
    kErrUnsupported = -13,
    kErrUnsupported2 = -12,
    kErrGeneral = -10,
    kErrCreate = -7,
    kErrIo = -6,
    kErrNoAccess = -5,
    kErrNoSpace = -3,
    kErrNoFile = -2,
    kErrWrong = -1,
    kResultEmpty = 0,
    kResultDataEmpty = 1,
    kResultReady = 2,
    kResultIncomplete = 3,
    kResultNotProcessed = 4,
};

// The message format of a code (one "%s" for the object's name), or nullptr
// for 2 and every code above 4.
const char* ErrorText(int code);

// The code for a C library error number: EACCES -5, EINVAL -1, ENOENT -2,
// ENOSPC -3, anything else -10.
int ErrnoToErrorValue(int e);
// The same for the current errno.
int ErrnoToError();

// The status line of window groups belongs to the user interface, which
// installs these when it starts. Before that the helpers below only log.
struct StatusLineHooks {
    // Sets a plain text as the status of a window group.
    int (*setGroupStatus)(int group, int code, int flags, const char* text) = nullptr;
    // Formats `format` with `name` into the status line of a window group.
    int (*printStatusLine)(int group, int code, int flags, const char* format,
                           const char* name) = nullptr;
};
// Installs the hooks (a copy is kept); nullptr removes them.
void SetStatusLineHooks(const StatusLineHooks* hooks);

// Formats `format` with `text` into the status line of a window group through
// the installed hook, without logging; 0 while no user interface listens.
int PrintStatusLine(int group, int code, int flags, const char* format, const char* text);

// Window group, status codes and display flags used by the helpers.
constexpr int kStatusGroupMain = 0;
constexpr int kStatusFlagsShow = 7;

// Logs the text and shows it in window group 0 with status code -2.
void ShowWarning(const char* text);
// Logs the text and shows it in window group 0 with status code -3.
void ShowError(const char* text);
// Logs the message of `code` for `name` (nullptr: "") and shows it in window
// group 0 (status code -3, or 8 for a user cancel, which the status line does
// not show). Returns 0 for a code without a message, else what the status line
// returns (0 without a user interface).
int ShowErrorCode(int code, const char* name);

}  // namespace orva
