#include "reduction/statistic_tables.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "app/file_dialog.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

constexpr int kWriteFailed = -5;

const char* const kTails[3] = {"_crd.tab", "_stat.tab", "_stat_t.txt"};
const char* const kDefaultNames[3] = {"coord.tab", "statistic.tab", "statistic_t.txt"};
const char* const kTitles[3] = {"Add to Statistic Coord Table", "Add to Statistic Table", "Save Statistic"};
// Filters: pairs of NUL-ended texts, ended by an empty text.
constexpr char kTableFilter[] = "Text [tab]\0*.tab\0";
constexpr char kTextFilter[] = "Text\0*.txt\0";
constexpr uint32_t kDialogFlags = 0xC02;

// What the dialogs remember for the run: the last name and filter index of each kind.
struct DialogMemory {
    std::string paths[3];
    int32_t filterIndex[3] = {1, 1, 1};
};
DialogMemory& Memory() {
    static DialogMemory memory;
    return memory;
}

// The source file's path, or "" when the component has none.
std::string SourcePath(const ReductionComponent* c) {
    const ProjectItemBase* item = c->owner;
    if (item == nullptr || !ProjectItemIsLive(item)) return std::string();
    return item->source.fileName;
}

// The local time in the asctime form, with its own line end.
std::string TimeText() {
    if (auto clock = TheReductionServices().timeText) return clock();
    char text[64];
    LocalTimeAsctime(text);
    return text;
}

// The current item measures an area and the block holds results.
bool HasStatistic(ReductionComponent* c) {
    const Shape* shape = c->CurrentItemShape();
    const StatisticBlock* block = c->Statistic();
    return shape != nullptr && (shape->header.role == kRoleStatistic || shape->header.role == kRoleFindArea) &&
           block != nullptr && block->filled != 0;
}

void Print(FILE* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = VFormatString(format, args);
    va_end(args);
    std::fputs(text.c_str(), f);
}

// A number of the report: 14 significant digits; false for the marker of a
// value not computed and for what is not a number.
bool NumberText(double value, std::string* text) {
    if (IsStatNotComputed(value) || !std::isfinite(value)) return false;
    char buffer[48];
    int length = 0;
    FormatDoubleFit(14, buffer, value, &length);
    text->assign(buffer, static_cast<size_t>(length));
    return true;
}

void Line(FILE* f, const char* format, double value) {
    std::string text;
    if (NumberText(value, &text)) Print(f, format, text.c_str());
}

// A pair of report lines: the first, then the second when its text differs.
void Pair(FILE* f, const char* first, double a, const char* second, double b) {
    std::string ta, tb;
    const bool hasA = NumberText(a, &ta), hasB = NumberText(b, &tb);
    if (hasA) Print(f, first, ta.c_str());
    if (hasB && (!hasA || tb != ta)) Print(f, second, tb.c_str());
}

void TableHeader(FILE* f, ReductionComponent* c, int32_t kind) {
    const std::string path = SourcePath(c);
    if (!path.empty()) {
        size_t length = 0;
        const int offset = PathNameOffset(path.c_str(), &length);
        const std::string name = offset >= 0 ? path.substr(static_cast<size_t>(offset)) : path;
        Print(f, ";COMMENT=Processing [statistics] of data from \"%s\" \n;URL=<%s>\n", name.c_str(), path.c_str());
    }
    // The clock's text ends its line itself (the report relies on it); a table line
    // ends once.
    std::string time = TimeText();
    while (!time.empty() && (time.back() == '\n' || time.back() == '\r')) time.pop_back();
    Print(f, ";TIME=%s\n", time.c_str());
    // Each row ends with the frame it was measured on (counted from 1, as the frame
    // selector counts): rows of a cube's frames are told apart.
    if (kind == kStatCoordTable) {
        std::fputs("\n;TABROW=     1     2    3    4    5    6    7     8     9     10    11    12     13     14     15    "
                   "16       17      18     19     20\n",
                   f);
        std::fputs(";DESCR=BOX:(Xmin Xmax Ymin Ymax)  ", f);
        std::fputs("Xc   Yc  Flux  Bkgr  FWHM  Xsig  Ysig  XYsig  Xasym  Yasym   Max   Min  Flux-FBkgr  Npo  Channel  "
                   "Frame\n\n;#data\n",
                   f);
    } else {
        std::fputs("\n;TABROW=     1    2    3    4    5    6    7,    8    9\n", f);
        std::fputs(";DESCR=BOX:(Xmin Xmax Ymin Ymax) Npo Mean RMS Channel Frame\n\n", f);
    }
}

