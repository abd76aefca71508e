#pragma once
// The statistic of a Reduction's current item as text: rows appended to the
// coordinate table ("<file>_crd.tab", 19 columns per channel) and the
// statistic table ("<file>_stat.tab", 8 columns), each under a header written
// only into an empty file, and a readable report ("<file>_stat_t.txt")
// written anew through a temporary copy. The tables stay open between
// additions until they are cleaned.
//
// User-interface thread only; the statistic block is read under the display
// lock, since a pull may refill it on the playback thread.
#include <cstdint>
#include <string>

#include "common/disk_file.h"

namespace orva {

class ReductionComponent;

// What a writer writes, and the index of the component's table writers.
constexpr int32_t kStatCoordTable = 0;
constexpr int32_t kStatValueTable = 1;
constexpr int32_t kStatReport = 2;

// The texts of the dialogs.
inline constexpr char kStatisticEmptyText[] = "Statistic - empty";
inline constexpr char kStatisticSaveFailedFormat[] = "Can`t save statistic to file '%s'";

class StatTableWriter : public DiskFile {
public:
    // Failures are reported (status line and log) by the report's writer only.
    StatTableWriter(ReductionComponent* component, int32_t kind, bool reportsFailures);

    bool Load() override { return false; }
    // The header (tables: only into an empty file), then the rows or the report.
    bool Save() override;

    ReductionComponent* component;
    int32_t kind;
    bool reportsFailures;
};

// The writer of the kind made when missing, its path the source file's with
// the extension replaced by "_crd.tab" or "_stat.tab" (append mode); false
// without a source path.
bool OpenCoordTableForSource(ReductionComponent* component);
bool OpenStatTableForSource(ReductionComponent* component);

// "Add to Table" / "Add to Coord Table": the writer of the kind made and
// named after the source when missing, then the rows appended (the header
// first into an empty file); a write that leaves the file not ready is
// reported. True when rows were written.
bool AddToStatisticTable(ReductionComponent* component, int32_t kind);

// Writes the report as a new file; true when it was written.
bool WriteStatisticReport(ReductionComponent* component, const char* path);

// Logs "write %s: there is no file access" when the writer's file is not
// ready, else, for a writer that reports failures, "write %s: empty data".
void ReportWriteFailure(const StatTableWriter* writer);

// The name a dialog of the kind proposes: the one chosen last in this run,
// else the path of the table's writer, else the source file's path with the
// kind's tail ("_crd.tab", "_stat.tab", "_stat_t.txt"), else "coord.tab",
// "statistic.tab" or "statistic_t.txt".
std::string StatisticDialogDefaultPath(ReductionComponent* component, int32_t kind);

// The save dialog of a table (kind 0 or 1, rows appended) or of the report
// (kind 2). False when there is nothing to save or the dialog is cancelled.
bool SaveStatisticDialog(ReductionComponent* component, int32_t kind);

// "Clean Table(s)": closes the table files that are open, keeping what was written.
void CloseStatisticTables(ReductionComponent* component);

// The names the dialogs remember for the run, forgotten (tests).
void ResetStatisticDialogPaths();

}  // namespace orva
