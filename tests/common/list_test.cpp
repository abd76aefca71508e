#include "common/list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
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
    EXPECT_TRUE(ListLast(a) == c && ListLast(c) == c && ListLast(nullptr) == nullptr);
    EXPECT_TRUE(ListFindItem(list.head, Item(20)) == b &&
                ListFindItem(list.head, Item(99)) == nullptr);
    // (c, a): the first is counted from the node.
    EXPECT_EQ(std::vector<uint32_t>({ListNodePosition(a, a), ListNodePosition(a, c),
                                     ListNodePosition(c, a), ListNodePosition(b, c)}),
              std::vector<uint32_t>({1, 3, 3, 2}));

    ListHead other{nullptr};
    ListNode* lone = ListAppend(&other, Item(1));
    EXPECT_EQ(std::pair(ListNodePosition(a, lone), ListNodePosition(nullptr, a)),
              std::pair(0u, 0u));

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
    for (uintptr_t v : {5, 0, 7, 9}) ListAppend(&list, Item(v));
    // Absent (42): all non-empty nodes.
    const std::pair<uintptr_t, uint32_t> cases[] = {{5, 1}, {7, 2}, {9, 3}, {42, 3}};
    for (auto [item, index] : cases) EXPECT_EQ(ListIndexOf(list.head, Item(item)), index) << item;
    EXPECT_EQ(ListIndexOf(nullptr, Item(42)), 0u);
    ListClearHead(&list);
}

TEST(List, RemoveItem) {
    ListHead list{nullptr};
    for (uintptr_t v : {1, 2, 2}) ListAppend(&list, Item(v));
    // Each step: the item, whether it was found (only its first node goes) and what is left.
    const struct {
        uintptr_t item;
        bool removed;
        V left;
    } steps[] = {{3, false, {1, 2, 2}}, {2, true, {1, 2}}, {1, true, {2}}, {2, true, {}},
                 {2, false, {}}};
    for (const auto& s : steps) {
        EXPECT_EQ(ListRemoveItem(&list, Item(s.item)), s.removed) << s.item;
        EXPECT_EQ(Items(list.head), s.left) << s.item;
    }
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
    EXPECT_EQ(std::pair(Value(list.tail->item), list.tail->next),
              std::pair(uintptr_t{4}, static_cast<ListNode*>(nullptr)));

    ListPushBack(&list, Item(9));
    EXPECT_EQ(Items(list.head), (V{2, 4, 9}));

    auto all = [](void*, void*) { return true; };
    EXPECT_EQ(ListRemoveIf(&list, all, nullptr), 3u);
    EXPECT_TRUE(list.head == nullptr && list.tail == nullptr);
    ASSERT_NE(ListPushBack(&list, Item(11)), nullptr);
    EXPECT_EQ(list.head, list.tail);
    ListRemoveIf(&list, all, nullptr);
}

std::vector<uintptr_t> g_destroyed;
void RecordItem(void* item) { g_destroyed.push_back(Value(item)); }
void RecordNode(ListNode* node) { g_destroyed.push_back(Value(node->item) + 1000); }

TEST(List, ClearsAndDestroys) {
    // A counted list of the given items (0 for an empty node); the destroyed list cleared.
    auto build = [](std::initializer_list<uintptr_t> items) {
        ListHead h{nullptr};
        for (uintptr_t v : items) ListAppend(&h, Item(v));
        g_destroyed.clear();
        return ListHeadCount{h.head, static_cast<uint32_t>(items.size())};
    };
    auto emptied = [](const ListHeadCount& l) { return l.head == nullptr && l.count == 0u; };
    ListHeadCount counted = build({1, 0, 3});
    ListDestroyItems(&counted, RecordItem);  // empty nodes are skipped
    EXPECT_EQ(g_destroyed, (V{1, 3}));
    EXPECT_TRUE(emptied(counted));

    ListHead head{build({4, 0}).head};
    ListDestroyItemsHead(&head, RecordItem);
    EXPECT_EQ(g_destroyed, (V{4}));
    EXPECT_EQ(head.head, nullptr);

    counted = build({5, 0});
    ListDestroyNodes(&counted, RecordNode);  // every node, empty ones too
    EXPECT_EQ(g_destroyed, (V{1005, 1000}));
    EXPECT_TRUE(emptied(counted));

    counted = build({6});
    ListClear(&counted);
    EXPECT_TRUE(emptied(counted));
}

}  // namespace
}  // namespace orva
