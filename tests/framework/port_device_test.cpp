#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "component_test_doubles.h"
#include "framework/port.h"

namespace orva {
namespace {

using namespace orva::testing;

struct Rig {
    ServicesScope services;
    TestItem item;
    PortListSet lists;
    PortList* list = PortListCreate(&lists, "a.fits");
    TestSource* source = new TestSource(&item);
    TestCell* cell = new TestCell;
    OutPort* port = nullptr;

    ~Rig() {
        while (lists.first != nullptr) PortListRemove(lists.first);
        cell->Release();
        source->Release();
    }
    DeviceViewBase* Connect(int32_t* index = nullptr) {
        int32_t local = 0;
        if (!ConnectComponents(list, &port, source, cell, nullptr, index ? index : &local, nullptr, 0)) return nullptr;
        return port->lastDevice;
    }
};

TEST(PortDevice, ConnectFetchAndDeliver) {
    Rig rig;
    int32_t index = 0;
    auto* device = static_cast<TestDevice*>(rig.Connect(&index));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(std::pair(index, device->index), std::pair(1, 1));
    EXPECT_TRUE(rig.list->firstPort == rig.port && rig.port->display == rig.cell);
    EXPECT_TRUE(rig.source->portRecord == device && rig.source->firstLink == &device->pin);
    OutputWindow* w = device->window;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetClassId(), &kImageWindowId);  // format word 0x2400003
    EXPECT_EQ(w->index, 1);
    EXPECT_TRUE(w->latest == device && rig.port->primaryWindow == w &&
                rig.port->currentWindow == w);
    // The same cell is not connected twice into one list.
    OutPort* other = nullptr;
    int32_t i2 = 0;
    EXPECT_FALSE(ConnectComponents(rig.list, &other, rig.source, rig.cell, nullptr, &i2, nullptr, 0));

    // A fetch delivers the frame; the read-again byte is cleared.
    device->frameRequest.frame = 2;
    device->frameRequest.width = 4;
    device->frameRequest.height = 3;
    EXPECT_EQ(device->request.readAgain, 1);
    EXPECT_EQ(DeviceFetch(device, &device->frameRequest), 3);
    EXPECT_EQ(device->request.readAgain, 0);
    TypedFrameBuffer& image = device->result.image;
    ASSERT_EQ(image.pixelCount, 12u);
    EXPECT_EQ(std::pair(static_cast<double*>(image.data)[11], device->result.deliveredFrame),
              std::pair(2011.0, 2u));
    EXPECT_FALSE(rig.source->lockHeld);  // a plain fetch takes no lock

    // Below 2: the held frame is dropped; 1 unless the window is all-frozen.
    rig.source->nextCode = 0;
    device->request.readAgain = 1;
    EXPECT_EQ(DeviceFetch(device, &device->frameRequest), 1);
    EXPECT_FALSE(device->request.readAgain || image.HoldsFrame());
    w->allFrozen = 1;
    EXPECT_EQ(DeviceFetch(device, &device->frameRequest), 0);

