#pragma once
// Saving the masks of a measuring stage's item list in one go: every entry's shape,
// or the members of an entry's group, chosen by a role filter, written with the
// shape-file writer either all into one file (one header, then a block per mask; a
// group's members between ";#begin list" and ";#end list") or each into a file of its
// own named from a template ("<template>_<kind>_<serial>" and the type's extension,
// or the template's own extension).
//
// The item list's and the groups' owner is the component (a ComponentBase) whose data
// file gives the default name.
//
// User-interface thread only.
#include <cstdint>

#include "shapes/item_result_list.h"
#include "shapes/ui/shape_files.h"

namespace orva {

inline constexpr char kMasksEmptyText[] = "mask - empty";
inline constexpr char kMasksPartlySavedFormat[] = "Can`t save %d mask(s), save %d";
inline constexpr char kMasksSavedFormat[] = "Save %d mask(s)";
inline constexpr char kBeginListLine[] = ";#begin list";
inline constexpr char kEndListLine[] = ";#end list";

// The writer of a mask saver: made without a shape, its reference-point flag holds the
// role filter (the filter 1 writes reference-point files).
class MaskSaver : public ShapeFileWriter {
public:
    MaskSaver(int32_t form, int32_t roleFilter) : ShapeFileWriter(nullptr, form, roleFilter) {}
};

// A role passes a filter when the filter is -512, equals the role, both are 6 or 7,
// both lie in 1..4, or the filter is 1 and the role 6 or 7.
bool RoleMatches(int32_t role, int32_t filter);
// A shape that is not empty and whose role passes the filter.
bool ShapeMatchesRole(const Shape* shape, int32_t filter);
// A member of the group matches.
bool GroupHasMatchingMask(const ItemGroup* group, int32_t filter);
// The group's own shape is the current shape of its container (or, with
// `withoutContainer`, has none).
bool GroupIsCurrent(const ItemGroup* group, bool withoutContainer);
// No entry has a shape or group member that matches.
bool ListHasNoMatchingMask(const ItemResultList* list, int32_t filter);

// Saves the matching masks of the list; true when at least one was saved. Without a
// name, one file is the list's remembered name of the form, else the owner's data file
// with ".msk", "_msk.txt" or ".rep", else "maskn.msk" / "maskn.txt"; a file each is
// named from the name (or each shape's remembered or default name).
bool SaveMasks(ItemResultList* list, const char* name, bool oneFile, bool extension, int32_t form,
               int32_t filter);
// The matching members of one group into one file between the list markers.
bool SaveGroupMasks(ItemGroup* group, const char* name, bool extension, int32_t form, int32_t filter);
// Index -1: the current entry, 0 and above that entry (a shape through the save dialog
// of its own, a group into one file); -2: every entry into one file chosen in a
// dialog; below -2: every entry into a file of its own named from a template chosen in
// a dialog.
bool SaveMasksByRole(ItemResultList* list, int32_t index, int32_t form, int32_t filter);

}  // namespace orva
