#pragma once
// Many shapes changed at once: a file of shapes loaded, a paste, an undo or redo that
// brings back or takes away a whole list. Each shape asks for its view to be painted,
// its panel refreshed and its measuring items run again; while a batch is open those
// requests wait, and when it closes each view is painted once, each panel refreshed
// once and each item run once, after the last shape is in place. A file of thousands
// of shapes is then measured and drawn once, not once per shape.
//
// User-interface thread only. Batches nest: the outermost one runs what waited in the
// order a single shape asks for it: the views (panel and paint), other waiting work (the
// pages), then the items (the measurement, which repaints the windows that show it).
#include <cstdint>
#include <functional>

namespace orva {

class ShapeContainer;
class ShapeItem;

class ShapeBatch {
public:
    ShapeBatch();
    ~ShapeBatch();
    ShapeBatch(const ShapeBatch&) = delete;
    ShapeBatch& operator=(const ShapeBatch&) = delete;

    // True while a batch is open.
    static bool Open();
    // Each answers true when the request waits for the end of the batch (it then runs
    // once however often it was made), false when no batch is open: the caller runs
    // it now.
    static bool DeferRedraw(ShapeContainer* container);
    static bool DeferPanel(ShapeContainer* container);
    // A waiting item is held by a reference until it runs.
    static bool DeferRefresh(ShapeItem* item, int32_t flag);
    static bool DeferRestart(ShapeItem* item);
    // Other work, known by its owner and a number: the first request is kept.
    static bool Defer(const void* owner, int job, std::function<void()> work);
    // What waits for an owner that goes (a container, an item that counts no
    // references, a component) is dropped.
    static void Forget(const void* owner);
};

// The item's refresh (the largest flag asked) or restart, now or at the end of the batch.
void RefreshItem(ShapeItem* item, int32_t flag);
void RestartItem(ShapeItem* item);

}  // namespace orva
