#include <gtest/gtest.h>

#include <vector>

#include "shape_test_support.h"
#include "shapes/item_result_list.h"
#include "shapes/result_code_error.h"
#include "shapes/shape_undo.h"

namespace orva {
namespace {

using shape_testing::MakeShape;

class TestGroup : public ItemGroup {
public:
    explicit TestGroup(int* destroyed) : destroyed_(destroyed) {}
    ~TestGroup() override { ++*destroyed_; }

private:
    int* destroyed_;
};

class ItemResultListTest : public ::testing::Test {
protected:
    ItemResultListTest() { TheShapeGlobals().Reset(); }
    ~ItemResultListTest() override { TheShapeGlobals().Reset(); }
    Shape* Keep(Shape* s) {
        held.emplace_back(s);
        return s;
    }
    std::vector<ShapeRef> held;  // destroyed after the lists below
    ItemResultList list;
};

TEST_F(ItemResultListTest, AddFindAndRemove) {
    Shape* a = Keep(MakeShape(kKindRect, {0, 0, 1, 1}));
    Shape* b = Keep(MakeShape(kKindRect, {0, 0, 2, 2}));
    EXPECT_EQ(list.Add(a), 1);
    EXPECT_EQ(list.Add(b), 1);
    EXPECT_EQ(list.currentIndex, 1u);
    EXPECT_EQ(a->refCount, 2u);
    EXPECT_EQ(a->itemEntry, &list.entries[0]);
    EXPECT_EQ(list.entries[0].list, &list);

    EXPECT_EQ(list.Find(b), 2);  // the current entry holds it
    EXPECT_EQ(list.Find(a), 1);  // its entry becomes current
    EXPECT_EQ(list.currentIndex, 0u);
    Shape* c = Keep(MakeShape(kKindRect, {0, 0, 3, 3}));
    EXPECT_EQ(list.Find(c), 1);  // a free shape is added
    EXPECT_EQ(list.Count(), 3u);

    // Another list's shape is refused and nothing changes.
    ItemResultList other;
    EXPECT_EQ(other.Add(a), 0);
    EXPECT_EQ(other.Find(a), 0);
    EXPECT_EQ(other.Count(), 0u);
    EXPECT_EQ(a->itemEntry->list, &list);
    list.busy = 1;
    EXPECT_EQ(list.Add(Keep(MakeShape(kKindRect, {0, 0, 1, 1}))), 0);
    list.busy = 0;

    // Adding a shape again moves it to a new entry at the end.
    EXPECT_EQ(list.Add(a), 1);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.entries[2].shape, a);
    EXPECT_EQ(a->itemEntry, &list.entries[2]);
    EXPECT_EQ(b->itemEntry, &list.entries[0]);

    // Removing the last entry moves the current index to the new last one.
    list.currentIndex = 2;
    EXPECT_TRUE(list.Remove(&list.entries[2]));
    EXPECT_EQ(list.currentIndex, 1u);
    EXPECT_EQ(a->itemEntry, nullptr);
    EXPECT_EQ(a->refCount, 1u);
    EXPECT_TRUE(list.Remove(&list.entries[0]));
    EXPECT_EQ(c->itemEntry, &list.entries[0]);
    EXPECT_TRUE(list.Remove(&list.entries[0]));
    EXPECT_EQ(list.currentIndex, 0u);
    EXPECT_FALSE(list.Remove(&list.entries[0]));
}

TEST_F(ItemResultListTest, BadEntriesAndSizesRaise) {
    Shape* a = Keep(MakeShape(kKindRect, {0, 0, 1, 1}));
    ASSERT_EQ(list.Add(a), 1);
    ASSERT_EQ(list.Add(Keep(MakeShape(kKindRect, {0, 0, 1, 1}))), 1);
    ItemResultEntry outside{};
    auto* inside = reinterpret_cast<ItemResultEntry*>(reinterpret_cast<char*>(list.entries) + 4);
    EXPECT_EQ(CatchResultCode([&] { list.Remove(&outside); }), kResultInvalidArg);
    EXPECT_EQ(CatchResultCode([&] { list.Remove(inside); }), kResultInvalidArg);
    EXPECT_EQ(CatchResultCode([&] { list.At(2); }), kResultInvalidArg);
    EXPECT_EQ(CatchResultCode([&] { list.SetCount(kItemResultMaxEntries + 1); }), kResultOutOfMemory);
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(CatchResultCode([&] { list.SetCount(1); }), 0u);  // shrinking releases the second
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(a->itemEntry, &list.entries[0]);
}

TEST_F(ItemResultListTest, ArrayGrowth) {
    std::vector<uint32_t> capacities;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(list.Add(Keep(MakeShape(kKindPoint, {0, 0}))), 1);
        capacities.push_back(list.capacity);
    }
    // One entry first, then count/8 more, at least 4.
    EXPECT_EQ(capacities, (std::vector<uint32_t>{1, 5, 5, 5, 5, 9, 9, 9, 9, 13, 13, 13}));
    list.SetCount(0);
    EXPECT_EQ(std::pair(list.entries, list.capacity), std::pair(static_cast<ItemResultEntry*>(nullptr), 0u));

