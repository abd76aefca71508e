#pragma once
// For tests that talk to another X client (xclip): runs its command on a second
// thread while this thread keeps serving X events through the message queue, so that
// our side of the conversation answers.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "platform/msg_queue.h"

namespace orva::testing_util {

// Runs a shell command and returns what it printed.
inline std::string RunPumping(const std::string& command) {
    auto result = std::async(std::launch::async, [command] {
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return out;
        char buffer[256];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
        return out;
    });
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        platform::Msg msg;
        while (platform::PeekMessage(&msg, true)) {
        }
    }
    return result.get();
}

}  // namespace orva::testing_util
