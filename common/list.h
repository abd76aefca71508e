#pragma once
// Doubly linked lists of heap nodes, used by C-style code throughout the
// program. A node holds one item (a pointer or a value; nullptr means the
// node is empty). Items belong to the list's user: the list never frees them,
// except through a destroy function the user hands in.
#include <cstdint>

namespace orva {

struct ListNode {
    ListNode* next;
    ListNode* previous;
    void* item;
};

// The three kinds of list holder.
struct ListHead {
    ListNode* head;
};

// The count is cleared by the operations here but not maintained by them.
struct ListHeadCount {
    ListNode* head;
    uint32_t count;
};

struct ListHeadTail {
    ListNode* head;
    ListNode* tail;
};

using ListItemPredicate = bool (*)(void* item, void* context);
using ListItemFunction = void (*)(void* item);
using ListNodeFunction = void (*)(ListNode* node);

// Appends a new node with the item after the last node (found by walking from
// the head). Returns the node, or nullptr when memory is short.
ListNode* ListAppend(ListHead* list, void* item);
// Adds a new node at the tail. Returns the node, or nullptr when memory is short.
ListNode* ListPushBack(ListHeadTail* list, void* item);
// The last node reachable from `node` (nullptr for nullptr).
ListNode* ListLast(ListNode* node);
// The first node whose item equals `item`, or nullptr.
ListNode* ListFindItem(ListNode* head, void* item);
// 1-based position of `node` counted from `first`; when `node` does not follow
// `first`, the 1-based position of `first` counted from `node`; 0 when
// neither reaches the other.
uint32_t ListNodePosition(ListNode* first, ListNode* node);
// The number of non-empty nodes up to and including the node holding `item`
// (all non-empty nodes when no node holds it).
uint32_t ListIndexOf(ListNode* head, void* item);
// Moves *n nodes forward (n > 0) or -n nodes backward (n < 0) from `node`. When an
// end comes first it stops at the last node reached and stores the steps made in *n
// (negative when backward). nullptr for nullptr.
ListNode* ListStep(ListNode* node, int32_t* n);
// Stores the item in the first empty node. When that node has a successor,
// the successor's item is returned and the successor emptied. Without an empty
// node a new node with the item is appended. Returns nullptr in every other
// case. `stored` (optional) tells whether the item went into the list: false
// only when a node was needed and memory was short.
void* ListFillFreeSlot(ListHead* list, void* item, bool* stored = nullptr);
// Unlinks the node (moving the head on when it was the first) and frees it.
void ListUnlink(ListHead* list, ListNode* node);
// Unlinks and frees the first node holding the item; false when there is none.
bool ListRemoveItem(ListHead* list, void* item);
// Unlinks and frees every node whose item the predicate accepts, keeping head
// and tail right. Returns the number of nodes removed.
uint32_t ListRemoveIf(ListHeadTail* list, ListItemPredicate predicate, void* context);
// Free all nodes; the holder is emptied first.
void ListClear(ListHeadCount* list);
void ListClearHead(ListHead* list);
// As the clears, calling `destroy` on every non-empty item before its node is freed.
void ListDestroyItems(ListHeadCount* list, ListItemFunction destroy);
void ListDestroyItemsHead(ListHead* list, ListItemFunction destroy);
// As ListClear, calling `destroy` on every node (not its item) before freeing it.
void ListDestroyNodes(ListHeadCount* list, ListNodeFunction destroy);

}  // namespace orva
