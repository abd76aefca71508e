#pragma once
// What many tests need: temporary folders, whole-file reads and writes,
// capture of the program log, scoped environment variables, this thread's
// processor time and runs of a program to its end.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/log.h"

namespace orva::testing_util {

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orva_test_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            // Nothing sensible can follow: the names below would point at "/".
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = buffer.data();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* e = readdir(dir)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

inline std::string ReadText(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

inline bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Sends the program log to a file for the life of the object.
class ProgramLogCapture {
public:
    ProgramLogCapture() {
        path_ = folder_.File("program.log");
        Path() = path_;
        LogResetForTest();
        LogSetOpener([]() -> FILE* { return std::fopen(Path().c_str(), "w"); });
    }
    ~ProgramLogCapture() { LogResetForTest(); }
    // What the log received since the last call: the log is closed here, and
    // its next line starts the file anew. No line at all gives "".
    std::string Text() {
        LogPrintf(nullptr);
        return Exists(path_) ? ReadText(path_) : std::string();
    }

private:
    static std::string& Path() {
        static std::string path;
        return path;
    }
    TempFolder folder_;
    std::string path_;
};

// Sets (or, given nullptr, removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() {
        if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// What the program log received while `body` ran.
template <class Body>
std::string CapturedLog(Body body) {
    ProgramLogCapture log;
    body();
    return log.Text();
}

// This thread's processor time in microseconds, from the kernel's resource
// accounting: a clock independent of the ones under test.
inline uint64_t ThreadUsageUs() {
    struct rusage ru;
    if (::getrusage(RUSAGE_THREAD, &ru) != 0) return 0;
    return static_cast<uint64_t>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000u +
           static_cast<uint64_t>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

// Spins until this thread has used `us` microseconds of processor time.
inline void BusyForCpu(uint64_t us) {
    uint64_t until = ThreadUsageUs() + us;
    volatile uint64_t spin = 0;
    while (ThreadUsageUs() < until) spin = spin + 1;
}

// Asks `done` every `stepMs` (20 ms by default) until it holds or `ms` milliseconds have
// passed; its last answer. What a test waits for on another process (a window, a
// picture, a log line) is awaited this way, never for a fixed time.
template <class Done>
bool WaitUntil(Done done, int ms = 10000, int stepMs = 20) {
    for (int waited = 0;; waited += stepMs) {
        if (done()) return true;
        if (waited >= ms) return false;
        usleep(stepMs * 1000);
    }
}

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` with `arguments` and, added to this process's environment,
// the `environment` words as env(1) takes them ("NAME=value", "-u NAME", "-C folder");
// its error output is dropped. Answers the exit status, or -1 when it did not end by
// itself; one that has not ended after `timeoutMs` is killed, so that a start that
// stayed (a hand-over that did not happen) fails the test at once instead of hanging it.
inline int RunProgram(const std::string& program, const std::vector<std::string>& environment,
                      const std::vector<std::string>& arguments = {}, int timeoutMs = 120000) {
    std::vector<std::string> words{"env"};
    words.insert(words.end(), environment.begin(), environment.end());
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (FILE* null = std::freopen("/dev/null", "w", stderr)) (void)null;
        execvp("env", argv.data());
        _exit(127);
    }
    int status = 0;
    for (int waited = 0;; waited += 10) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (waited >= timeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        usleep(10000);
    }
}

}  // namespace orva::testing_util
