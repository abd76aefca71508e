#pragma once

namespace orva {

class ComponentBase;

// Gives display cells their chart windows for 1-D data, and lets a chart show its
// scales in its cell and reach the cell's histogram chart.
void InstallChartServices();

// The input range of a chart: the extremes of the values of the Source at the head of
// the chain above `upstream` (its complete statistics, else those it holds so far);
// false when there is no Source or it knows none.
bool ChartInputRange(ComponentBase* upstream, double* minimum, double* maximum);

}  // namespace orva
