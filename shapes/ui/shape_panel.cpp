#include "shapes/ui/shape_panel.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "app/field_readers.h"
#include "app/panel_window.h"
#include "shapes/editing/handle_drags.h"
#include "shapes/editing/shape_rotation.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"
#include "shapes/ui/shape_labels.h"

namespace orva {

namespace {

constexpr float kRowHeight = 17.0f;
constexpr float kFieldWidth = 44.0f;
constexpr float kLabelWidth = 24.0f;
constexpr float kSmallButton = 20.0f;
constexpr float kPanelWidth = 60.0f;
constexpr uint32_t kButtonColour = 0x46D7070u;
constexpr int32_t kFieldChars = 18;
constexpr int32_t kIndexChars = 7;
constexpr int32_t kAngleChars = 16;
// An angle of a smaller size is no angle (the float's epsilon at 2).
constexpr float kSmallestAngle = 2.3841858e-7f;
// The page's id in the panel's page table.
constexpr int32_t kEditShapePageKind = 4;

struct PanelState {
    DialogPages* dialog = nullptr;
    Shape* held = nullptr;  // the shape the panel holds a reference on
};

PanelState& State() {
    static PanelState state;
    return state;
}

Shape* TargetOf(const PanelPage* page) { return page != nullptr ? static_cast<Shape*>(page->target) : nullptr; }

// The target the fields and buttons may change: none while it is off its view (deleted,
// cut or undone, kept only for the step that may bring it back), so that no edit
// reaches a shape the user does not see.
Shape* EditableTarget(const PanelPage* page) {
    Shape* s = TargetOf(page);
    return s != nullptr && s->glyph != nullptr && s->container == nullptr ? nullptr : s;
}

gElement* SlotOf(const PanelPage* page, int32_t slot) {
    if (page == nullptr || page->geometry.slots == nullptr || slot < 0 ||
        static_cast<uint32_t>(slot) >= page->geometry.slotCount)
        return nullptr;
    gElement* e = page->geometry.slots[slot];
    return e != nullptr && gWgtIsLive(e) && e->dead == 0 ? e : nullptr;
}

void SetEnabledNow(gElement* e, bool on) {
    if (e == nullptr || (e->enabled != 0) == on) return;
    e->enabled = on ? 1 : 0;
    gWgtDrawState(e, 7);
}

bool Editing(const gElement* e) { return e != nullptr && gFocusWidget == e; }

void ShowText(gElement* e, const char* text) {
    if (e == nullptr || e->text == text) return;
    gWgtSetText(e, text);
}

void ShowNumber(gElement* e, double value) {
    char text[kPanelNumberSize];
    FormatPanelNumber(value, text);
    ShowText(e, text);
}

void ShowAngle(gElement* e, float degrees) {
    if (e == nullptr || Editing(e)) return;
    char text[kPanelNumberSize + 1];
    FormatPanelNumber(degrees, text);
    const size_t n = std::strlen(text);
    text[n] = kDegreeSign;
    text[n + 1] = '\0';
    ShowText(e, text);
}

// Reads a field as a float; the degree sign the angle field shows is not part of it.
bool ReadNumber(gElement* field, float* out) {
    if (field == nullptr) return false;
    if (!field->text.empty() && field->text.back() == kDegreeSign) field->text.pop_back();
    return ReadFieldFloat(field, out, true);
}

int32_t Scope() { return TheShapeGlobals().panelScope; }

// The Move and Rotate buttons follow the stored steps and angle.
void EnableButtons(const PanelPage* page, bool target) {
    const ShapeGlobals& g = TheShapeGlobals();
    SetEnabledNow(SlotOf(page, kPanelMoveX), target && g.panelMoveX != 0.0f);
    SetEnabledNow(SlotOf(page, kPanelMoveY), target && g.panelMoveY != 0.0f);
    SetEnabledNow(SlotOf(page, kPanelMove), target && (g.panelMoveX != 0.0f || g.panelMoveY != 0.0f));
    SetEnabledNow(SlotOf(page, kPanelRotate), target && g.panelAngle != 0.0f);
}

bool Mirrored() {
    const int32_t o = TheShapeGlobals().displayOrientation;
    return o == 5 || o == 6;
}

// ---- Field handlers ----------------------------------------------------------------------------

void BoxChanged(gElement* field, uintptr_t data) {
    PanelPage* page = ShapePanelPage();
    Shape* s = EditableTarget(page);
    const auto slot = static_cast<int32_t>(data);
    float value = 0.0f;
    if (s != nullptr && ReadNumber(field, &value)) {
        ShapeBoxBlock copy = s->header.box;
        double* parts[4] = {&copy.x, &copy.y, &copy.w, &copy.h};
        double& part = *parts[slot - kPanelX];
        if (static_cast<double>(value) != static_cast<double>(static_cast<float>(part))) {
            part = value;
            s->SetBoundBox(copy.x, copy.y, copy.w, copy.h, false);
        }
    }
    ShapePanelRefresh(page);
}

void ApertureChanged(gElement* field, uintptr_t data) {
    PanelPage* page = ShapePanelPage();
    Shape* s = EditableTarget(page);
    const auto slot = static_cast<int32_t>(data);
    float value = 0.0f;
    if (s != nullptr && ReadNumber(field, &value)) {
        if (!(value >= 1.0f)) value = 1.0f;
        const double whole = std::trunc(static_cast<double>(value));
        const uint32_t asked = whole >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(whole);
        const EditTransformState& o = s->header.offset;
        uint32_t shown = 0;
        int32_t mode = kApertureCentred;
        if (slot == kPanelAperture) {
            shown = o.Extent() + 1u;
        } else if (slot == kPanelA1) {
            shown = o.Positive();
            mode = kAperturePositive;
        } else {
            shown = o.Negative();
            mode = kApertureNegative;
        }
        if (asked != shown) s->CommitAndSetAperture(asked, mode);
    }
    ShapePanelRefresh(page);
}

// The anchor fields only show.
void AnchorChanged(gElement*, uintptr_t) { ShapePanelRefresh(ShapePanelPage()); }

void StepChanged(gElement* field, uintptr_t data) {
    PanelPage* page = ShapePanelPage();
    ShapeGlobals& g = TheShapeGlobals();
    float& stored = static_cast<int32_t>(data) == kPanelDx ? g.panelMoveX : g.panelMoveY;
    float value = 0.0f;
    if (ReadNumber(field, &value) && value != stored) stored = value;
    ShowNumber(field, stored);
    EnableButtons(page, TargetOf(page) != nullptr);
}

void AngleChanged(gElement* field, uintptr_t) {
    PanelPage* page = ShapePanelPage();
    ShapeGlobals& g = TheShapeGlobals();
    float value = 0.0f;
    if (ReadNumber(field, &value) && value != g.panelAngle) {
        if (std::fabs(value) < kSmallestAngle) value = 0.0f;
        g.panelAngle = value;
    }
    ShowAngle(field, g.panelAngle);
    EnableButtons(page, TargetOf(page) != nullptr);
}

void ScopeClicked(gElement* e, uintptr_t data) {
    ShapePanelSetScope(static_cast<int32_t>(data));
    (void)e;
}

void MoveClicked(gElement*, uintptr_t data) { ShapePanelMove(static_cast<int>(data)); }

void RotateClicked(gElement*, uintptr_t) { ShapePanelRotate(); }

// ---- Building ----------------------------------------------------------------------------------

gElement* AddLabel(gWindow* w, const char* text, float width, bool newRow) {
    gWgtTemplate t{.desc = {.kind = 3, .style = kTopLeft | (newRow ? kWsNewRow : 0u), .width = width,
                            .height = kRowHeight, .text = text}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e != nullptr) e->active = 0;
    return e;
}

gElement* AddField(gWindow* w, int32_t slot, int32_t chars, const char* text, void (*onChange)(gElement*, uintptr_t)) {
    gWgtTemplate t{.desc = {.kind = 6, .style = kTopLeft, .width = kFieldWidth, .height = kRowHeight, .text = text}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->textLimit = chars;
    e->onChange = onChange;
    e->handlerData = static_cast<uintptr_t>(slot);
    return e;
}

gElement* AddButton(gWindow* w, int32_t kind, const char* text, float width, bool newRow,
                    void (*onClick)(gElement*, uintptr_t), uintptr_t data) {
    gWgtTemplate t{.desc = {.kind = kind, .style = kTopLeft | (newRow ? kWsNewRow : 0u), .width = width,
                            .height = kRowHeight, .color1 = kButtonColour, .text = text, .onClick = onClick}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data;
    e->textAlign = (e->textAlign & ~kWsSlotBits) | kTextCentre | kTextMiddle;
    if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    return e;
}

DialogPages* MakePanel() {
    auto* d = new DialogPages;
    DialogPagesInit(d);
    d->title = kEditShapeWindowTitle;
    d->tabWidth = kPanelWidth;
    d->ownMenuKind = kPageNoMenu;
    d->mode = kPanelShow;
    const PageRow rows[] = {{kEditShapePageTitle, &ShapeEditPanel, &ShapeEditPanelUpdate, kEditShapePageKind, 0, 0}};
    DialogCreatePages(d, rows, static_cast<int>(std::size(rows)));
    DialogSetCallback(d, &ShapePanelHoldTarget);
    return d;
}

}  // namespace

// ---- Numbers -----------------------------------------------------------------------------------

void FormatPanelNumber(double value, char* out) {
    int n = std::snprintf(out, kPanelNumberSize, "%.2f", value);
    if (n < 0 || n >= static_cast<int>(kPanelNumberSize)) {
        // Too long for a field: the significant digits rather than a cut number.
        n = std::snprintf(out, kPanelNumberSize, "%.9g", value);
        if (n < 0) out[0] = '\0';
        return;
    }
    if (n >= 3 && out[n - 1] == '0') {
        out[--n] = '\0';
        if (out[n - 1] == '0') {
            n -= 2;
            out[n] = '\0';
        }
    }
}

// ---- The record and its target -----------------------------------------------------------------

// The record lives to the end of the process (its page is rebuilt in every new window).
DialogPages& TheEditShapePanel() {
    PanelState& s = State();
    if (s.dialog == nullptr) s.dialog = MakePanel();
    return *s.dialog;
}

bool ShowEditShapePanel(gWindow* parent) {
    DialogPages& d = TheEditShapePanel();
    if (PanelShown(&d)) return true;
    d.title = kEditShapeWindowTitle;
    d.tabWidth = kPanelWidth;
    return OpenPanelWindow(&d, kPanelShow, 1, parent) != 0;
}

bool BuildEditShapePanel(gWindow* parent) {
    DialogPages& d = TheEditShapePanel();
    if (d.window != nullptr) return true;
    OpenPanelWindow(&d, kPanelRefresh, 1, parent);
    return d.window != nullptr;
}

void ShapePanelHoldTarget(void* target, int flag) {
    PanelState& st = State();
    auto* shape = static_cast<Shape*>(target);
    if (flag != 0) {
        if (shape == st.held) return;
        if (shape != nullptr) shape->AddRef();
        Shape* old = st.held;
        st.held = shape;
        if (old != nullptr) old->Release();
        return;
    }
    if (shape != nullptr && shape == st.held) {
        st.held = nullptr;
        shape->Release();
    }
}

void ShapePanelSetTarget(Shape* shape) {
    DialogPages& d = TheEditShapePanel();
    PanelPage* page = d.pages.empty() ? nullptr : d.pages.front();
    if (page != nullptr && page->target == shape) return;
    DialogSetTarget(&d, shape, &ShapePanelHoldTarget);
    if (page == nullptr || !ShapePanelShown()) return;
    ShapeEditPanelUpdate(d.window, page, 1);
    RepaintWindowAtOnce(d.window);
}

Shape* ShapePanelTarget() {
    const DialogPages& d = TheEditShapePanel();
    return d.pages.empty() ? nullptr : TargetOf(d.pages.front());
}

bool ShapePanelShown() { return PanelShown(&TheEditShapePanel()); }

PanelPage* ShapePanelPage() {
    DialogPages& d = TheEditShapePanel();
    return d.pages.empty() ? nullptr : d.pages.front();
}

gElement* ShapePanelSlot(int32_t slot) { return SlotOf(ShapePanelPage(), slot); }

void ShapePanelSync(Shape* shape) {
    if (shape == nullptr || State().dialog == nullptr) return;
    PanelPage* page = ShapePanelPage();
    if (page == nullptr || TargetOf(page) != shape || !ShapePanelShown()) return;
    ShapePanelRefresh(page);
    RepaintWindowAtOnce(State().dialog->window);
}

void ShapePanelForgetView(const ShapeView* view) {
    if (State().dialog == nullptr || view == nullptr) return;
    Shape* s = ShapePanelTarget();
    if (s != nullptr && (s->view == view || (s->container != nullptr && s->container->view == view)))
        ShapePanelSetTarget(nullptr);
}

// ---- The page ----------------------------------------------------------------------------------

int ShapeEditPanel(gWindow* window, PanelPage* page) {
    if (!PageAllocSlots(page, kPanelSlotCount)) return 0;
    if (PageOpenGroup(window, page, kTopLeft) == nullptr) return 0;
    gWgtSelect(window, GetUIFont(window));
    gElement** s = page->geometry.slots;
    const ShapeGlobals& g = TheShapeGlobals();
    char dx[kPanelNumberSize], dy[kPanelNumberSize], angle[kPanelNumberSize + 1];
    FormatPanelNumber(g.panelMoveX, dx);
    FormatPanelNumber(g.panelMoveY, dy);
    FormatPanelNumber(g.panelAngle, angle);
    const size_t n = std::strlen(angle);
    angle[n] = kDegreeSign;
    angle[n + 1] = '\0';

    AddLabel(window, "BOUND BOX:", -1.0f, false);
    AddLabel(window, "X:", kLabelWidth, true);
    s[kPanelX] = AddField(window, kPanelX, kFieldChars, "0", &BoxChanged);
    AddLabel(window, "W:", kLabelWidth, false);
    s[kPanelW] = AddField(window, kPanelW, kFieldChars, "0", &BoxChanged);
    AddLabel(window, "Y:", kLabelWidth, true);
    s[kPanelY] = AddField(window, kPanelY, kFieldChars, "0", &BoxChanged);
    AddLabel(window, "H:", kLabelWidth, false);
    s[kPanelH] = AddField(window, kPanelH, kFieldChars, "0", &BoxChanged);

    AddLabel(window, "OFFSET:", -1.0f, true);
    AddLabel(window, "Aperture:", -1.0f, true);
    s[kPanelAperture] = AddField(window, kPanelAperture, kFieldChars, "1", &ApertureChanged);
    AddLabel(window, "A1:", kLabelWidth, true);
    s[kPanelA1] = AddField(window, kPanelA1, kFieldChars, "1", &ApertureChanged);
    AddLabel(window, "A2:", kLabelWidth, false);
    s[kPanelA2] = AddField(window, kPanelA2, kFieldChars, "0", &ApertureChanged);

    AddLabel(window, "", 1.0f, true);
    AddLabel(window, "ANCHOR:", -1.0f, true);
    s[kPanelAnchorIndex] = AddField(window, kPanelAnchorIndex, kIndexChars, "0", &AnchorChanged);
    s[kPanelAnchorButton] = AddButton(window, 37, "#", kSmallButton, false, nullptr, 0);
    AddLabel(window, "X:", kLabelWidth, true);
    s[kPanelAnchorX] = AddField(window, kPanelAnchorX, kFieldChars, "0", &AnchorChanged);
    AddLabel(window, "Y:", kLabelWidth, false);
    s[kPanelAnchorY] = AddField(window, kPanelAnchorY, kFieldChars, "0", &AnchorChanged);

    AddLabel(window, "AFFINE TRANSFORMATION:", -1.0f, true);
    s[kPanelSelected] = AddButton(window, 47, "Selected shape", -1.0f, true, &ScopeClicked, kScopeSelected);
    s[kPanelExclude] = AddButton(window, 47, "Exclude selected shape", -1.0f, true, &ScopeClicked, kScopeExclude);
    s[kPanelAll] = AddButton(window, 47, "All shape(s)", -1.0f, true, &ScopeClicked, kScopeAll);

    s[kPanelMove] = AddButton(window, 40, "Move", kFieldWidth, true, &MoveClicked, 0);
    s[kPanelDx] = AddField(window, kPanelDx, kFieldChars, dx, &StepChanged);
    s[kPanelMoveX] = AddButton(window, 37, ">", kSmallButton, false, &MoveClicked, 1);
    s[kPanelDy] = AddField(window, kPanelDy, kFieldChars, dy, &StepChanged);
    s[kPanelMoveY] = AddButton(window, 37, "v", kSmallButton, false, &MoveClicked, 2);
    s[kPanelRotate] = AddButton(window, 40, "Rotate", kFieldWidth, true, &RotateClicked, 0);
    s[kPanelAngle] = AddField(window, kPanelAngle, kAngleChars, angle, &AngleChanged);

    if (!PageEnsureGlyphs(page)) return 0;
    // "Selected shape" is chosen when the page is made.
    TheShapeGlobals().panelScope = kScopeSelected;
    ShapePanelSetScope(kScopeSelected);
    PageUpdateGeometry(page);
    return 1;
}

void ShapePanelRefresh(PanelPage* page) {
    Shape* s = TargetOf(page);
    if (s == nullptr || page == nullptr || page->geometry.slots == nullptr) return;
    const ShapeBoxBlock& b = s->header.box;
    ShowNumber(SlotOf(page, kPanelX), b.x);
    ShowNumber(SlotOf(page, kPanelY), b.y);
    ShowNumber(SlotOf(page, kPanelW), b.w);
    ShowNumber(SlotOf(page, kPanelH), b.h);
    const EditTransformState& o = s->header.offset;
    ShowNumber(SlotOf(page, kPanelAperture), static_cast<double>(o.Extent()) + 1.0);
    ShowNumber(SlotOf(page, kPanelA1), o.Positive());
    ShowNumber(SlotOf(page, kPanelA2), o.Negative());
    const AnchorBuffer& a = s->header.anchors;
    const bool anchors = a.Count() > 0 && a.data != nullptr;
    for (int32_t slot : {kPanelAnchorIndex, kPanelAnchorX, kPanelAnchorY}) SetEnabledNow(SlotOf(page, slot), anchors);
    if (!anchors) {
        for (int32_t slot : {kPanelAnchorIndex, kPanelAnchorX, kPanelAnchorY}) ShowText(SlotOf(page, slot), "0");
    } else {
        int32_t i = a.lastSelected < 0 ? 0 : a.lastSelected;
        if (static_cast<uint32_t>(i) > a.Count() - 1) i = static_cast<int32_t>(a.Count() - 1);
        char text[16];
        std::snprintf(text, sizeof text, "%d", i + 1);
        ShowText(SlotOf(page, kPanelAnchorIndex), text);
        ShowNumber(SlotOf(page, kPanelAnchorX), a.X(static_cast<uint32_t>(i)));
        ShowNumber(SlotOf(page, kPanelAnchorY), a.Y(static_cast<uint32_t>(i)));
    }
}

void ShapeEditPanelUpdate(gWindow* window, PanelPage* page, int flag) {
    (void)window;
    (void)flag;
    if (page == nullptr || page->geometry.slots == nullptr) return;
    const bool target = TargetOf(page) != nullptr;
    if (target) {
        gElement* first = SlotOf(page, kPanelX);
        if (first != nullptr && first->enabled == 0)
            for (int32_t slot = kPanelX; slot <= kPanelAnchorY; ++slot) SetEnabledNow(SlotOf(page, slot), true);
        ShapePanelRefresh(page);
    } else {
        for (int32_t slot = kPanelX; slot <= kPanelAnchorY; ++slot) SetEnabledNow(SlotOf(page, slot), false);
        for (int32_t slot : {kPanelX, kPanelY, kPanelW, kPanelH, kPanelAnchorIndex, kPanelAnchorX, kPanelAnchorY})
            ShowText(SlotOf(page, slot), "0");
        // The apertures of a shape that is gone go with it: the fields show what a new
        // panel shows.
        ShowText(SlotOf(page, kPanelAperture), "1");
        ShowText(SlotOf(page, kPanelA1), "1");
        ShowText(SlotOf(page, kPanelA2), "0");
    }
    const ShapeGlobals& g = TheShapeGlobals();
    if (!Editing(SlotOf(page, kPanelDx))) ShowNumber(SlotOf(page, kPanelDx), g.panelMoveX);
    if (!Editing(SlotOf(page, kPanelDy))) ShowNumber(SlotOf(page, kPanelDy), g.panelMoveY);
    ShowAngle(SlotOf(page, kPanelAngle), g.panelAngle);
    EnableButtons(page, target);
}

// ---- Move and Rotate ---------------------------------------------------------------------------

void ShapePanelSetScope(int32_t scope) {
    if (scope != kScopeSelected && scope != kScopeAll && scope != kScopeExclude) return;
    TheShapeGlobals().panelScope = scope;
    PanelPage* page = ShapePanelPage();
    for (int32_t slot : {kPanelSelected, kPanelAll, kPanelExclude}) {
        gElement* e = SlotOf(page, slot);
        if (e == nullptr) continue;
        const int32_t mine = slot == kPanelSelected ? kScopeSelected : slot == kPanelAll ? kScopeAll : kScopeExclude;
        const uint32_t value = mine == scope ? 1u : 0u;
        if (e->value != value) {
            gWgtExchangeParam(e, value);
            gWgtDrawState(e, 5);
        }
    }
}

bool ShapePanelMove(int what) {
    Shape* s = EditableTarget(ShapePanelPage());
    if (s == nullptr) return false;
    const ShapeGlobals& g = TheShapeGlobals();
    double dx = what == 2 ? 0.0 : g.panelMoveX;
    double dy = what == 1 ? 0.0 : g.panelMoveY;
    if (dx == 0.0 && dy == 0.0) return false;
    if (Mirrored()) {
        dx = -dx;
        dy = -dy;
    }
    const int32_t scope = Scope();
    if (s->container != nullptr && scope != kScopeSelected) {
        s->container->MoveAllShapes(dx, dy, scope == kScopeExclude ? s : nullptr);
    } else {
        s->Move(static_cast<float>(dx), static_cast<float>(dy));
    }
    ShapePanelSync(s);
    return true;
}

bool ShapePanelRotate() {
    Shape* s = EditableTarget(ShapePanelPage());
    if (s == nullptr) return false;
    double angle = TheShapeGlobals().panelAngle;
    if (angle == 0.0) return false;
    if (Mirrored()) angle = -angle;
    const int32_t scope = Scope();
    bool done = false;
    if (s->container != nullptr && scope != kScopeSelected)
        done = RotateAllShapes(s->container, scope == kScopeExclude ? s : nullptr, angle);
    else
        done = RotateShape(s, true, angle);
    ShapePanelSync(s);
    return done;
}

void ResetEditShapePanel() {
    PanelState& st = State();
    if (st.dialog != nullptr) {
        if (PanelShown(st.dialog)) OpenPanelWindow(st.dialog, kPanelClose, 0, nullptr);
        DialogSetTarget(st.dialog, nullptr, &ShapePanelHoldTarget);
    }
    if (st.held != nullptr) {
        Shape* s = st.held;
        st.held = nullptr;
        s->Release();
    }
    ShapeGlobals& g = TheShapeGlobals();
    const ShapeGlobals fresh;
    g.panelMoveX = fresh.panelMoveX;
    g.panelMoveY = fresh.panelMoveY;
    g.panelAngle = fresh.panelAngle;
    g.panelScope = fresh.panelScope;
    g.displayOrientation = fresh.displayOrientation;
}

}  // namespace orva
