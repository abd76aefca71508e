#include <gtest/gtest.h>

#include "framework/component.h"
#include "main/shape_services.h"
#include "shapes/shape_container.h"

namespace orva {
namespace {

// The display ports reach the shape containers only through these services.
TEST(ShapeServices, PortsMakeShowAndDropContainers) {
    ComponentServices saved = TheComponentServices();
    InstallShapeServices();
    ComponentServices& s = TheComponentServices();
    ASSERT_NE(s.createShapeContainer, nullptr);
    auto* box = static_cast<ShapeContainer*>(s.createShapeContainer(nullptr, 0));
    ASSERT_NE(box, nullptr);
    Shape* shape = CreateShape(kKindRect);
    ASSERT_TRUE(box->AddShape(shape));
    s.setShapesVisible(box, nullptr, 0);
    EXPECT_EQ(shape->glyph->visible, 0);
    s.setShapesVisible(box, nullptr, 1);
    EXPECT_EQ(shape->glyph->visible, 1);
    s.destroyShapeContainer(box);  // the shape goes with it
    TheComponentServices() = saved;
}

}  // namespace
}  // namespace orva
