#pragma once
// The processing items that compute from a shape (the Reduction's items and
// those of other stages) as the shape sees them, and the reference-counted
// list in which a shape keeps them.
#include <cstdint>

namespace orva {

class Shape;

class ShapeItem {
public:
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;
    virtual bool Check(Shape* shape) = 0;
    // The shape is taken away from the item; true when the item let it go.
    virtual bool Detach(Shape* shape) = 0;
    // The shape leaves its view.
    virtual void Notify(Shape* shape) = 0;
    virtual void Refresh(int32_t flag) = 0;
    // Whether the item takes the shape as its own.
    virtual bool Accepts(Shape* shape) = 0;
    // Runs the item again when it runs at all (its stage refreshes downstream).
    virtual void Restart() = 0;

protected:
    ~ShapeItem() = default;
};

// A doubly linked list of items, each held once with one reference.
class ObjectList {
public:
    struct Node {
        ShapeItem* object;
        Node* next;
        Node* previous;
    };

    ObjectList() = default;
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;
    ~ObjectList() { ReleaseAll(); }

    // True when the item is there already; else a new node at the tail with a
    // reference added. False when no node can be had.
    bool Add(ShapeItem* object);
    // Unlinks the item's node, releases the item; false when it is absent.
    bool Remove(ShapeItem* object);
    void RemoveNode(Node* node);
    // The cursor's item, advancing the cursor; nullptr at the end.
    static ShapeItem* Next(Node** cursor);
    // Empties the list, releasing every item.
    void ReleaseAll();
    bool Contains(const ShapeItem* object) const;

    Node* head = nullptr;
    Node* tail = nullptr;
};

}  // namespace orva
