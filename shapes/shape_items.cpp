#include "shapes/shape_items.h"

#include <new>

namespace orva {

bool ObjectList::Contains(const ShapeItem* object) const {
    for (const Node* n = head; n != nullptr; n = n->next)
        if (n->object == object) return true;
    return false;
}

bool ObjectList::Add(ShapeItem* object) {
    if (object == nullptr) return false;
    if (Contains(object)) return true;
    auto* node = new (std::nothrow) Node{object, nullptr, tail};
    if (node == nullptr) return false;
    object->AddRef();
    if (tail != nullptr) tail->next = node;
    else head = node;
    tail = node;
    return true;
}

void ObjectList::RemoveNode(Node* node) {
    if (node == nullptr) return;
    if (node->previous != nullptr) node->previous->next = node->next;
    else head = node->next;
    if (node->next != nullptr) node->next->previous = node->previous;
    else tail = node->previous;
    ShapeItem* object = node->object;
    delete node;
    if (object != nullptr) object->Release();
}

bool ObjectList::Remove(ShapeItem* object) {
    for (Node* n = head; n != nullptr; n = n->next) {
        if (n->object == object) {
            RemoveNode(n);
            return true;
        }
    }
    return false;
}

ShapeItem* ObjectList::Next(Node** cursor) {
    if (cursor == nullptr || *cursor == nullptr) return nullptr;
    ShapeItem* object = (*cursor)->object;
    *cursor = (*cursor)->next;
    return object;
}

void ObjectList::ReleaseAll() {
    while (head != nullptr) RemoveNode(head);
}

}  // namespace orva
