#pragma once
// The application shell started in this process: on the recording backend (a screen of
// 1024 x 768) or on the test's X display, and taken down again after each test in the
// order the program ends it.
#include <gtest/gtest.h>

#include <memory>

#include "app/cui.h"
#include "app/open_road.h"
#include "app/shell_hooks.h"
#include "app/shell_install.h"
#include "app/status_line.h"
#include "app/ui_startup.h"
#include "framework/app_object.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "toolkit/window.h"

namespace orva::testing_util {

// Serves what the queue holds now.
inline void ServeQueue() {
    platform::Msg msg;
    for (int i = 0; i < 200 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
}

class ShellTest : public ::testing::Test {
protected:
    // With `fake`, the recording backend stands in for the X server.
    void Start(bool fake = true) {
        if (fake) {
            fake_ = std::make_unique<platform::ScopedFakeBackend>();
            (*fake_)->screenWidth = 1024;
            (*fake_)->screenHeight = 768;
            (*fake_)->workArea = platform::Rect{0, 0, 1024, 768};
        }
        InstallAppShell(nullptr);
        RegisterProjectsIface(&cui());
        ASSERT_TRUE(CUIInit(&cui()));
        ServeQueue();
    }
    void TearDown() override { Stop(); }
    void Stop() {
        CUIShutdownToolkit();
        CUIShutdown(&cui());
        CUIClearWindowGroups(&cui());
        TheOpenRoad() = OpenRoad{};
        TheShellHooks() = ShellHooks{};
        cui().toolsItem = nullptr;
        fake_.reset();
    }
    static CUI& cui() { return TheCUI(); }
    gWindow* Main() { return cui().groups[0].windows[0]; }
    gWindow* Tools() { return cui().groups[1].windows[0]; }
    platform::FakeBackend& Fake() { return **fake_; }

    std::unique_ptr<platform::ScopedFakeBackend> fake_;
};

}  // namespace orva::testing_util
