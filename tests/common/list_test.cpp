#include "common/list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orva {
namespace {

void* Item(uintptr_t value) { return reinterpret_cast<void*>(value); }
uintptr_t Value(const void* item) { return reinterpret_cast<uintptr_t>(item); }

// Items from head to tail, checking the back links on the way.
std::vector<uintptr_t> Items(ListNode* head) {
    std::vector<uintptr_t> items;
    ListNode* previous = nullptr;
    for (ListNode* node = head; node != nullptr; node = node->next) {
        EXPECT_EQ(node->previous, previous);
        items.push_back(Value(node->item));
        previous = node;
    }
    return items;
}

using V = std::vector<uintptr_t>;

TEST(List, AppendFindPositionAndUnlink) {
    ListHead list{nullptr};
    ListNode* a = ListAppend(&list, Item(10));
    ListNode* b = ListAppend(&list, Item(20));
    ListNode* c = ListAppend(&list, Item(30));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(list.head, a);
    EXPECT_EQ(Items(list.head), (V{10, 20, 30}));
    EXPECT_EQ(ListLast(a), c);
    EXPECT_EQ(ListLast(c), c);
    EXPECT_EQ(ListLast(nullptr), nullptr);

    EXPECT_EQ(ListFindItem(list.head, Item(20)), b);
    EXPECT_EQ(ListFindItem(list.head, Item(99)), nullptr);

    EXPECT_EQ(ListNodePosition(a, a), 1u);
    EXPECT_EQ(ListNodePosition(a, c), 3u);
    EXPECT_EQ(ListNodePosition(c, a), 3u);  // first counted from the node
    EXPECT_EQ(ListNodePosition(b, c), 2u);

    ListHead other{nullptr};
    ListNode* lone = ListAppend(&other, Item(1));
    EXPECT_EQ(ListNodePosition(a, lone), 0u);
    EXPECT_EQ(ListNodePosition(nullptr, a), 0u);

    ListUnlink(&list, a);  // the head moves on
    EXPECT_EQ(list.head, b);
    EXPECT_EQ(Items(list.head), (V{20, 30}));
    ListUnlink(&list, c);
    EXPECT_EQ(Items(list.head), (V{20}));
    ListClearHead(&list);
    EXPECT_EQ(list.head, nullptr);
    ListClearHead(&other);
}

TEST(List, IndexOfCountsNonEmptyNodes) {
    ListHead list{nullptr};
    ListAppend(&list, Item(5));
    ListAppend(&list, nullptr);
    ListAppend(&list, Item(7));
    ListAppend(&list, Item(9));
    EXPECT_EQ(ListIndexOf(list.head, Item(5)), 1u);
    EXPECT_EQ(ListIndexOf(list.head, Item(7)), 2u);
    EXPECT_EQ(ListIndexOf(list.head, Item(9)), 3u);
    EXPECT_EQ(ListIndexOf(list.head, Item(42)), 3u);  // absent: all non-empty nodes
    EXPECT_EQ(ListIndexOf(nullptr, Item(42)), 0u);
    ListClearHead(&list);
}

TEST(List, RemoveItem) {
    ListHead list{nullptr};
    ListAppend(&list, Item(1));
    ListAppend(&list, Item(2));
    ListAppend(&list, Item(2));
    EXPECT_FALSE(ListRemoveItem(&list, Item(3)));
    EXPECT_EQ(Items(list.head), (V{1, 2, 2}));
    EXPECT_TRUE(ListRemoveItem(&list, Item(2)));  // the first one only
    EXPECT_EQ(Items(list.head), (V{1, 2}));
    EXPECT_TRUE(ListRemoveItem(&list, Item(1)));
    EXPECT_EQ(Items(list.head), (V{2}));
    EXPECT_TRUE(ListRemoveItem(&list, Item(2)));
    EXPECT_EQ(list.head, nullptr);
    EXPECT_FALSE(ListRemoveItem(&list, Item(2)));
}

TEST(List, FillFreeSlot) {
    ListHead list{nullptr};
    bool stored = false;
    // No empty node: appended.
    EXPECT_EQ(ListFillFreeSlot(&list, Item(1), &stored), nullptr);
    EXPECT_TRUE(stored);
    ListAppend(&list, nullptr);
    ListAppend(&list, Item(0x58));
    EXPECT_EQ(Items(list.head), (V{1, 0, 0x58}));
    // Second node empty, third holds X: the item goes into the second, X is
    // handed back and the third is emptied.
    EXPECT_EQ(Value(ListFillFreeSlot(&list, Item(2), &stored)), 0x58u);
    EXPECT_TRUE(stored);
    EXPECT_EQ(Items(list.head), (V{1, 2, 0}));
    // The empty node is the last one: filled, nothing handed back.
    EXPECT_EQ(ListFillFreeSlot(&list, Item(3)), nullptr);
    EXPECT_EQ(Items(list.head), (V{1, 2, 3}));
    EXPECT_EQ(ListFillFreeSlot(&list, Item(4)), nullptr);
    EXPECT_EQ(Items(list.head), (V{1, 2, 3, 4}));
    ListClearHead(&list);
}

bool IsOdd(void* item, void* context) {
    ++*static_cast<int*>(context);
    return (Value(item) & 1) != 0;
}

TEST(List, PushBackAndRemoveIfKeepHeadAndTail) {
    ListHeadTail list{nullptr, nullptr};
    for (uintptr_t v : {1, 2, 3, 4, 5, 7}) ASSERT_NE(ListPushBack(&list, Item(v)), nullptr);
    EXPECT_EQ(Items(list.head), (V{1, 2, 3, 4, 5, 7}));
    EXPECT_EQ(Value(list.tail->item), 7u);

    int calls = 0;
    EXPECT_EQ(ListRemoveIf(&list, IsOdd, &calls), 4u);
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(Items(list.head), (V{2, 4}));
    EXPECT_EQ(Value(list.head->item), 2u);
    EXPECT_EQ(Value(list.tail->item), 4u);
    EXPECT_EQ(list.tail->next, nullptr);

    ListPushBack(&list, Item(9));
    EXPECT_EQ(Items(list.head), (V{2, 4, 9}));

    auto all = [](void*, void*) { return true; };
    EXPECT_EQ(ListRemoveIf(&list, all, nullptr), 3u);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    ASSERT_NE(ListPushBack(&list, Item(11)), nullptr);
    EXPECT_EQ(list.head, list.tail);
    ListRemoveIf(&list, all, nullptr);
}

std::vector<uintptr_t> g_destroyed;
void RecordItem(void* item) { g_destroyed.push_back(Value(item)); }
void RecordNode(ListNode* node) { g_destroyed.push_back(Value(node->item) + 1000); }

TEST(List, ClearsAndDestroys) {
    ListHeadCount counted{nullptr, 0};
    ListHead head{nullptr};

    ListHead build{nullptr};
    ListAppend(&build, Item(1));
    ListAppend(&build, nullptr);
    ListAppend(&build, Item(3));
    counted = {build.head, 3};

    g_destroyed.clear();
    ListDestroyItems(&counted, RecordItem);  // empty nodes are skipped
    EXPECT_EQ(g_destroyed, (V{1, 3}));
    EXPECT_EQ(counted.head, nullptr);
    EXPECT_EQ(counted.count, 0u);

    ListAppend(&head, Item(4));
    ListAppend(&head, nullptr);
    g_destroyed.clear();
    ListDestroyItemsHead(&head, RecordItem);
    EXPECT_EQ(g_destroyed, (V{4}));
    EXPECT_EQ(head.head, nullptr);

    build.head = nullptr;
    ListAppend(&build, Item(5));
    ListAppend(&build, nullptr);
    counted = {build.head, 2};
    g_destroyed.clear();
    ListDestroyNodes(&counted, RecordNode);  // every node, empty ones too
    EXPECT_EQ(g_destroyed, (V{1005, 1000}));
    EXPECT_EQ(counted.head, nullptr);
    EXPECT_EQ(counted.count, 0u);

    build.head = nullptr;
    ListAppend(&build, Item(6));
    counted = {build.head, 1};
    ListClear(&counted);
    EXPECT_EQ(counted.head, nullptr);
    EXPECT_EQ(counted.count, 0u);
}

}  // namespace
}  // namespace orva
