#pragma once
// One start of the real program as a terminal makes it: its environment, arguments and
// folder, its standard error read back, and, for a start that opens its windows on the
// test's display, the SIGTERM of a desktop logout once its main window shows.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "program_window.h"

namespace orva::testing_program {

struct Outcome {
    int status = -2;  // the exit status; -1 when it ended by a signal or had to be killed
    std::string err;  // everything it wrote to its standard error
};

// How a start is made: its environment (an empty value unsets the name), its arguments
// and folder, whether it waits for the main window and then gets SIGTERM (a desktop
// logout), and whether no file of it may grow (a full disk: RLIMIT_FSIZE of 0, with
// SIGXFSZ ignored as a program on a full disk would not get it).
struct Start {
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::string> args;
    std::string folder;
    bool windows = false;
    bool fullDisk = false;
};

// The names in a folder, sorted; none when it is not a folder.
inline std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(folder)) return names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline Outcome RunStart(const Start& s) {
    Outcome out;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return out;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], 2);
        if (FILE* null = std::freopen("/dev/null", "w", stdout)) (void)null;
        if (!s.folder.empty() && chdir(s.folder.c_str()) != 0) _exit(126);
        for (const auto& [name, value] : s.env) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        if (s.fullDisk) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit none{0, 0};
            setrlimit(RLIMIT_FSIZE, &none);
        }
        std::vector<char*> argv{const_cast<char*>("orva")};
        for (const std::string& a : s.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ORVA_BINARY_DIR "/orva", argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return out;
    }
    if (s.windows) {
        testing_program::Screen screen;
        if (screen.display() != nullptr && screen.WaitForWindow(testing_program::kMainWindowTitle, 30000) != 0)
            kill(pid, SIGTERM);
    }
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 2400 && !ended; ++i) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out.err.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    out.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// A 64 KiB tmpfs on a folder (made when missing) for the life of the object, full or
// read-only when asked; `why` says why not when mounting is refused.
struct SmallFileSystem {
    std::string folder, why;
    explicit SmallFileSystem(const std::string& at) {
        mkdir(at.c_str(), 0700);
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            why = "cannot mount a tmpfs here (" + std::string(std::strerror(errno)) + ")";
        else
            folder = at;
    }
    ~SmallFileSystem() {
        if (!folder.empty()) ::umount2(folder.c_str(), MNT_DETACH);
    }
    // Fills what is left of it, or makes it read-only.
    bool Fill() const {
        const int fd = ::open((folder + "/filler").c_str(), O_CREAT | O_WRONLY, 0600);
        const std::string block(4096, 'f');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {
        }
        return fd >= 0 && ::close(fd) == 0 && errno == ENOSPC;
    }
    bool MakeReadOnly() const {
        return ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k,mode=0700") == 0;
    }
};

}  // namespace orva::testing_program
