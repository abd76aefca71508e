#include "shapes/editing/edit_frame.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <unordered_set>

#include "app/field_readers.h"
#include "common/log.h"
#include "platform/cursor_resources.h"
#include "platform/window_api.h"
#include "shapes/editing/handle_drags.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_labels.h"
#include "shapes/ui/shape_panel.h"
#include "toolkit/element_bits.h"
#include "toolkit/edit_field.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

namespace pf = orva::platform;

constexpr uint32_t kDragX = 0x1, kDragY = 0x2, kDragBoth = kDragX | kDragY;
// State bytes of the frame's widgets: state 3, partial, enabled; shown.
constexpr uint32_t kFrameStateBytes = 0x01010003u;
constexpr uint32_t kCreateHandle = 0x40000000u;
constexpr uint32_t kCreatePlaced = 0x44000000u;
// What the aperture field holds at most.
constexpr int32_t kFieldLimit = 8;

// Set while the overlay draws the frame: the frame's own widgets draw only for picking.
bool& OverlayPainting() {
    static bool on = false;
    return on;
}

std::unordered_set<const ToolkitEditFrame*>& LiveFrames() {
    static std::unordered_set<const ToolkitEditFrame*> frames;
    return frames;
}

int32_t SlotOfId(int32_t id) { return id - kFrameSelectRect; }

bool IsEdgeId(int32_t id) { return id >= kHandleTop && id <= kHandleRight; }
bool IsResizeId(int32_t id) { return id >= kHandleTop && id <= kHandleBottomRight; }

// The pick group of a handle: the axes it moves along.
uint32_t PickGroup(int32_t id) {
    switch (id) {
        case kHandleTop:
        case kHandleBottom: return kDragY;
        case kHandleLeft:
        case kHandleRight: return kDragX;
        case kHandleTopLeft:
        case kHandleTopRight:
        case kHandleBottomLeft:
        case kHandleBottomRight:
        case kHandleOffset: return kDragBoth;
        default: return 0;
    }
}

// The cursor of a resource number, the arrow when it cannot be made.
pf::Cursor CursorOf(int id) {
    pf::Cursor c = pf::LoadCursor(id);
    return c != nullptr ? c : pf::LoadCursor(pf::kIdcArrow);
}

void SetCursorOf(gElement* e, int id) {
    if (e == nullptr) return;
    pf::Cursor c = CursorOf(id);
    if (e->cursor != c) e->cursor = e->defaultCursor = c;
}

void PutAt(gElement* e, float x, float y) {
    if (e == nullptr) return;
    e->x = e->homeX = e->placedX = x;
    e->y = e->homeY = e->placedY = y;
}

void SetShown(gElement* e, bool on) {
    if (e != nullptr) e->shown = on ? 1 : 0;
}

// The clip planes of the view's area, in window pixels.
void ClipToView(const ShapeView* v) {
    if (v == nullptr) return;
    const double x = v->windowRect[0], y = v->windowRect[1], w = v->clipWidth, h = v->clipHeight;
    const double planes[4][4] = {{1, 0, 0, -x}, {-1, 0, 0, x + w}, {0, 1, 0, -y}, {0, -1, 0, y + h}};
    for (int i = 0; i < 4; ++i) {
        glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
        glEnable(GL_CLIP_PLANE0 + i);
    }
}

void Unclip() {
    for (int i = 0; i < 4; ++i) glDisable(GL_CLIP_PLANE0 + i);
}

// The frame a procedure is called for, with its container and current shape.
struct Context {
    ToolkitEditFrame* frame = nullptr;
    ShapeContainer* container = nullptr;
    Shape* shape = nullptr;
};

bool ContextOf(const gElement* widget, Context* out) {
    ToolkitEditFrame* f = EditFrameOf(widget);
    if (f == nullptr || f->container == nullptr || f->container->editFrame != f) return false;
    out->frame = f;
    out->container = f->container;
    out->shape = f->container->current;
    if (out->container->view != nullptr) out->container->view->Follow();
    return out->shape != nullptr;
}

// Repaints the frame's window now.
void RepaintFrame(const ToolkitEditFrame* f) {
    if (gUiReady()) RepaintWindowAtOnce(f->window);
    else if (f->container->view != nullptr) f->container->view->Redraw();
}

// The edge and corner drags share one step function per family.
void EdgeDrag(gElement* handle) {
    Context c;
    if (!ContextOf(handle, &c)) return;
    EdgeDragStep(c.container, handle->kind, gDragStep.x, gDragStep.y, gKeyModifiersNow());
}

void CornerDrag(gElement* handle, int32_t id) {
    Context c;
    if (!ContextOf(handle, &c)) return;
    CornerDragStep(c.container, id, gDragStep.x, gDragStep.y, gKeyModifiersNow());
}

// The handles' click: nothing. A widget with a click is the pressed widget until the
// button goes up, so that its button procedure hears the release too.
void HandleClick(gElement*, uintptr_t) {}

