#pragma once
// The calls that start-up and shut-down make into the subsystems above the
// framework (formats, filter modules, the user interface, the event timer).
// The framework cannot link those layers, so the composition root hands in a
// table of functions before start-up runs; every entry may be left empty.
#include <cstdint>
#include <string>
#include <vector>

namespace orva {

struct AppServices {
    // Formats: registers the built-in descriptors from the I/O-module folder and logs
    // the count line; releases them and every open stream at process exit.
    void (*loadIOModules)(const char* folder) = nullptr;
    void (*releaseFormats)() = nullptr;
    void (*closeAllStreams)() = nullptr;

    // Filter modules: fills the registry and logs its count line; empties it.
    void (*loadFilters)(const char* folder) = nullptr;
    void (*clearFilters)() = nullptr;

    // User interface.
    void (*readPreferences)(const char* path) = nullptr;
    void (*writePreferences)(const char* path) = nullptr;
    void (*registerProjectsIface)() = nullptr;
    // Starts the toolkit and builds the windows; false when that fails.
    bool (*uiInit)() = nullptr;
    // Runs the message loop until the main window is gone.
    void (*messageLoop)() = nullptr;
    // Releases the projects with their component graphs.
    void (*releaseProjects)() = nullptr;
    void (*clearWindowGroups)() = nullptr;
    // Shuts the toolkit down (fonts, windows, classes, skin, calculator context).
    void (*uiShutdown)() = nullptr;
    // Closes the projects' data at process exit.
    void (*uiFinalShutdown)() = nullptr;
    // The command line runs without windows: nothing is to be written beside the files it
    // opens (their service files stay as they are).
    void (*runWithoutWindows)() = nullptr;
    // The application's message box, installed as the library's hooks once it exists.
    int (*showMessageBox)(void* owner, const char* text, const char* title,
                          uint32_t flags) = nullptr;
    // The preference folder texts (indexes 5, 7, 8, 9 of the folder look-up); empty when unset.
    std::string (*preferenceFolder)(int index) = nullptr;

    // Playback timer.
    bool (*stopEventTimer)() = nullptr;

    // Overrides of the framework's own command-line run and hand-over (tests); empty: the
    // framework's AppObject::DispatchCommandLine and HandOverCommandLine run.
    void (*dispatchCommandLine)(const std::vector<std::string>& words) = nullptr;
    // Second start: hands the words to the running instance. Returns true when this
    // process is to go on as a full instance (the words asked for a new instance, or no
    // running instance took them).
    bool (*handOver)(const std::vector<std::string>& words) = nullptr;
    // The main window (null while there is none), and the toolkit's close of it, which
    // ends the message loop; used when a handed-over line holds `exit`.
    void* (*mainWindow)() = nullptr;
    void (*closeMainWindow)() = nullptr;
};

}  // namespace orva