// The measured frame as the frame selector shows it (from 1); 0 when it is not known.
int FrameNumber(const StatisticBlock& b) { return b.frame >= 0 && b.frame < INT32_MAX ? b.frame + 1 : 0; }

void TableRows(FILE* f, const StatisticBlock& b, int32_t kind) {
    const long long x0 = b.boxX, y0 = b.boxY, x1 = b.boxX + b.boxW, y1 = b.boxY + b.boxH;
    const int frame = FrameNumber(b);
    const StatisticResult* records = b.Results();
    for (uint32_t k = 1; k <= b.filled; ++k) {
        const StatisticResult& r = records[k - 1];
        if (kind == kStatCoordTable) {
            char flux[48];
            FormatDoubleFit(10, flux, r.flux, nullptr);
            const double corrected = r.backgroundValid != 0 ? r.flux - r.npro * r.bkgr : r.flux;
            Print(f,
                  "%I64d %I64d  %I64d %I64d  %.3f %.3f  %s  %g  %.3f  %.3f %.3f %.3f  %.3f %.3f  %g %g  %g  %d  %d  %d  \n",
                  x0, y0, x1, y1, r.xc, r.yc, flux, r.bkgr, r.fwhm, r.xsig, r.ysig, r.xysig, r.xasym, r.yasym, r.max,
                  r.min, corrected, static_cast<int>(r.npro), static_cast<int>(k), frame);
        } else {
            Print(f, "%I64d %I64d %I64d %I64d %d %g %g %d %d \n", x0, y0, x1, y1, static_cast<int>(r.npro), r.mean,
                  r.rms, static_cast<int>(k), frame);
        }
    }
    if (b.filled >= 2) std::fputs("\n", f);
}