// A widget of the frame made from a descriptor as a child of the select rectangle (or,
// without one, as a top-level widget), kept out of every layout group.
gElement* MakeWidget(gWindow* window, gElement* parent, WidgetDesc* desc, uint32_t flags) {
    gElement* e = gWgtCreate(window, nullptr, parent, desc, parent != nullptr ? flags : kWsTopLevel | flags);
    if (e == nullptr) return nullptr;
    gWgtLeaveRow(e);
    e->shown = 0;
    return e;
}

}  // namespace

// ---- The frame ------------------------------------------------------------------------------------

ToolkitEditFrame::ToolkitEditFrame(ShapeContainer* c, gWindow* w) : container(c), window(w) {
    LiveFrames().insert(this);
}

ToolkitEditFrame::~ToolkitEditFrame() {
    LiveFrames().erase(this);
    // The field and the select rectangle with its children (the handles and the pivot).
    if (gElement* field = Slot(kSlotField)) {
        field->handlerData = 0;
        gWgtDestroy(field);
    }
    if (gElement* rect = Slot(kSlotSelectRect)) {
        for (gElement* child = rect->nextChild; child != nullptr; child = child->nextChild) child->handlerData = 0;
        rect->handlerData = 0;
        gWgtDestroy(rect);
    }
    if (gElement* overlay = Overlay()) {
        overlay->handlerData = 0;
        gWgtDestroy(overlay);
    }
    overlay_ = nullptr;
    for (gElement*& e : slots_) e = nullptr;
}

gElement* ToolkitEditFrame::Slot(int32_t slot) const {
    if (slot < 0 || slot >= kFrameSlotCount) return nullptr;
    gElement* e = slots_[slot];
    if (e == nullptr || !gWgtIsLive(e) || e->dead) return nullptr;
    // A widget made later at the place of one of ours is not ours.
    if (e->handlerData != reinterpret_cast<uintptr_t>(this)) return nullptr;
    return e;
}

bool ToolkitEditFrame::Create() {
    if (created_ && Slot(kSlotSelectRect) != nullptr) return true;
    if (window == nullptr || gWinValidate(window) == nullptr) return false;
    for (gElement*& e : slots_) e = nullptr;
    created_ = false;
    const uintptr_t self = reinterpret_cast<uintptr_t>(this);

    WidgetDesc d;
    d.kind = kFrameSelectRect;
    d.style = kFrameWidgetStyle;
    d.width = d.height = d.cellWidth = d.cellHeight = kSelectRectSide;
    d.paint = &PaintSelectRect;
    d.state[1] = kFrameStateBytes;
    d.state[2] = 1;
    gElement* rect = MakeWidget(window, nullptr, &d, kWsNoPlace);
    if (rect == nullptr) {
        LogPrintf("%s", "Can`t create select rect...");
        return false;
    }
    rect->active = 0;  // only its handles take presses
    rect->handlerData = self;
    slots_[kSlotSelectRect] = rect;

    for (int32_t id = kHandleTop; id <= kHandleOffset; ++id) {
        WidgetDesc h;
        h.kind = id;
        h.style = kFrameWidgetStyle;
        h.width = h.height = h.cellWidth = h.cellHeight = kHandleSide;
        h.paint = id == kHandleOffset ? &PaintOffsetHandle : &PaintEditHandle;
        h.state[0] = PickGroup(id);
        h.state[1] = kFrameStateBytes;
        h.state[2] = 1;
        h.onPress = id == kHandleOffset ? &OffsetHandleButton : &ShapeHandleDown;
        h.onClick = &HandleClick;
        gElement* e = MakeWidget(window, rect, &h, kCreateHandle);
        if (e == nullptr) {
            LogPrintf("%s", "Can`t create select box...");
            continue;
        }
        e->handlerData = self;
        gWgtSetTag(e, GetHandleMouseProc(id));
        e->dragFlags |= kDragFollowsPointer;
        slots_[SlotOfId(id)] = e;
    }
    SetCursorOf(Slot(kSlotTop), pf::kCursorSizeNs);
    SetCursorOf(Slot(kSlotBottom), pf::kCursorSizeNs);
    SetCursorOf(Slot(kSlotLeft), pf::kCursorSizeWe);
    SetCursorOf(Slot(kSlotRight), pf::kCursorSizeWe);
    SetCursorOf(Slot(kSlotTopLeft), pf::kCursorSizeNwse);
    SetCursorOf(Slot(kSlotBottomRight), pf::kCursorSizeNwse);
    SetCursorOf(Slot(kSlotTopRight), pf::kCursorSizeNesw);
    SetCursorOf(Slot(kSlotBottomLeft), pf::kCursorSizeNesw);
    SetCursorOf(Slot(kSlotOffset), pf::kCursorOffset);

    WidgetDesc p;
    p.kind = kFramePivot;
    p.style = kFrameWidgetStyle;
    p.width = p.height = p.cellWidth = p.cellHeight = kPivotSide;
    p.paint = &PaintPivotCentre;
    p.state[0] = kDragBoth;
    p.state[1] = kFrameStateBytes;
    p.state[2] = 1;
    p.onPress = &ShapeHandleUp;
    p.onClick = &HandleClick;
    if (gElement* pivot = MakeWidget(window, rect, &p, kCreatePlaced)) {
        pivot->handlerData = self;
        gWgtSetTag(pivot, &PivotCentreDrag);
        pivot->dragFlags |= kDragFollowsPointer;
        SetCursorOf(pivot, pf::kCursorPivot);
        PutAt(pivot, 0.0f, 0.0f);
        slots_[kSlotPivot] = pivot;
    } else {
        LogPrintf("%s", "Can`t create pivot center...");
    }

    // The aperture field: a one-row edit field after the select rectangle.
    gWgtTemplate t{.desc = {.kind = 6, .style = kWsLeft | kWsTop, .width = kFieldWidth, .height = kFieldHeight,
                            .text = "0", .paint = &PaintOffsetField}};
    if (gElement* field = gWgtAdd(window, rect, &t, kWsTopLevel)) {
        gWgtLeaveRow(field);
        field->shown = 0;
        field->textLimit = kFieldLimit;
        field->onChange = &OffsetFieldChanged;
        field->handlerData = self;
        slots_[kSlotField] = field;
    }
    // The overlay: never picked, it draws the frame over the view and the shapes.
    WidgetDesc o;
    o.kind = kFrameOverlay;
    o.style = kFrameWidgetStyle;
    o.width = o.height = o.cellWidth = o.cellHeight = 1.0f;
    o.paint = &PaintFrameOverlay;
    o.state[1] = kFrameStateBytes;
    o.state[2] = 1;
    if (gElement* overlay = MakeWidget(window, nullptr, &o, kWsNoPlace)) {
        overlay->active = 0;
        overlay->shown = 1;
        overlay->handlerData = self;
        overlay_ = overlay;
    }
    created_ = true;
    KeepBeforeShapes();
    return true;
}

