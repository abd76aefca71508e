#pragma once

namespace orva {

// Lets the default chain of every opened file make its Transformation stage,
// gives that stage its region shapes and its "View" page, and gives the
// graphics windows their rendering of raw frames.
void InstallTransformServices();

}  // namespace orva
