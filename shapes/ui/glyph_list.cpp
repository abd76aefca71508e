#include "shapes/ui/glyph_list.h"

#include <new>

#include "common/log.h"
#include "platform/window_api.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "toolkit/element_bits.h"
#include "toolkit/input.h"
#include "toolkit/widget_props.h"

namespace orva {

struct ToolkitShapeList::Glyph final : ShapeGlyph {
    explicit Glyph(Shape* shape) : ShapeGlyph(shape) {}
    ~Glyph() override {
        if (widget != nullptr && gWgtIsLive(widget)) {
            widget->handlerData = 0;
            gWgtDestroy(widget);
        }
    }
    void SetEnabled(bool on) override {
        ShapeGlyph::SetEnabled(on);
        if (widget != nullptr) widget->enabled = enabled;
    }
    void SetVisible(bool on) override {
        ShapeGlyph::SetVisible(on);
        Show();
    }
    void SetConcealed(bool on) override {
        ShapeGlyph::SetConcealed(on);
        Show();
    }
    // Flag bit 0 is set on every shape while a drawing tool places a new one: the press
    // that starts or goes on with the new shape is the view's, and no shape under the
    // pointer takes it (it is drawn still, and picked again once the tool ends).
    void SetFlag(uint32_t bits, bool on) override {
        ShapeGlyph::SetFlag(bits, on);
        if (widget != nullptr) widget->state6 = (flags & 1u) != 0 ? 1 : 0;
    }
    void Show() {
        if (widget != nullptr) widget->shown = visible != 0 && concealed == 0 ? 1 : 0;
    }

