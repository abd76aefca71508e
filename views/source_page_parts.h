#pragma once
// What the Source's Info and Options pages share: their widgets by slot, small setters
// that touch a widget only when it lives, the status line, the current section as the
// pages show it, and the page whose drop-down menu is open. UI thread only.
#include <cstdint>
#include <string>

#include "app/page_rows.h"
#include "app/ui_elements.h"
#include "toolkit/widget.h"

namespace orva {

class DataSet;

// Writes the status text of an index into the status widget (the status texts of the
// Output page, whose last index is shared); a widget that shows another text than the
// shared index names is written again.
void ShowPageStatus(gElement* status, int32_t index);
// A double as a number field shows it: the shortest text that reads back as the same value.
std::string FieldDoubleText(double value);

// The section record as the pages show it: data positions, crop box and sizes.
struct SectionFields {
    int64_t begin = 0, end = 0;
    int64_t cropOrigin[3] = {0, 0, 0};
    int64_t cropSize[3] = {0, 0, 0};
    int64_t size[3] = {0, 0, 0};
};
// Brings the current frame and section into range and reads the current section's
// record: the frame table's entry, else the data set's own description. False without
// frames or without a record.
bool CurrentSectionFields(DataSet* dataSet, SectionFields* out);
// How many axes a size triple shows: 3 when the third is above 1, else 2 when the second
// is, else 1.
int ShownAxes(const int64_t size[3]);

// The Options page whose drop-down menu is open (the menus' choices go to it).
UIElement*& MenuPage();

// Shared by the Options page and its menus (element: the Options page).
// "Update" in the warning colour while the description differs from the default.
void OptionsUpdateColour(UIElement* element, DataSet* dataSet);
// Scaling and Zero offset from the data set.
void OptionsShowScaleZero(UIElement* element, DataSet* dataSet);
// The page's status line.
void OptionsStatus(UIElement* element, int32_t index);

// Status indices of the page's status line.
constexpr int32_t kStatusReady = 0;
constexpr int32_t kStatusRefused = 1;      // "Can`t init decode convertor"
constexpr int32_t kStatusBadValue = 3;
constexpr int32_t kStatusCantRescale = 4;
constexpr int32_t kStatusCantUpdate = 5;
constexpr int32_t kStatusCantOpen = 7;
constexpr int32_t kStatusNoStatistic = 8;  // "Can`t rescale... Calc statistic first [tab info]"
constexpr int32_t kStatusUpdating = 9;     // "Update..." 

}  // namespace orva
