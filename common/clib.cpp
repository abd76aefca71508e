#include "common/clib.h"

#include <atomic>

#include "common/log.h"
#include "common/system.h"
#include "platform/clock.h"
#include "platform/message_box.h"

namespace orva {

namespace {
const char kDefaultDecimalPoint[] = ".";
const uint8_t kDefaultCompanion = 1;
const char* gDecimalPoint = kDefaultDecimalPoint;
const uint8_t* gCompanion = &kDefaultCompanion;
}  // namespace

void ClibSetNumberFormat(const char* decimalPoint, const uint8_t* companion) {
    if (decimalPoint == nullptr || companion == nullptr || decimalPoint[0] == '\0') {
        gDecimalPoint = kDefaultDecimalPoint;
        gCompanion = &kDefaultCompanion;
        return;
    }
    gDecimalPoint = decimalPoint;
    gCompanion = companion;
}

char ClibDecimalPoint() { return gDecimalPoint[0]; }

namespace {

bool gInitialised = false;
const void* gModule = nullptr;
std::atomic<uint64_t> gMainThreadId{0};
std::atomic<MessageBoxFn> gFirstHook{&ClibMessageBoxThreaded};
std::atomic<MessageBoxFn> gSecondHook{&ClibMessageBoxDirect};

constexpr uint32_t kDirectFlags = platform::kMbSetForeground | platform::kMbIconQuestion;

}  // namespace

int ClibInit(const void* module, LogOpener opener) {
    if (gInitialised) {
        bool newOpener = opener != nullptr && !LogEnabled();
        bool newModule = module != nullptr && gModule == nullptr;
        if (!newOpener && !newModule) return 0;
        if (newOpener) LogSetOpener(opener);
        if (newModule) gModule = module;
        gMainThreadId.store(platform::CurrentThreadId());
        TimerSelect();
        return 0;
    }
    gModule = module;
    gMainThreadId.store(platform::CurrentThreadId());
    if (opener != nullptr && !LogEnabled()) LogSetOpener(opener);
    TimerSelect();
    gInitialised = true;
    return 0;
}

bool ClibInitialised() { return gInitialised; }

void ClibSetMessageHook(MessageBoxFn first, MessageBoxFn second) {
    gFirstHook.store(first ? first : &ClibMessageBoxThreaded);
    gSecondHook.store(second ? second : &ClibMessageBoxDirect);
}

int ClibMessageBox(void* owner, const char* text, const char* title, uint32_t flags) {
    return gSecondHook.load()(owner, text, title, flags);
}

int ClibMessageBoxDirect(void* /*owner*/, const char* text, const char* title, uint32_t flags) {
    LogPrintf("%s: %s", title ? title : "", text ? text : "");
    return platform::ShowMessageBox(text, title, flags | kDirectFlags);
}

int ClibMessageBoxThreaded(void* owner, const char* text, const char* title, uint32_t flags) {
    // The platform's box blocks only the calling thread and touches no window, so a
    // thread other than the main one can show it just as well.
    return ClibMessageBoxDirect(owner, text, title, flags);
}

uint64_t ClibMainThreadId() { return gMainThreadId.load(); }

bool ClibOnMainThread() {
    const uint64_t main = gMainThreadId.load();
    return main != 0 && main == platform::CurrentThreadId();
}

const void* ClibModule() { return gModule; }

void ClibResetForTest() {
    gInitialised = false;
    gModule = nullptr;
    gMainThreadId.store(0);
    gFirstHook.store(&ClibMessageBoxThreaded);
    gSecondHook.store(&ClibMessageBoxDirect);
}

}  // namespace orva
