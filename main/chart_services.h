#pragma once

namespace orva {

// Gives display cells their chart windows for 1-D data, and lets a chart show its
// scales in its cell and reach the cell's histogram chart.
void InstallChartServices();

}  // namespace orva
