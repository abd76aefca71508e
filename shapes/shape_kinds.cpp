#include "shapes/shape_kinds.h"

#include <strings.h>

#include <cstring>

namespace orva {

namespace {

struct KindEntry {
    const char* name;
    const char16_t* wide;
    const char* family;
    int32_t minimumAnchors;
};

constexpr KindEntry kKinds[kShapeKindCount + 1] = {
    {"Point", u"Point", "RefPoint(s)", 1},
    {"PolyLine", u"PolyLine", "Curve", 2},
    {"B-Sline", u"B-Sline", "Curve", 2},
    {"Line", u"Line", "Curve", 2},
    {"Rect", u"Rect", "Polygon", 2},
    {"circle", u"circle", "Polygon", 2},
    {"Ellipse", u"Ellipse", "Polygon", 2},
    {"Polygon", u"Polygon", "Polygon", 3},
    {"Simplex", u"Simplex", "Polygon", 3},
    {"EllipseAT", u"EllipseAT", "Polygon", 4},
    {"Quads", u"Quads", "Polygon", 4},
    {"Arc", u"Arc", "Curve", 4},
    {"EllipseSeg", u"EllipseSeg", "Polygon", 5},
    {"EllipseATSeg", u"EllipseATSeg", "Polygon", 5},
    {nullptr, nullptr, nullptr, 5},  // code 14 reads this entry
};

constexpr const char* kRoleNames[kShapeRoleCount] = {
    "None", "RefPoint", "DistanceMeter", "GaugeArea", "DipMeter", "Slice", "Statistic", "findArea",
};
constexpr const char* kRoleGroups[kShapeRoleCount] = {
    nullptr, "Gauge", "Gauge", "Gauge", "Gauge", "Slice", "Statistic", "Statistic",
};

bool InKindTable(int32_t kind) { return kind >= 0 && kind < kShapeKindCount; }

bool SameName(const char* text, int length, const char* name) {
    if (length > 0) return strncasecmp(text, name, static_cast<size_t>(length)) == 0;
    return strcasecmp(text, name) == 0;
}

}  // namespace

const char* ShapeKindName(int32_t kind) { return InKindTable(kind) ? kKinds[kind].name : nullptr; }

const char16_t* ShapeKindNameW(int32_t kind) { return InKindTable(kind) ? kKinds[kind].wide : nullptr; }

const char* ShapeFamilyName(int32_t kind) { return InKindTable(kind) ? kKinds[kind].family : nullptr; }

int32_t ShapeMinimumAnchors(int32_t kind) {
    if (kind < 0 || kind > kShapeKindCount) return 1;
    return kKinds[kind].minimumAnchors;
}

bool KindIsOpenCurve(int32_t kind) { return (kind >= kKindPoint && kind <= kKindLine) || kind == kKindArc; }

bool KindTakesEveryDirection(int32_t kind) { return (kind >= kKindPolyLine && kind <= kKindLine) || kind == kKindArc; }

const char* ShapeRoleTableName(int32_t role) {
    return role >= 0 && role < kShapeRoleCount ? kRoleNames[role] : nullptr;
}

const char* ShapeRoleGroupName(int32_t role) {
    return role >= 0 && role < kShapeRoleCount ? kRoleGroups[role] : nullptr;
}

int32_t RoleFromName(const char* text, int length) {
    if (text == nullptr) return kRoleUnset;
    for (int32_t role = 0; role < kShapeRoleCount; ++role)
        if (SameName(text, length, kRoleNames[role])) return role;
    return kRoleUnset;
}

int32_t KindFromName(const char* text, int length) {
    if (text == nullptr) return kKindNone;
    for (int32_t kind = 0; kKinds[kind].name != nullptr; ++kind)
        if (SameName(text, length, kKinds[kind].name)) return kind;
    return kKindNone;
}

int32_t ShapeHandleCount(int32_t kind, int32_t role) {
    if (role < kRoleSlice) return 1;
    if (kind == kKindPoint) return 1;
    if (kind >= kKindPolyLine && kind <= kKindLine) return 9;
    return 5;
}

}  // namespace orva
