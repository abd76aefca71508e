// The "Default" skin: its general record and the style records of every widget kind.
#include "toolkit/skin.h"

#include <GL/gl.h>

#include "toolkit/painters.h"

namespace orva {

namespace {

constexpr float kOriginS1[2] = {4.0f, 0.0f};
constexpr float kPadding[2] = {2.0f, 2.0f};
constexpr gTextPlacement kText44000{0x44000, 4.0f, {0, 0}};
constexpr gTextPlacement kText44010{0x44010, 4.0f, {0, 0}};
constexpr gTextPlacement kText50020{0x50020, 6.0f, {0, 0}};
constexpr gTextPlacement kText44000Wide{0x44000, 19.0f, {0, 0}};
constexpr float kAuto = -1.0f;

constexpr gSizeRecord S1{kOriginS1, 0, nullptr, 12.0f, 12.0f, nullptr, 0};
constexpr gSizeRecord S2{nullptr, 0, nullptr, kAuto, 19.0f, nullptr, 0};
constexpr gSizeRecord S3{nullptr, 0, kPadding, kAuto, 15.0f, &kText44000, 0};
constexpr gSizeRecord S4{nullptr, 0, kPadding, kAuto, kAuto, &kText44000, 0};
constexpr gSizeRecord S5{nullptr, 0, kPadding, kAuto, kAuto, &kText44010, 0};
constexpr gSizeRecord S6{nullptr, 0, kPadding, kAuto, 15.0f, &kText44000, 0};
constexpr gSizeRecord S7{nullptr, 0, kPadding, 16.0f, 15.0f, &kText50020, 0};
constexpr gSizeRecord S8{nullptr, 0, kPadding, 15.0f, kAuto, &kText44000, 0};
constexpr gSizeRecord S9{nullptr, 0, kPadding, 60.0f, 15.0f, &kText44000, 0};
constexpr gSizeRecord S10{nullptr, 0, kPadding, kAuto, 15.0f, &kText44000Wide, 0};

constexpr gStateRecord kState{{0, 0x01010101u, 1}};
constexpr uint32_t kEditPair[2] = {8, 0};
constexpr gExtraRecord kEditExtra{{0, 0, 0}, kEditPair, {0, 0, 0}};

constexpr gStyleRecord Rec(int32_t kind, uint32_t style, uint32_t text, const gSizeRecord* size, uint32_t fallback,
                           bool state, gPaintFn painter, const gExtraRecord* extra = nullptr) {
    return gStyleRecord{kind,   style,     text,    kind == 2 ? 0x88001u : 0x20000000u,
                        0xFC000, size,     1,       kColourInherit,
                        fallback, 0,       0,       state ? &kState : nullptr,
                        painter, extra,    {0, 0}};
}

const gStyleRecord kRecords[] = {
    Rec(2, 0x22100000, 0x1, &S1, 0x04676A6A, false, gPaintCheckBox),
    Rec(3, 0x00040000, 0x8, &S2, 0x04000000, false, gPaintTextOnly),
    Rec(4, 0x00040000, 0x8, &S2, 0x04000000, false, gPaintTextOnBack),
    Rec(5, 0x00040000, 0x8, &S2, 0x04000000, false, gPaintTextOnShade),
    Rec(6, 0x22100000, 0x801, &S3, 0x04000000, true, gPaintEditField, &kEditExtra),
    Rec(7, 0x00100000, 0x103, &S4, 0x04676A6A, false, gPaintSunkenPlain),
    Rec(8, 0x00100000, 0x103, &S4, 0x04676A6A, false, gPaintRaisedPlain),
    Rec(9, 0x00100000, 0x103, &S6, 0x04676A6A, false, gPaintFaceLabel),
    Rec(10, 0x00100000, 0x103, &S4, 0x04676A6A, false, gPaintFaceLabel),
    Rec(11, 0x00100000, 0x103, &S4, 0x04676A6A, false, gPaintPanelLabel),
    Rec(12, 0x00100000, 0x103, &S8, 0x04676A6A, false, gPaintPanelLabel),
    Rec(14, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintEdgeFrame),
    Rec(15, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintRaisedLight),
    Rec(16, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintSunkenColour),
    Rec(17, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintRaisedColour),
    Rec(18, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintSunkenToggle),
    Rec(19, 0x00100000, 0x103, &S5, 0x04676A6A, false, gPaintRaisedToggle),
    Rec(36, 0x21100000, 0x103, &S9, 0x046D7070, true, gPaintButton),
    Rec(37, 0x21100000, 0x103, &S6, 0x046D7070, true, gPaintButton),
    Rec(38, 0x21100000, 0x103, &S6, 0x046D7070, true, gPaintButtonTwoState),
    Rec(39, 0x21000000, 0x103, &S6, 0x046D7070, true, gPaintButtonFlat),
    Rec(40, 0x28100000, 0x103, &S6, 0x046D7070, true, gPaintButton),
    Rec(42, 0x22100000, 0x103, &S10, 0x046D7070, true, gPaintButton),
    Rec(43, 0x22100000, 0x103, &S9, 0x046D7070, true, gPaintButton),
    Rec(44, 0x22100000, 0x103, &S6, 0x046D7070, true, gPaintButton),
    Rec(45, 0x22100000, 0x103, &S10, 0x046D7070, true, gPaintButtonMark),
    Rec(46, 0x22100000, 0x103, &S9, 0x046D7070, true, gPaintButtonMark),
    Rec(47, 0x22100000, 0x103, &S6, 0x046D7070, true, gPaintButtonMark),
    Rec(50, 0x21100000, 0x103, &S9, 0x046D7070, true, gPaintPanelButton),
    Rec(51, 0x21100000, 0x103, &S6, 0x046D7070, true, gPaintPanelButton),
    Rec(52, 0x28100000, 0x103, &S6, 0x046D7070, true, gPaintPanelButtonAlt),
    Rec(53, 0x22100000, 0x8, &S7, 0x046D7070, true, gPaintDropButton),
    Rec(55, 0x22100000, 0x103, &S10, 0x046D7070, true, gPaintPanelButton),
    Rec(56, 0x22100000, 0x103, &S9, 0x046D7070, true, gPaintPanelButton),
    Rec(57, 0x22100000, 0x103, &S6, 0x046D7070, true, gPaintPanelButton),
    Rec(58, 0x22100000, 0x103, &S10, 0x046D7070, true, gPaintPanelButtonMark),
    Rec(59, 0x22100000, 0x103, &S9, 0x046D7070, true, gPaintPanelButtonMark),
    Rec(60, 0x22100000, 0x103, &S6, 0x046D7070, true, gPaintPanelButtonMark),
};

// Kind -> record, built once.
struct KindIndex {
    const gStyleRecord* byKind[61] = {};
    KindIndex() {
        for (const gStyleRecord& record : kRecords) byKind[record.kind] = &record;
    }
};

const gGeneralRecord kGeneral{&kDefaultShadeRecord, gPaintCaret, {0, 0}, nullptr};

gSkinModule gSkinDefault;

}  // namespace

const gGeneralRecord* gSkinModule::GeneralRecord() const { return &kGeneral; }

const gStyleRecord* gSkinModule::StyleForKind(int32_t kind) const {
    static const KindIndex index;
    if (kind < 0 || kind > 60) return nullptr;
    return index.byKind[kind];
}

gSkinModule::~gSkinModule() = default;

uint64_t gSkinModule::Identifier() const {
    const char text[] = "ModGLbrd";
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(text[i]);
    return value;
}

uint32_t gSkinModule::Version() const { return 0x10000; }
const char* gSkinModule::Name() const { return "Default"; }
uint32_t gSkinModule::Reserved() const { return 1; }

gSkinModule* gSkinGet() { return &gSkinDefault; }

void gPaintCaret(float height, bool selecting) {
    if (selecting) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glRectf(-1.0f, 0.0f, 0.0f, height);
    } else {
        glColor3f(1.0f, 1.0f, 0.5f);
        glRectf(0.0f, 0.0f, 1.0f, height);
    }
}

}  // namespace orva
