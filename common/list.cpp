#include "common/list.h"

#include <cstdlib>

namespace orva {

namespace {

ListNode* NewNode(void* item) {
    auto* node = static_cast<ListNode*>(std::calloc(1, sizeof(ListNode)));
    if (node != nullptr) node->item = item;
    return node;
}

// Walks the chain from `node`, calling the item function (when given) on
// every non-empty item and the node function (when given) on every node,
// and frees the nodes.
void FreeChain(ListNode* node, ListItemFunction onItem, ListNodeFunction onNode) {
    while (node != nullptr) {
        ListNode* next = node->next;
        if (onItem != nullptr && node->item != nullptr) onItem(node->item);
        if (onNode != nullptr) onNode(node);
        std::free(node);
        node = next;
    }
}

}  // namespace

ListNode* ListAppend(ListHead* list, void* item) {
    if (list == nullptr) return nullptr;
    ListNode* node = NewNode(item);
    if (node == nullptr) return nullptr;
    ListNode* last = ListLast(list->head);
    if (last == nullptr) {
        list->head = node;
    } else {
        last->next = node;
        node->previous = last;
    }
    return node;
}

ListNode* ListPushBack(ListHeadTail* list, void* item) {
    if (list == nullptr) return nullptr;
    ListNode* node = NewNode(item);
    if (node == nullptr) return nullptr;
    // A holder whose tail was never set but that has a head is walked instead.
    ListNode* last = list->tail != nullptr ? list->tail : ListLast(list->head);
    if (last == nullptr) {
        list->head = node;
    } else {
        last->next = node;
        node->previous = last;
    }
    list->tail = node;
    return node;
}

ListNode* ListLast(ListNode* node) {
    if (node == nullptr) return nullptr;
    while (node->next != nullptr) node = node->next;
    return node;
}

ListNode* ListFindItem(ListNode* head, void* item) {
    for (ListNode* node = head; node != nullptr; node = node->next) {
        if (node->item == item) return node;
    }
    return nullptr;
}

uint32_t ListNodePosition(ListNode* first, ListNode* node) {
    if (first == nullptr || node == nullptr) return 0;
    uint32_t position = 1;
    for (ListNode* walk = first; walk != nullptr; walk = walk->next, ++position) {
        if (walk == node) return position;
    }
    position = 1;
    for (ListNode* walk = node; walk != nullptr; walk = walk->next, ++position) {
        if (walk == first) return position;
    }
    return 0;
}

uint32_t ListIndexOf(ListNode* head, void* item) {
    uint32_t count = 0;
    for (ListNode* node = head; node != nullptr; node = node->next) {
        if (node->item != nullptr) ++count;
        if (node->item == item) return count;
    }
    return count;
}

ListNode* ListStep(ListNode* node, int32_t* n) {
    if (node == nullptr || n == nullptr) return node;
    int32_t wanted = *n, made = 0;
    if (wanted > 0) {
        while (made < wanted && node->next != nullptr) {
            node = node->next;
            ++made;
        }
    } else {
        while (made > wanted && node->previous != nullptr) {
            node = node->previous;
            --made;
        }
    }
    *n = made;
    return node;
}

void* ListFillFreeSlot(ListHead* list, void* item, bool* stored) {
    if (stored != nullptr) *stored = false;
    if (list == nullptr) return nullptr;
    for (ListNode* node = list->head; node != nullptr; node = node->next) {
        if (node->item != nullptr) continue;
        node->item = item;
        if (stored != nullptr) *stored = true;
        if (node->next == nullptr) return nullptr;
        void* displaced = node->next->item;
        node->next->item = nullptr;
        return displaced;
    }
    ListNode* added = ListAppend(list, item);
    if (stored != nullptr) *stored = added != nullptr;
    return nullptr;
}

void ListUnlink(ListHead* list, ListNode* node) {
    if (node == nullptr) return;
    if (node->previous != nullptr) {
        node->previous->next = node->next;
    } else if (list != nullptr && list->head == node) {
        list->head = node->next;
    }
    if (node->next != nullptr) node->next->previous = node->previous;
    std::free(node);
}

bool ListRemoveItem(ListHead* list, void* item) {
    if (list == nullptr) return false;
    ListNode* node = ListFindItem(list->head, item);
    if (node == nullptr) return false;
    ListUnlink(list, node);
    return true;
}

uint32_t ListRemoveIf(ListHeadTail* list, ListItemPredicate predicate, void* context) {
    if (list == nullptr || predicate == nullptr) return 0;
    uint32_t removed = 0;
    ListNode* node = list->head;
    while (node != nullptr) {
        ListNode* next = node->next;
        if (predicate(node->item, context)) {
            if (node->previous != nullptr) {
                node->previous->next = next;
            } else {
                list->head = next;
            }
            if (next != nullptr) {
                next->previous = node->previous;
            } else {
                list->tail = node->previous;
            }
            std::free(node);
            ++removed;
        }
        node = next;
    }
    return removed;
}

void ListClear(ListHeadCount* list) {
    ListDestroyItems(list, nullptr);
}

void ListClearHead(ListHead* list) {
    ListDestroyItemsHead(list, nullptr);
}

void ListDestroyItems(ListHeadCount* list, ListItemFunction destroy) {
    if (list == nullptr) return;
    ListNode* chain = list->head;
    list->head = nullptr;
    list->count = 0;
    FreeChain(chain, destroy, nullptr);
}

void ListDestroyItemsHead(ListHead* list, ListItemFunction destroy) {
    if (list == nullptr) return;
    ListNode* chain = list->head;
    list->head = nullptr;
    FreeChain(chain, destroy, nullptr);
}

void ListDestroyNodes(ListHeadCount* list, ListNodeFunction destroy) {
    if (list == nullptr) return;
    ListNode* chain = list->head;
    list->head = nullptr;
    list->count = 0;
    FreeChain(chain, nullptr, destroy);
}

}  // namespace orva
