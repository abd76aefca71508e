#pragma once

#include <vector>

namespace orva {

struct StatisticsRecord;

class ChartFrameRequest;
class ComponentBase;
class DisplayComponent;
class ProjectItemBase;

// Gives display cells their chart windows for 1-D data, and lets a chart show its
// scales in its cell and reach the cell's histogram chart.
void InstallChartServices();

// The input range of a chart: the extremes of the values of the Source at the head of
// the chain above `upstream` (its complete statistics, else those it holds so far);
// false when there is no Source or it knows none.
bool ChartInputRange(ComponentBase* upstream, double* minimum, double* maximum);

// The frame behind a chart's strip asked of `source` (installed as the chart's askFrame):
// its request operation, or with `prepare` its prepare operation, gets a frame request
// ("ECDF", the record's kind, frame and channel) whose picture is the held device's strip
// frame in the box of the device's last pull. True when a frame came.
bool ChartAskFrame(ComponentBase* source, ChartFrameRequest* record, bool prepare);

// The statistics of a curve's values for the region table (what the values alone tell:
// count, flux, extremes, mean, median, spread, skewness, kurtosis and Gaussian
// probability; no histogram, background or centre); false for no values.
bool CurveStatistics(std::vector<double> values, StatisticsRecord* out);

// The statistics list of an image cell follows what is measured on its picture now (a
// region drawn, changed or taken away). User-interface thread only.
void RefreshImageStatistics(DisplayComponent* cell);
// The statistics lists of the image cells that show the project item follow what is
// measured on their pictures now (after the item's Reduction took or let go of a shape).
void RefreshMeasuredStatistics(ProjectItemBase* item);

}  // namespace orva