void ToolkitEditFrame::HideAll() {
    for (int32_t i = 0; i < kFrameSlotCount; ++i) SetShown(Slot(i), false);
}

void ToolkitEditFrame::ShowForMode() {
    Shape* s = container != nullptr ? container->current : nullptr;
    const int32_t mode = container != nullptr ? container->editMode : 0;
    const bool frame = s != nullptr && mode >= kEditResizeFrame;
    for (int32_t i = kSlotSelectRect; i <= kSlotBottomRight; ++i) SetShown(Slot(i), frame);
    SetShown(Slot(kSlotOffset), frame && mode == kEditResizeFrame && s->header.role >= kRoleSlice &&
                                    s->header.kind != kKindPoint);
    SetShown(Slot(kSlotPivot), frame && mode == kEditRotateFrame);
}

void ToolkitEditFrame::ShowOnly(gElement* handle) {
    for (int32_t i = 0; i < kFrameSlotCount; ++i) {
        gElement* e = Slot(i);
        if (e != nullptr && e != handle) SetShown(e, false);
    }
}

namespace {

// A top-level widget at the head of its window's chain.
void LinkFirst(gElement* e) {
    if (e == nullptr || e->prevChild != nullptr || e->window == nullptr) return;
    if (e->window->widgets.head == e) return;
    gWgtUnlink(e);
    gElement* head = e->window->widgets.head;
    gWgtLinkAfter(e, head);
    if (head != nullptr) gWgtExchange(e, head);
}

// A top-level widget at the end of its window's chain.
void LinkLast(gElement* e) {
    if (e == nullptr || e->prevChild != nullptr || e->window == nullptr || e->next == nullptr) return;
    gWgtUnlink(e);
    gWgtLinkAfter(e, nullptr);
}

}  // namespace

// The toolkit picks the first widget of the window's chain that the pointer hits, and
// paints the chain in order: the frame's widgets lead the chain, so that a handle over the
// view or a shape is the handle, and draw only for picking; the overlay at the chain's end
// draws them over everything else.
void ToolkitEditFrame::KeepBeforeShapes() {
    gElement* rect = Slot(kSlotSelectRect);
    if (rect == nullptr) return;
    LinkFirst(Slot(kSlotField));
    LinkFirst(Slot(kSlotPivot));  // a widget of its own, placed by the frame
    LinkFirst(rect);
    LinkLast(Overlay());
}

gElement* ToolkitEditFrame::Overlay() const {
    gElement* e = overlay_;
    if (e == nullptr || !gWgtIsLive(e) || e->dead) return nullptr;
    return e->handlerData == reinterpret_cast<uintptr_t>(this) ? e : nullptr;
}

void ToolkitEditFrame::Show(ShapeContainer& c) {
    CloseField();
    if (!Create()) return;
    // Shapes linked since the frame was made stand before it in the chain: the frame
    // leads again, so that a press on a handle over a shape takes the handle.
    KeepBeforeShapes();
    if (c.current == nullptr || c.editMode < kEditResizeFrame) {
        HideAll();
        up_ = false;
        return;
    }
    up_ = true;
    ShowForMode();
    PlaceFrame();
}

void ToolkitEditFrame::Hide(ShapeContainer&) {
    CloseField();
    HideAll();
    up_ = false;
    held = nullptr;
}

void ToolkitEditFrame::Place(ShapeContainer&) {
    if (up_) PlaceFrame();
}

void ToolkitEditFrame::SetEnabled(bool on) {
    for (int32_t i = 0; i < kFrameSlotCount; ++i)
        if (gElement* e = Slot(i)) e->enabled = on ? 1 : 0;
}

