#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>

#include "component_test_doubles.h"
#include "framework/component.h"
#include "framework/component_id.h"

namespace orva {
namespace {

using testing::TestItem;
using testing::TestStage;

TEST(ComponentId, CatalogueAndComparison) {
    ASSERT_EQ(kComponentIdCatalogueSize, 67);
    // The bytes of a record read the codes in order.
    uint8_t bytes[4];
    std::memcpy(bytes, &kComponentBaseId.code[0], 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4), "CELB");
    EXPECT_EQ(kComponentIdCatalogue[0], &kNullId);
    EXPECT_EQ(kComponentIdCatalogue[5], &kMainAppId);
    EXPECT_EQ(kComponentIdCatalogue[22], &kInputId);
    EXPECT_STREQ(kComponentIdCatalogue[29]->name, "Reduction");
    EXPECT_EQ(kComponentIdCatalogue[66], &kPlugSingleFilterPropId);
    // Equal codes are one identity (44/45, 60/61, 62/63 and 35/65); others all differ.
    int equalPairs = 0;
    for (int i = 0; i < 67; ++i)
        for (int j = i + 1; j < 67; ++j)
            if (*kComponentIdCatalogue[i] == *kComponentIdCatalogue[j]) ++equalPairs;
    EXPECT_EQ(equalPairs, 5);  // the three pairs above, 35/65 and 33/67
    EXPECT_TRUE(kParams2DId == kParams2DSecondId);
    EXPECT_TRUE(kPlugGeometryId == kGeometryModuleId);
    // The null id equals itself only; a display name does not take part.
    for (int i = 1; i < 67; ++i) EXPECT_FALSE(kNullId == *kComponentIdCatalogue[i]) << i;
    ComponentId renamed = kReductionId;
    renamed.name = "Other";
    EXPECT_TRUE(renamed == kReductionId);
    EXPECT_TRUE(IdHasKind(&kInputPropId, kCodeProp));
    EXPECT_TRUE(IdHasStage(&kDisplayCellId, FourCC("CELX"), FourCC("DRAW")));
}

TEST(Component, AllocationQueryAndReferenceCounts) {
    TestItem item;
    auto* c = new TestStage(&item, &kReductionId);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 32, 0u);
    EXPECT_TRUE(ComponentIsLive(c));
    // An id built at run time with the same codes is answered, with a reference.
    ComponentId runtime{{FourCC("CELB"), 0, FourCC("PROC"), FourCC("REDU")}, nullptr};
    void* out = nullptr;
    EXPECT_TRUE(c->QueryInterface(&runtime, &out));
    EXPECT_EQ(out, static_cast<ComponentObject*>(c));
    EXPECT_EQ(c->refCount.load(), 2);
    EXPECT_TRUE(c->QueryInterface(&kBaseId, nullptr));  // no out-pointer: no reference
    EXPECT_EQ(c->refCount.load(), 2);
    EXPECT_FALSE(c->QueryInterface(&kNullId, &out));
    EXPECT_EQ(c->AddRef(), 3);
    EXPECT_EQ(c->Release(), 2);
    EXPECT_EQ(c->Release(), 1);
    EXPECT_EQ(c->Release(), 0);
    EXPECT_FALSE(ComponentIsLive(c));
}

TEST(Component, AttachRefusalsAndListUpkeep) {
    TestItem item;
    auto* up = new TestStage(&item, &kInputId);
    auto* a = new TestStage(&item, &kTransformationId);
    auto* b = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(&a->input, up));
    EXPECT_EQ(a->input.offered.format, up->format);
    EXPECT_FALSE(ConsumerAttach(&a->input, up));  // already bound
    b->input.accept = false;
    EXPECT_FALSE(ConsumerAttach(&b->input, up));  // refused format
    EXPECT_EQ(b->input.upstream, nullptr);
    EXPECT_EQ(up->firstLink, &a->input);
    EXPECT_EQ(up->lastLink, &a->input);
    ComponentAppendLink(up, &a->input);  // its upstream already: unchanged
    EXPECT_EQ(a->input.next, nullptr);
    b->input.accept = true;
    ASSERT_TRUE(ConsumerAttach(&b->input, up));
    EXPECT_EQ(up->lastLink, &b->input);
    EXPECT_EQ(b->input.previous, &a->input);
    EXPECT_TRUE(ConsumerRenegotiate(&b->input));
    ConsumerDetach(&a->input);
    EXPECT_EQ(up->firstLink, &b->input);
    EXPECT_EQ(b->input.previous, nullptr);
    // Destroying the upstream leaves its consumers unbound.
    up->Release();
    EXPECT_EQ(b->input.upstream, nullptr);
    a->Release();
    b->Release();
}

int32_t ReturnMinus5(ComponentBase*, PullResult*, PullRequest*) { return -5; }
int32_t Return7(ComponentBase*, PullResult*, PullRequest*) { return 7; }

TEST(Component, PullCodes) {
    TestItem item;
    auto* up = new TestStage(&item, &kInputId);
    auto* down = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(&down->input, up));
    PullResult result;
    PullRequest request;
    result.status = 9;
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 0);  // the default process function
    EXPECT_EQ(result.status, 0);
    up->process = &ReturnMinus5;
    result.pending = 1;
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 1);
    EXPECT_EQ(result.pending, 0);
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 0);
    up->process = &Return7;
    result.pending = 1;
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 7);
    EXPECT_EQ(result.pending, 1);
    ComponentResetProcess(up);
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 1);
    down->Release();
    up->Release();
}

