#pragma once
// The fast selector page: four rows of arrows that walk through the frames of the
// current data, the streams of the current item, the items (files) of the current
// project and the projects, each with its total and its current number. Also the single
// frame steps that its frame arrows and the transport page's arrows share, and the small
// text operations of the transport page. UI thread only.
#include <cstdint>

namespace orva {

class CUI;
class Project;
class ProjectItem;
class UIElement;
class UIPage;
class WorkspaceComponent;
struct FramePlayer;
struct gElement;

// Slots: per row its total, its current number and its two arrows.
constexpr uint32_t kSelProjectTotal = 0, kSelProjectCurrent = 1, kSelProjectBack = 2, kSelProjectNext = 3;
constexpr uint32_t kSelFileTotal = 4, kSelFileCurrent = 5, kSelFileBack = 6, kSelFileNext = 7;
constexpr uint32_t kSelStreamTotal = 8, kSelStreamCurrent = 9, kSelStreamBack = 10, kSelStreamNext = 11;
constexpr uint32_t kSelFrameTotal = 12, kSelFrameCurrent = 13, kSelFrameBack = 14, kSelFrameNext = 15;
constexpr uint32_t kSelSlotCount = 16;

// The selections the arrows make (each activates what it selects); tests replace them.
struct FastSelectorHooks {
    bool (*selectProject)(CUI* cui, int32_t step) = nullptr;
    bool (*selectItem)(Project* project, int32_t step) = nullptr;
    bool (*selectStream)(ProjectItem* item, int32_t step) = nullptr;
    // After a single step: the active cell's Source takes the frame, and its pages and
    // preview follow.
    void (*followFrame)(WorkspaceComponent* workspace) = nullptr;
    // Paints the active cell's view at once after a single step.
    void (*repaintView)(WorkspaceComponent* workspace) = nullptr;
};
FastSelectorHooks& TheFastSelectorHooks();
void FastSelectorHooksDefaults(FastSelectorHooks* hooks);

// A number as the page writes it: "%d" into 12 bytes.
void SelectorNumberText(int32_t n, char text[12]);

// The frame player of the workspace's active cell, or null.
FramePlayer* ActivePlayer(WorkspaceComponent* workspace);

// One frame forward or back in the active view (the pressed button is released again
// when nothing moved); the stepped frame is shown on the transport page (`transport`, or
// the open one) and the fast selector, and the view redrawn. True when it moved.
bool StepFrameForward(WorkspaceComponent* workspace, gElement* button, UIElement* transport, int32_t flag);
bool StepFrameBack(WorkspaceComponent* workspace, gElement* button, UIElement* transport, int32_t flag);
void ShowSteppedFrame(WorkspaceComponent* workspace, UIElement* transport, int32_t flag);

// The page: build, refresh (the page machinery's, and when open), and the frame field
// alone (the frame of the active view, or the given frame number).
void BuildFastSelectorPage(UIElement* element, gElement** slots);
void FastSelectorPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
void RefreshFastSelectorPage(WorkspaceComponent* workspace, UIElement* element);
void RefreshFastSelectorIfOpen(WorkspaceComponent* workspace);
void RedrawFastSelectorFrame(WorkspaceComponent* workspace);
void RedrawFastSelectorFrameNumber(WorkspaceComponent* workspace, int32_t number);
// The frame field takes the active view's frame and its window is marked: it is shown
// with the window's next paint (a played frame's, which shows the picture with it).
void MarkFastSelectorFrame(WorkspaceComponent* workspace);

// Arrow handlers (the page element is the user data).
void FastSelectorArrow(gElement* button, uintptr_t element);

// Transport page texts: "00:00:00:000" in the remembered rate unit 1 (milliseconds per
// frame), else "0"; an empty text; the rate unit letter ("T" for 1, "S" for 2, else "F").
void ShowTimeOrZero(gElement* widget);
void ClearWidgetText(gElement* widget);
void ShowRateUnitLetter(gElement* widget, int32_t unit);

}  // namespace orva
