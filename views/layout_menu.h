#pragma once
// The main window's View > "Layout" submenu: the main workspace's own pages (the readouts
// of the pointer, the tool strips and tool pages), each checked while it is shown; choosing
// one shows or hides it. The set shown is kept in the main settings (LayoutPages) and the
// next start opens the same set. UI thread only.
#include <cstdint>

namespace orva {

class WorkspaceComponent;
struct gMenuItem;

// The pages, one bit each in the kept set.
constexpr uint32_t kLayoutCoordinates = 1u << 0;
constexpr uint32_t kLayoutViewMode = 1u << 1;
constexpr uint32_t kLayoutValues = 1u << 2;     // the value readout with the preview
constexpr uint32_t kLayoutChannels = 1u << 3;   // the channel buttons beside the readout
constexpr uint32_t kLayoutGrid = 1u << 4;
constexpr uint32_t kLayoutLens = 1u << 5;
constexpr uint32_t kLayoutZoomBar = 1u << 6;
constexpr uint32_t kLayoutFastSelector = 1u << 7;
constexpr uint32_t kLayoutTransport = 1u << 8;
constexpr uint32_t kLayoutSelectTab = 1u << 9;
constexpr uint32_t kLayoutStatistic = 1u << 10;
constexpr uint32_t kLayoutAll = (1u << 11) - 1;
// What a first start shows: all but the grid page and the statistic overlay, which their
// own menus open.
constexpr uint32_t kLayoutDefault = kLayoutAll & ~(kLayoutGrid | kLayoutStatistic);

// The bit of a page of the page table (0 for a page the submenu does not list).
uint32_t LayoutBitOf(uint32_t pageIndex);
// The set the settings keep (the default set while they keep none).
uint32_t LayoutPagesWanted();
// Whether the page is wanted on screen.
bool LayoutPageWanted(uint32_t bit);
// Whether the main workspace shows the page now.
bool LayoutPageShown(WorkspaceComponent* workspace, uint32_t bit);
// Shows or hides the page and keeps the choice in the settings.
void LayoutShowPage(WorkspaceComponent* workspace, uint32_t bit, bool on);
// The submenu's entries, added once the main workspace exists.
void FillLayoutMenu(WorkspaceComponent* workspace);
// At start: the pages that open without a window of their own follow the kept set (the
// select tab strip hidden, the grid page and the statistic overlay opened when wanted).
void LayoutApplyStart(WorkspaceComponent* workspace);
// The channel buttons, hidden when not wanted, once the value page stands.
void LayoutApplyChannels(WorkspaceComponent* workspace);
// The check marks, from what is shown; run as the submenu opens (for View > "Layout"
// and View > "Chart Tools").
void LayoutMenuChecks(gMenuItem* header);
// View > "Chart Tools": the "Chart Tools" window's own pages, each checked while shown;
// choosing one shows or hides it there (for this run). Added once that workspace exists.
void FillChartToolsMenu(WorkspaceComponent* workspace);

}  // namespace orva