TEST(Component, KeyWalksStopAtDifferentKeys) {
    TestItem item;
    auto* a = new TestStage(&item, &kInputId);
    auto* b = new TestStage(&item, &kProcessingId);
    auto* c = new TestStage(&item, &kTransformationId);
    auto* d = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(&b->input, a));
    ASSERT_TRUE(ConsumerAttach(&c->input, b));
    ASSERT_TRUE(ConsumerAttach(&d->input, c));
    b->keyA = 7;
    c->keyA = 8;
    d->keyA = 7;
    ComponentClearFlagDownstream(a, 7);
    EXPECT_EQ(b->keyA.load(), 0u);
    EXPECT_EQ(c->keyA.load(), 8u);
    EXPECT_EQ(d->keyA.load(), 7u);  // below a differing key: untouched
    b->keyB = 5;
    c->keyB = 5;
    ComponentClearSecondFlagDownstream(a, 5);
    EXPECT_EQ(c->keyB.load(), 0u);
    d->keyB = 1;
    ComponentClearValidDownstream(a);  // b has no key left: the walk stops there
    EXPECT_EQ(c->keyA.load(), 8u);
    b->keyA = 1;
    ComponentInvalidate(a, 3, true);
    EXPECT_EQ(c->keyA.load(), 0u);
    EXPECT_EQ(d->keyA.load(), 0u);
    EXPECT_EQ(d->keyB.load(), 0u);
    ComponentNotifyDownstream(a);
    EXPECT_EQ(b->input.changed, 1);
    EXPECT_EQ(d->input.changed, 1);
    for (auto* x : {d, c, b, a}) x->Release();
}

TEST(Component, PageMessagesAndSelection) {
    TestItem item;
    auto* c = new TestStage(&item, &kReductionId);
    PageSendMessage(c, 5, 0);
    PageSendMessage(c, 5, 0);
    PageSendMessage(c, 200, 0);
    PageSendMessage(c, 200, 0);
    PageSendMessage(c, 0, 0);
    EXPECT_EQ(c->codes, (std::vector<int32_t>{5, 200, 200}));

    static int redraws = 0;
    ComponentServices saved = TheComponentServices();
    TheComponentServices().redrawComponentWindows = [](ComponentBase*) { ++redraws; };
    PageWindow pages;
    pages.flags = kPageWindowRebuild;
    c->pageWindow = &pages;
    c->panelBuilder = [](ComponentBase*, PageWindow*) {};
    MessageRecord m;
    m.code = kMsgSelect;
    EXPECT_TRUE(ComponentOnSelect(c, &m, 0));
    EXPECT_EQ(pages.current, c);
    EXPECT_EQ(pages.flags, 0u);
    EXPECT_TRUE(ComponentOnSelect(c, &m, 0));  // already current: nothing redrawn
    EXPECT_EQ(redraws, 1);
    m.code = kMsgDeselect;
    EXPECT_TRUE(ComponentOnSelect(c, &m, 0));
    EXPECT_EQ(pages.current, nullptr);
    m.code = 17;
    EXPECT_FALSE(ComponentOnSelect(c, &m, 0));
    TheComponentServices() = saved;

    // Unlinking clears the item's references and the page window's current component.
    pages.current = c;
    item.currentWindows[2] = c;
    ComponentUnlinkAll(c);
    EXPECT_EQ(pages.current, nullptr);
    EXPECT_EQ(item.currentWindows[2], nullptr);
    EXPECT_EQ(c->owner, nullptr);
    c->Release();
}

TEST(Component, ReleaseAndUnlinkKeepsHeldObjectsCut) {
    TestItem item;
    auto* up = new TestStage(&item, &kInputId);
    auto* down = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(&down->input, up));
    up->AddRef();
    void* block = ComponentAllocBlock(up, 100);
    ASSERT_NE(block, nullptr);
    ComponentBase* back = up;
    bool called = false;
    ComponentAddSubscriber(
        up, reinterpret_cast<ComponentObject**>(&back), [](void* flag) { *static_cast<bool*>(flag) = true; }, &called);
    ComponentReleaseAndUnlink(up);  // one holder remains: cut out of the graph
    EXPECT_EQ(up->firstLink, nullptr);
    EXPECT_EQ(down->input.upstream, nullptr);
    EXPECT_EQ(up->firstBlock, nullptr);
    EXPECT_FALSE(called);
    up->Release();
    EXPECT_TRUE(called);
    EXPECT_EQ(back, nullptr);
    down->Release();
}

TEST(Component, SourceFileName) {
    TestItem item;
    auto* c = new TestStage(&item, &kInputId);
    char buffer[4096];
    EXPECT_FALSE(GetSourceFileName(c, buffer, nullptr));
    EXPECT_EQ(GetCurrentSourceRecord(c), nullptr);
    int record = 0;
    item.source.loaded = true;
    item.source.current = &record;
    item.source.fileName = "/data/a.fits";
    EXPECT_EQ(c->GetCurrentSourceRecord(), &record);
    ASSERT_TRUE(GetSourceFileName(c, buffer, nullptr));
    EXPECT_STREQ(buffer, "/data/a.fits");
    ASSERT_TRUE(GetSourceFileName(c, buffer, ".fs"));
    EXPECT_STREQ(buffer, "/data/a.fs");
    item.source.closing = true;
    EXPECT_FALSE(GetSourceFileName(c, buffer, nullptr));
    c->Release();
}

}  // namespace
}  // namespace orva
