#include "common/system.h"

#include <sched.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/disk.h"
#include "platform/paths.h"

namespace orva {

namespace {

constexpr size_t kBufferSize = platform::kPathMax;

// The program's path for a module value (see ModuleFolder).
std::string ModulePath(const void* /*module*/) { return platform::ExecutablePath(); }

}  // namespace

// ---- The program file -------------------------------------------------------------------

bool ModuleFolderOf(const char* path, std::string* out) {
    if (out == nullptr) return false;
    out->clear();
    if (path == nullptr) return false;
    size_t length = std::strlen(path);
    if (length == 0 || length >= kBufferSize) return false;
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return false;
    out->assign(path, static_cast<size_t>(slash - path) + 1);
    return true;
}

bool ModuleFolder(const void* module, std::string* out) {
    std::string path = ModulePath(module);
    return ModuleFolderOf(path.c_str(), out);
}

bool ModuleBaseNameOf(const char* path, uint32_t instance, std::string* out) {
    if (out == nullptr) return false;
    out->clear();
    if (path == nullptr) return false;
    size_t length = std::strlen(path);
    if (length == 0 || length >= kBufferSize) return false;
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return false;
    const char* name = slash + 1;
    if (*name == '\0') return false;
    // The extension starts at the last '.', unless that is the name's first character.
    const char* dot = std::strrchr(name, '.');
    size_t nameLength = (dot != nullptr && dot != name) ? static_cast<size_t>(dot - name)
                                                        : std::strlen(name);
    std::string result(name, nameLength);
    if (instance > 1) result += std::to_string(instance > 100 ? 100u : instance);
    if (result.size() >= kBufferSize) return false;
    *out = std::move(result);
    return true;
}

bool ModuleBaseName(const void* module, uint32_t instance, std::string* out) {
    std::string path = ModulePath(module);
    return ModuleBaseNameOf(path.c_str(), instance, out);
}

// ---- Special folders --------------------------------------------------------------------

bool SpecialFolder(uint32_t id, std::string* out) {
    if (out == nullptr) return false;
    out->clear();
    std::string folder;
    switch (id) {
        case kSpecialFolderAppData:
            folder = platform::AppDataFolder();
            break;
        case kSpecialFolderPersonal:
            folder = platform::DocumentsFolder();
            break;
        case kSpecialFolderCommonDocuments:
            folder = platform::HomeFolder();
            break;
        case kSpecialFolderSearch: {
            const uint32_t order[] = {kSpecialFolderPersonal, kSpecialFolderCommonDocuments,
                                      kSpecialFolderMyPictures, kSpecialFolderCommonVideo,
                                      kSpecialFolderCommonPictures};
            for (size_t i = 0; i < sizeof order / sizeof order[0]; ++i) {
                // Past the personal folder the search needs shell version 5.0.
                if (i == 1 && ShellVersion("shell32.dll") < (5u << 16)) break;
                std::string candidate;
                if (SpecialFolder(order[i], &candidate) && platform::IsDirectory(candidate)) {
                    folder = candidate;
                    break;
                }
            }
            break;
        }
        default:
            break;
    }
    // Without a trailing "/" (the root stays "/").
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty() || folder.size() >= kBufferSize) return false;
    *out = std::move(folder);
    return true;
}

bool SpecialFolder(char* buffer, uint32_t id) {
    if (buffer == nullptr) return false;
    buffer[0] = '\0';
    std::string folder;
    if (!SpecialFolder(id, &folder)) return false;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return true;
}

uint32_t ShellVersion(const char* /*library*/) { return 5u << 16; }

int GetWindowsPlatform() { return 2; }

// ---- Window helpers ---------------------------------------------------------------------

namespace {
WindowHooks gWindowHooks;
}  // namespace

void SetWindowHooks(const WindowHooks* hooks) { gWindowHooks = hooks ? *hooks : WindowHooks{}; }

bool CloseWindowByTitle(const char* title) {
    if (title == nullptr || gWindowHooks.closeWindowByTitle == nullptr) return false;
    return gWindowHooks.closeWindowByTitle(title);
}

