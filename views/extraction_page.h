#pragma once
// The Reduction's "Extraction/Statistic" page: creating slice and statistic masks on the
// current view, saving the current shape or all masks, loading a shape file into it, the "Edit Shape…" panel, the
// statistic tables and report, and the current item's visibility, role, source and name.
// UI thread only.
#include <cstdint>
#include <string>

#include "framework/component.h"

namespace orva {

class ItemResultList;
class ReductionComponent;
class Shape;
class UIElement;
struct gMenu;

// ---- Slots of the page ---------------------------------------------------------------------
constexpr uint32_t kExtStatisticMenu = 0, kExtEditMask = 1, kExtCreateMenu = 2, kExtFileMenu = 3, kExtShape = 4,
                   kExtMask = 5, kExtSource = 6, kExtList = 7;
constexpr uint32_t kExtractionSlotCount = 8;

// The page's title unless the Reduction's name is a single character.
inline constexpr char kExtractionPageTitle[] = "Extraction/Statistic";

// What the page calls to save shapes and masks, and to reach the chart's tool page; an
// empty entry leaves its command doing nothing (and, for the emptiness test, a shape
// without anchors counts as empty).
struct ExtractionPageHooks {
    // No outline, no mask and no anchors: nothing to save.
    bool (*shapeIsEmpty)(const Shape* shape) = nullptr;
    // The shape's save (name null: its remembered or default name); form 1 anchor
    // file, 0 data file.
    bool (*saveShapeFile)(Shape* shape, const char* name, int32_t form, int32_t refFlag, bool showMessages) = nullptr;
    // The save dialog, then the save.
    bool (*saveShapeAs)(Shape* shape, int32_t form, int32_t refArg) = nullptr;
    // The open dialog, then the load into the shape.
    bool (*loadShapeAs)(Shape* shape) = nullptr;
    // The masks of the list (role filter -512: any).
    bool (*saveMasks)(ItemResultList* list, const char* name, bool oneFile, bool extension, int32_t form,
                      int32_t filter) = nullptr;
    bool (*saveMasksByRole)(ItemResultList* list, int32_t index, int32_t form, int32_t filter) = nullptr;
    // Whether the chart display of the Reduction shows a tool page, and its refresh.
    bool (*toolPageShown)(ReductionComponent* component) = nullptr;
    void (*refreshToolPage)(ReductionComponent* component) = nullptr;
};
ExtractionPageHooks& TheExtractionPageHooks();

// The role filter of the mask savers that takes every role.
constexpr int32_t kAnyRole = -512;

// The element of the component's Extraction/Statistic page when it is built, or null.
UIElement* ExtractionPageElement(ReductionComponent* component);
// Fills the text widgets from the current item.
void RefreshExtractionPage(UIElement* element);
void ReductionRefreshExtractionPage(ReductionComponent* component);

// The file-name part of the path of the data source of the Reduction's current item;
// empty when a link is missing.
std::string ItemSourceName(ReductionComponent* component);

// ---- Menus -----------------------------------------------------------------------------------
enum class ExtractionMenu { kCreate, kFile, kStatistic };
gMenu* ExtractionPageMenu(ExtractionMenu which);
// Sets the entries' greyed states and marks before the menu opens.
void ExtractionMenuPrepare(UIElement* element, ExtractionMenu which);
// An entry chosen (numbers from 1 without separators; the Create menu's entries come as
// its group 1 "Slice mask" or 2 "Statistic mask" and the entry in it).
void ExtractionMenuCommand(UIElement* element, ExtractionMenu which, int32_t entry, int32_t sub = 0);
// Whether an entry of a menu is enabled now (the state Prepare gives it).
bool ExtractionEntryEnabled(UIElement* element, ExtractionMenu which, int32_t entry);

}  // namespace orva
