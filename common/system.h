#pragma once
// The base library's contact with the operating system: the program's own name and
// folder, special folders, window helpers installed by the window layer, free disk
// space and the stopwatch.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

// ---- The program file -------------------------------------------------------------------

// A module value names a loaded program file. The program loads no libraries of its
// own, so every module value (null included) names the running program.
//
// The folder of the module's file, ending in "/". False (out emptied) when the path
// cannot be had or has no folder part.
bool ModuleFolder(const void* module, std::string* out);
bool ModuleFolderOf(const char* path, std::string* out);

// The module's file name without folder and extension; when the instance number is
// above 1 it is followed by the number in decimal, capped at 100 ("app", "app3",
// "app100"). A name without an extension is kept whole; a leading '.' does not start
// an extension. False (out emptied) when the path cannot be had, has no folder part
// or has no file name.
bool ModuleBaseName(const void* module, uint32_t instance, std::string* out);
bool ModuleBaseNameOf(const char* path, uint32_t instance, std::string* out);

// ---- Special folders --------------------------------------------------------------------

constexpr uint32_t kSpecialFolderPersonal = 5;         // the documents folder
constexpr uint32_t kSpecialFolderAppData = 26;         // the application-data folder
constexpr uint32_t kSpecialFolderMyPictures = 39;
constexpr uint32_t kSpecialFolderCommonDocuments = 46;
constexpr uint32_t kSpecialFolderCommonPictures = 54;
constexpr uint32_t kSpecialFolderCommonVideo = 55;
constexpr uint32_t kSpecialFolderSearch = 0xFFFFFFFFu;  // the first documents folder found

// The folder with this id, without creating it and without a trailing "/":
// application data is the XDG configuration folder; personal documents the documents
// folder; common documents the home folder; the picture and video ids have no folder
// here. kSpecialFolderSearch takes the first of personal documents, then (the shell
// version being 5.0) common documents, pictures, video and common pictures that is an
// existing directory. `buffer` holds at least 4096 bytes; on failure it is emptied and
// the result is false.
bool SpecialFolder(char* buffer, uint32_t id);
bool SpecialFolder(uint32_t id, std::string* out);

// The shell library's version as (major << 16) | minor. There is no such library here;
// the folders it would give are always available, so every name reports 5.0.
uint32_t ShellVersion(const char* library);

// The operating-system family: 0 Win32s, 1 Windows 9x, 2 the NT family. Always 2 here.
int GetWindowsPlatform();

// ---- Window helpers (served by the window layer) ----------------------------------------

struct WindowHooks {
    // Closes the top-level window with exactly this title; false when there is none.
    bool (*closeWindowByTitle)(const char* title) = nullptr;
    // Puts at most `length` characters of the text on the clipboard; true when it was taken.
    bool (*clipboardSetText)(const char* text, size_t length, void* owner) = nullptr;
    // Sets the big and the small icon of the window from the resource id.
    void (*setWindowIcon)(void* window, int resourceId) = nullptr;
};

// Installs the window layer's helpers (null restores the empty set).
void SetWindowHooks(const WindowHooks* hooks);
// Without the window layer these report failure or do nothing.
bool CloseWindowByTitle(const char* title);
bool ClipboardSetText(const char* text, size_t length, void* owner);
void SetWindowIcon(void* window, int resourceId);

// ---- Disk ---------------------------------------------------------------------------------

// Free bytes for the caller, total bytes and free bytes of the file system holding `root`.
// Any output may be null. False on failure.
bool DiskFreeSpaceEx(const char* root, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

// ---- Stopwatch ------------------------------------------------------------------------------

struct StopWatch {
    uint64_t cycles = 0;        // time-stamp counter at start, then the cycles measured
    uint64_t elapsed = 0;       // the time measured, in 100-ns units
    uint64_t counterStart = 0;  // performance counter at start
    uint64_t frequency = 0;     // performance-counter ticks per second
    uint64_t kernelStart = 0;   // the thread's kernel time at start (100 ns; 0 here: the
    uint64_t userStart = 0;     // thread's whole processor time is kept as user time)
    uint8_t running = 0;
};

struct StopWatchOps {
    void (*start)(StopWatch*) = nullptr;
    void (*stop)(StopWatch*) = nullptr;
    void (*startCycles)(StopWatch*) = nullptr;
    void (*stopCycles)(StopWatch*) = nullptr;
};

// Chooses the stopwatch for the platform: the performance-counter variant on
// Windows 9x (platform 1), otherwise the thread-time variant (always here).
void TimerSelect();
// The chosen operations (the thread-time variant until TimerSelect runs).
const StopWatchOps& StopWatchTable();
// The two variants, for callers that want one explicitly.
const StopWatchOps& StopWatchCounterOps();
const StopWatchOps& StopWatchThreadTimeOps();

// Through the chosen table; null watches are ignored.
void StopWatchStart(StopWatch* watch);
void StopWatchStop(StopWatch* watch);
void StopWatchStartCycles(StopWatch* watch);
void StopWatchStopCycles(StopWatch* watch);

}  // namespace orva
