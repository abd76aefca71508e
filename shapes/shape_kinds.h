#pragma once
// The fourteen kinds of shapes (their geometry), the roles they measure for,
// the offset directions and the codes of the undo steps, with the name tables
// and look-ups that go with them.
#include <cstdint>

#include "common/record_tag.h"

namespace orva {

enum ShapeKindCode : int32_t {
    kKindNone = -1,
    kKindPoint = 0,
    kKindPolyLine = 1,
    kKindBSpline = 2,
    kKindLine = 3,
    kKindRect = 4,
    kKindCircle = 5,
    kKindEllipse = 6,
    kKindPolygon = 7,
    kKindSimplex = 8,
    kKindEllipseAT = 9,
    kKindQuads = 10,
    kKindArc = 11,
    kKindEllipseSeg = 12,
    kKindEllipseATSeg = 13,
};
constexpr int32_t kShapeKindCount = 14;
// Kind codes that have a naming counter (0..14; 14 has no name).
constexpr int32_t kShapeKindCounterCount = 15;

enum ShapeRoleCode : int32_t {
    kRoleUnset = -512,  // also "any role" where a role is asked for
    kRoleGauge = -1,
    kRoleNone = 0,
    kRoleRefPoint = 1,
    kRoleDistanceMeter = 2,
    kRoleGaugeArea = 3,
    kRoleDipMeter = 4,
    kRoleSlice = 5,  // roles from here on carry an aperture
    kRoleStatistic = 6,
    kRoleFindArea = 7,
};
constexpr int32_t kShapeRoleCount = 8;

// How a shape's offset is laid (0: none). Closed figures use only the first two.
inline constexpr uint32_t kOffsetCnrm = FourCC("CNRM");
inline constexpr uint32_t kOffsetAxis = FourCC("AXIS");
inline constexpr uint32_t kOffsetNrml = FourCC("NRML");
inline constexpr uint32_t kOffsetFree = FourCC("FREE");
inline constexpr uint32_t kOffsetAngl = FourCC("ANGL");

// Undo step codes.
inline constexpr uint32_t kUndoCreate = FourCC("CRTE");     // a shape was created
inline constexpr uint32_t kUndoDelete = FourCC("DLT0");     // one shape removed
inline constexpr uint32_t kUndoDeleteAll = FourCC("DLTA");  // all shapes removed
inline constexpr uint32_t kUndoAnchors = FourCC("ANCR");    // points, moves, boxes
inline constexpr uint32_t kUndoPivot = FourCC("PIVT");
inline constexpr uint32_t kUndoOffset = FourCC("OFST");
inline constexpr uint32_t kUndoKindRole = FourCC("TPRL");
inline constexpr uint32_t kUndoAll = FourCC("ALL0");        // any other change of the whole shape

// Kind names ("Point" ... "EllipseATSeg"); nullptr outside 0..13.
const char* ShapeKindName(int32_t kind);
const char16_t* ShapeKindNameW(int32_t kind);
// "RefPoint(s)", "Curve" or "Polygon"; nullptr outside 0..13.
const char* ShapeFamilyName(int32_t kind);
// The fewest anchors a shape of the kind keeps: the table's count for 0..13,
// 5 for 14 and 1 for every other code.
int32_t ShapeMinimumAnchors(int32_t kind);
// Points, lines, polylines, b-splines and arcs.
bool KindIsOpenCurve(int32_t kind);
// The kinds whose offset may take every direction (1..3 and 11).
bool KindTakesEveryDirection(int32_t kind);

// Role names ("None" ... "findArea") and groups ("Gauge", "Slice",
// "Statistic"); nullptr outside 0..7 and for the group of role 0.
const char* ShapeRoleTableName(int32_t role);
const char* ShapeRoleGroupName(int32_t role);

// The first table entry that equals the text without regard to case over
// `length` characters (the whole text when 0): -512 / -1 when none matches or
// the text is missing.
int32_t RoleFromName(const char* text, int length);
int32_t KindFromName(const char* text, int length);

// The handles of the edit frame for a kind and role: 1 below role 5; from
// role 5 on, 1 for a point, 9 for kinds 1 to 3 and 5 for every other kind.
int32_t ShapeHandleCount(int32_t kind, int32_t role);

}  // namespace orva
