#pragma once
// The list control: a table widget with an optional header row of column titles, rows
// of text cells in columns of adjustable width, single-row selection by mouse, and
// copying of rows to the clipboard as text. UI thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kListKind = 88;          // the widget kind of a list
constexpr int32_t kListMaxRows = 0x40000;  // rows a fill creates at most
constexpr uint32_t kListHorizontalBar = 0x1, kListVerticalBar = 0x2, kListColumnsResizable = 0x200;

// One text cell (also a header title).
struct TextCell {
    float x = 0, y = 0, width = 0, height = 0;   // the cell inside the list
    std::string text;                             // empty: no text
    // Layout: the characters that fit the cell width, their width, and whether the
    // text was cut (drawn with "...").
    int32_t fitCount = 0;
    float textWidth = 0;
    uint8_t cut = 0;
    uint8_t state = 0;
    uint32_t textFlags = 1024;
    uint32_t textStyle = 0x44083;
};

struct ListRow {
    uint8_t disabled = 0;     // cannot be selected
    uint8_t selected = 0;
    uint8_t emphasised = 0;   // drawn in the alternate text colour
    int32_t cellCount = 0;
    std::vector<TextCell> cells;
    int32_t cellCapacity = 0;
};

// Geometry and columns of a new list.
struct ListCtrlLayout {
    float x = 0, y = 0, width = 0, height = 0;   // the list rectangle (height 0: as the rows need)
    uint32_t flags = 0;                          // kListHorizontalBar | kListVerticalBar | kListColumnsResizable
    int32_t columnCount = 1;
    const float* columnWidths = nullptr;         // null: the width shared evenly
    const char* const* titles = nullptr;         // null: no titles
};

class ListCtrl {
public:
    ListCtrl() = default;
    virtual ~ListCtrl();
    ListCtrl(const ListCtrl&) = delete;
    ListCtrl& operator=(const ListCtrl&) = delete;

    gElement* widget = nullptr;
    gElement* verticalBar = nullptr;
    gElement* horizontalBar = nullptr;
    uint8_t collapsed = 0;
    uint8_t headerShown = 0;
    uint8_t collapsible = 0;
    uint32_t resizeFlags = 0;
    float listX = 0, listY = 0, listWidth = 0, listHeight = 0;
    float headerHeight = 0;
    float rowHeight = 16;
    int32_t visibleRows = 0;
    int32_t columnCount = 0;
    std::vector<float> columnWidths;
    std::vector<TextCell> titles;
    int32_t rowCount = 0;
    int32_t firstVisible = 0;
    std::vector<ListRow> rows;    // rows.size() is the capacity
    ListRow* firstShown = nullptr;
    ListRow* lastShown = nullptr;
    int32_t selectedCount = 0;
    int32_t selectedColumn = -1;
    ListRow* selectedRow = nullptr;
    int32_t rowCapacity = 0;
    // Own state.
    int32_t kind = 0;
    gFont* font = nullptr;
    float requestedHeight = 0;
    int32_t resizingColumn = -1;   // the left column of the border being dragged
    uint32_t mode = 0;
    uint8_t movable = 0;

    // Creates the list widget (kind 0 plain with resizable columns, 1 and 3 with a
    // header band (3: rows 2 pixels taller), 2 the third drawing style); null on failure.
    // A style holding a group's slot bits places the list in that group's rows (starting
    // a new row with kWsNewRow); any other style is the widget's linking style.
    static gElement* Create(gWindow* window, gElement* parent, int32_t kind, const ListCtrlLayout* layout,
                            uint32_t style, bool movable, gFont* font);
    // The list of a live list widget, else null.
    static ListCtrl* FromWidget(const gElement* widget);
    // Whether the list still lives (its widget was not destroyed with its window).
    static bool IsLive(const ListCtrl* list);

    static bool ResizeRows(ListCtrl* list, int32_t count, bool* changed);
    static bool FillRows(ListCtrl* list, int32_t column, const char* const* texts, int32_t count);
    static bool SetTexts(gElement* widget, int32_t column, const char* const* texts, int32_t count);
    static bool SetTitles(gElement* widget, const char* const* titles, int32_t count);
    static void ClearRows(ListCtrl* list);
    static bool ClearSelection(ListCtrl* list);
    static int32_t GetSelectedIndex(const gElement* widget);
    static int32_t GetSelectedColumn(const gElement* widget);
    static bool ClearValues(gElement* widget);
    static bool ClearValuesIfSet(gElement* widget);
    static bool SetMode(gElement* widget, uint32_t value);
    static int32_t FormatColumns(const ListCtrl* list, char* buffer, int32_t size, int32_t columnWidth, char separator,
                                 int32_t firstWidth);
    static bool CopyToClipboard(ListCtrl* list, int32_t valueColumn, int32_t nameColumn, bool withNames,
                                bool selectedOnly);
    static bool CopyRow(const ListRow* row, int32_t valueColumn, int32_t nameColumn, gWindow* window, bool withName);

    // The press at a point of the widget (widget coordinates) with the toolkit's click
    // state (2: double click); true when the selection or the header changed.
    static bool PressAt(ListCtrl* list, float x, float y, int clickState);
    // A horizontal drag step of the column border being resized; true when widths changed.
    static bool DragColumn(ListCtrl* list, float dx);
    // The vertical bar's position (0..1) as the first shown row.
    static void ScrollTo(ListCtrl* list, float position);
    // Moves the first shown row by `rows` (towards the end when positive), within the
    // rows; the bar follows. True when it moved.
    static bool ScrollRows(ListCtrl* list, int32_t rows);
    // Row layout after a change of rows or size.
    static void LayoutRows(ListCtrl* list);
    // Lays the titles and every cell out in the column widths.
    static void LayoutCells(ListCtrl* list);
    // The index of a row of the list, -1 for null or a foreign row.
    int32_t IndexOf(const ListRow* row) const;
};

}  // namespace orva
