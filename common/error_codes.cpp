#include "common/error_codes.h"

#include <cerrno>
#include <mutex>

#include "common/log.h"

namespace orva {

namespace {

std::mutex gHooksMutex;
StatusLineHooks gHooks;

StatusLineHooks CurrentHooks() {
    std::lock_guard<std::mutex> lock(gHooksMutex);
    return gHooks;
}

void ShowText(const char* text, int status) {
    if (text == nullptr) text = "";
    // The text is the caller's own: it is never used as a format.
    LogPrintf("%s", text);
    StatusLineHooks hooks = CurrentHooks();
    if (hooks.setGroupStatus) hooks.setGroupStatus(kStatusGroupMain, status, kStatusFlagsShow, text);
}

}  // namespace

const char* ErrorText(int code) {
    switch (code) {
        case -28: return "'%s' - error [limit]";
        case -27: return "'%s' - not valid arg";
        case -26: return "'%s' - out of range";
        case -25: return "'%s' - user cancelled";
        case -23: return "'%s' - corrupt";
        case -20: return "'%s' - can`t write";
        case -19: return "'%s' - can`t read";
        case -17: return "'%s' - user abort";
        case -14: return "%s: out memory";
        case -13:
        case -12: return "(%s) - unsupported";
        case -10: return "Error: '%s'";
        case -7: return "'%s' - err create";
        case -6: return "'%s' - io error";
        case -5: return "'%s' - there is no data access";
        case -3: return "'%s' - no space";
        case -2: return "'%s' - no such file or directory";
        case -1: return "'%s' wrong [not valid]";
        case 0: return "'%s' - is empty [not processed]";
        case 1: return "'%s' - data is empty [not processed]";
        case 3: return "Warning: '%s' data are not completely processed";
        case 4: return "'%s' - not processed";
        default: break;
    }
    if (code < 2) return "'%s' - error";
    return nullptr;
}

int ErrnoToErrorValue(int e) {
    switch (e) {
        case EACCES: return kErrNoAccess;
        case EINVAL: return kErrWrong;
        case ENOENT: return kErrNoFile;
        case ENOSPC: return kErrNoSpace;
        default: return kErrGeneral;
    }
}

int ErrnoToError() { return ErrnoToErrorValue(errno); }

void SetStatusLineHooks(const StatusLineHooks* hooks) {
    std::lock_guard<std::mutex> lock(gHooksMutex);
    gHooks = hooks ? *hooks : StatusLineHooks{};
}

int PrintStatusLine(int group, int code, int flags, const char* format, const char* text) {
    StatusLineHooks hooks = CurrentHooks();
    if (hooks.printStatusLine == nullptr || format == nullptr) return 0;
    return hooks.printStatusLine(group, code, flags, format, text != nullptr ? text : "");
}

void ShowWarning(const char* text) { ShowText(text, -2); }

void ShowError(const char* text) { ShowText(text, -3); }

int ShowErrorCode(int code, const char* name) {
    const char* format = ErrorText(code);
    if (format == nullptr) return 0;
    if (name == nullptr) name = "";
    LogPrintf(format, name);
    int status = code == kErrUserCancelled ? 8 : -3;
    return PrintStatusLine(kStatusGroupMain, status, kStatusFlagsShow, format, name);
}

}  // namespace orva
