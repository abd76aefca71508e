#pragma once
// The tab bar (`TabCtrl`, widget kind 545): tabs grouped by a group identifier so that
// one bar can show different tab sets; a strip that scrolls with two arrows when the
// tabs do not fit. UI thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kTabCtrlKind = 545;

// The caller's tab descriptor, copied into each tab. The label callback returns the
// tab's label text (null: no label); the value callback the tab's current value.
struct TabDesc {
    uint32_t value = 0;
    const char* (*label)(uint32_t tabId, int32_t index) = nullptr;
    uint32_t (*valueOf)(uint32_t tabId) = nullptr;
    uint32_t tabId = 0;
    uint32_t groupId = 0;
};

struct TabData {
    std::string label;
    float labelWidth = 0;
    float width = 0;
    TabDesc desc;
};

// A group's tabs; the indexes are -1 when unset.
struct TabGroup {
    float scroll = 0;    // x of the first visible tab
    int32_t count = 0;
    int32_t first = -1;  // first visible tab
    int32_t lastFit = -1;
    std::vector<std::unique_ptr<TabData>> tabs;
    int32_t current = -1;
    int32_t previous = -1;
    uint32_t groupId = 0;
};

struct TabCtrl {
    float visibleWidth = 0;
    float tabWidth = 19;
    float tabHeight = 16;
    float pageBand = 0;
    float gap = 1.0f;
    uint8_t pageFlag = 0;
    uint8_t freeWidth = 1;
    TabGroup* current = nullptr;
    std::vector<std::unique_ptr<TabGroup>> groups;
    uint8_t shades[8][3] = {};
    gFont* font = nullptr;
    gElement* owner = nullptr;
    gElement* widget = nullptr;

    // The room of the scroll arrows at each end.
    static constexpr float kArrowWidth = 13.0f;

    static gElement* Create(gWindow* window, gElement* group, float stripWidth, float tabWidth, uint32_t style,
                            bool pageFlag, gFont* font, gElement* owner);
    static TabCtrl* FromWidget(const gElement* e);
    // 0 failure, 1 added, 2 already present (value updated).
    static int AddTab(gElement* e, const TabDesc* desc, bool select);
    static bool SelectTab(gElement* e, int32_t index);
    static bool RemoveTab(gElement* e, TabData* tab);
    static bool RemoveTabById(gElement* e, uint32_t groupId, uint32_t tabId);
    static void NotifyCurrent(gElement* e);
    static bool RemoveAll(gElement* e);
    static void SetWidth(gElement* e, float width);
    // A press at a point of the widget's frame (x from its left, y from its top); true
    // when the current tab changed or the strip scrolled.
    static bool PressAt(gElement* e, float x, float y);
    static void Paint(gElement* e);

    // Lays the tabs out from `start`: records the last tab that fits and returns the x
    // where the run stops.
    float LayoutFrom(TabGroup* g, int32_t start);
    void ScrollForward(TabGroup* g);
    void ScrollBack(TabGroup* g);
    void ScrollIntoView(TabGroup* g, int32_t index);
    // True when the current group's tabs do not all fit (the arrows show).
    bool HasArrows() const;
    // The x of tab i of the current group, relative to the strip (first visible at 0).
    float TabX(const TabGroup* g, int32_t index) const;
};

}  // namespace orva
