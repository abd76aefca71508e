#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

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
    EXPECT_TRUE(kComponentIdCatalogue[0] == &kNullId && kComponentIdCatalogue[5] == &kMainAppId &&
                kComponentIdCatalogue[22] == &kInputId &&
                kComponentIdCatalogue[66] == &kPlugSingleFilterPropId);
    EXPECT_STREQ(kComponentIdCatalogue[29]->name, "Reduction");
    // Equal codes are one identity (44/45, 60/61, 62/63 and 35/65); others all differ.
    int equalPairs = 0;
    for (int i = 0; i < 67; ++i)
        for (int j = i + 1; j < 67; ++j)
            if (*kComponentIdCatalogue[i] == *kComponentIdCatalogue[j]) ++equalPairs;
    EXPECT_EQ(equalPairs, 5);  // the three pairs above, 35/65 and 33/67
    EXPECT_TRUE(kParams2DId == kParams2DSecondId && kPlugGeometryId == kGeometryModuleId);
    // The null id equals itself only; a display name does not take part.
    for (int i = 1; i < 67; ++i) EXPECT_FALSE(kNullId == *kComponentIdCatalogue[i]) << i;
    ComponentId renamed = kReductionId;
    renamed.name = "Other";
    EXPECT_TRUE(renamed == kReductionId);
    EXPECT_TRUE(IdHasKind(&kInputPropId, kCodeProp) &&
                IdHasStage(&kDisplayCellId, FourCC("CELX"), FourCC("DRAW")));
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
    for (int expected : {3, 2, 1, 0})
        EXPECT_EQ(expected == 3 ? c->AddRef() : c->Release(), expected);
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
    EXPECT_TRUE(b->input.upstream == nullptr && up->firstLink == &a->input &&
                up->lastLink == &a->input);
    ComponentAppendLink(up, &a->input);  // its upstream already: unchanged
    EXPECT_EQ(a->input.next, nullptr);
    b->input.accept = true;
    ASSERT_TRUE(ConsumerAttach(&b->input, up));
    EXPECT_TRUE(up->lastLink == &b->input && b->input.previous == &a->input);
    EXPECT_TRUE(ConsumerRenegotiate(&b->input));
    ConsumerDetach(&a->input);
    EXPECT_TRUE(up->firstLink == &b->input && b->input.previous == nullptr);
    // Destroying the upstream leaves its consumers unbound.
    up->Release();
    EXPECT_EQ(b->input.upstream, nullptr);
    for (auto* x : {a, b}) x->Release();
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
    auto pull = [&] {
        int32_t code = ComponentPull(&down->input, &result, &request);
        return std::pair(code, int(result.pending));
    };
    EXPECT_EQ(ComponentPull(&down->input, &result, &request), 0);  // the default process function
    EXPECT_EQ(result.status, 0);
    up->process = &ReturnMinus5;
    result.pending = 1;
    EXPECT_EQ(pull(), std::pair(1, 0));
    EXPECT_EQ(pull().first, 0);
    up->process = &Return7;
    result.pending = 1;
    EXPECT_EQ(pull(), std::pair(7, 1));
    ComponentResetProcess(up);
    EXPECT_EQ(pull().first, 1);
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
    // Below a differing key: untouched.
    EXPECT_EQ(std::tuple(b->keyA.load(), c->keyA.load(), d->keyA.load()), std::tuple(0u, 8u, 7u));
    b->keyB = 5;
    c->keyB = 5;
    ComponentClearSecondFlagDownstream(a, 5);
    EXPECT_EQ(c->keyB.load(), 0u);
    d->keyB = 1;
    ComponentClearValidDownstream(a);  // b has no key left: the walk stops there
    EXPECT_EQ(c->keyA.load(), 8u);
    b->keyA = 1;
    ComponentInvalidate(a, 3, true);
    EXPECT_EQ(std::tuple(c->keyA.load(), d->keyA.load(), d->keyB.load()), std::tuple(0u, 0u, 0u));
    ComponentNotifyDownstream(a);
    EXPECT_EQ(std::pair(int(b->input.changed), int(d->input.changed)), std::pair(1, 1));
    for (auto* x : {d, c, b, a}) x->Release();
}

TEST(Component, PageMessagesAndSelection) {
    TestItem item;
    auto* c = new TestStage(&item, &kReductionId);
    for (int32_t code : {5, 5, 200, 200, 0}) PageSendMessage(c, code, 0);
    EXPECT_EQ(c->codes, (std::vector<int32_t>{5, 200, 200}));

    static int redraws;
    redraws = 0;
    ComponentServices saved = TheComponentServices();
    TheComponentServices().redrawComponentWindows = [](ComponentBase*) { ++redraws; };
    PageWindow pages;
    pages.flags = kPageWindowRebuild;
    c->pageWindow = &pages;
    c->panelBuilder = [](PageWindow*, void*, int32_t) { return 0; };
    auto select = [c](int32_t code) {
        MessageRecord m;
        m.code = code;
        return ComponentOnSelect(c, &m, 0);
    };
    EXPECT_TRUE(select(kMsgSelect));
    EXPECT_TRUE(pages.current == c && pages.flags == 0u);
    EXPECT_TRUE(select(kMsgSelect));  // already current: nothing redrawn
    EXPECT_EQ(redraws, 1);
    EXPECT_TRUE(select(kMsgDeselect) && pages.current == nullptr);
    EXPECT_FALSE(select(17));
    TheComponentServices() = saved;

    // Unlinking clears the item's references and the page window's current component.
    pages.current = c;
    item.currentWindows[2] = c;
    ComponentUnlinkAll(c);
    EXPECT_TRUE(pages.current == nullptr && item.currentWindows[2] == nullptr &&
                c->owner == nullptr);
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
    EXPECT_TRUE(up->firstLink == nullptr && down->input.upstream == nullptr &&
                up->firstBlock == nullptr);
    EXPECT_FALSE(called);
    up->Release();
    EXPECT_TRUE(called && back == nullptr);
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
