// The tests' python3: a run of a script (`python3 FILE ARGS...` or `python3 -c CODE
// ARGS...`) is handed to the server of tests/support/python_server.py named by
// ORVA_PYTHON_SERVER, which runs it in a copy of an interpreter that has imported the
// reference modules already; any other run, or one without a server, is Debian's
// /usr/bin/python3 itself. The exit status is the run's.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

const char kPython[] = "/usr/bin/python3";

[[noreturn]] void RunAlone(char** argv) {
    argv[0] = const_cast<char*>(kPython);
    execv(kPython, argv);
    std::perror(kPython);
    std::_Exit(127);
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// The length of the block, with the three standard streams riding along.
bool SendHead(int fd, uint32_t size) {
    int streams[3] = {0, 1, 2};
    char control[CMSG_SPACE(sizeof streams)] = {};
    iovec part{&size, sizeof size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof streams);
    std::memcpy(CMSG_DATA(c), streams, sizeof streams);
    return sendmsg(fd, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof size);
}

}  // namespace

int main(int argc, char** argv) {
    const char* server = std::getenv("ORVA_PYTHON_SERVER");
    const bool script = argc >= 2 && argv[1][0] != '-';
    const bool code = argc >= 3 && std::strcmp(argv[1], "-c") == 0;
    if (server == nullptr || *server == '\0' || !(script || code) ||
        std::strlen(server) >= sizeof(sockaddr_un::sun_path))
        RunAlone(argv);
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof folder) == nullptr) RunAlone(argv);

    std::string block;
    auto add = [&block](const char* s) { block.append(s).push_back('\0'); };
    const mode_t mask = umask(0);
    umask(mask);
    add(folder);
    add(std::to_string(mask).c_str());
    add(std::to_string(argc - 1).c_str());
    for (int i = 1; i < argc; ++i) add(argv[i]);
    for (char** e = environ; *e != nullptr; ++e) add(*e);
    if (block.size() > UINT32_MAX) RunAlone(argv);

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) RunAlone(argv);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, server);
    // No server there (a run of the tests outside test.sh, or one that ended): the run
    // is made alone, as it would be without one.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        RunAlone(argv);
    }
    if (!SendHead(fd, static_cast<uint32_t>(block.size())) || !SendAll(fd, block.data(), block.size())) {
        close(fd);
        RunAlone(argv);
    }
    int32_t status = 0;
    size_t got = 0;
    while (got < sizeof status) {
        const ssize_t n = recv(fd, reinterpret_cast<char*>(&status) + got, sizeof status - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got < sizeof status) {
        std::fprintf(stderr, "python run ended without an exit status (the server's copy died)\n");
        return 1;
    }
    return status;
}
