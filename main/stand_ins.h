#pragma once
#include "framework/app_services.h"
#include "framework/command_registry.h"

namespace orva {

// The services table of the program as it stands: subsystems that are not
// built yet are represented by stand-ins that report empty registries and a
// user interface that cannot start.
//
// Test mode: with ORVA_TEST_HEADLESS_LOOP=1 in the environment the stand-in
// user interface "starts" without windows and its message loop polls the
// registered descriptors (platform/fd_watch.h), so that a first instance keeps
// running and takes handed-over command lines, until a line holds `exit` or the
// process gets SIGTERM.
AppServices DefaultAppServices();

inline constexpr char kHeadlessLoopVariable[] = "ORVA_TEST_HEADLESS_LOOP";

// The stand-in of the user interface's "Projects" interface: its handlers log what they
// would open or close.
extern const CommandInterface kProjectsStandInIface;
CommandOwner& ProjectsStandIn();

}  // namespace orva
