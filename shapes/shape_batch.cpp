#include "shapes/shape_batch.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "shapes/shape_container.h"
#include "shapes/shape_items.h"
#include "toolkit/window.h"

namespace orva {

namespace {

struct WaitingItem {
    ShapeItem* item;
    int32_t refresh;  // the largest flag asked, -1: none
    bool restart;
};

struct WaitingJob {
    const void* owner;
    int job;
    std::function<void()> work;
};

struct WaitingView {
    ShapeContainer* container;
    bool panel;
    bool redraw;
};

// A handful of items and views wait at most: a linear search finds them.
struct Waiting {
    int depth = 0;
    std::vector<WaitingItem> items;
    std::vector<WaitingJob> jobs;
    std::vector<WaitingView> views;
};

Waiting& TheWaiting() {
    static Waiting waiting;
    return waiting;
}

WaitingItem* ItemEntry(ShapeItem* item) {
    Waiting& w = TheWaiting();
    for (WaitingItem& e : w.items)
        if (e.item == item) return &e;
    item->AddRef();
    w.items.push_back({item, -1, false});
    return &w.items.back();
}

WaitingView* ViewEntry(ShapeContainer* container) {
    Waiting& w = TheWaiting();
    for (WaitingView& e : w.views)
        if (e.container == container) return &e;
    w.views.push_back({container, false, false});
    return &w.views.back();
}

// Runs what waited in the order one shape asks for it: its view painted, the pages
// told, its items run (they repaint the windows that show their numbers). What it asks
// for meanwhile runs at once (no batch is open).
void RunWaiting() {
    Waiting& w = TheWaiting();
    // Taken one at a time: a step may forget what waits for an owner it lets go. The
    // views are marked, not painted: the items' runs repaint the windows that need it,
    // and a last refresh paints what is left.
    bool marked = false;
    while (!w.views.empty()) {
        const WaitingView v = w.views.front();
        w.views.erase(w.views.begin());
        if (v.panel) v.container->RefreshPanel();
        if (v.redraw && v.container->view != nullptr) {
            v.container->view->MarkForRedraw();
            marked = true;
        }
    }
    while (!w.jobs.empty()) {
        WaitingJob job = std::move(w.jobs.front());
        w.jobs.erase(w.jobs.begin());
        job.work();
    }
    while (!w.items.empty()) {
        const WaitingItem e = w.items.front();
        w.items.erase(w.items.begin());
        // A refresh that repaints runs the item again as a restart does: one is enough.
        if (e.refresh >= 0) e.item->Refresh(e.refresh);
        if (e.restart && e.refresh < 1) e.item->Restart();
        e.item->Release();
    }
    if (marked && gUiReady()) gWinRefreshAll();
}

}  // namespace

ShapeBatch::ShapeBatch() { ++TheWaiting().depth; }

ShapeBatch::~ShapeBatch() {
    Waiting& w = TheWaiting();
    if (--w.depth == 0) RunWaiting();
}

bool ShapeBatch::Open() { return TheWaiting().depth > 0; }

bool ShapeBatch::DeferRedraw(ShapeContainer* container) {
    if (!Open() || container == nullptr) return false;
    ViewEntry(container)->redraw = true;
    return true;
}

bool ShapeBatch::DeferPanel(ShapeContainer* container) {
    if (!Open() || container == nullptr) return false;
    ViewEntry(container)->panel = true;
    return true;
}

bool ShapeBatch::DeferRefresh(ShapeItem* item, int32_t flag) {
    if (!Open() || item == nullptr) return false;
    WaitingItem* e = ItemEntry(item);
    e->refresh = std::max(e->refresh, std::max(flag, 0));
    return true;
}

bool ShapeBatch::DeferRestart(ShapeItem* item) {
    if (!Open() || item == nullptr) return false;
    ItemEntry(item)->restart = true;
    return true;
}

bool ShapeBatch::Defer(const void* owner, int job, std::function<void()> work) {
    if (!Open()) return false;
    Waiting& w = TheWaiting();
    for (const WaitingJob& e : w.jobs)
        if (e.owner == owner && e.job == job) return true;
    w.jobs.push_back({owner, job, std::move(work)});
    return true;
}

void ShapeBatch::Forget(const void* owner) {
    Waiting& w = TheWaiting();
    for (auto i = w.items.begin(); i != w.items.end();) {
        if (i->item == owner) {
            i->item->Release();
            i = w.items.erase(i);
        } else {
            ++i;
        }
    }
    std::erase_if(w.jobs, [owner](const WaitingJob& e) { return e.owner == owner; });
    std::erase_if(w.views, [owner](const WaitingView& e) { return e.container == owner; });
}

void RefreshItem(ShapeItem* item, int32_t flag) {
    if (item != nullptr && !ShapeBatch::DeferRefresh(item, flag)) item->Refresh(flag);
}

void RestartItem(ShapeItem* item) {
    if (item != nullptr && !ShapeBatch::DeferRestart(item)) item->Restart();
}

}  // namespace orva