void Report(FILE* f, ReductionComponent* c, const StatisticBlock& b) {
    const std::string path = SourcePath(c);
    if (!path.empty()) {
        size_t length = 0;
        const int offset = PathNameOffset(path.c_str(), &length);
        const std::string name = offset >= 0 ? path.substr(static_cast<size_t>(offset)) : path;
        Print(f, "// Statistics of data from '%s' \n\nURL = <%s>", name.c_str(), path.c_str());
    }
    Print(f, "\nTIME = %s", TimeText().c_str());
    Print(f, "FRAME = %d \t// the frame measured, counted from 1\n", FrameNumber(b));
    const Shape* shape = c->CurrentItemShape();
    const long long x0 = b.boxX, y0 = b.boxY, x1 = b.boxX + b.boxW, y1 = b.boxY + b.boxH;
    const StatisticResult* records = b.Results();
    for (uint32_t k = 1; k <= b.filled; ++k) {
        const StatisticResult& r = records[k - 1];
        if (r.npro == 0) continue;
        std::fputs("//-----------------------\n", f);
        if (b.filled > 1) Print(f, "\nNChannel = %d\n", static_cast<int>(k));
        Print(f, "\nNpro = %u\n", r.npro);
        if (r.backgroundValid != 0) Print(f, "NproBkgr = %d\n", static_cast<int>(r.nproBkgr));
        Print(f, "BOX = (%I64d, %I64d), (%I64d, %I64d), %d x %d \t// (Xmin,Ymin) (Xmax,Ymax) (W, H) \n", x0, y0, x1, y1,
              b.boxW, b.boxH);
        if (shape != nullptr) Print(f, "BorderBkgr = %d\n", shape->header.offset.aperture[0]);
        Line(f, "\nMin = %s\n", r.min);
        Line(f, "Max = %s\n", r.max);
        Line(f, "Range = %s\n", r.range);
        Line(f, "Flux = %s\n", r.flux);
        if (r.backgroundValid != 0) {
            const double background = r.npro * r.bkgr;
            Line(f, "FluxMinusFluxBkgr = %s\n", r.flux - background);
            Line(f, "FluxBkgr = %s\n", background);
            Line(f, "\nBkgr = %s\n", r.bkgr);
            Line(f, "RMSBkgr = %s\n", r.rmsBkgr);
        }
        Line(f, "\nMedian = %s\n", r.median);
        Line(f, "Mode = %s\n", r.mode);
        Line(f, "Mean = %s  \t\t// m[1], m[k] = S(x[i]^k)/N, - k-th moment \n\n", r.mean);
        const double moments[4] = {r.mean, r.m[0], r.m[1], r.m[2]};
        for (int m = 1; m <= 4; ++m) {
            std::string text;
            if (NumberText(moments[m - 1], &text)) Print(f, "m[%d] = %s\n", m, text.c_str());
        }
        Line(f, "\nM[2] = %s \t\t// M[k]=S((x[i] - Mean)^k)/N \n", r.centralM[0]);
        for (int m = 2; m <= 4; ++m) {
            std::string text;
            if (NumberText(r.centralM[m - 2], &text)) Print(f, "M[%d] = %s\n", m, text.c_str());
        }
        Line(f, "\nDispersion = %s \t//M[2]*(N/(N-1)\n", r.dispersion);
        // The letter before "orrection" is the Cyrillic es of Windows-1251.
        Pair(f, "RMS = %s \t\t\t// Std Deviation = sqrt(Dispersion)\n", r.rms,
             "DeviationUnbiased = %s \t//RMS Unbiased = k[N] * sqrt(Dispersion), k[N] = sqrt((N-1)/2) * "
             "gamma((N-1)/2)/gamma(N/2), - \xF1"
             "orrection for unbiased deviation \n",
             r.deviationUnbiased);
        Line(f, "RVar = %s \t\t\t// relative, (RMS/Mean) \n", r.rVar);
        Pair(f, "\nSkewness = %s\n", r.skewness, "SkewnessUnbiased = %s\n", r.skewnessUnbiased);
        Pair(f, "SkewnessDeviation = %s\n", r.skewnessDeviation, "SkewnessDeviationUnbiased = %s\n",
             r.skewnessDeviationUnbiased);
        Pair(f, "\nKurtosis = %s\n", r.kurtosis, "KurtosisUnbiased = %s\n", r.kurtosisUnbiased);
        Pair(f, "KurtosisDeviation = %s\n", r.kurtosisDeviation, "KurtosisDeviationUnbiased = %s\n",
             r.kurtosisDeviationUnbiased);
        Print(f, "\nFWHM = %.2f\n", r.fwhm);
        Line(f, "BkgrThreshold = %s \t// for calc FWHM \n", r.bkgrThreshold);
        Print(f, "XY = (%.3f, %.3f) \t// Centre coord\n", r.xc, r.yc);
        Print(f, "Xsig = %.2f\n", r.xsig);
        Print(f, "Ysig = %.2f\n", r.ysig);
        Print(f, "XYsig = %.2f\n", r.xysig);
        Print(f, "Xskew = %.2f\n", r.xasym);
        Print(f, "Yskew = %.2f\n", r.yasym);
        if (r.gaussPercent != 0) Print(f, "// Probably gauss %d\n", static_cast<int>(r.gaussPercent));
    }
}

void Failed(StatTableWriter* w) {
    w->SetState(kWriteFailed);
    if (w->reportsFailures) ShowError(FormatString(kStatisticSaveFailedFormat, w->Path() ? w->Path() : "").c_str());
}

// The window a save dialog stands over: the main window while the user interface is up.
gWindow* DialogOwner(ReductionComponent* c) {
    if (!ComponentUiUp() || c->ui == nullptr) return nullptr;
    return static_cast<gWindow*>(c->ui->GroupWindow(kMainGroup));
}

// The writer of a table kind, made when missing.
StatTableWriter* TableWriter(ReductionComponent* c, int32_t kind) {
    StatTableWriter*& w = c->tableWriters[kind];
    if (w == nullptr) w = new StatTableWriter(c, kind, false);
    return w;
}

bool OpenTableForSource(ReductionComponent* c, int32_t kind) {
    if (c == nullptr) return false;
    const std::string source = SourcePath(c);
    char path[kPathMax];
    if (source.empty() || !PathReplaceExtension(path, source.c_str(), kTails[kind])) return false;
    return TableWriter(c, kind)->SetPath(path, kDiskAppend | kDiskText);
}

// Appends the rows (and the header into an empty file) to the writer's file,
// which stays open.
bool AppendRows(StatTableWriter* w) {
    if (w->SaveKeepOpen()) return true;
    if (w->State() != kResultReady) ReportWriteFailure(w);
    return false;
}

}  // namespace

StatTableWriter::StatTableWriter(ReductionComponent* owner, int32_t what, bool reports)
    : component(owner), kind(what), reportsFailures(reports) {}

