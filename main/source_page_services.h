#pragma once

namespace orva {

// The Source's Info and Options pages behind its panel builder, and the save dialog that
// names a service file when a data set knows no file of its own.
void InstallSourcePageServices();

}  // namespace orva
