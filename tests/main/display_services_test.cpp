// What the composition root gives the display cells and their image windows: the
// factories, the frame count of a Source's description, the values behind a
// Transformation's pixels for the readout, the shapes of a cell and the wait cursor of
// the output writer. End to end: an image window shows a real Transformation's RGB
// frame of 64-bit samples and reads the samples back under the pointer.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <mutex>

#include "app/graphics_window.h"
#include "app/image_window.h"
#include "app/wait_cursor.h"
#include "display/display_fixture.h"
#include "framework/display_lock.h"
#include "io/data_set_info.h"
#include "io/output_writer.h"
#include "main/display_services.h"
#include "main/shape_services.h"
#include "shapes/shape_container.h"
#include "toolkit/gl_test_support.h"
#include "transform/transformation.h"
#include "transform/transformation_test_support.h"

namespace orva {
namespace {

using display_test::FakeCell;
using display_test::ServicesScope;
using testing_transform::RampSource;
using testing_transform::RampValue;

// A ramp of 64-bit samples whose frame query answers a data description of `frames`.
class DescribedRamp : public RampSource {
public:
    DescribedRamp(int64_t width, int64_t height, uint32_t frames) : RampSource(width, height) {
        description.SetTotalFrames(frames, true);
        description.SetFramesToUse(frames);
    }
    void* QueryFrameDescription() override { return &description; }
    DataSetInfo description;
};

class DisplayServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        writer_ = TheOutputWriterHooks();
        InstallDisplayServices();
    }
    void TearDown() override { TheOutputWriterHooks() = writer_; }
    ServicesScope services_;  // puts every table back afterwards
    OutputWriterHooks writer_;
};

TEST_F(DisplayServicesTest, InstallsTheFactoriesAndHooks) {
    const ComponentServices& c = TheComponentServices();
    EXPECT_EQ(c.createImageWindow, &CreateImageWindow);
    EXPECT_EQ(c.pollComponentState, &PollComponentState);
    EXPECT_NE(TheGraphicsHostServices().frameCount, nullptr);
    EXPECT_NE(TheGraphicsHostServices().readoutFrame, nullptr);
    EXPECT_NE(TheGraphicsShapeServices().removeShapesOf, nullptr);
    EXPECT_EQ(TheOutputWriterHooks().beginWaitCursor, &BeginWaitCursor);
    EXPECT_EQ(TheOutputWriterHooks().endWaitCursor, &EndWaitCursor);
    // The port's choice by format word reaches the image factory.
    auto* cell = new FakeCell;
    {
        ViewConsumer port(cell, 0);
        FormatRequest request{0x101 | 0x400000, 1, 3, 2, 0, 0};
        OutputWindow* made = nullptr;
        ASSERT_TRUE(port.CreateOutputWindow(nullptr, &request, &made));
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->GetClassId(), &kImageWindowId);
        EXPECT_EQ(made->cell, cell);
        made->Release();
    }
    cell->Release();
}

TEST_F(DisplayServicesTest, FrameCountOfADescription) {
    DataSetInfo info;
    info.SetTotalFrames(12, true);
    info.SetFramesToUse(12);
    EXPECT_EQ(TheGraphicsHostServices().frameCount(&info), 12);
    info.frameStep = 5;
    EXPECT_EQ(TheGraphicsHostServices().frameCount(&info), 3);
}

TEST_F(DisplayServicesTest, RemovalsReachTheShapes) {
    InstallShapeServices();
    ShapeContainer container(nullptr, nullptr, std::make_unique<MemoryShapeList>());
    int owner = 0;
    Shape* mine = CreateShape(kKindRect);
    ASSERT_TRUE(container.AddShape(mine));
    mine->source = &owner;
    Shape* other = CreateShape(kKindRect);
    ASSERT_TRUE(container.AddShape(other));
    ASSERT_EQ(container.ShapeCount(), 2u);
    TheGraphicsShapeServices().removeShapesOf(&container, &owner);
    EXPECT_EQ(container.ShapeCount(), 1u);
    EXPECT_TRUE(container.IsInList(other));
    TheGraphicsShapeServices().refreshRotateFrame(&container);
}