void ToolkitEditFrame::DropHighlight() {
    for (int32_t i = 0; i < kFrameSlotCount; ++i)
        if (gElement* e = Slot(i)) e->highlight = 0;
}

// ---- Placement ---------------------------------------------------------------------------------

void ToolkitEditFrame::DataToWindow(double x, double y, double* px, double* py) const {
    const ShapeView* v = container != nullptr ? container->view : nullptr;
    if (v == nullptr) {
        *px = x;
        *py = y;
        return;
    }
    const double sx = v->pixelScale.flag != 0 ? v->pixelScale.x : 1.0;
    const double sy = v->pixelScale.flag != 0 ? v->pixelScale.y : 1.0;
    *px = x * sx + v->originX + v->displayOffsetX;
    *py = y * sy + v->originY + v->displayOffsetY;
}

void ToolkitEditFrame::WindowToData(double px, double py, double* x, double* y) const {
    const ShapeView* v = container != nullptr ? container->view : nullptr;
    if (v == nullptr) {
        *x = px;
        *y = py;
        return;
    }
    *x = px - v->displayOffsetX - v->originX;
    *y = py - v->displayOffsetY - v->originY;
    if (v->zoom.active != 0) {
        *x *= v->zoom.x;
        *y *= v->zoom.y;
    }
}

namespace {

// One axis of the frame: its start and side for a box side s starting at `start`.
void FrameAxis(double start, double s, double grow, float* outStart, float* outSide) {
    if (std::fabs(s) < 18.0) {
        const double side = s < 0.0 ? -kSelectRectSide : kSelectRectSide;
        *outStart = static_cast<float>(std::floor(start - (side - s) * 0.5 + 0.5));
        *outSide = static_cast<float>(side);
    } else if (s > 0.0) {
        *outStart = static_cast<float>(start - 10.0);
        *outSide = static_cast<float>(s + grow);
    } else {
        *outStart = static_cast<float>(start + 10.0);
        *outSide = static_cast<float>(s - 21.0);
    }
}

}  // namespace

void ToolkitEditFrame::PlaceFrame() {
    Shape* s = container != nullptr ? container->current : nullptr;
    gElement* rect = Slot(kSlotSelectRect);
    if (s == nullptr || rect == nullptr) return;
    const ShapeView* v = container->view;
    const double sx = v != nullptr && v->pixelScale.flag != 0 ? v->pixelScale.x : 1.0;
    const double sy = v != nullptr && v->pixelScale.flag != 0 ? v->pixelScale.y : 1.0;
    const ShapeBoxBlock& b = s->header.box;
    double bx = 0.0, by = 0.0;
    DataToWindow(b.x, b.y, &bx, &by);
    float x = 0.0f, y = 0.0f, w = 0.0f, h = 0.0f;
    FrameAxis(bx, b.w * sx, 21.0, &x, &w);
    FrameAxis(by, b.h * sy, 20.0, &y, &h);
    PutAt(rect, x, y);
    rect->width = rect->cellWidth = w;
    rect->height = rect->cellHeight = h;
    PlaceHandles(x, y, w, h);
}

void ToolkitEditFrame::PlaceHandles(float x, float y, float w, float h) {
    PutAt(Slot(kSlotTop), x + (w - 6.0f) * 0.5f, y - 4.0f);
    PutAt(Slot(kSlotBottom), x + (w - 6.0f) * 0.5f, y - 4.0f + h);
    PutAt(Slot(kSlotLeft), x - 3.0f, y + (h - 6.0f) * 0.5f);
    PutAt(Slot(kSlotRight), x - 3.0f + w, y + (h - 6.0f) * 0.5f);
    PutAt(Slot(kSlotTopLeft), x - 3.0f, y - 4.0f);
    PutAt(Slot(kSlotTopRight), x - 3.0f + w, y - 4.0f);
    PutAt(Slot(kSlotBottomLeft), x - 3.0f, y - 4.0f + h);
    PutAt(Slot(kSlotBottomRight), x - 3.0f + w, y - 4.0f + h);
    SetHandleProcs(container != nullptr && container->editMode == kEditRotateFrame, w, h);
    PlaceInfoLabel();
}

void ToolkitEditFrame::SetHandleProcs(bool rotate, float w, float h) {
    gElement* top = Slot(kSlotTop);
    if (!rotate) {
        if (top == nullptr || top->onDrag != &ShapeHandleDrag) {
            for (int32_t id = kHandleTop; id <= kHandleBottomRight; ++id) {
                gElement* e = Slot(SlotOfId(id));
                if (e == nullptr) continue;
                gWgtSetTag(e, GetHandleMouseProc(id));
                e->dragFlags = (e->dragFlags & ~kDragBoth) | PickGroup(id);
            }
        }
        SetCursorOf(Slot(kSlotTop), pf::kCursorSizeNs);
        SetCursorOf(Slot(kSlotBottom), pf::kCursorSizeNs);
        SetCursorOf(Slot(kSlotLeft), pf::kCursorSizeWe);
        SetCursorOf(Slot(kSlotRight), pf::kCursorSizeWe);
        const bool same = (w < 0.0f) == (h < 0.0f);
        const int main = same ? pf::kCursorSizeNwse : pf::kCursorSizeNesw;
        const int other = same ? pf::kCursorSizeNesw : pf::kCursorSizeNwse;
        SetCursorOf(Slot(kSlotTopLeft), main);
        SetCursorOf(Slot(kSlotBottomRight), main);
        SetCursorOf(Slot(kSlotTopRight), other);
        SetCursorOf(Slot(kSlotBottomLeft), other);
        return;
    }
    if (top == nullptr || top->onDrag != &RotateHandleDrag) {
        for (int32_t i = kSlotTop; i <= kSlotBottomRight; ++i) {
            gElement* e = Slot(i);
            if (e == nullptr) continue;
            gWgtSetTag(e, &RotateHandleDrag);
            e->dragFlags |= kDragBoth;
        }
    }
    HandleAngles();
}