    gElement* widget = nullptr;
    Glyph* previous = nullptr;
    Glyph* next = nullptr;
};

namespace {

// The state bytes of a glyph: state 3, enabled; shown.
constexpr uint32_t kGlyphStateBytes = 0x01010003u;
constexpr uint32_t kGlyphShown = 1u;

void PaintGlyph(gElement* widget) {
    Shape* shape = ShapeOfGlyphWidget(widget);
    if (shape == nullptr) return;
    const int32_t kind = shape->header.kind;
    if (kind < 0 || kind >= kShapeKindCount) return;
    if (auto paint = TheShapeGlyphHooks().paint[kind]) paint(widget, shape);
}

void DragGlyph(gElement* widget, const pf::Point* at) {
    // A glyph follows the pointer while hot, so moves reach it with no button down: only
    // a drag (a button held since the press on it) moves the shape; a plain move is the
    // view's.
    if (gMouseButtonState() == 0) {
        Shape* shape = ShapeOfGlyphWidget(widget);
        if (auto over = TheShapeGlyphHooks().pointerOver; over != nullptr && at != nullptr && shape != nullptr)
            over(shape->container, at->x, at->y);
        return;
    }
    Shape* shape = ShapeOfGlyphWidget(widget);
    if (shape == nullptr) return;
    GlyphDragFor(shape->header.kind)(shape, gDragStep.x, gDragStep.y, gKeyModifiersNow());
}

bool PressGlyph(gElement* widget, uintptr_t data) {
    auto press = TheShapeGlyphHooks().press;
    return press != nullptr && press(widget, data);
}

// The glyph's click: nothing. A widget with a click stays the pressed widget until the
// button goes up, so that the press handler hears the release: the edit of the press and
// drag becomes one undo step there, and the drag's outline of the old place goes.
void ClickGlyph(gElement*, uintptr_t) {}

}  // namespace

ShapeGlyphHooks& TheShapeGlyphHooks() {
    static ShapeGlyphHooks hooks;
    return hooks;
}

Shape* ShapeOfGlyphWidget(const gElement* widget) {
    if (widget == nullptr || !gWgtIsLive(widget) || widget->kind != kShapeGlyphKind) return nullptr;
    return reinterpret_cast<Shape*>(widget->handlerData);
}

ToolkitShapeList::ToolkitShapeList(gWindow* w, gElement* a) : window(w), anchor(a) {
    static const bool observed = [] {
        gWgtAddDestroyObserver(&WidgetDestroyed);
        return true;
    }();
    (void)observed;
}

void ToolkitShapeList::WidgetDestroyed(gElement* widget) {
    // A glyph widget the window destroys leaves its glyph without a widget.
    Shape* shape = ShapeOfGlyphWidget(widget);
    if (shape == nullptr || shape->glyph == nullptr) return;
    Glyph* glyph = AsGlyph(shape->glyph);
    if (glyph->widget == widget) glyph->widget = nullptr;
}

ToolkitShapeList::Glyph* ToolkitShapeList::AsGlyph(const ShapeGlyph* glyph) {
    return static_cast<Glyph*>(const_cast<ShapeGlyph*>(glyph));
}

gElement* ToolkitShapeList::WidgetOf(const ShapeGlyph* glyph) {
    if (glyph == nullptr) return nullptr;
    gElement* widget = AsGlyph(glyph)->widget;
    return widget != nullptr && gWgtIsLive(widget) ? widget : nullptr;
}

ShapeGlyph* ToolkitShapeList::First() const { return first_; }

ShapeGlyph* ToolkitShapeList::Last() const { return last_; }

ShapeGlyph* ToolkitShapeList::Next(const ShapeGlyph* glyph) const {
    return glyph != nullptr ? AsGlyph(glyph)->next : nullptr;
}

ShapeGlyph* ToolkitShapeList::Previous(const ShapeGlyph* glyph) const {
    return glyph != nullptr ? AsGlyph(glyph)->previous : nullptr;
}

ShapeGlyph* ToolkitShapeList::MakeGlyph(Shape* shape) {
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    auto* glyph = new (std::nothrow) Glyph(shape);
    if (glyph == nullptr) return nullptr;
    WidgetDesc desc;
    desc.kind = kShapeGlyphKind;
    desc.style = kShapeGlyphStyle;
    desc.width = desc.height = kShapeGlyphSide;
    desc.paint = &PaintGlyph;
    desc.onPress = &PressGlyph;
    desc.onClick = &ClickGlyph;
    desc.state[1] = kGlyphStateBytes;
    desc.state[2] = kGlyphShown;
    gElement* widget = gWgtCreate(window, nullptr, nullptr, &desc, kWsTopLevel | kWsNoPlace);
    if (widget == nullptr) {
        delete glyph;
        return nullptr;
    }
    // Made unlinked: Link puts it into the chain.
    gWgtUnlink(widget);
    widget->handlerData = reinterpret_cast<uintptr_t>(shape);
    gWgtSetTag(widget, &DragGlyph);
    // Moves over the glyph come to it while it is hot, so that the picture's readouts
    // follow the pointer over the shape too.
    widget->dragFlags |= kDragFollowsPointer;
    pf::Cursor move = pf::LoadCursor(pf::kIdcSizeAll);
    if (move != nullptr) widget->cursor = widget->defaultCursor = move;
    glyph->widget = widget;
    return glyph;
}

void ToolkitShapeList::Link(ShapeGlyph* first, ShapeGlyph* last) {
    if (first == nullptr || last == nullptr) return;
    Glyph* a = AsGlyph(first);
    Glyph* b = AsGlyph(last);
    gElement* after = last_ != nullptr ? WidgetOf(last_) : anchor;
    if (after != nullptr && !gWgtIsLive(after)) after = nullptr;
    for (Glyph* g = a; g != nullptr; g = g == b ? nullptr : g->next) {
        if (gElement* w = WidgetOf(g)) {
            gWgtLinkAfter(w, after);
            after = w;
        }
    }
    a->previous = last_;
    if (last_ != nullptr) last_->next = a;
    else first_ = a;
    b->next = nullptr;
    last_ = b;
}

void ToolkitShapeList::Unlink(ShapeGlyph* first, ShapeGlyph* last) {
    if (first == nullptr || last == nullptr) return;
    Glyph* a = AsGlyph(first);
    Glyph* b = AsGlyph(last);
    for (Glyph* g = a; g != nullptr; g = g == b ? nullptr : g->next)
        if (gElement* w = WidgetOf(g)) gWgtUnlink(w);
    if (a->previous != nullptr) a->previous->next = b->next;
    else first_ = b->next;
    if (b->next != nullptr) b->next->previous = a->previous;
    else last_ = a->previous;
    a->previous = nullptr;
    b->next = nullptr;
}

void ToolkitShapeList::Exchange(ShapeGlyph* first, ShapeGlyph* second) {
    if (first == nullptr || second == nullptr || first == second) return;
    gElement* wa = WidgetOf(first);
    gElement* wb = WidgetOf(second);
    if (wa != nullptr && wb != nullptr) gWgtExchange(wa, wb);
    gListExchange<Glyph, &Glyph::next, &Glyph::previous>(first_, last_, AsGlyph(first), AsGlyph(second));
}

}  // namespace orva
