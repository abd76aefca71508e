#include "shapes/shape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "common/error_codes.h"
#include "data/kernel_util.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"
#include "shapes/geometry/plane_geometry.h"
#include "shapes/geometry/shape_updates.h"
#include "shapes/shape_globals.h"

namespace orva {

namespace {

// Names are short texts, not paths.
constexpr size_t kNameBufferSize = 260;

constexpr char kRemoveWholeShapeText[] = "Remove shape [undo Ctrl+Z]...";

int32_t RoundedSpan(double start, double extent, int64_t origin) {
    if (extent == 0.0) return 1;
    int64_t end = kernel::SaturateRound<int64_t>(start + extent);
    int64_t span = 0;
    if (__builtin_sub_overflow(end, origin, &span) || span < 1) return 1;
    return span > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : static_cast<int32_t>(span);
}

}  // namespace

ShapePixelBox IntegerBox(const ShapeBoxBlock& box) {
    ShapePixelBox p;
    p.x = kernel::SaturateRound<int64_t>(box.x);
    p.y = kernel::SaturateRound<int64_t>(box.y);
    p.w = RoundedSpan(box.x, box.w, p.x);
    p.h = RoundedSpan(box.y, box.h, p.y);
    return p;
}

void ShapeDefaultUpdate(Shape* shape, int32_t event) {
    if (shape == nullptr || event == kUpdateNothing) return;
    if (event != kUpdateKeepBox) shape->ResetBounds();
    shape->pixelBox = IntegerBox(shape->header.box);
}

// ---- Life ---------------------------------------------------------------------------

Shape::Shape() {
    derived.outline.ResetType();
    derived.savedOutline.ResetType();
}

Shape::~Shape() {
    StrReleaseClear(&name);
    if (attached != nullptr) {
        AttachedObject* object = attached;
        attached = nullptr;
        object->Release();
    }
    std::free(maskFileName);
    std::free(dataFileName);
    maskFileName = dataFileName = nullptr;
    // A glyph still linked would hold a reference: this one is out of every list.
    delete glyph;
    glyph = nullptr;
    items.ReleaseAll();
}

Shape* CreateShape(int32_t kind) {
    auto* shape = new (std::nothrow) Shape;
    if (shape == nullptr) return nullptr;
    ShapeGlobals& g = TheShapeGlobals();
    shape->serial = ++g.shapeCounter;  // unsigned: 0xFFFFFFFF wraps to 0
    shape->header.kind = kind;
    shape->procs = KindProcsFor(kind, shape->header.role, 0, shape->axisVariantGate);
    shape->MakeName(true);
    return shape;
}

int32_t Shape::AddRef() { return static_cast<int32_t>(refCount.fetch_add(1, std::memory_order_relaxed) + 1); }

int32_t Shape::Release() {
    uint32_t left = refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return static_cast<int32_t>(left);
}

void Shape::Detach() {
    if (container != nullptr) {
        container->DetachShape(this);
        return;
    }
    delete glyph;
    glyph = nullptr;
}

// ---- Names and tables -----------------------------------------------------------

bool Shape::IsOpenCurve() const { return KindIsOpenCurve(header.kind); }
const char* Shape::KindName() const { return ShapeKindName(header.kind); }
const char16_t* Shape::KindNameW() const { return ShapeKindNameW(header.kind); }
const char* Shape::FamilyName() const { return ShapeFamilyName(header.kind); }
const char* Shape::RoleName() const { return ShapeRoleTableName(header.role); }
const char* Shape::RoleGroupName() const { return ShapeRoleGroupName(header.role); }

void Shape::MakeName(bool count) {
    const char* kindName = KindName();
    const char* text = kindName != nullptr ? kindName : "";
    char buffer[kNameBufferSize];
    int32_t kind = header.kind;
    if (count && kind >= 0 && kind < kShapeKindCounterCount) {
        uint32_t n = ++TheShapeGlobals().kindCounters[kind];
        if (n > 1) {
            std::snprintf(buffer, sizeof buffer, "%s %u", text, n);
            buffer[sizeof buffer - 1] = '\0';
            text = buffer;
        }
    }
    if (name != nullptr) StrAssign(&name, text, -1);
    else name = StrDup(text, -1);
}

// ---- Offset direction and procedures ---------------------------------------------

bool Shape::SetOffsetDirection(uint32_t code) {
    if (code == header.offset.direction) return false;
    if (!KindTakesEveryDirection(header.kind) && code != kOffsetCnrm && code != kOffsetAxis) code = kOffsetCnrm;
    if (code == header.offset.direction) return false;
    {
        ShapeLock lock(this);
        SelectOffsetProcs(code, false);
        ResetPivot(kUpdateFull);
    }
    if (container != nullptr && container->current == this && container->editFrame != nullptr &&
        container->InRotateMode())
        container->PlaceEditFrame();
    return true;
}

bool Shape::SelectOffsetProcs(uint32_t code, bool force) {
    bool procsChange = false;
    ShapeKindProcs next;
    if (!IsOpenCurve()) {
        next = KindProcsFor(header.kind, header.role, code, axisVariantGate);
        procsChange = next.updateGeometry != procs.updateGeometry || next.areaProcedure != procs.areaProcedure;
    }
    if (!force && !procsChange && code == header.offset.direction) return false;
    if (procsChange) {
        procs.updateGeometry = next.updateGeometry;
        procs.areaProcedure = next.areaProcedure;
    }
    ClearDerived();
    header.offset.direction = code;
    return true;
}

void Shape::ClearDerived() {
    ShapeLock lock(this);
    derived.outline.rowsUsed = 0;
    derived.outline.ResetType();
    derived.savedOutline.rowsUsed = 0;
    derived.savedOutline.ResetType();
    derived.mask.MakeEmpty();
    derived.maskContour.rowsUsed = 0;
    derived.offsetRegion.MakeEmpty();
    derived.offsetContour.rowsUsed = 0;
    derived.offsetPolygon.rowsUsed = 0;
    derived.path.points.rowsUsed = 0;
    derived.path.pixelPath.rowsUsed = 0;
    derived.samples.rowsUsed = 0;
    derived.normals.rowsUsed = 0;
    derived.placement.offset = nullptr;
    derived.placement.mask = nullptr;
    derived.length = 0.0;
    derived.flags = 0;
}

bool Shape::SetupKindProcs(int32_t* handleCount, bool* changed) {
    ClearDerived();
    SelectDefaultAnchors();
    procs = KindProcsFor(header.kind, header.role, header.offset.direction, axisVariantGate);
    bool reapplied = SelectOffsetProcs(header.offset.direction, true);
    if (changed != nullptr) *changed = reapplied;
    if (handleCount != nullptr) *handleCount = ShapeHandleCount(header.kind, header.role);
    return header.kind >= kKindPoint && header.kind <= kKindPolygon;
}

// ---- Anchors, geometry, pivot ---------------------------------------------------

void Shape::SelectAllAnchors(bool on) { header.anchors.SelectAll(on); }

void Shape::SelectDefaultAnchors() {
    if (header.kind == kKindPoint) header.anchors.SelectLast();
    else header.anchors.SelectAll(true);
}

void Shape::ResetBounds() {
    const AnchorBuffer& a = header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return;
    PlaneBox p;
    BoundingBoxOfPoints(a.Points(), static_cast<int32_t>(a.Count()), &p);
    ShapeBoxBlock& b = header.box;
    b.x = p.x;
    b.y = p.y;
    b.w = p.w;
    b.h = p.h;
}

void Shape::UpdateGeometry(int32_t event) {
    ShapeLock lock(this);
    if (procs.updateGeometry != nullptr) procs.updateGeometry(this, event);
    else ShapeDefaultUpdate(this, event);
}

void Shape::RecentrePivot() {
    if (header.pivotPinned) return;
    const ShapeBoxBlock& b = header.box;
    header.pivotX = b.w != 0.0 ? b.x + b.w * 0.5 : b.x;
    header.pivotY = b.h != 0.0 ? b.y + b.h * 0.5 : b.y;
}

void Shape::ResetPivot(int32_t reason) {
    ShapeLock lock(this);
    statMark.centreX = -1.0;
    UpdateGeometry(reason);
    if (reason != kUpdateKeepPivot) RecentrePivot();
}

void Shape::BeginEdit() { CopyEditState(&snapshot, header); }

void Shape::BindToView(ShapeView* target) {
    if (target != nullptr) {
        if (source == nullptr) source = target->dataSource;
        if (view == nullptr) view = target;
        target->boundShape = this;
    }
    ResetPivot(kUpdateFull);
    if (header.role < kRoleSlice) return;
    bool any = false;
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next) {
        if (n->object != nullptr && n->object->Accepts(this)) {
            RestartItem(n->object);
            any = true;
        }
    }
    if (any && target != nullptr) {
        if (target->container != nullptr) target->container->Redraw();
        else target->Redraw();
    }
}