bool ClipboardSetText(const char* text, size_t length, void* owner) {
    if (text == nullptr || gWindowHooks.clipboardSetText == nullptr) return false;
    return gWindowHooks.clipboardSetText(text, length, owner);
}

void SetWindowIcon(void* window, int resourceId) {
    if (window == nullptr || gWindowHooks.setWindowIcon == nullptr) return;
    gWindowHooks.setWindowIcon(window, resourceId);
}

// ---- Disk -------------------------------------------------------------------------------

bool DiskFreeSpaceEx(const char* root, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree) {
    return platform::DiskFreeSpace(root, freeToCaller, total, totalFree);
}

// ---- Stopwatch --------------------------------------------------------------------------

namespace {

constexpr uint64_t kNsPerSecond = 1000000000u;

void CounterStart(StopWatch* w) {
    w->running = 1;
    w->frequency = kNsPerSecond;
    sched_yield();  // start on a fresh time slice
    w->counterStart = static_cast<uint64_t>(platform::MonotonicNs());
}

void CounterStop(StopWatch* w) {
    uint64_t now = static_cast<uint64_t>(platform::MonotonicNs());
    w->elapsed = 0;
    if (w->running && w->frequency != 0 && now > w->counterStart) {
        unsigned __int128 ticks = now - w->counterStart;
        w->elapsed = static_cast<uint64_t>(ticks * 10000000u / w->frequency);
    }
    w->running = 0;
}

void ThreadTimeStart(StopWatch* w) {
    w->running = 1;
    w->kernelStart = 0;
    w->userStart = platform::ThreadCpuTime100ns();
}

void ThreadTimeStop(StopWatch* w) {
    uint64_t now = platform::ThreadCpuTime100ns();
    uint64_t start = w->kernelStart + w->userStart;
    w->elapsed = (w->running && now > start) ? now - start : 0;
    w->running = 0;
}

void CyclesBegin(StopWatch* w) { w->cycles = platform::ReadTimeStampCounter(); }

void CyclesEnd(StopWatch* w) {
    uint64_t now = platform::ReadTimeStampCounter();
    w->cycles = now > w->cycles ? now - w->cycles : 0;
}

void CounterStartCycles(StopWatch* w) {
    CounterStart(w);
    CyclesBegin(w);
}
void CounterStopCycles(StopWatch* w) {
    CyclesEnd(w);
    CounterStop(w);
}
void ThreadTimeStartCycles(StopWatch* w) {
    ThreadTimeStart(w);
    CyclesBegin(w);
}
void ThreadTimeStopCycles(StopWatch* w) {
    CyclesEnd(w);
    ThreadTimeStop(w);
}

const StopWatchOps kCounterOps{CounterStart, CounterStop, CounterStartCycles, CounterStopCycles};
const StopWatchOps kThreadTimeOps{ThreadTimeStart, ThreadTimeStop, ThreadTimeStartCycles,
                                  ThreadTimeStopCycles};
const StopWatchOps* gStopWatch = &kThreadTimeOps;

}  // namespace

void TimerSelect() { gStopWatch = GetWindowsPlatform() == 1 ? &kCounterOps : &kThreadTimeOps; }

const StopWatchOps& StopWatchTable() { return *gStopWatch; }
const StopWatchOps& StopWatchCounterOps() { return kCounterOps; }
const StopWatchOps& StopWatchThreadTimeOps() { return kThreadTimeOps; }

void StopWatchStart(StopWatch* watch) {
    if (watch) gStopWatch->start(watch);
}
void StopWatchStop(StopWatch* watch) {
    if (watch) gStopWatch->stop(watch);
}
void StopWatchStartCycles(StopWatch* watch) {
    if (watch) gStopWatch->startCycles(watch);
}
void StopWatchStopCycles(StopWatch* watch) {
    if (watch) gStopWatch->stopCycles(watch);
}

}  // namespace orva
