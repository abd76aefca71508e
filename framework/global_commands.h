#pragma once
// The application's own commands, the "Global" interface: newinstance, keylist,
// exitdialog and exit.
#include "framework/command_registry.h"

namespace orva {

class AppObject;

extern const CommandInterface kGlobalIface;

// The records that start-up reaches directly.
CommandRecord& NewInstanceRecord();
CommandRecord& ExitRecord();

// Returns the records to their initial state (enabled, no user data) and registers the
// interface for the application object.
void RegisterGlobalIface(AppObject& app);

}  // namespace orva
