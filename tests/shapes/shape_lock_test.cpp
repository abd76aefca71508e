#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "shape_test_support.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;

using ShapeContainerLock = ContainerTest;

// A measuring thread reads every listed shape's points, boxes and derived
// outline under the container's lock, holding a reference while it does, as
// the measuring stages do from the playback thread; the user-interface thread
// edits, removes, undoes and redoes meanwhile. The thread sanitizer build runs
// this case.
TEST_F(ShapeContainerLock, ReadersUnderTheLockRunBesideEdits) {
    Shape* line = Add(kKindPolyLine, {0, 0, 10, 0, 20, 5});
    Shape* rect = Add(kKindRect, {0, 0, 8, 8});
    Add(kKindEllipse, {2, 2, 6, 9});
    box.SetCurrentShape(line, false, false);

    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    double sink = 0.0;
    std::thread reader([&] {
        while (!stop.load()) {
            std::lock_guard<std::recursive_mutex> hold(box.Lock());
            for (ShapeGlyph* g = box.list->First(); g != nullptr; g = box.list->Next(g)) {
                Shape* s = g->shape;
                s->AddRef();
                const AnchorBuffer& a = s->header.anchors;
                for (uint32_t i = 0; i < a.Count(); ++i) sink += a.X(i) + a.Y(i);
                sink += s->header.box.w + s->pixelBox.w + s->derived.outline.Count();
                s->Release();
            }
            reads.fetch_add(1);
        }
    });

    while (reads.load() == 0) std::this_thread::yield();
    for (int round = 0; round < 300; ++round) {
        // A point move, recorded, undone and redone.
        line->BeginEdit();
        {
            ShapeLock lock(line);
            line->header.anchors.Points()[2] = static_cast<float>(round);
            line->ResetPivot(kUpdateFull);
        }
        ASSERT_TRUE(box.PushUndo(line, kUndoAnchors));
        ASSERT_TRUE(box.undo.Step(true));
        ASSERT_TRUE(box.undo.Step(false));
        // Offset directions rebuild the derived geometry.
        box.SetCurrentShape(round % 2 ? line : rect, false, true);
        ASSERT_TRUE(box.CycleOffsetDirection());
        // A removal kept for undo, brought back.
        ASSERT_TRUE(box.RemoveShape(0, nullptr, rect, true, false, kUndoModeRecord, nullptr));
        ASSERT_TRUE(box.undo.Step(true));
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 1);
    EXPECT_TRUE(std::isfinite(sink));
    EXPECT_EQ(box.ShapeCount(), 3u);
    EXPECT_EQ(line->header.anchors.X(1), 299.0f);
}

}  // namespace
}  // namespace orva