    // Delivery pulls under the display lock; 3 counts only with the hook's yes.
    rig.source->nextCode = 3;
    EXPECT_FALSE(DeviceDeliver(device));
    EXPECT_TRUE(rig.source->lockHeld);
    EXPECT_EQ(std::pair(device->lastPullCode, ServicesScope::redraws), std::pair(3, 0));
    device->deliverHook = [](DeviceViewBase* d) { return d->result.image.pixelCount == 12; };
    EXPECT_TRUE(DeviceDeliver(device));
    EXPECT_EQ(ServicesScope::redraws, 1);
    // 2: the window's all-frozen byte is cleared and the window is redrawn.
    rig.source->nextCode = 2;
    EXPECT_TRUE(DeviceDeliver(device));
    EXPECT_EQ(std::pair(int(w->allFrozen), ServicesScope::redraws), std::pair(0, 2));
    // Nothing upstream: the device answers 1 (pending) while its window is not
    // all-frozen, which counts; 0 marks the group ready and redraws nothing.
    rig.source->nextCode = 0;
    EXPECT_TRUE(DeviceDeliver(device));
    EXPECT_EQ(std::pair(ServicesScope::groupReady, ServicesScope::redraws), std::pair(1, 3));
    w->allFrozen = 1;
    EXPECT_FALSE(DeviceDeliver(device));
    EXPECT_EQ(std::tuple(device->lastPullCode, ServicesScope::groupReady, ServicesScope::redraws),
              std::tuple(0, 2, 3));
    // The display lock is free again after every path.
    EXPECT_FALSE(DisplayLockHeldElsewhere());
}

TEST(PortDevice, WalksSkipFrozenDevices) {
    Rig rig;
    auto* device = static_cast<TestDevice*>(rig.Connect());
    ASSERT_NE(device, nullptr);
    ComponentRefreshDownstream(rig.source);
    ComponentInvalidate(rig.source, 9, false);
    // The pin resets as its reaction to the change.
    EXPECT_EQ(std::tuple(device->refreshes, device->invalidations, device->lastKey,
                         device->lastReason, device->resets),
              std::tuple(1, 1, 9u, 3, 1));
    PortFreezeAll(rig.port);
    EXPECT_EQ(device->frozen, 1);
    ComponentRefreshDownstream(rig.source);
    ComponentInvalidate(rig.source, 9, false);
    EXPECT_EQ(std::pair(device->refreshes, device->invalidations), std::pair(1, 1));
    // Frozen devices are not re-read either.
    device->request.readAgain = 0;
    PortMarkReread(rig.port);
    EXPECT_EQ(device->request.readAgain, 0);
    device->frozen = 0;
    PortMarkReread(rig.port);
    EXPECT_EQ(device->request.readAgain, 1);
}

TEST(PortDevice, RemovingDevicesRemovesPortThenList) {
    Rig rig;
    // A second list, so that removing the first moves the parent's current list.
    PortList* second = PortListCreate(&rig.lists, "b.fits");
    EXPECT_EQ(std::pair(rig.list->number, second->number), std::pair(1u, 2u));
    rig.lists.current = rig.list;
    int32_t index = 1;
    auto* first = rig.Connect(&index);
    ASSERT_NE(first, nullptr);
    // A second device into the same window (same id and index).
    ASSERT_TRUE(OutPortAddLink(rig.port, rig.source, rig.cell, &kImageWindowId, &index, nullptr, 0));
    DeviceViewBase* newer = rig.port->lastDevice;
    EXPECT_TRUE(newer->window == first->window && newer->older == first);
    EXPECT_EQ(std::tuple(newer->index, rig.port->deviceCount, TestDevice::alive),
              std::tuple(2, 2, 2));

    PortReattachSource(rig.port, newer);
    EXPECT_TRUE(first->window->latest == first && first->window->current == first);
    EXPECT_EQ(std::tuple(rig.port->deviceCount, TestDevice::alive, rig.lists.count),
              std::tuple(1, 1, 2u));

    PortReattachSource(rig.port, first);  // the last device: the port goes, and with it the list
    EXPECT_EQ(std::tuple(TestDevice::alive, TestWindow::alive, rig.lists.count),
              std::tuple(0, 0, 1u));
    EXPECT_TRUE(rig.lists.first == second && rig.lists.current == second);
    EXPECT_TRUE(rig.source->firstLink == nullptr && rig.source->portRecord == nullptr);
}

TEST(PortDevice, PortDeviceLimit) {
    LogCapture log;
    Rig rig;
    int32_t index = 1;
    ASSERT_NE(rig.Connect(&index), nullptr);
    for (int i = 2; i <= kPortDeviceLimit; ++i)
        ASSERT_TRUE(OutPortAddLink(rig.port, rig.source, rig.cell, &kImageWindowId, &index, nullptr, 0)) << i;
    EXPECT_EQ(std::pair(rig.port->deviceCount, rig.port->lastDevice->index),
              std::pair(16384, 16384));
    EXPECT_FALSE(OutPortAddLink(rig.port, rig.source, rig.cell, &kImageWindowId, &index, nullptr, 0));
    EXPECT_EQ(rig.port->deviceCount, 16384);
    EXPECT_NE(log.Text().find("@outport - limit output 16384"), std::string::npos);
}

TEST(PortDevice, WindowChoiceAndRefusals) {
    Rig rig;
    auto* vc = new ViewConsumer(rig.cell, 0);
    FormatRequest r;
    OutputWindow* w = nullptr;
    struct Case {
        uint32_t format;
        const ComponentId* made;
    } cases[] = {
        {0x40, &kChartWindowId},           // 0x40 without 0x2400000
        {0x2400000, nullptr},              // image bits without 0x3 or 0x40
        {0x400001, &kImageWindowId},
        {0x2000042, &kImageWindowId},
        {0x2400040, &kChartWindowId},
    };
    for (const Case& c : cases) {
        r.format = c.format;
        w = nullptr;
        EXPECT_EQ(vc->CreateOutputWindow(nullptr, &r, &w), c.made != nullptr)
            << std::hex << c.format;
        if (c.made != nullptr) {
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->GetClassId(), c.made);
            w->Release();
        }
    }
    EXPECT_TRUE(vc->CreateOutputWindow(&kChartWindowId, nullptr, nullptr));  // no out-pointer
    delete vc;

