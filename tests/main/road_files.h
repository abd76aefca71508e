#pragma once
// The road's test files and what they look like by default, both made by
// tests/main/road_reference.py (astropy, Pillow, numpy), and the wait for such a picture
// to appear in a window of the program.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "program_window.h"

namespace orva::testing_program {

inline const std::string& RoadReferenceScript() {
    static const std::string script = ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/main/road_reference.py'";
    return script;
}

// Runs a shell command; its standard output, and its exit status (-1 when it did not end
// by itself) in *status.
inline std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    *status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int s = pclose(p);
    if (WIFEXITED(s)) *status = WEXITSTATUS(s);
    return out;
}

// Whether the tools the reference needs are there.
inline bool HaveRoadTools() {
    // Asked a few times: a busy machine has been seen to lose the first answer, and a
    // test that skips for that hides what it should have checked.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int status = -1;
        RunCommand(ORVA_PYTHON " -c 'import astropy.io.fits, PIL, numpy' 2>&1", &status);
        if (status == 0) return true;
    }
    return false;
}

// Writes the road's files into `folder`; "" when that worked, else what the script said.
inline std::string MakeRoadFiles(const std::string& folder) {
    int status = -1;
    const std::string out = RunCommand(RoadReferenceScript() + " make '" + folder + "' 2>&1", &status);
    return status == 0 ? std::string() : out.empty() ? std::string("road_reference.py failed") : out;
}

// The reference picture of a file's first frame over its default range.
inline bool ReferencePicture(const std::string& file, Picture* picture) {
    const std::string out = file + ".reference.rgb";
    int status = -1;
    const std::string text = RunCommand(RoadReferenceScript() + " render '" + file + "' '" + out + "' 0", &status);
    std::istringstream in(text);
    if (status != 0 || !(in >> picture->width >> picture->height)) return false;
    std::ifstream bytes(out, std::ios::binary);
    picture->rgb.assign(std::istreambuf_iterator<char>(bytes), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    return picture->rgb.size() == static_cast<size_t>(picture->width) * picture->height * 3;
}

// Looks for `want` in the window, raised, every 200 ms until it is found within one level
// or `ms` milliseconds passed; *shown holds the window's last pixels. The layout settles
// after a file opens (the page column widens, the window grows to hold a page), so a
// picture counts once it stood at one place in a window of one size for 600 ms.
inline Placement WaitForPicture(Screen& screen, Window window, const Picture& want, int ms, Picture* shown) {
    Placement found, last;
    int lastWidth = -1, lastHeight = -1, steady = 0;
    for (int waited = 0;; waited += 200) {
        screen.Raise(window);
        XWindowAttributes a{};
        const bool sized = XGetWindowAttributes(screen.display(), window, &a) != 0;
        found = screen.Grab(window, shown) ? FindPicture(*shown, want, 1) : Placement{};
        const bool same = sized && found.found && last.found && found.x == last.x && found.y == last.y &&
                          a.width == lastWidth && a.height == lastHeight;
        steady = same ? steady + 200 : 0;
        last = found;
        lastWidth = a.width;
        lastHeight = a.height;
        if ((found.found && steady >= 600) || waited >= ms) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

}  // namespace orva::testing_program
