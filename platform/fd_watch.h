#pragma once
// A registry of file descriptors that the thread's event loop polls for
// reading, each with its handler. The loop that owns the main thread (a small
// stand-in now, the toolkit's message loop later) polls these descriptors next
// to its own (the X connection), so that services such as the command-line
// receiver work whatever loop runs. Main thread only: handlers run on the
// thread that polls.
#include <functional>
#include <vector>

namespace orva::platform {

using FdHandler = std::function<void(int fd)>;

// Registers `fd` for reading; a later call for the same fd replaces its handler.
// False for a negative fd or an empty handler.
bool FdWatchAdd(int fd, FdHandler handler);
// Forgets `fd`; nothing when it is not registered.
void FdWatchRemove(int fd);
bool FdWatchHas(int fd);
// The registered descriptors, for a loop that polls them together with its own.
std::vector<int> FdWatchFds();
// The same with their handlers, for a loop that polls them together with its own and then
// calls FdWatchRun for each readable one.
struct FdWatchEntry {
    int fd;
    FdHandler handler;
};
std::vector<FdWatchEntry> FdWatchSnapshot();
// Runs the handler registered now for the entry's descriptor (nothing when an earlier
// handler of the same round removed it). `revents` is poll's answer for it.
void FdWatchRun(const FdWatchEntry& entry, int revents);
// Runs the handler of `fd` when it is still registered; false otherwise. A handler
// may add or remove descriptors, itself included.
bool FdWatchDispatch(int fd);
// Waits up to `timeoutMs` (-1: no limit) for one of the registered descriptors to be
// readable (or hung up) and runs the handlers of those that are. Returns the number
// of handlers run; 0 on time-out, on a signal or when nothing is registered (then it
// just sleeps the time-out); -1 on a poll failure.
int FdWatchPollOnce(int timeoutMs);

}  // namespace orva::platform