    // A device whose activation fails: refused, nothing left behind, the port not kept.
    TestWindow::activateDevices = false;
    int32_t index = 0;
    OutPort* port = nullptr;
    EXPECT_FALSE(ConnectComponents(rig.list, &port, rig.source, rig.cell, nullptr, &index, nullptr, 0));
    EXPECT_TRUE(rig.source->portRecord == nullptr && rig.source->firstLink == nullptr &&
                rig.list->firstPort == nullptr);
    EXPECT_EQ(std::pair(TestDevice::alive, TestWindow::alive), std::pair(0, 0));
    // An upstream that refuses to tell its format.
    TestWindow::activateDevices = true;
    rig.source->refuse = true;
    EXPECT_FALSE(ConnectComponents(rig.list, &port, rig.source, rig.cell, nullptr, &index, nullptr, 0));
}

TEST(PortDevice, ShowInDisplaySynchronisesTheCell) {
    Rig rig;
    auto* device = rig.Connect();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(rig.cell->port, nullptr);
    PortRebuildConsumers(rig.list);  // the cell does not show its port yet
    EXPECT_TRUE(rig.cell->port == rig.port && rig.cell->portList == rig.list &&
                rig.cell->owner == &rig.item);
    EXPECT_TRUE(rig.cell->currentDevice == device && rig.cell->currentWindow == device->window);
    EXPECT_EQ(std::pair(rig.cell->stateCode, rig.cell->layouts), std::pair(2, 1));
    // The source was selected (300) and told code 2.
    for (int32_t code : {300, 2})
        EXPECT_NE(std::find(rig.source->codes.begin(), rig.source->codes.end(), code),
                  rig.source->codes.end());
    // For the cell's current device, delivery polls the window state.
    static int polls;
    polls = 0;
    TheComponentServices().pollComponentState = [](OutputWindow*) {
        ++polls;
        return true;
    };
    EXPECT_TRUE(DeviceDeliver(device));
    EXPECT_EQ(std::pair(polls, rig.source->pulls), std::pair(1, 0));
}

// A display cell that goes while its ports stay (a second file's port list holds one
// more port of the same cell): every port that served it forgets it, and the devices
// whose pins fed it leave their sources, so that no walk down a source reaches the cell
// and no port touches it when it goes later. A cell of another list keeps its device.
TEST(PortDevice, ACellThatGoesTakesItsDevicesOutOfTheirSources) {
    ServicesScope services;
    TestWindow::pinsFeedCell = true;
    TestItem first, second;
    PortListSet lists;
    PortList* a = PortListCreate(&lists, "a.fits");
    PortList* b = PortListCreate(&lists, "b.fits");
    PortList* loose = PortListCreate(nullptr, "c.fits");  // a list outside any set
    auto* sourceA = new TestSource(&first);
    auto* stageA = new TestStage(&first, &kTransformationId);
    ASSERT_TRUE(ConsumerAttach(&stageA->input, sourceA));
    auto* sourceB = new TestSource(&second);
    auto* cell = new TestCell;
    auto* other = new TestCell;
    auto* alone = new TestCell;
    OutPort* portA = nullptr;
    OutPort* portB = nullptr;
    OutPort* portOther = nullptr;
    OutPort* portAlone = nullptr;
    int32_t index = 0;
    ASSERT_TRUE(ConnectComponents(a, &portA, stageA, cell, nullptr, &index, nullptr, 0));
    index = 0;
    ASSERT_TRUE(ConnectComponents(b, &portB, sourceB, cell, nullptr, &index, nullptr, 0));
    index = 0;
    ASSERT_TRUE(ConnectComponents(b, &portOther, sourceB, other, nullptr, &index, nullptr, 0));
    index = 0;
    ASSERT_TRUE(ConnectComponents(loose, &portAlone, sourceA, alone, nullptr, &index, nullptr, 0));
    EXPECT_EQ(cell->portLists, &lists);
    PortShowInDisplay(portB, cell);  // the cell shows the second file; the first's port stays
    ASSERT_EQ(cell->port, portB);
    DeviceViewBase* deviceA = portA->firstDevice;
    DeviceViewBase* deviceB = portB->firstDevice;
    PortListChainAdd(a, deviceA);
    PortListChainAdd(b, deviceB);
    PortListChainAdd(b, portOther->firstDevice);
    // The walks down the sources reach the cell through its devices.
    EXPECT_EQ(stageA->firstLink->owner, cell);
    stageA->keyA = 5;

    EXPECT_EQ(cell->Release(), 0);
    for (OutPort* p : {portA, portB}) {
        EXPECT_EQ(p->display, nullptr);
        DeviceViewBase* d = p->firstDevice;
        EXPECT_EQ(std::tuple(d->display, d->pin.owner, d->pin.upstream, int(d->frozen), d->inChain),
                  std::tuple(nullptr, nullptr, nullptr, 1, false));
        EXPECT_EQ(d->window->cell, nullptr);
    }
    EXPECT_EQ(std::tuple(stageA->firstLink, stageA->portRecord), std::tuple(nullptr, nullptr));
    EXPECT_EQ(std::tuple(a->firstDevice, b->firstDevice), std::tuple(nullptr, portOther->firstDevice));
    // The other cells still take their frames.
    EXPECT_EQ(std::tuple(sourceB->firstLink, sourceB->portRecord, portOther->display),
              std::tuple(&portOther->firstDevice->pin, portOther->firstDevice, static_cast<DisplayCellBase*>(other)));
    EXPECT_EQ(sourceA->firstLink->owner, stageA);
    EXPECT_EQ(sourceA->lastLink->owner, alone);
    ComponentClearFlagDownstream(sourceA, 5);
    EXPECT_EQ(stageA->keyA.load(), 0u);

    // A cell whose port lies in a list outside any set: that port forgets it too.
    EXPECT_EQ(alone->portLists, nullptr);
    PortShowInDisplay(portAlone, alone);
    EXPECT_EQ(alone->Release(), 0);
    EXPECT_EQ(std::tuple(portAlone->display, sourceA->lastLink), std::tuple(nullptr, &stageA->input));

    // The ports go later without the cells.
    PortListRemove(loose);
    while (lists.first != nullptr) PortListRemove(lists.first);
    EXPECT_EQ(std::tuple(TestDevice::alive, TestWindow::alive), std::tuple(0, 0));
    other->Release();
    stageA->Release();
    sourceA->Release();
    sourceB->Release();
}