void ToolkitEditFrame::HandleAngles() {
    Shape* s = container != nullptr ? container->current : nullptr;
    if (s == nullptr) return;
    double px = 0.0, py = 0.0;
    DataToWindow(s->header.pivotX, s->header.pivotY, &px, &py);
    for (int32_t i = kSlotTop; i <= kSlotBottomRight; ++i) {
        gElement* e = Slot(i);
        if (e == nullptr) continue;
        SetCursorOf(e, RotationCursor(DirectionSector(e->x - px, e->y - py)));
    }
}

void ToolkitEditFrame::PlaceInfoLabel() {
    Shape* s = container != nullptr ? container->current : nullptr;
    if (s == nullptr) return;
    const ShapeBoxBlock& b = s->header.box;
    double cx = 0.0, cy = 0.0;
    DataToWindow(b.x + b.w * 0.5, b.y + b.h * 0.5, &cx, &cy);
    PutAt(Slot(kSlotOffset), static_cast<float>(cx), static_cast<float>(cy));
    double px = 0.0, py = 0.0;
    DataToWindow(s->header.pivotX, s->header.pivotY, &px, &py);
    PutAt(Slot(kSlotPivot), static_cast<float>(px - kPivotSide * 0.5), static_cast<float>(py - kPivotSide * 0.5));
    gElement* field = Slot(kSlotField);
    if (field == nullptr || !field->shown || window == nullptr) return;
    float fx = static_cast<float>(cx) + 10.0f, fy = static_cast<float>(cy) + 18.0f;
    const float right = static_cast<float>(window->clientWidth) - field->width;
    const float bottom = static_cast<float>(window->clientHeight) - field->height;
    if (fx > right) fx = right - 4.0f;
    if (fy > bottom) fy = bottom - 4.0f;
    gWgtShiftChain(field, fx - field->x, fy - field->y);
}

// ---- The aperture field ----------------------------------------------------------------------------

bool ToolkitEditFrame::FieldShown() const {
    const gElement* f = Slot(kSlotField);
    return f != nullptr && f->shown != 0;
}

void ToolkitEditFrame::CloseField() {
    gElement* f = Slot(kSlotField);
    if (f == nullptr || f->shown == 0) return;
    if (gFocusWidget == f) gWgtKillFocus(f);
    f->shown = 0;
}

void ToolkitEditFrame::OpenField() {
    gElement* f = Slot(kSlotField);
    Shape* s = container != nullptr ? container->current : nullptr;
    if (f == nullptr || s == nullptr) return;
    f->shown = 1;
    PlaceInfoLabel();
    char text[11] = {};
    const int n = std::snprintf(text, sizeof text, "%u", s->header.offset.Extent() + 1u);
    if (n < 0 || n >= static_cast<int>(sizeof text)) text[10] = '\0';
    gWgtSetText(f, text);
    if (gUiReady() && window != nullptr && (window->state & kNotDrawnMask) == 0) RepaintWindowAtOnce(window);
}

// ---- Rotation feedback -----------------------------------------------------------------------------

void ToolkitEditFrame::Rotated(const RotateDrag& drag, double dirX, double dirY) {
    const int32_t now = DirectionSector(dirX, dirY);
    if (now != sector) {
        sector = now;
        if (held != nullptr && Slot(SlotOfId(held->kind)) == held) {
            SetCursorOf(held, RotationCursor(now));
            if (window != nullptr) window->cursor = held->cursor;
            pf::SetCursor(held->cursor);
        }
    }
    RepaintFrame(this);
    ShapePanelSync(drag.shape);
    gWinRefreshAll();
}

// ---- Procedures ------------------------------------------------------------------------------------

ToolkitEditFrame* EditFrameOf(const gElement* widget) {
    if (widget == nullptr || !gWgtIsLive(widget)) return nullptr;
    auto* f = reinterpret_cast<ToolkitEditFrame*>(widget->handlerData);
    return f != nullptr && LiveFrames().count(f) != 0 ? f : nullptr;
}

HandleMouseProc GetHandleMouseProc(int32_t id) {
    switch (id) {
        case kHandleTop:
        case kHandleBottom:
        case kHandleLeft:
        case kHandleRight: return &ShapeHandleDrag;
        case kHandleTopLeft: return &DragTopLeftHandle;
        case kHandleTopRight: return &DragTopRightHandle;
        case kHandleBottomLeft: return &DragBottomLeftHandle;
        case kHandleBottomRight: return &DragBottomRightHandle;
        case kHandleOffset: return &OffsetHandleDrag;
        default: return nullptr;
    }
}

