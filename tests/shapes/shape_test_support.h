#pragma once
// Test doubles for the shapes: a view that counts its redraws and panel
// refreshes, an edit frame that records whether it is shown, a status line that
// records its texts, a measuring item, and helpers that make shapes with points.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"

namespace orva::shape_testing {

class TestView : public ShapeView {
public:
    void Redraw() override { ++redraws; }
    void StopTool() override { ++toolStops; }
    void RefreshPanel(Shape* shape) override {
        ++panelRefreshes;
        panelShape = shape;
    }
    void ForgetPanel() override { panelShape = nullptr; }
    bool ShiftHeld() const override { return shift; }
    bool WindowReady() const override { return ready; }
    ShapeItem* DefaultItem() override { return defaultItem; }
    void CloseOverlay() override { ++overlayCloses; }
    bool DataFrameSize(int64_t* width, int64_t* height) const override {
        *width = frameWidth;
        *height = frameHeight;
        return frameWidth > 0;
    }
    bool SourcePath(char* buffer) const override {
        if (sourcePath.empty()) return false;
        std::memcpy(buffer, sourcePath.c_str(), sourcePath.size() + 1);
        return true;
    }
    bool ready = true;
    std::string sourcePath;  // the data file the view shows ("": none)
    ShapeItem* defaultItem = nullptr;
    int overlayCloses = 0;
    int64_t frameWidth = 0;
    int64_t frameHeight = 0;
    int redraws = 0;
    int toolStops = 0;
    int panelRefreshes = 0;
    Shape* panelShape = nullptr;
    bool shift = false;
};

class TestFrame : public ShapeEditFrame {
public:
    void Show(ShapeContainer&) override { shown = true; }
    void Hide(ShapeContainer&) override { shown = false; }
    bool Shown() const override { return shown; }
    void Place(ShapeContainer&) override { ++placed; }
    bool shown = false;
    int placed = 0;
};

// Records what goes to the status line while it lives.
class StatusRecorder {
public:
    StatusRecorder() {
        texts().clear();
        codes().clear();
        StatusLineHooks hooks;
        hooks.printStatusLine = [](int group, int code, int flags, const char* format, const char* text) {
            EXPECT_EQ(group, 0);
            EXPECT_EQ(flags, 7);
            EXPECT_STREQ(format, "%s");
            texts().push_back(text);
            codes().push_back(code);
            return 1;
        };
        SetStatusLineHooks(&hooks);
    }
    ~StatusRecorder() { SetStatusLineHooks(nullptr); }
    static std::vector<std::string>& texts() {
        static std::vector<std::string> t;
        return t;
    }
    static std::vector<int>& codes() {
        static std::vector<int> c;
        return c;
    }
};

// A measuring item that takes every shape and counts its restarts.
class TestItem : public ShapeItem {
public:
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override { return --refs; }
    bool Check(Shape*) override { return accepts; }
    bool Detach(Shape*) override { return true; }
    void Notify(Shape*) override { ++notified; }
    void Refresh(int32_t) override { ++refreshes; }
    bool Accepts(Shape*) override { return accepts; }
    void Restart() override { ++restarts; }
    std::atomic<int32_t> refs{0};
    bool accepts = true;
    int restarts = 0;
    int refreshes = 0;
    int notified = 0;
};

// A shape of the kind with the points (x, y pairs), reference count 0.
inline Shape* MakeShape(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone) {
    Shape* s = CreateShape(kind);
    if (s == nullptr) return nullptr;
    std::vector<float> points(xy);
    s->header.role = role;
    s->header.anchors.SetPoints(points.data(), static_cast<uint32_t>(points.size() / 2));
    s->ResetPivot(kUpdateFull);
    return s;
}

// A container on a test view and frame, with the program-wide counters reset.
class ContainerTest : public ::testing::Test {
protected:
    ContainerTest() { TheShapeGlobals().Reset(); }
    ~ContainerTest() override { TheShapeGlobals().Reset(); }

    // A new shape with a point per entry of `xy`, added to the container.
    Shape* Add(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone) {
        Shape* s = MakeShape(kind, xy, role);
        EXPECT_TRUE(box.AddShape(s));
        return s;
    }
    std::vector<Shape*> Listed() const {
        std::vector<Shape*> shapes;
        for (Shape* s = box.FirstShape(); s != nullptr; s = box.NextShape(s)) shapes.push_back(s);
        return shapes;
    }

    TestView view;
    TestFrame frame;
    ShapeContainer box{&view, &frame, std::make_unique<MemoryShapeList>()};
};

}  // namespace orva::shape_testing