TEST(PortDevice, PortListPlayerSavedWhenSourcesDetach) {
    FramePlayerSaved& saved = TheFramePlayerSaved();
    const int32_t flagWord = saved.flagWord.load();
    saved.flagWord = 0x7F;
    Rig rig;
    saved.flagWord = flagWord;
    FramePlayer& p = rig.list->player;
    // A new list's cursor: the saved loop and return flags, step 1, step size 4.
    EXPECT_EQ(std::tuple(p.flags.load(), p.step.load(), p.stepSize.load()),
              std::tuple(kFramePlayerLoop | kFramePlayerReturnAtEnd, 1, 4));
    PortList* other = PortListCreate(&rig.lists, "b.fits");
    p.count = 10;
    p.current = 3;
    p.last = 8;
    p.first = 2;
    p.mark = 5;
    PortListDetachSources(&rig.lists);
    // Count, current, last and first are kept; both players are left at one frame.
    EXPECT_EQ(std::tuple(rig.list->saved[0], rig.list->saved[1], rig.list->saved[2], rig.list->saved[3]),
              std::tuple(10, 3, 8, 2));
    for (PortList* l : {rig.list, other}) {
        EXPECT_EQ(std::tuple(l->player.count.load(), l->player.current.load(), l->player.last.load(),
                             l->player.first.load()),
                  std::tuple(1, 0, 0, 0));
    }
    EXPECT_EQ(p.mark.load(), 5);
    EXPECT_EQ(other->saved[0], 0);  // it had no frames to keep
    p.current = 0;
    PortListDetachSources(&rig.lists);  // one frame: nothing saved again
    EXPECT_EQ(rig.list->saved[0], 10);
}