bool ShapeHandleDown(gElement* handle, uintptr_t) {
    Context c;
    if (!ContextOf(handle, &c)) return true;
    ToolkitEditFrame* f = c.frame;
    const int state = gMouseButtonState();
    if (state == 0) {
        // The release: the frame comes back and the drag is one step.
        f->held = nullptr;
        f->sector = -1;
        EndHandleDrag(c.container);
        if (c.container->current == c.shape) {
            f->ShowForMode();
            f->PlaceFrame();
        }
        RepaintFrame(f);
        ShapePanelSync(c.shape);
        return true;
    }
    if (state == 2 || state == 6) {
        c.container->ToggleEditMode(c.shape);
        RepaintFrame(f);
        return true;
    }
    if (!BeginHandleDrag(c.container)) return true;
    f->held = handle;
    f->sector = -1;
    f->WindowToData(gCursorPos.x, gCursorPos.y, &f->rotateStart[0], &f->rotateStart[1]);
    f->ShowOnly(handle);
    return true;
}

namespace {

// A move with no button down over a handle is the picture's (its readouts follow the
// pointer over the handles too), not a drag.
bool PassPlainMove(const gElement* handle, const pf::Point* at) {
    if (gMouseButtonState() != 0) return false;
    ToolkitEditFrame* f = EditFrameOf(handle);
    if (auto over = TheShapeGlyphHooks().pointerOver; over != nullptr && f != nullptr && at != nullptr)
        over(f->container, at->x, at->y);
    return true;
}

}  // namespace

void ShapeHandleDrag(gElement* handle, const pf::Point* at) {
    if (PassPlainMove(handle, at)) return;
    if (handle != nullptr && IsEdgeId(handle->kind)) EdgeDrag(handle);
}

void DragTopLeftHandle(gElement* handle, const pf::Point* at) {
    if (!PassPlainMove(handle, at)) CornerDrag(handle, kHandleTopLeft);
}
void DragTopRightHandle(gElement* handle, const pf::Point* at) {
    if (!PassPlainMove(handle, at)) CornerDrag(handle, kHandleTopRight);
}
void DragBottomLeftHandle(gElement* handle, const pf::Point* at) {
    if (!PassPlainMove(handle, at)) CornerDrag(handle, kHandleBottomLeft);
}
void DragBottomRightHandle(gElement* handle, const pf::Point* at) {
    if (!PassPlainMove(handle, at)) CornerDrag(handle, kHandleBottomRight);
}

void RotateHandleDrag(gElement* handle, const pf::Point* at) {
    if (PassPlainMove(handle, at)) return;
    Context c;
    if (!ContextOf(handle, &c) || !IsResizeId(handle->kind)) return;
    double mx = 0.0, my = 0.0;
    c.frame->WindowToData(gCursorPos.x, gCursorPos.y, &mx, &my);
    RotateDragStep(c.container, c.frame->rotateStart[0], c.frame->rotateStart[1], mx, my, gKeyModifiersNow(),
                   c.frame);
}

bool OffsetHandleButton(gElement* handle, uintptr_t) {
    Context c;
    if (!ContextOf(handle, &c)) return handle != nullptr && handle->value != 0;
    ToolkitEditFrame* f = c.frame;
    const int state = gMouseButtonState();
    if (state == 0 || handle->value == 0) {
        c.container->PushUndo(c.shape, kUndoOffset);
        f->ShowForMode();
        f->PlaceFrame();
        RepaintFrame(f);
        return true;
    }
    if (state == 2 || state == 6) {
        c.container->ToggleEditMode(c.shape);
        RepaintFrame(f);
        return true;
    }
    c.shape->BeginEdit();
    if (c.shape->header.kind == kKindPoint) return false;
    if (EffectiveLabelLevel(*c.shape) > 1) return true;
    f->OpenField();
    return true;
}

void OffsetHandleDrag(gElement* handle, const pf::Point* at) {
    if (PassPlainMove(handle, at)) return;
    if (gDragStep.x == 0 && gDragStep.y == 0) return;
    Context c;
    if (!ContextOf(handle, &c)) return;
    ToolkitEditFrame* f = c.frame;
    Shape* s = c.shape;
    if (!OffsetDragStep(s, gDragStep.x, gDragStep.y, gKeyModifiersNow())) return;
    gElement* field = f->Slot(kSlotField);
    if (field != nullptr && field->shown && gFocusWidget != field) {
        char text[11] = {};
        const int n = std::snprintf(text, sizeof text, "%u", s->header.offset.Extent() + 1u);
        if (n > 0 && n < static_cast<int>(sizeof text)) gWgtSetText(field, text);
    }
    if (gElement* rect = f->Slot(kSlotSelectRect); rect != nullptr && rect->shown)
        for (int32_t i = kSlotSelectRect; i <= kSlotPivot; ++i) SetShown(f->Slot(i), false);
    if (c.container->current == s) f->PlaceInfoLabel();
    s->UpdateGeometry(kUpdateOffsetOnly);
    const bool restarted = RestartLinkedItems(s);
    RedrawChangedShape(s, restarted);
    ShapePanelSync(s);
}

