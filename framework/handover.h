#pragma once
// Single instance: a second start hands its command line to the running first
// instance and ends; the first instance receives handed-over lines in its main
// loop and runs them as if they had been typed on its own command line.
#include <string>
#include <vector>

#include "platform/handover_socket.h"

namespace orva {

class AppObject;
class MainSettings;

// The socket of this user's first instance: in the runtime folder, named after the
// instance counter.
std::string HandoverSocketPathFor(const AppObject& app);

// The decision of a second start. Runs the line against the `newinstance` record alone;
// when it was given, answers true (go on as a full instance). Otherwise hands the words
// over (an empty line asks the running instance to come to the front) and answers false
// (end with 0) once the running instance took them; when no instance answers in time,
// answers true so that this start becomes a full instance instead of dropping its line.
bool HandOverCommandLine(AppObject& app, const std::vector<std::string>& words,
                         const platform::HandoverTimeouts& timeouts = platform::HandoverTimeouts());

// Sends the words and waits until the receiver has run them.
platform::HandoverResult SendCommandLine(const AppObject& app, const std::vector<std::string>& words,
                                         const platform::HandoverTimeouts& timeouts);

// Runs a handed-over line in the receiving instance, then closes its main window (the
// line held `exit`) or brings it to the front (the line asked for it). An empty line only
// brings the window to the front.
void ReceiveCommandLine(AppObject& app, const std::vector<std::string>& words);

// Raises the main window and clears the bring-to-front request.
void BringToFront(void* window, MainSettings& settings);

// The first instance listens for handed-over lines while its main loop runs: the socket
// is registered with the fd watch (platform/fd_watch.h). False when it cannot listen.
bool StartCommandLineReceiver(AppObject& app);
void StopCommandLineReceiver();
bool CommandLineReceiverRunning();

}  // namespace orva
