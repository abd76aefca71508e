#pragma once
// Single instance: a later start hands its command line to a running full instance
// and ends; every full instance receives handed-over lines in its main loop and runs
// them as if they had been typed on its own command line, in the sender's folder.
#include <string>
#include <vector>

#include "platform/handover_socket.h"

namespace orva {

class AppObject;
class MainSettings;

// The socket of the instance holding `slot`: in the runtime folder, named after the
// instance counter, the slot and the identity of the X display and settings folder
// (platform::HandoverIdentity), so that a line is only ever handed to an instance whose
// windows the user of this start sees and whose settings it shares. A start finding
// none becomes an instance of its own.
std::string HandoverSocketPathFor(const AppObject& app, int slot);

// The decision of a start while other instances run. Runs the line against the
// `newinstance` record alone; when it was given, answers true (go on as a full
// instance). Otherwise hands the line over (an empty line asks the running instance to
// come to the front) to the running instances, lowest slot first, and answers false
// (end with 0) once one took it. Instances of another display or settings folder are
// passed over without a word. Every failed attempt is logged; when none took the
// line, answers true so that this start becomes a full instance instead of dropping it.
bool HandOverCommandLine(AppObject& app, const std::vector<std::string>& words,
                         const platform::HandoverTimeouts& timeouts = platform::HandoverTimeouts());

// Runs a handed-over line in the receiving instance, relative file names resolved
// against `folder` (the sender's), then closes its main window (the line held `exit`)
// or brings it to the front (the line asked for it). An empty line only brings the
// window to the front.
void ReceiveCommandLine(AppObject& app, const std::vector<std::string>& words, const std::string& folder = "");

// Raises the main window and clears the bring-to-front request.
void BringToFront(void* window, MainSettings& settings);

// A full instance listens for handed-over lines while its main loop runs: the socket
// of its slot is registered with the fd watch (platform/fd_watch.h). False (logged)
// when it cannot listen.
bool StartCommandLineReceiver(AppObject& app);
void StopCommandLineReceiver();
bool CommandLineReceiverRunning();

// While a hold lives, handed-over lines wait: the receiver takes none (their starts wait
// for it, and say so), and runs them in the order they came once the last hold is gone.
// A line holds the receiver while it runs, so that no line runs inside another; a
// question to the user holds it until it is answered, so that the answer acts on what
// it asked about. Holds nest. Main thread only.
class CommandLineHold {
public:
    CommandLineHold();
    ~CommandLineHold();
    CommandLineHold(const CommandLineHold&) = delete;
    CommandLineHold& operator=(const CommandLineHold&) = delete;
};

}  // namespace orva