TEST(PortDevice, DeviceRecordsReset) {
    DeviceScaleRecord scale;
    for (double& v : scale.scale) v = 3.0;
    for (double& v : scale.offset) v = -2.0;
    scale.state[95] = 9;
    ResetScaleRecord(&scale);
    const DeviceScaleRecord identity;
    EXPECT_EQ(std::memcmp(&scale, &identity, sizeof scale), 0);
    EXPECT_EQ(std::tuple(identity.scale[3], identity.offset[0], identity.state[0]), std::tuple(1.0, 0.0, uint8_t{0}));

    int first = 0, second = 0;
    ViewOwnerRecord view{&first, {4, 5}};
    EXPECT_TRUE(ViewSetOwnerReset(&view, &second));
    EXPECT_EQ(std::tuple(view.owner, view.counters[0], view.counters[1]),
              std::tuple(static_cast<void*>(&second), 0u, 0u));
    view.counters[1] = 7;
    EXPECT_TRUE(ViewSetOwnerReset(&view, nullptr));  // no owner given: kept
    EXPECT_EQ(std::pair(view.owner, view.counters[1]), std::pair(static_cast<void*>(&second), 0u));

    auto* settings = new DeviceViewSettings;
    EXPECT_EQ(std::pair(settings->refCount.load(), int(settings->flag)), std::pair(1, 1));
    EXPECT_EQ(settings->AddRef(), 2);
    settings->flag = 0;
    DeviceViewSettingsInit(settings);
    EXPECT_EQ(std::pair(settings->refCount.load(), int(settings->flag)), std::pair(1, 1));
    EXPECT_EQ(settings->Release(), 0);
}

// A cell that shows one item after another (each item's port list has a port on it) and
// goes before the ports: every port, window and device pin forgets it, so that neither a
// walk down a source's links nor the ports' own end reaches it. A cell that does not know
// the port lists has the port it shows forget it the same way.
TEST(PortDevice, ACellThatGoesFirstIsForgottenByEveryPortAndPin) {
    ServicesScope services;
    for (bool withLists : {true, false}) {
        SCOPED_TRACE(withLists);
        TestItem first, second;
        PortListSet lists;
        PortList* a = PortListCreate(&lists, "a.fits");
        PortList* b = PortListCreate(&lists, "b.fits");
        auto* sa = new TestSource(&first);
        auto* sb = new TestSource(&second);
        auto* cell = new TestCell;
        if (withLists) cell->portLists = &lists;
        std::vector<OutPort*> ports;
        int32_t index = 0;
        for (auto [list, source] : {std::pair(a, sa), std::pair(b, sb)}) {
            if (!withLists && list == a) continue;
            OutPort* port = nullptr;
            ASSERT_TRUE(ConnectComponents(list, &port, source, cell, nullptr, &index, nullptr, 0));
            // The image window's devices feed the cell.
            port->lastDevice->pin.owner = cell;
            ports.push_back(port);
        }
        PortRebuildConsumers(b);
        ASSERT_EQ(cell->port, ports.back());
        sb->keyA.store(7);
        cell->keyA.store(7);
        ASSERT_EQ(cell->Release(), 0);
        for (OutPort* p : ports) {
            EXPECT_EQ(p->display, nullptr);
            for (DeviceViewBase* d = p->firstDevice; d != nullptr; d = d->portNext)
                EXPECT_TRUE(d->display == nullptr && d->pin.owner == nullptr);
        }
        // The walk that a source's end makes goes down to the pin and stops there.
        ComponentClearFlagDownstream(sb, 7);
        EXPECT_EQ(sb->keyA.load(), 7u);
        while (lists.first != nullptr) PortListRemove(lists.first);
        sa->Release();
        sb->Release();
    }
}

// Attaching an item's source shows every display of the item: the main cell's port (fed
// by the source) and the second cell's (fed by a stage behind it).
TEST(PortDevice, AttachingASourceShowsEveryDisplayOfTheItem) {
    Rig rig;
    rig.item.firstStage = rig.source;
    rig.item.source.loaded = true;
    rig.item.source.portList = rig.list;
    auto* stage = new TestStage(&rig.item, &kReductionId, 0x10040);
    ASSERT_TRUE(ConsumerAttach(stage->GetInputLink(0), rig.source));
    auto* second = new TestCell;
    ASSERT_NE(rig.Connect(), nullptr);
    OutPort* secondPort = nullptr;
    int32_t index = 0;
    ASSERT_TRUE(ConnectComponents(rig.list, &secondPort, stage, second, nullptr, &index, nullptr, 0));
    EXPECT_EQ(rig.cell->port, nullptr);
    EXPECT_EQ(second->port, nullptr);
    AttachSourceToPipeline(&rig.item, 3);
    EXPECT_EQ(rig.cell->port, rig.port);
    EXPECT_EQ(second->port, secondPort);
    EXPECT_EQ(secondPort->primaryWindow->GetClassId(), &kChartWindowId);
    // Again: everything is shown already, nothing changes.
    AttachSourceToPipeline(&rig.item, 3);
    EXPECT_EQ(second->port, secondPort);
    while (rig.lists.first != nullptr) PortListRemove(rig.lists.first);
    ConsumerDetach(stage->GetInputLink(0));
    stage->Release();
    second->Release();
}

}  // namespace
}  // namespace orva
