#pragma once
// The Output page: the property page of the Output. It shows the stage the output is
// connected to and that stage's data type, and lets the user choose the file format, the
// output data type, the channel, the frame range, the file-name pattern, the method of
// record, the quantization, the range mode with scale and zero offset and the crop box;
// it shows the space of the current folder's file system and a status line. The page
// keeps no copy of its model: every control writes into the output or its settings
// record, and the page is then filled again from them. UI thread only.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class OutputComponent;
class UIElement;
class UIPage;
struct gElement;

// The page's widgets by slot.
enum OutputPageSlot : uint32_t {
    kOutFormat = 0,          // display: the format's name
    kOutFormatPrevious = 1,  // button
    kOutFormatNext = 2,      // button
    kOutTarget = 3,          // display: the stage's label
    kOutTargetMenu = 4,      // menu button
    kOutDataType = 5,        // display: the stage's data type
    kOutSize8 = 6,           // toggles "8 Bit" .. "Real 64" (6..11)
    kOutSizeReal64 = 11,
    kOutByteswap = 12,
    kOutUnsigned = 13,
    kOutChannel = 14,        // edit
    kOutChannelSelector = 15,  // toggle "E"
    kOutFirst = 16,          // edit, 1-based
    kOutLast = 17,           // edit, 1-based
    kOutAllFrames = 18,      // button
    kOutPattern = 19,        // edit
    kOutMethod = 20,         // display
    kOutMethodMenu = 21,     // menu button
    kOutQuantization = 22,   // display
    kOutQuantizationMenu = 23,
    kOutRange = 24,          // button: the next range mode
    kOutClipMessage = 25,    // toggle "Show clipping msg"
    kOutScale = 26,          // edit
    kOutZero = 27,           // edit
    kOutHeaderAddition = 28,  // button (no action)
    kOutHeader = 29,          // button (no action)
    kOutCrop = 30,           // toggle
    kOutCropReset = 31,      // button
    kOutCropX = 33, kOutCropW = 35, kOutCropY = 37, kOutCropH = 39, kOutCropZ = 41, kOutCropD = 43,
    kOutDiskLabel = 44,
    kOutDisk = 45,           // display
    kOutStatus = 46,         // display
    kOutSlotCount = 47
};

// The Output's panel builder: builds or refreshes the page for the codes -512 (style
// 0x24000), -1024 (the page is emptied) and 1; 0 for other codes or a page without a
// component.
int32_t OutputPanelBuilder(PageWindow* page, void* window, int32_t code);
// Builds the widgets into the element's slots (its group is the active one).
void BuildOutputPage(UIElement* element, gElement** slots);
// Fills the page from its output; `clear` (or no output with a record and a connected
// stage) gives the empty state.
void RefreshOutputPage(UIElement* element, bool clear);
// The same when the output's page exists, the user interface is up and its window shows.
void RefreshOutputPageIfOpen(OutputComponent* output, bool clear);
// The page element of an output (null while it has none).
UIElement* OutputPageElement(OutputComponent* output);
// Opens (code 1) or closes (code 3) the Output panel over the main window, making the
// current output first when there is none. The answer: kOutputPanelShown when it shows,
// with kOutputPanelWasShown when it stood already before the call. Esc puts it away.
int32_t OpenOutputPanel(int32_t code, int32_t argument);
// Whether the Output panel stands on the screen.
bool OutputPanelShown();

// Status texts by index 0..9; an index outside, or the index shown last, does nothing.
void OutputStatusText(gElement* status, int32_t index);
// The text of a status index; "" outside 0..9.
const char* OutputStatusString(int32_t index);
// The status index of a write's result code: -2 "Can`t open file", -1 "Ready", 0
// "Can`t alloc memory", 1 "Update...", others "Ready".
int32_t OutputResultStatus(int32_t code);
// Shows a write's result on the output's page (when it exists).
void OutputPageShowResult(OutputComponent* output, int32_t code);
// Forgets the status shown last (a new page starts from none).
void OutputStatusReset();
// Display texts.
const char* QuantizationText(int32_t quantization);
const char* RangeModeText(int32_t mode);
const char* RecordMethodText(int32_t method);

// ---- The controls' handlers (data: the page element) ----------------------------------------
void OutputSizeToggled(gElement* toggle, uintptr_t element);
void OutputByteswapToggled(gElement* toggle, uintptr_t element);
void OutputUnsignedToggled(gElement* toggle, uintptr_t element);
void OutputFormatStep(gElement* button, uintptr_t element);
void OutputChannelChanged(gElement* field, uintptr_t element);
void OutputSelectorToggled(gElement* toggle, uintptr_t element);
void OutputFirstChanged(gElement* field, uintptr_t element);
void OutputLastChanged(gElement* field, uintptr_t element);
void OutputAllFrames(gElement* button, uintptr_t element);
void OutputPatternChanged(gElement* field, uintptr_t element);
void OutputRangeStep(gElement* button, uintptr_t element);
void OutputClipToggled(gElement* toggle, uintptr_t element);
void OutputScaleChanged(gElement* field, uintptr_t element);
void OutputZeroChanged(gElement* field, uintptr_t element);
void OutputCropToggled(gElement* toggle, uintptr_t element);
void OutputCropReset(gElement* button, uintptr_t element);
void OutputCropChanged(gElement* field, uintptr_t element);
// The menus: opened from their buttons; the choices as the menus run them.
void OutputTargetMenuOpen(gElement* button, uintptr_t element);
void OutputMethodMenuOpen(gElement* button, uintptr_t element);
void OutputQuantizationMenuOpen(gElement* button, uintptr_t element);
void OutputChooseTarget(UIElement* element, int32_t entry);       // 0..3
void OutputChooseMethod(UIElement* element, int32_t method);      // 0..2
void OutputChooseQuantization(UIElement* element, int32_t entry);  // 0 Round, 1 Truncate, others nothing

}  // namespace orva
