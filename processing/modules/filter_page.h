#pragma once
// What the settings pages of the built-in filters share: a page is a frame widget at
// the top-left of the page area's window, holding its controls as children placed by
// the page itself; the frame and the arrow buttons draw themselves. UI thread only.
#include <cstdint>

#include "toolkit/widget.h"

namespace orva {

// A widget of the page at (x, y) of the window. Without a root it is the page's root
// (a top-level widget whose onDestroy is `onDestroy`), else a child of the root. A
// widget with a click handler takes the pointer (a field that takes typing is made
// so by its caller: style &= ~kWsNoPlace).
gElement* FilterPageAdd(gWindow* window, gElement* root, int32_t kind, float x, float y, float width, float height,
                        void (*paint)(gElement*) = nullptr, void (*onClick)(gElement*, uintptr_t) = nullptr,
                        void (*onDestroy)(gElement*) = nullptr);
// The width of a page built in the window: its client width, at most what a page column
// of the plug-in panel gives a page (the window may be a whole group window).
float FilterPageWidth(const gWindow* window);
// The page's frame (not drawn while the pointer is resolved, so that the controls it
// holds are found) and the two arrow buttons.
void FilterPagePaintFrame(gElement* e);
void FilterPagePaintPrevious(gElement* e);
void FilterPagePaintNext(gElement* e);
// Marks the page's window for a full repaint.
void FilterPageRepaint(const gElement* root);

}  // namespace orva
