#include "platform/message_box.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace orva::platform {

namespace {

std::atomic<int> gForcedAnswer{0};

// The answer from the environment, or 0 when it is unset or not a positive decimal number.
int EnvironmentAnswer() {
    const char* value = std::getenv(kMessageBoxAnswerVariable);
    if (value == nullptr || value[0] == '\0') return 0;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(value, &end, 10);
    if (errno != 0 || end == value || *end != '\0' || n <= 0 || n > INT_MAX) return 0;
    return static_cast<int>(n);
}

}  // namespace

int DefaultMessageBoxAnswer(uint32_t flags) {
    static const int kButtons[][3] = {
        {kIdOk, 0, 0},                     // OK
        {kIdOk, kIdCancel, 0},             // OK, Cancel
        {kIdAbort, kIdRetry, kIdIgnore},   // Abort, Retry, Ignore
        {kIdYes, kIdNo, kIdCancel},        // Yes, No, Cancel
        {kIdYes, kIdNo, 0},                // Yes, No
        {kIdRetry, kIdCancel, 0},          // Retry, Cancel
    };
    uint32_t set = flags & kMbButtonMask;
    if (set >= sizeof kButtons / sizeof kButtons[0]) set = 0;
    uint32_t which = (flags & kMbDefButtonMask) >> 8;
    if (which > 2 || kButtons[set][which] == 0) which = 0;
    return kButtons[set][which];
}

int ShowMessageBox(const char* text, const char* title, uint32_t flags) {
    std::fprintf(stderr, "%s: %s\n", title ? title : "Error", text ? text : "");
    std::fflush(stderr);
    int forced = gForcedAnswer.load();
    if (forced != 0) return forced;
    int fromEnv = EnvironmentAnswer();
    if (fromEnv != 0) return fromEnv;
    return DefaultMessageBoxAnswer(flags);
}

void SetMessageBoxAnswer(int answer) { gForcedAnswer.store(answer); }

}  // namespace orva::platform
