#pragma once
// The start of the user interface: the toolkit, the main window (group 0) with its
// title-bar buttons, menu bar, "Exit" and "LOG" buttons, tab bar and status line, and
// the "Chart Tools" window (group 1); the window groups' callbacks, the cursors, the
// texture-capability probe and the About box. UI thread only.
#include <cstdint>

namespace orva {

class CUI;
struct gElement;
struct gWindow;
struct WindowGroup;

// The product title (the main window's title; later instances add " [n]").
inline constexpr char kProductTitle[] = "ORVA (Test only, v.2.1.0) ";
// The style and the two colours of the page tab bars.
inline constexpr uint32_t kTabStyle = 0x48083;
inline constexpr uint32_t kTabColour = 0x46D7070;
inline constexpr uint32_t kTabColour2 = 0x4676A6A;
inline constexpr char kChartToolsTitle[] = "Chart Tools";
inline constexpr char kScematicToolsTitle[] = "Scematic Tools";

// Starts the toolkit, sets the UI-ready flag and the colour set, builds the main window
// and the tool window of group 1; false when the toolkit or the main window cannot be
// had (logged).
bool CUIInit(CUI* cui);
// Makes the toolkit's start fail, so that the failure road can be exercised (tests).
void ForceToolkitFailureForTest(bool on);
// Builds group 0 once (true when it exists).
bool StartMainUI(CUI* cui);
// Builds the tool window of group k (clamped to 0..2) once.
bool StartUI(CUI* cui, int k);
// The main window's title for an instance number.
const char* MainWindowTitle(int instanceNumber);
// One tab per page record whose style holds the group's style with 0x800.
void RebuildGroupTabs(WindowGroup* group);
// After pages were built or switched in a window: when it is a group window, shows its
// current page only and widens its page column (and, within the screen, lengthens the
// window) so that the shown blocks fit beside the workspace, which is laid out again.
void GroupPagesChanged(gWindow* window);
// After a block was put into the page column of a group window from outside its pages (a
// chart's panel): widens the column to its widest shown block, the window with it (within
// the screen), and lays the column out again.
void PageColumnFit(gWindow* window);
// Widens the page column of a group window to `wanted` pixels (nothing when it is that wide
// already): the window grows by as much into the room on its right on the screen, the
// workspace is laid out again beside the column. True when the column widened.
bool PageColumnWiden(gWindow* window, int32_t wanted);
// A window opened over the main window (a panel, a page's own window) that would cover the
// main window's page column, where it would pass for one of its pages and hide its tabs,
// moves right of the column, as far as the screen allows.
void KeepClearOfPageColumn(gWindow* window);
void ShowAboutBox();
gWindow* AboutWindow();
// The toolkit's end (fonts, windows, classes, skin, calculator context).
int CUIShutdownToolkit();
// The message loop until the main window is gone.
void CUIMessageLoop();
// Closes the main window without its close question (the toolkit's quiet close).
void CUICloseMainWindowQuietly();
// Whether the widget is the main window's "Exit" button or its "x" title button (the
// exit path's own controls, which reach the main window while the exit question is open).
bool IsMainExitControl(gWindow* window, gElement* widget);

// The cursors: slot 0 the toolkit's default cursor, then the 29 cursor resources.
void LoadUICursors();
void* UICursor(int slot);
// The texture-capability record: {maximum, RGB16, RGBA16, RGB8, RGBA8}.
struct TextureCapabilities {
    int32_t maximum = 0, rgb16 = 0, rgba16 = 0, rgb8 = 0, rgba8 = 0;
};
// Probes the GL texture sizes of the window's context, logs them and stores the RGB8
// and RGB16 sizes as the texture limits.
TextureCapabilities ProbeTextureSupport(gWindow* window);

// Group callbacks (installed on the group windows; exposed for tests).
bool GroupKeyDown(gWindow* window, gWindow* from, void* key);
bool GroupKeyUp(gWindow* window, void* key);
void GroupSized(gWindow* window);
bool ToolCloseRequest(gWindow* window, void* data);

}  // namespace orva
