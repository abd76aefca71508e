#pragma once
// Starting a viewer on a file (the log, help pages, links) in a process of its own.
#include <string>
#include <vector>

namespace orva::platform {

// Starts a viewer on the file without waiting for it: the user's $VISUAL (else $EDITOR)
// in a terminal titled by the file (x-terminal-emulator -T file -e) when one is set and a
// display is there, else xdg-open. True when the viewer process started.
bool OpenViewer(const std::string& file);

// The words OpenViewer runs for the given environment values (null or empty = unset).
// The editor value may hold arguments of its own; it is split by the shell, while the
// file is handed over as one word and never interpreted.
std::vector<std::string> ViewerCommand(const std::string& file, const char* visual,
                                       const char* editor, const char* display);

// Runs argv[0] (searched in PATH) with the given words in a detached process: it is
// started through a double fork in a session of its own, so nothing waits for it and it
// never stays a zombie. True when the program was started (its exec succeeded).
bool SpawnDetached(const std::vector<std::string>& argv);

}  // namespace orva::platform