bool StatTableWriter::Save() {
    FILE* f = Stream();
    if (f == nullptr || component == nullptr) return false;
    Hold hold(DisplayLock());
    if (!HasStatistic(component)) {
        if (reportsFailures) ShowError(kStatisticEmptyText);
        return false;
    }
    const StatisticBlock& block = *component->Statistic();
    if (kind == kStatReport) {
        Report(f, component, block);
    } else {
        struct stat st;
        if (std::fflush(f) == 0 && ::fstat(fileno(f), &st) == 0 && st.st_size == 0) TableHeader(f, component, kind);
        TableRows(f, block, kind);
    }
    if (std::fflush(f) != 0 || std::ferror(f)) {
        Failed(this);
        return false;
    }
    return true;
}

bool OpenCoordTableForSource(ReductionComponent* component) { return OpenTableForSource(component, kStatCoordTable); }
bool OpenStatTableForSource(ReductionComponent* component) { return OpenTableForSource(component, kStatValueTable); }

bool AddToStatisticTable(ReductionComponent* c, int32_t kind) {
    if (c == nullptr || (kind != kStatCoordTable && kind != kStatValueTable)) return false;
    {
        Hold hold(DisplayLock());
        if (!HasStatistic(c)) return false;
    }
    StatTableWriter* w = c->tableWriters[kind];
    if ((w == nullptr || w->Path() == nullptr) && !OpenTableForSource(c, kind)) return false;
    return AppendRows(c->tableWriters[kind]);
}

bool WriteStatisticReport(ReductionComponent* component, const char* path) {
    if (component == nullptr || path == nullptr || *path == '\0') return false;
    StatTableWriter report(component, kStatReport, true);
    if (!report.SetPath(path, kDiskWrite | kDiskTemp | kDiskText)) {
        ReportWriteFailure(&report);
        return false;
    }
    if (report.SaveFile()) return true;
    if (report.State() == kResultReady || report.State() == kWriteFailed) return false;
    ReportWriteFailure(&report);
    Failed(&report);
    return false;
}

void ReportWriteFailure(const StatTableWriter* writer) {
    if (writer == nullptr) return;
    const char* path = writer->Path() != nullptr ? writer->Path() : "";
    if (writer->State() != kResultReady)
        LogPrintf("write %s: there is no file access", path);
    else if (writer->reportsFailures)
        LogPrintf("write %s: empty data", path);
}

std::string StatisticDialogDefaultPath(ReductionComponent* c, int32_t kind) {
    DialogMemory& memory = Memory();
    if (!memory.paths[kind].empty()) return memory.paths[kind];
    if (kind != kStatReport && c->tableWriters[kind] != nullptr && c->tableWriters[kind]->Path() != nullptr)
        return c->tableWriters[kind]->Path();
    const std::string source = SourcePath(c);
    char path[kPathMax];
    if (!source.empty() && PathReplaceExtension(path, source.c_str(), kTails[kind])) return path;
    return kDefaultNames[kind];
}

bool SaveStatisticDialog(ReductionComponent* c, int32_t kind) {
    if (c == nullptr || kind < kStatCoordTable || kind > kStatReport) return false;
    {
        Hold hold(DisplayLock());
        if (!HasStatistic(c)) return false;
    }
    DialogMemory& memory = Memory();
    char buffer[kPathMax];
    const std::string start = StatisticDialogDefaultPath(c, kind);
    if (start.size() >= sizeof buffer) return false;
    std::memcpy(buffer, start.c_str(), start.size() + 1);
    const bool table = kind != kStatReport;
    const char* filter = table ? kTableFilter : kTextFilter;
    if (RunFileDialog(DialogOwner(c), nullptr, buffer, sizeof buffer, nullptr, kTitles[kind], kDialogFlags, filter,
                      table ? "tab" : "txt", kFileDialogText, &memory.filterIndex[kind], kFileDialogSave) == 0)
        return false;
    memory.paths[kind] = buffer;
    if (!table) return WriteStatisticReport(c, buffer);
    if (!TableWriter(c, kind)->SetPath(buffer, kDiskAppend | kDiskText)) {
        ReportWriteFailure(c->tableWriters[kind]);
        return false;
    }
    return AppendRows(c->tableWriters[kind]);
}

void CloseStatisticTables(ReductionComponent* component) {
    if (component == nullptr) return;
    for (StatTableWriter* w : component->tableWriters)
        if (w != nullptr && w->IsOpen()) w->Close();
}

void ResetStatisticDialogPaths() { Memory() = DialogMemory{}; }

}  // namespace orva