    ItemResultList stepped;
    stepped.growthStep = 10;
    stepped.SetCount(3);
    EXPECT_EQ(stepped.capacity, 10u);
    stepped.SetCount(11);
    EXPECT_EQ(stepped.capacity, 20u);
    stepped.SetCount(45);
    EXPECT_EQ(stepped.capacity, 45u);

    ItemResultList large;
    large.SetCount(16000);
    large.SetCount(16001);
    EXPECT_EQ(large.capacity, 16000u + 1024);
}

TEST_F(ItemResultListTest, LinksFollowTheEntriesWhenTheArrayMoves) {
    int destroyed = 0;
    std::vector<Shape*> shapes;
    std::vector<TestGroup*> groups;
    for (int i = 0; i < 2000; ++i) {
        Shape* s = Keep(MakeShape(kKindRect, {0, 0, 1, 1}));
        ASSERT_EQ(list.Add(s), 1);
        shapes.push_back(s);
        if (i % 100 == 0) {
            auto* g = new TestGroup(&destroyed);
            g->size = 10;
            list.entries[i].group = g;
            g->holder = &list.entries[i];
            list.totalSize += g->size;
            groups.push_back(g);
        }
    }
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(shapes[i]->itemEntry, &list.entries[i]) << i;
    for (size_t k = 0; k < groups.size(); ++k) ASSERT_EQ(groups[k]->holder, &list.entries[k * 100]);
    list.Remove(&list.entries[0]);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(groups[1]->holder, &list.entries[99]);
    EXPECT_EQ(list.totalSize, 190);
    list.SetCount(0);
    EXPECT_EQ(destroyed, 20);
    EXPECT_EQ(list.totalSize, 0);
}

TEST_F(ItemResultListTest, GroupMembers) {
    int destroyed = 0;
    Shape* a = Keep(MakeShape(kKindRect, {0, 0, 1, 1}));
    Shape* b = Keep(MakeShape(kKindRect, {0, 0, 2, 2}));
    Shape* c = Keep(MakeShape(kKindRect, {0, 0, 3, 3}));
    auto* group = new TestGroup(&destroyed);
    ASSERT_TRUE(group->AddMember(a));
    ASSERT_TRUE(group->AddMember(b));
    group->shape = a;
    ASSERT_EQ(list.Add(c), 1);
    ASSERT_EQ(list.Add(Keep(MakeShape(kKindRect, {0, 0, 4, 4}))), 1);
    list.entries[0].group = group;
    group->holder = &list.entries[0];

    // A member of a held group makes its entry current and becomes the group's own shape.
    EXPECT_EQ(list.Find(b), 1);
    EXPECT_EQ(list.currentIndex, 0u);
    EXPECT_EQ(group->shape, b);
    EXPECT_EQ(list.Find(b), 2);
    // Adding a member binds it directly: it leaves the group.
    EXPECT_EQ(list.Add(a), 1);
    EXPECT_EQ(a->itemGroup, nullptr);
    EXPECT_EQ(group->memberCount, 1u);
    EXPECT_EQ(a->refCount, 2u);

    EXPECT_EQ(b->refCount, 2u);
    list.SetCount(0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(b->itemGroup, nullptr);
    EXPECT_EQ(b->refCount, 1u);
}

}  // namespace
}  // namespace orva