void Shape::RestartLinked() {
    if (quiet) return;
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next)
        RestartItem(n->object);
}

void Shape::Reselect(ShapeContainer* owner) {
    if (owner == nullptr) return;
    owner->changed = 1;
    owner->selectionFlag = 1;
    if (owner->current != this) {
        owner->SetCurrentShape(this, false, false);
        owner->ShowEditFrame();
    } else {
        owner->ShowEditFrame();
        RestartLinked();
    }
    owner->Redraw();
    owner->RefreshPanel();
}

void Shape::ClearChain() {
    Shape* s = this;
    while (s != nullptr) {
        Shape* next = s->chainNext;
        s->chainNext = nullptr;
        s = next;
    }
}

int32_t Shape::RemoveSelectedAnchors(bool recordUndo) {
    int32_t kind = header.kind;
    if (kind == kKindRect || kind == kKindCircle || kind == kKindEllipse) {
        PrintStatusLine(kStatusGroupMain, -2, kStatusFlagsShow, "%s", kRemoveWholeShapeText);
        return 2;
    }
    AnchorBuffer& a = header.anchors;
    int64_t count = a.Count();
    int64_t minimum = ShapeMinimumAnchors(kind);
    if (count <= minimum || a.selectedCount < 1 || a.selectedCount >= count || a.Selection() == nullptr) return 2;
    const uint8_t* selected = a.Selection();
    int64_t marked = 0;
    for (int64_t i = 0; i < count; ++i) marked += selected[i] != 0;
    int64_t left = count - marked;
    if (left < 1 || left < minimum) return 2;

    if (recordUndo) BeginEdit();
    {
        ShapeLock lock(this);
        float* p = a.Points();
        uint8_t* sel = a.Selection();
        uint32_t kept = 0;
        for (uint32_t i = 0; i < a.Count(); ++i) {
            if (sel[i] != 0) continue;
            if (kept != i) std::memcpy(p + kept * 2, p + i * 2, a.itemBytes);
            ++kept;
        }
        a.rowsUsed = kept;
        a.SelectAll(false);
        ResetPivot(kUpdateFull);
    }
    if (recordUndo && container != nullptr) container->PushUndo(this, kUndoAnchors);
    RestartLinked();
    if (container != nullptr) {
        container->Redraw();
        container->RefreshPanel();
    }
    return 1;
}

// ---- Lock ---------------------------------------------------------------------------

std::recursive_mutex* Shape::ContainerLock() const {
    return container != nullptr ? &container->Lock() : nullptr;
}

ShapeLock::ShapeLock(const Shape* shape) : lock_(shape != nullptr ? shape->ContainerLock() : nullptr) {
    if (lock_ != nullptr) lock_->lock();
}

ShapeLock::~ShapeLock() {
    if (lock_ != nullptr) lock_->unlock();
}

}  // namespace orva
