#pragma once
// Building and setting the controls of a page block: the widget in a slot, setters
// that touch a widget only when it lives, a direct redraw, and a row-by-row builder.
// UI thread only.
#include <cstdint>

#include "app/ui_elements.h"
#include "toolkit/widget.h"

namespace orva {

// The widget in a slot of a live element, or null.
gElement* PageSlot(UIElement* element, uint32_t index);
// The page element a callback's data names, while it lives and holds at least `slots`
// slots; null otherwise.
UIElement* LivePageElement(uintptr_t data, uint32_t slots = 0);
// The height of a row of controls in the pages.
inline constexpr float kPageRow = 17.0f;
// Marks the element's window for a full repaint.
void MarkPageRepaint(UIElement* element);
void SetWidgetText(gElement* widget, const char* text);
void SetWidgetEnabled(gElement* widget, bool on);
// Shows or hides a widget of a page; while something around it hides it (below) it stays
// hidden and the page's choice is kept for when that ends.
void SetWidgetShown(gElement* widget, bool on);
// Whether the page wants the widget shown (also while something around it hides it).
bool WidgetWanted(const gElement* widget);
// What can hide a widget whatever its page wants: its page is not the one shown, the page
// column has scrolled it out of sight ...
inline constexpr uint8_t kHiddenWithPage = 0x2;
inline constexpr uint8_t kHiddenByColumn = 0x4;
// ... or the user took it off the screen (View > "Layout").
inline constexpr uint8_t kHiddenByLayout = 0x8;
// Hides the widget for the reason, or ends that reason (it shows again as its page wants
// it when nothing else hides it); true when that changed what is drawn.
bool SetWidgetHiddenFor(gElement* widget, uint8_t reason, bool hide);
void SetWidgetValue(gElement* widget, bool on);
// Redraws a widget at once (when its window can draw).
void RedrawWidget(gElement* widget);
// Paints one widget at once, not waiting for the next event of its window: nothing while
// its window's state has a bit of 0x199C (the window is not touched); the widget alone
// where the swap keeps the back buffer, else its window whole, and then the window's
// full-repaint mark is cleared.
void PaintWidgetNow(gElement* widget);

// Adds the widgets of a page row by row into the group of the element being built; every
// widget carries the element as its handler data.
class PageRows {
public:
    explicit PageRows(UIElement* element);
    // The next widget starts a new row.
    void NewRow() { newRow_ = true; }
    // A widget of a toolkit kind (width -1: sized to its text); colours 0 keep the kind's.
    gElement* Add(int32_t kind, float width, const char* text, uint32_t colour1 = 0, uint32_t colour2 = 0);
    gElement* Label(const char* text) { return Add(3, -1.0f, text, kLabelColour, kLabelColour2); }
    // A label that keeps the width it is given, its text at the left or centred, so that
    // the widgets after it start where a column does. (A label of the toolkit's text kind
    // takes its text's width as it is made, whatever width it was given.)
    gElement* FixedLabel(float width, const char* text, bool centred = false, uint32_t colour1 = kLabelColour,
                         uint32_t colour2 = kLabelColour2);
    // The width the window's face gives the text of a label.
    float LabelWidth(const char* text) const;
    // A text field; with a commit handler it takes typing, else it only shows.
    gElement* Field(float width, const char* text, void (*commit)(gElement*, uintptr_t),
                    uint32_t colour1 = kLabelColour);
    gElement* Button(int32_t kind, float width, const char* text, void (*press)(gElement*, uintptr_t),
                     uint32_t colour1 = kButtonColour, uint32_t colour2 = kButtonColour2);
    gElement* Separator(float width);
    gWindow* Window() const { return window_; }

    static constexpr uint32_t kLabelColour = 0x4000000u, kLabelColour2 = 0xF1A1A1Au;
    static constexpr uint32_t kButtonColour = 0x46D7070u, kButtonColour2 = 0xF1A1A1Au;
    static constexpr float kRowHeight = 17.0f;

private:
    gWindow* window_ = nullptr;
    uint32_t slot_ = 0;
    uintptr_t data_ = 0;
    bool newRow_ = false;
};

}  // namespace orva
