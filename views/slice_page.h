#pragma once
// The Reduction's "SLICE / STATISTIC" page: every option of slice extraction and of the
// statistic histogram, the preset name and the preset menus. Every control writes one
// option of the Reduction's option set in use through its setter and, when the value
// changed, runs the current item again so that the chart and the view follow. The
// page shows the options; it keeps no copy of its own. UI thread only.
#include <cstdint>
#include <string>

#include "framework/component.h"

namespace orva {

class ReductionComponent;
class ReductionOptions;
class UIElement;
class UIPage;
struct gMenu;
struct gWindow;

// ---- Slots of the page, in the order the handlers and the refresh address them -----------
constexpr uint32_t kSlcChannel = 0, kSlcChannels = 1, kSlcAll = 2, kSlcExtended = 3, kSlcFlux = 4, kSlcMean = 5,
                   kSlcScale = 6, kSlcZero = 7, kSlcReset = 8, kSlcFilter = 9, kSlcFilterMenu = 10, kSlcMethod = 11,
                   kSlcMethodMenu = 12, kSlcProfile = 13, kSlcWindow = 14, kSlcSmooth = 15, kSlcSmoothMenu = 16,
                   kSlcWeight = 17, kSlcGain = 18, kSlcNoise = 19, kSlcHistogram = 20, kSlcDistribution = 21,
                   kSlcLeft = 22, kSlcRight = 23, kSlcBoundaryMenu = 24, kSlcInterval = 25, kSlcInteger = 26,
                   kSlcAuto = 27, kSlcRule = 28, kSlcRuleMenu = 29, kSlcPresetEdit = 30, kSlcPresetName = 31,
                   kSlcPresetMenu = 32;
constexpr uint32_t kSliceSlotCount = 33;

// Where the Reduction's two pages sit in its page's table.
constexpr uint32_t kReductionExtractionIndex = 0, kReductionSliceIndex = 1, kReductionPageTableSize = 2;

// The Reduction's panel builder: page id 0 or 1 builds or refreshes the
// Extraction/Statistic page, -512 the SLICE / STATISTIC page, -1024 refreshes both. 0 for
// any other id and for a page without a Reduction.
int32_t ReductionPanelBuilder(PageWindow* page, void* window, int32_t pageId);
// Builds or refreshes the SLICE / STATISTIC page in the window.
bool ShowSlicePage(UIPage* page, gWindow* window, int32_t pageId);

// The element of the component's SLICE / STATISTIC page when it is built, or null.
UIElement* SlicePageElement(ReductionComponent* component);
// The Reduction of a page element, or null.
ReductionComponent* SlicePageReduction(UIElement* element);
// Writes every option into its control and sets the enabled states.
void RefreshSlicePage(UIElement* element);
// Refreshes the component's SLICE / STATISTIC page when it is shown and the user
// interface is up (its window redrawn), and both pages.
void ReductionRefreshSlicePage(ReductionComponent* component);
void ReductionRefreshPages(ReductionComponent* component);

// ---- Texts the page shows ------------------------------------------------------------------
std::string SliceProfileText(const ReductionOptions& options);
std::string SliceWeightText(const ReductionOptions& options);
// The method's entry text, with ",  remove background" when that flag is set.
std::string SliceMethodText(const ReductionOptions& options);
// The labels of the menus' entries by value ("" outside the range).
const char* SliceSmoothingText(int64_t method);
const char* SliceFilterText(int64_t variant);
const char* StatIntervalRuleText(int64_t method);
// The boundary pair widened to the nearest sample-type limits around a minimum and maximum.
void NearestBoundary(double minimum, double maximum, double* low, double* high);
// A row of the preset list menu: the name ("NoName" without one) cut to 100 characters
// (then 0x85), and " (position)" when the list holds more than one preset, unless the
// name begins with its own position number.
std::string PresetMenuRowText(const char* name, uint32_t position, uint32_t count);

// ---- Menus -----------------------------------------------------------------------------------
enum class SliceMenu { kSmoothing, kFilter, kMethod, kRule, kBoundary, kPresetEdit, kPresetList };
// The menu while it exists (made at its button's first press, freed with the last button).
gMenu* SlicePageMenu(SliceMenu which);
// Sets the check marks and greyed entries as the menu shows them before it opens (the
// preset list is filled again).
void SliceMenuPrepare(UIElement* element, SliceMenu which);
// An entry chosen: its number from 1 without separators; for the preset "Edit" menu a
// submenu's entry comes as `sub` (from 1), else 0.
void SliceMenuCommand(UIElement* element, SliceMenu which, int32_t entry, int32_t sub = 0);

// Item creation shared with the Extraction/Statistic page: a new preset, then (see the
// implementation) the shape of the kind; false when no preset could be added or the
// shape could not be placed.
bool CreateReductionItem(ReductionComponent* component, bool replace, bool newShape, int32_t kind);

// Appends the presets read from the numbered sections of a script or service file
// (from section 1 on, as they were saved); the number taken.
uint32_t LoadPresetSections(ReductionComponent* component, const char* path);
// Empties the boundary clipboard and forgets the preset file used last (tests).
void ResetSlicePageState();

// Lets every Reduction build the page and refresh it.
void InstallReductionPages();

}  // namespace orva
