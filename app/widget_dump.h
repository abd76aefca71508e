#pragma once
// A plain-text record of every window and widget the toolkit keeps, written on request for
// the layout tests: with ORVA_WIDGET_DUMP naming a file, SIGUSR1 makes the program write
// it (to a temporary name, then renamed, so that a reader never sees half of it). Off
// unless that variable is set. UI thread only.
#include <string>

namespace orva {

// Writes the record to `path`; false when it cannot be written.
bool WriteWidgetRecords(const std::string& path);
// Arms the signal when ORVA_WIDGET_DUMP is set; nothing otherwise.
void InstallWidgetDump();

}  // namespace orva
