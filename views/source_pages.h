#pragma once
// The two property pages of a Source. The Info page describes the opened file (drive,
// name, folder, size, compression, types, sizes, frames, channels) and the statistics of
// the current frame and section, computes them on request and copies both tables to the
// clipboard. The Options page describes raw input anew: every control hands one change
// to the data set's read state, and the page then shows what the data set made of it.
// Three drop-down menus of the Options page (channel mode, scaling, zero offset) live
// here too. Neither page keeps a copy of its model. UI thread only.
#include <cstddef>
#include <cstdint>

#include "framework/component.h"
#include "io/redescribe.h"

namespace orva {

class DataSet;
class SourceComponent;
class UIElement;
class UIPage;
struct gElement;

// ---- The panel builder ---------------------------------------------------------------------

// Builds or refreshes the pages of the Source attached to the page record: -512 (the
// pages' own window, whose visibility hook is set once), 0 (the window that hosts the
// Source's pages, such as the main window's "Source" tab) and -1024 (the pages cleared)
// show both pages; 1 the Info page, 2 the Options page. The number of pages shown; 0
// without a component.
int32_t SourcePanelBuilder(PageWindow* page, void* window, int32_t pageId);
// The Info and Options elements of a Source's page record (null while not built).
UIElement* SourceInfoElement(SourceComponent* source);
UIElement* SourceOptionsElement(SourceComponent* source);
// The Source a page element shows (null when it has none).
SourceComponent* SourceOfElement(const UIElement* element);
// After a selection: the Options page and the Info page's position and statistics, each
// only while its window shows; with `repaintNow` painted at once (each window once).
void SourceRefreshBothPages(SourceComponent* source, bool repaintNow);
// The page hooks of the Source and the clipboard text hooks, filled once.
void InstallSourcePages();

// ---- Info page ---------------------------------------------------------------------------

enum SourceInfoSlot : uint32_t {
    kInfoDescription = 0,  // list: the file
    kInfoStatistic = 1,    // list: the current frame and section
    kInfoFrame = 2,        // field "Output frame:"
    kInfoSection = 3,      // field "Section:"
    kInfoCopy = 4,         // button "Copy to clipboard"
    kInfoCalculate = 5,    // button "Calculate"
    kInfoSlotCount = 6
};

void BuildSourceInfoPage(UIElement* element, gElement** slots);
// False unless the Source's Info page exists, the user interface is up and its window
// shows; else refreshes it and, with `paintNow`, paints its window at once.
bool SourceRefreshInfoPage(SourceComponent* source, bool paintNow);
// Both tables, the frame and the section.
void InfoPageRefresh(SourceComponent* source, UIElement* element);
// The statistic table, the frame and the section.
void InfoPageShowCurrent(SourceComponent* source, UIElement* element);
// The buttons (data: the page element).
void InfoPageCalculate(gElement* button, uintptr_t element);
void InfoPageCopy(gElement* button, uintptr_t element);

// The drive of an absolute path: "<kind> <mount point> <label>, <file system>" cut to
// size - 1 characters; the kind is "RAM disk", "Remote", "CDROM", "Removable" or "Fixed
// Disk". False (text emptied) when the path's file system is not found.
bool DiskInfoText(const char* path, char* text, size_t size);

// ---- The menus of the Options page -----------------------------------------------------------

// The drop-down handlers (data: the Options page element): the menu is made on first use
// and pops up at the button while the Source has a data set; nothing while it is open.
void ChannelModeMenuOpen(gElement* button, uintptr_t element);
void ScalingMenuOpen(gElement* button, uintptr_t element);
void ZeroOffsetMenuOpen(gElement* button, uintptr_t element);
// Close and free the menu.
void ChannelModeMenuClose();
void ScalingMenuClose();
void ZeroOffsetMenuClose();
// The choices (items counted from 1 without separators; 0: the menu is being shown).
void ChannelModeMenu(UIElement* element, int32_t item);  // 1 "Channel", 2 "Summing", 3 "Asis"
void ScalingMenu(UIElement* element, int32_t item);      // 1..12
void ZeroOffsetMenu(UIElement* element, int32_t item);   // 1..7

// ---- Options page ---------------------------------------------------------------------------

enum SourceOptionsSlot : uint32_t {
    kOptName = 0,
    kOptPath = 1,
    kOptLockKnown = 2,
    kOptDefault = 3,
    kOptLast = 4,
    kOptService = 5,
    kOptType8 = 6,        // "8 Bit", "16 Bit", "32 Bit", "64 Bit", "Real 32", "Real 64" (6..11)
    kOptTypeReal64 = 11,
    kOptByteswap = 12,
    kOptUnsigned = 13,
    kOptChannels = 14,
    kOptChannelMode = 15,  // text
    kOptSelector = 16,
    kOptChannelMenu = 17,
    kOptFrames = 18,
    kOptStep = 19,
    kOptSections = 20,
    kOptAxisX = 21,
    kOptAxisY = 22,
    kOptAxisZ = 23,
    kOptBegin = 24,
    kOptEnd = 25,
    kOptBlocks = 26,
    kOptScale = 27,
    kOptScaleMenu = 28,
    kOptZero = 29,
    kOptZeroMenu = 30,
    kOptCropWhole = 31,
    kOptCropHalf = 32,
    kOptCropGrow = 33,
    kOptCropShrink = 34,
    kOptCropX = 35,
    kOptCropW = 36,
    kOptCropY = 37,
    kOptCropH = 38,
    kOptCropZ = 39,
    kOptCropD = 40,
    kOptUpdate = 41,
    kOptHeader = 42,
    kOptStatus = 43,
    kOptSlotCount = 44
};

void BuildSourceOptionsPage(UIElement* element, gElement** slots);
// Writes the data set's state into the page; -1024 (or a Source without item) clears it.
void RefreshSourceOptionsPage(SourceComponent* source, UIElement* element, int32_t pageId);

// One change handed to the data set's read state: codes 24 and 25 bring back its
// snapshot 0 or 1 (the read state normalises it first), every other code is a property.
// Before a change (not before 25) the present description is kept as snapshot 1, so that
// "Last" brings back the description before the last change. False without a read state
// or when the read state refuses.
bool SetLayoutParameter(DataSet* dataSet, uint32_t code, const PropertyValue* values, uint32_t count);
// True when the data set's description equals its default (snapshot 0); false without a
// read state.
bool SameAsDefaultDescription(DataSet* dataSet);

// Crop arithmetic of one axis (origin o, size s, axis size n); the buttons apply it.
void CropShrinkAxis(int64_t n, int64_t* origin, int64_t* size);
void CropGrowAxis(int64_t n, int64_t* origin, int64_t* size);
void CropHalfAxis(int64_t n, int64_t* origin, int64_t* size);

// The handlers (data: the page element).
void OptionsLockKnown(gElement* toggle, uintptr_t element);
void OptionsRestore(gElement* button, uintptr_t element);  // "Default", "Last", "Servis info"
void OptionsSampleType(gElement* toggle, uintptr_t element);
void OptionsUnsigned(gElement* toggle, uintptr_t element);
void OptionsByteswap(gElement* toggle, uintptr_t element);
void OptionsChannels(gElement* field, uintptr_t element);
void OptionsSelector(gElement* field, uintptr_t element);
void OptionsField(gElement* field, uintptr_t element);  // the fields that send a parameter
void OptionsCrop(gElement* button, uintptr_t element);   // "-", "+", "Half" and the whole box
void OptionsUpdate(gElement* button, uintptr_t element);
void OptionsHeader(gElement* button, uintptr_t element);

// The process-wide permission to ask the floating-point question of "Byteswap" (set at
// start, cleared when it is asked).
bool& ByteswapAlertPending();

}  // namespace orva
