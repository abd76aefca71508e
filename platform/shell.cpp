#include "platform/shell.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orva::platform {

namespace {

bool Set(const char* value) { return value != nullptr && value[0] != '\0'; }

// Reads the whole of a pipe end; returns the number of bytes read (stops on EOF).
size_t ReadAll(int fd, void* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

std::vector<std::string> ViewerCommand(const std::string& file, const char* visual,
                                       const char* editor, const char* display) {
    const char* chosen = Set(visual) ? visual : (Set(editor) ? editor : nullptr);
    if (chosen != nullptr && Set(display)) {
        // The shell splits the editor's own words; the file arrives as "$1" untouched. The
        // terminal's title names the file, so that its window is found by it.
        return {"x-terminal-emulator", "-T", file, "-e", "/bin/sh", "-c",
                std::string("exec ") + chosen + " \"$1\"", "sh", file};
    }
    return {"xdg-open", file};
}

bool OpenViewer(const std::string& file) {
    if (file.empty()) return false;
    const std::vector<std::string> command =
        ViewerCommand(file, std::getenv("VISUAL"), std::getenv("EDITOR"), std::getenv("DISPLAY"));
    if (SpawnDetached(command)) return true;
    // No terminal to run the user's editor in: the desktop's viewer shows the file.
    return command.front() != "xdg-open" && SpawnDetached({"xdg-open", file});
}

bool SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) return false;
    // Everything the children need is prepared before forking.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;

    pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild < 0) {
            int err = errno;
            (void)!::write(report[1], &err, sizeof err);
            ::_exit(1);
        }
        if (grandchild == 0) {
            int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0) {
                ::dup2(null, STDIN_FILENO);
                if (null != STDIN_FILENO) ::close(null);
            }
            ::execvp(args[0], args.data());
            int err = errno;
            (void)!::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        // The intermediate child ends at once; the grandchild is adopted by init.
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    size_t got = ReadAll(report[0], &err, sizeof err);
    ::close(report[0]);
    return got == 0;
}

}  // namespace orva::platform