void OffsetFieldChanged(gElement* field, uintptr_t) {
    Context c;
    if (!ContextOf(field, &c)) return;
    uint32_t value = 0;
    // Not a number: the calculator's complaint is on the status line, nothing changes.
    if (!ReadFieldUInt(field, &value, true)) return;
    // Limited as the panel's aperture: a width the view's data cannot hold is not built.
    c.shape->BeginEdit();
    if (c.shape->SetApertureChecked(value, kApertureCentred)) c.container->PushUndo(c.shape, kUndoOffset);
}

bool ShapeHandleUp(gElement* pivot, uintptr_t) {
    Context c;
    if (!ContextOf(pivot, &c)) return true;
    ToolkitEditFrame* f = c.frame;
    Shape* s = c.shape;
    const int state = gMouseButtonState();
    if (state == 0 || pivot->value == 0) {
        if (s->header.kind == kKindPoint) return true;
        f->HandleAngles();
        c.container->PushUndo(s, kUndoPivot);
        RepaintFrame(f);
        ShapePanelSync(s);
        return true;
    }
    if (state == 2 || state == 6) {
        c.container->ToggleEditMode(s);
        RepaintFrame(f);
        return true;
    }
    TheShapeGlobals().oldBox = s->chainNext != nullptr ? c.container->selectionBox : s->header.box;
    for (Shape* t = s; t != nullptr; t = t->chainNext) t->BeginEdit();
    return true;
}

void PivotCentreDrag(gElement* pivot, const pf::Point* at) {
    if (PassPlainMove(pivot, at)) return;
    if (gDragStep.x == 0 && gDragStep.y == 0) return;
    Context c;
    if (!ContextOf(pivot, &c) || c.shape->header.kind == kKindPoint) return;
    const ShapeView* v = c.container->view;
    double dx = gDragStep.x, dy = gDragStep.y;
    if (v != nullptr && v->zoom.active != 0) {
        dx *= v->zoom.x;
        dy *= v->zoom.y;
    }
    {
        ShapeLock lock(c.shape);
        c.shape->header.pivotX += dx;
        c.shape->header.pivotY += dy;
        // A pivot the user put stays where it is.
        c.shape->header.pivotPinned = 1;
    }
    c.frame->PlaceInfoLabel();
    RepaintFrame(c.frame);
    ShapePanelSync(c.shape);
}

// ---- Painters -------------------------------------------------------------------------------------

void PaintSelectRect(gElement* e) {
    if (gIsPicking() || !OverlayPainting()) return;
    ToolkitEditFrame* f = EditFrameOf(e);
    if (f == nullptr) return;
    // The frame follows the view as it scrolls and zooms.
    if (f->Shown() && f->container->handleDragging == 0) {
        if (f->container->view != nullptr) f->container->view->Follow();
        f->PlaceFrame();
    }
    ClipToView(f->container->view);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
    glColor3f(1.0f, 1.0f, 1.0f);
    const float x = e->x + 0.5f, y = e->y + 0.5f, w = e->width - 1.0f, h = e->height - 1.0f;
    glBegin(GL_LINE_LOOP);
    glVertex2f(x, y);
    glVertex2f(x + w, y);
    glVertex2f(x + w, y + h);
    glVertex2f(x, y + h);
    glEnd();
    glDisable(GL_BLEND);
    Unclip();
}

void PaintEditHandle(gElement* e) {
    if (!gIsPicking() && !OverlayPainting()) return;
    const float x = std::floor(e->x), y = std::floor(e->y), s = kHandleSide;
    if (gIsPicking()) {
        gPickRect(x, y, x + s, y + s);
        return;
    }
    ToolkitEditFrame* f = EditFrameOf(e);
    if (f != nullptr) ClipToView(f->container->view);
    glColor3f(1.0f, 1.0f, 1.0f);
    glRectf(x, y, x + s, y + s);
    if (e->highlight != 0) glColor3f(1.0f, 0.0f, 0.0f);
    else glColor3f(0.0f, 0.0f, 0.9f);
    glRectf(x + 1.0f, y + 1.0f, x + s - 1.0f, y + s - 1.0f);
    if (e->kind == kHandleBottomRight || e->kind == kHandleTopLeft) {
        if (e->kind == kHandleBottomRight) glColor3f(1.0f, 0.0f, 0.0f);
        else glColor3f(0.0f, 1.0f, 0.0f);
        glRectf(x + 2.0f, y + 2.0f, x + s - 2.0f, y + s - 2.0f);
    }
    Unclip();
}

