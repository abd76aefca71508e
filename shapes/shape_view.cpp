#include "shapes/shape_view.h"

#include <new>

#include "toolkit/widget_props.h"

namespace orva {

ShapeEditFrameMaker& TheShapeEditFrameMaker() {
    static ShapeEditFrameMaker maker = nullptr;
    return maker;
}

struct MemoryShapeList::Node final : ShapeGlyph {
    explicit Node(Shape* shape) : ShapeGlyph(shape) {}
    Node* previous = nullptr;
    Node* next = nullptr;
};

MemoryShapeList::Node* MemoryShapeList::AsNode(const ShapeGlyph* glyph) {
    return static_cast<Node*>(const_cast<ShapeGlyph*>(glyph));
}

ShapeGlyph* MemoryShapeList::First() const { return first_; }

ShapeGlyph* MemoryShapeList::Last() const { return last_; }

ShapeGlyph* MemoryShapeList::Next(const ShapeGlyph* glyph) const {
    return glyph != nullptr ? AsNode(glyph)->next : nullptr;
}

ShapeGlyph* MemoryShapeList::Previous(const ShapeGlyph* glyph) const {
    return glyph != nullptr ? AsNode(glyph)->previous : nullptr;
}

ShapeGlyph* MemoryShapeList::MakeGlyph(Shape* shape) { return new (std::nothrow) Node(shape); }

void MemoryShapeList::Link(ShapeGlyph* first, ShapeGlyph* last) {
    if (first == nullptr || last == nullptr) return;
    Node* a = AsNode(first);
    Node* b = AsNode(last);
    a->previous = last_;
    if (last_ != nullptr) last_->next = a;
    else first_ = a;
    b->next = nullptr;
    last_ = b;
}

void MemoryShapeList::Unlink(ShapeGlyph* first, ShapeGlyph* last) {
    if (first == nullptr || last == nullptr) return;
    Node* a = AsNode(first);
    Node* b = AsNode(last);
    if (a->previous != nullptr) a->previous->next = b->next;
    else first_ = b->next;
    if (b->next != nullptr) b->next->previous = a->previous;
    else last_ = a->previous;
    a->previous = nullptr;
    b->next = nullptr;
}

void MemoryShapeList::Exchange(ShapeGlyph* first, ShapeGlyph* second) {
    gListExchange<Node, &Node::next, &Node::previous>(first_, last_, AsNode(first), AsNode(second));
}

}  // namespace orva