// The keys of an image window reach a real container: the current shape's kind, the
// adjacent shape, the anchor tool and the shapes' flag and visibility.
TEST_F(DisplayServicesTest, KeyEntriesReachTheContainer) {
    InstallShapeServices();
    const GraphicsShapeServices& s = TheGraphicsShapeServices();
    ShapeContainer container(nullptr, nullptr, std::make_unique<MemoryShapeList>());
    EXPECT_EQ(s.currentKind(&container), -1);
    EXPECT_EQ(s.placingKind(&container), -1);
    Shape* rect = CreateShape(kKindRect);
    Shape* line = CreateShape(kKindLine);
    ASSERT_TRUE(container.AddShape(rect));
    ASSERT_TRUE(container.AddShape(line));
    container.SetCurrentShape(rect, false, false);
    EXPECT_EQ(s.currentKind(&container), kKindRect);
    s.selectAdjacent(&container, true);
    EXPECT_EQ(s.currentKind(&container), kKindLine);
    s.selectAdjacent(&container, true);  // wrapping
    EXPECT_EQ(s.currentKind(&container), kKindRect);
    EXPECT_FALSE(s.leaveAnchorTool(&container));
    container.anchorTool = kToolScissor;
    EXPECT_TRUE(s.leaveAnchorTool(&container));
    EXPECT_EQ(container.anchorTool, kToolNone);
    container.enabled = 1;
    s.setShapesFlag(&container, true);
    for (ShapeGlyph* g = container.list->First(); g != nullptr; g = container.list->Next(g))
        EXPECT_EQ(g->flags & 1u, 1u);
    s.setShapesFlag(&container, false);
    EXPECT_EQ(container.list->Last()->flags & 1u, 0u);
    s.setShapesVisible(&container, false);
    EXPECT_EQ(container.list->First()->visible, 0);
    s.setShapesVisible(&container, true);
    EXPECT_EQ(container.list->First()->visible, 1);
    EXPECT_FALSE(s.leaveSelectMode(&container));
    s.undoStep(&container, true);  // nothing recorded: nothing happens
    EXPECT_EQ(container.ShapeCount(), 2u);
    // The shape services fill the clipboard and placement entries.
    InstallShapeServices();
    EXPECT_NE(s.copyShape, nullptr);
    EXPECT_NE(s.placeShape, nullptr);
}

// The image window over a real Transformation: the device takes its 8-bit RGB pixels,
// and the readout finds the 64-bit samples they were made from.
TEST_F(DisplayServicesTest, ImageWindowOverATransformation) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* host = testing_util::InitWithFrame(0, 0, 400, 300, kStyleMain);
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(testing_util::OpenShown(host, "Display"));
    {
        auto* source = new DescribedRamp(64, 48, 1);
        auto* stage = new TransformationComponent(nullptr, nullptr, 0);
        ASSERT_TRUE(ConsumerAttach(&stage->input, source));
        auto* cell = new FakeCell;
        cell->host.window = host;
        cell->host.width = 300;
        cell->host.height = 200;
        // The cell's port makes the window; the window its device.
        OutputWindow* made = TheComponentServices().createImageWindow(cell);
        auto* window = dynamic_cast<Image2DWindow*>(made);
        ASSERT_NE(window, nullptr);
        DeviceViewBase* base = nullptr;
        ASSERT_TRUE(window->CreateDevice(&base));
        auto* device = static_cast<Image2DDevice*>(base);
        window->current = window->latest = device;
        cell->currentDevice = device;
        cell->currentWindow = window;
        ASSERT_TRUE(ConsumerAttach(&device->pin, stage));
        EXPECT_EQ(device->input.count, 3u);
        EXPECT_EQ(device->input.format & 0x1FF, 0x101u);
        ASSERT_TRUE(device->ResetDeviceView(true));
        ASSERT_TRUE(device->Deliver());
        EXPECT_TRUE(device->HasTexture());
        EXPECT_EQ(device->drawnArea.width, 64);
        // The ramp rises to the right: so do the pixels the colour class made of it.
        const auto* rgb = static_cast<const uint8_t*>(device->result.image.data);
        ASSERT_NE(rgb, nullptr);
        EXPECT_LE(rgb[0], rgb[3 * 63]);
        EXPECT_LT(rgb[0], rgb[(47 * 64 + 63) * 3]);
        // The pointer over pixel (10, 7) of the centred frame: the sample's value.
        const double left = device->view.originX, top = device->view.originY;
        window->SetPointer(static_cast<float>(left + 10.5), static_cast<float>(top + 7.5));
        EXPECT_EQ(window->readout.outside, 0);
        EXPECT_DOUBLE_EQ(window->readout.values[0], RampValue(64, 48, 10, 7));
        EXPECT_DOUBLE_EQ(window->readout.values[2], RampValue(64, 48, 10, 7));
        window->SetPointer(static_cast<float>(left - 3.0), static_cast<float>(top + 7.5));
        EXPECT_EQ(window->readout.outside, 1);

        ConsumerDetach(&device->pin);
        window->current = window->latest = nullptr;
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        {
            ASSERT_TRUE(gWinMakeCurrent(host));
            device->Release();
        }
        window->Release();
        cell->Release();
        ConsumerDetach(&stage->input);
        stage->Release();
        source->Release();
    }
    testing_util::CloseToolkit();
    TheApp().Properties().Clear();
}

}  // namespace
}  // namespace orva