void PaintOffsetHandle(gElement* e) {
    if (!gIsPicking() && !OverlayPainting()) return;
    const float x = std::floor(e->x), y = std::floor(e->y);
    if (gIsPicking()) {
        gPickRect(x - 5.0f, y - 5.0f, x + 5.0f, y + 5.0f);
        return;
    }
    ToolkitEditFrame* f = EditFrameOf(e);
    if (f != nullptr) ClipToView(f->container->view);
    // A small diamond.
    glColor3f(0.7f, 0.8f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2f(x + 0.5f, y - 4.0f);
    glVertex2f(x + 5.0f, y + 0.5f);
    glVertex2f(x + 0.5f, y + 5.0f);
    glVertex2f(x - 4.0f, y + 0.5f);
    glEnd();
    glColor3f(0.1f, 0.1f, 0.3f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x + 0.5f, y - 4.0f);
    glVertex2f(x + 5.0f, y + 0.5f);
    glVertex2f(x + 0.5f, y + 5.0f);
    glVertex2f(x - 4.0f, y + 0.5f);
    glEnd();
    Unclip();
}

// The aperture field stands over the picture: its own colours, not the window's (a black
// picture window would make it a black box), and a one-pixel mark after its value, green
// while the value is below the largest aperture the view takes, red at it.
void PaintOffsetField(gElement* e) {
    static constexpr float kBack[3] = {0.549f, 0.8f, 0.8f}, kFocused[3] = {0.649f, 0.9f, 0.9f},
                           kSecond[3] = {0.8f, 0.549f, 0.8f}, kSelection[3] = {1.0f, 1.0f, 0.54f};
    static constexpr uint8_t kText[3] = {30, 44, 85};
    const float* back = !e->enabled ? kSecond : gFocusWidget == e ? kFocused : kBack;
    gPaintFlatEditField(e, back, kSelection, kText);
    if (gIsPicking()) return;
    ToolkitEditFrame* f = EditFrameOf(e);
    const Shape* s = f != nullptr && f->container != nullptr ? f->container->current : nullptr;
    uint32_t value = 0;
    if (s == nullptr || std::sscanf(e->text.c_str(), "%u", &value) != 1) return;
    const float x = std::floor(e->x + e->cellWidth) - 2.0f;
    if (value < s->ApertureLimit(-1))
        glColor3f(0.0f, 0.55f, 0.0f);
    else
        glColor3f(0.8f, 0.0f, 0.0f);
    glRectf(x, e->y + 2.0f, x + 1.0f, e->y + e->cellHeight - 1.0f);
}

void PaintPivotCentre(gElement* e) {
    if (!gIsPicking() && !OverlayPainting()) return;
    ToolkitEditFrame* f = EditFrameOf(e);
    Shape* s = f != nullptr && f->container != nullptr ? f->container->current : nullptr;
    if (s == nullptr) return;
    double px = 0.0, py = 0.0;
    f->DataToWindow(s->header.pivotX, s->header.pivotY, &px, &py);
    const float x = static_cast<float>(std::floor(px)) + 0.5f, y = static_cast<float>(std::floor(py)) + 0.5f;
    if (gIsPicking()) {
        gPickRect(x - 5.0f, y - 5.0f, x + 5.0f, y + 5.0f);
        return;
    }
    ClipToView(f->container->view);
    const bool pinned = s->header.pivotPinned != 0, hot = e->highlight != 0;
    if (pinned) glColor3f(hot ? 0.4f : 0.3f, hot ? 1.0f : 0.8f, hot ? 0.5f : 0.3f);
    else glColor3f(hot ? 1.0f : 0.8f, hot ? 0.6f : 0.5f, 0.7f);
    glBegin(GL_LINE_LOOP);
    for (int k = 0; k < 32; ++k) {
        const double a = k * 3.14159265358979323846 / 16.0;
        glVertex2f(x + static_cast<float>(10.0 * std::cos(a)), y + static_cast<float>(10.0 * std::sin(a)));
    }
    glEnd();
    glBegin(GL_LINES);
    for (float sign : {-1.0f, 1.0f}) {
        glVertex2f(x + sign * 1.0f, y);
        glVertex2f(x + sign * 12.0f, y);
        glVertex2f(x, y + sign * 2.0f);
        glVertex2f(x, y + sign * 13.0f);
    }
    glEnd();
    Unclip();
}

void PaintFrameOverlay(gElement* overlay) {
    if (gIsPicking()) return;
    ToolkitEditFrame* f = EditFrameOf(overlay);
    if (f == nullptr) return;
    OverlayPainting() = true;
    for (int32_t i = kSlotSelectRect; i <= kSlotPivot; ++i) {
        gElement* e = f->Slot(i);
        if (e == nullptr || e->shown == 0 || e->paint == nullptr) continue;
        glPushMatrix();
        e->paint(e);
        glPopMatrix();
    }
    OverlayPainting() = false;
    gElement* field = f->Slot(kSlotField);
    if (field != nullptr && field->shown != 0 && field->paint != nullptr) {
        glPushMatrix();
        field->paint(field);
        glPopMatrix();
    }
}

// ---- Making the frame ----------------------------------------------------------------------------

ShapeEditFrame* MakeToolkitEditFrame(ShapeContainer& c) {
    auto* list = dynamic_cast<ToolkitShapeList*>(c.list.get());
    if (list == nullptr || list->window == nullptr || gWinValidate(list->window) == nullptr) return nullptr;
    return new (std::nothrow) ToolkitEditFrame(&c, list->window);
}

void InstallShapeEditFrame() { TheShapeEditFrameMaker() = &MakeToolkitEditFrame; }

}  // namespace orva
