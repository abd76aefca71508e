// The composition root's playback services: the port lists rebuild their playback
// range through them when a port leaves.
#include <gtest/gtest.h>

#include "main/playback_services.h"
#include "views/playback_test_support.h"

namespace orva::testing {
namespace {

TEST(PlaybackServicesTest, APortLeavingRebuildsTheRange) {
    PlaybackScope scope(false);
    InstallPlaybackServices();
    ASSERT_NE(TheComponentServices().playbackRange, nullptr);
    PlayRig rig;
    PlayCell* a = rig.Cell();
    PlayCell* b = rig.Cell();
    PlayDevice* shown = rig.Device(a, rig.Stage(20));
    rig.Device(b, rig.Stage(30));
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.Player().count.load(), 30);
    PortListRemovePort(rig.list, b->port);
    EXPECT_EQ(rig.Player().count.load(), 20);
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{shown}));
}

}  // namespace
}  // namespace orva::testing
