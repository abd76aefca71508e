#pragma once
// What a display cell, its workspace and its rulers ask of the graphics window that the
// cell shows (the chart or image window of the shell) and of that window's device. The
// windows live in the shell, below this layer: the operations are reached through this
// table, which the shell's side fills once its windows exist (an empty entry does
// nothing and answers false or 0).
#include <cstdint>

namespace orva {

class DeviceViewBase;
class OutputWindow;
class SliderCtrl;
struct TextureView;
struct gElement;
struct gWindow;

struct CellGraphicsOps {
    // The window draws its layer of the view into the cell's widget (the cell has set the
    // projection, moved to the widget's origin and clipped to the plot area).
    void (*drawLayer)(OutputWindow* window, gElement* widget) = nullptr;
    // The window builds its tool panel for a page id; true when it did.
    bool (*buildToolPanel)(OutputWindow* window, int32_t pageId) = nullptr;
    // The window refreshes its tool panel.
    void (*refreshToolPanel)(OutputWindow* window, uint32_t flags) = nullptr;
    // The window's own channel selection; true when the selected channel changed.
    bool (*selectChannel)(OutputWindow* window, int32_t number) = nullptr;
    // The window becomes active in its cell (its sliders follow its device).
    void (*activate)(OutputWindow* window) = nullptr;
    // The window's mode flag.
    void (*setModeFlag)(OutputWindow* window, uint8_t mode) = nullptr;
    // The window repaints the toolkit windows that host it.
    void (*repaintHosts)(OutputWindow* window) = nullptr;
    // The window applies a colour set (its colour operation).
    void (*setColours)(OutputWindow* window, uint32_t colours) = nullptr;
    // The window places its rulers in its cell.
    void (*placeRulers)(OutputWindow* window) = nullptr;
    // Zoom and scroll back to their defaults.
    void (*resetZoomScroll)(OutputWindow* window) = nullptr;
    // The frame's rectangle handed to a texture view, and the frame rendered into one.
    void (*setFrameRect)(OutputWindow* window, TextureView* view) = nullptr;
    bool (*renderToTextureView)(OutputWindow* window, TextureView* view) = nullptr;
    // The mouse wheel over a ruler: notches, Ctrl and Shift held.
    void (*wheelHorizontal)(OutputWindow* window, int32_t notches, bool ctrl, bool shift) = nullptr;
    void (*wheelVertical)(OutputWindow* window, int32_t notches, bool ctrl, bool shift) = nullptr;
    // The pointer position in view coordinates; false without one.
    bool (*cursorPoint)(OutputWindow* window, float* x, float* y) = nullptr;
    // The window's own key handlers; true when the key was used.
    bool (*keyPress)(OutputWindow* window, gWindow* host, uint32_t key) = nullptr;
    bool (*keyRelease)(OutputWindow* window, gWindow* host, uint32_t key) = nullptr;
    // The ruler pair the window drives (null: the cell's own).
    SliderCtrl* (*rulers)(OutputWindow* window) = nullptr;
    // The device's reset of its view.
    void (*resetDeviceView)(DeviceViewBase* device) = nullptr;
    // The all-idle walk of the window when a device of it went idle.
    void (*idleWalk)(OutputWindow* window, DeviceViewBase* device) = nullptr;
};
CellGraphicsOps& TheCellGraphicsOps();

}  // namespace orva
