#include "shapes/ui/mask_save.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/file_dialog.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/component.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"

namespace orva {

namespace {

// The data file of the owning component into a buffer of kPathMax bytes.
bool OwnerSourcePath(void* owner, char* buffer) {
    return owner != nullptr && GetSourceFileName(static_cast<ComponentBase*>(owner), buffer, nullptr) &&
           buffer[0] != '\0';
}

// The name of one file for all masks: the given one, else the remembered one, else the
// owner's data file with the type's extension, else "maskn.msk" / "maskn.txt".
std::string OneFileName(const char* name, const char* remembered, void* owner, int32_t form, int32_t filter) {
    if (name != nullptr && name[0] != '\0') return name;
    if (remembered != nullptr && remembered[0] != '\0') return remembered;
    char source[kPathMax];
    char path[kPathMax];
    const char* ext = filter == kRoleRefPoint ? ".rep" : form == 1 ? ".msk" : "_msk.txt";
    if (OwnerSourcePath(owner, source) && PathReplaceExtension(path, source, ext)) return path;
    return form == 1 ? "maskn.msk" : "maskn.txt";
}

class Run {
public:
    Run(MaskSaver* writer, bool oneFile, const char* name, bool extension, int32_t filter)
        : w_(writer), oneFile_(oneFile), name_(name), extension_(extension), filter_(filter) {}

    // Writes one matching shape.
    void Write(Shape* shape) {
        ++matched;
        w_->SetShape(shape);
        bool ok = false;
        if (oneFile_) {
            ok = w_->SaveKeepOpen() && w_->State() == kResultReady;
        } else if (w_->OpenForSave(name_, name_ != nullptr && name_[0] != '\0', extension_)) {
            ok = w_->SaveFile() && w_->State() == kResultReady;
            // What a failed write left open goes, so that the next file starts clean.
            if (!ok && w_->IsOpen()) w_->Close();
        } else {
            return;
        }
        if (ok) {
            ++saved;
        } else if (w_->State() != kResultReady) {
            LogPrintf(kNoFileAccessFormat, w_->Path() != nullptr ? w_->Path() : "");
        }
    }

    // A group's matching members; between the list markers in one file. False when a
    // marker could not be written.
    bool Group(ItemGroup* g) {
        if (!GroupHasMatchingMask(g, filter_) &&
            !(GroupIsCurrent(g, false) && RoleMatches(g->shape->header.role, filter_)))
            return true;
        if (oneFile_) {
            // A file that begins with a group begins with its first member's header.
            for (uint32_t i = 0; i < g->memberCount; ++i) {
                if (ShapeMatchesRole(g->members[i], filter_)) {
                    w_->SetShape(g->members[i]);
                    break;
                }
            }
            if (!w_->WriteMarker(kBeginListLine)) return false;
        }
        for (uint32_t i = 0; i < g->memberCount; ++i)
            if (ShapeMatchesRole(g->members[i], filter_)) Write(g->members[i]);
        return !oneFile_ || w_->WriteMarker(kEndListLine);
    }

    // Commits the one file (kept when any mask was saved into it).
    void Finish() {
        if (oneFile_ && w_->IsOpen()) {
            w_->SetAccepted(saved > 0);
            if (!w_->Close() && saved > 0) {
                LogPrintf(kNoFileAccessFormat, w_->Path() != nullptr ? w_->Path() : "");
                saved = 0;
            }
        }
        w_->SetShape(nullptr);
    }

    // The summary in the status line.
    bool Report() const {
        if (matched == 0) {
            ShapeStatus(kShapeStatusError, kMasksEmptyText);
            return false;
        }
        if (saved < matched) {
            ShapeStatus(kShapeStatusError, FormatString(kMasksPartlySavedFormat, matched - saved, saved));
            return saved > 0;
        }
        ShapeStatus(kShapeStatusNotice, FormatString(kMasksSavedFormat, saved));
        return true;
    }

    int matched = 0;
    int saved = 0;

private:
    MaskSaver* w_;
    bool oneFile_;
    const char* name_;
    bool extension_;
    int32_t filter_;
};

}  // namespace

bool RoleMatches(int32_t role, int32_t filter) {
    if (filter == kRoleUnset || role == filter) return true;
    const bool areaRole = role == kRoleStatistic || role == kRoleFindArea;
    if ((filter == kRoleStatistic || filter == kRoleFindArea) && areaRole) return true;
    const bool gaugeRole = role >= kRoleRefPoint && role <= kRoleDipMeter;
    if (filter >= kRoleRefPoint && filter <= kRoleDipMeter && gaugeRole) return true;
    return filter == kRoleRefPoint && areaRole;
}

bool ShapeMatchesRole(const Shape* shape, int32_t filter) {
    return shape != nullptr && !ShapeIsEmpty(shape) && RoleMatches(shape->header.role, filter);
}

bool GroupHasMatchingMask(const ItemGroup* group, int32_t filter) {
    if (group == nullptr) return false;
    for (uint32_t i = 0; i < group->memberCount; ++i)
        if (ShapeMatchesRole(group->members[i], filter)) return true;
    return false;
}

bool GroupIsCurrent(const ItemGroup* group, bool withoutContainer) {
    if (group == nullptr || group->shape == nullptr) return false;
    const ShapeContainer* c = group->shape->container;
    return c == nullptr ? withoutContainer : c->current == group->shape;
}

bool ListHasNoMatchingMask(const ItemResultList* list, int32_t filter) {
    if (list == nullptr) return true;
    for (uint32_t i = 0; i < list->count; ++i) {
        const ItemResultEntry& e = list->entries[i];
        if (e.group != nullptr ? GroupHasMatchingMask(e.group, filter) : ShapeMatchesRole(e.shape, filter))
            return false;
    }
    return true;
}

bool SaveMasks(ItemResultList* list, const char* name, bool oneFile, bool extension, int32_t form,
               int32_t filter) {
    if (list == nullptr) return false;
    MaskSaver writer(form, filter);
    if (oneFile) {
        writer.rememberName = false;
        char** remembered = form == 1 ? &list->anchorFileName : &list->dataFileName;
        const std::string target = OneFileName(name, *remembered, list->owner, form, filter);
        if (!writer.OpenForSave(target.c_str(), false, extension)) return false;
        if (writer.Path() != nullptr) {
            char* copy = strdup(writer.Path());
            if (copy != nullptr) {
                std::free(*remembered);
                *remembered = copy;
            }
        }
    } else {
        writer.rememberName = true;
    }
    writer.showMessages = false;
    Run run(&writer, oneFile, name, extension, filter);
    for (uint32_t i = 0; i < list->count; ++i) {
        const ItemResultEntry& e = list->entries[i];
        if (e.group == nullptr) {
            if (ShapeMatchesRole(e.shape, filter)) run.Write(e.shape);
        } else if (!run.Group(e.group)) {
            break;
        }
    }
    run.Finish();
    return run.Report();
}

bool SaveGroupMasks(ItemGroup* group, const char* name, bool extension, int32_t form, int32_t filter) {
    if (group == nullptr) return false;
    if (!GroupHasMatchingMask(group, filter) &&
        !(GroupIsCurrent(group, false) && RoleMatches(group->shape->header.role, filter)))
        return false;
    MaskSaver writer(form, filter);
    writer.rememberName = false;
    writer.showMessages = false;
    const std::string target = OneFileName(name, nullptr, group->owner, form, filter);
    if (!writer.OpenForSave(target.c_str(), false, extension)) return false;
    Run run(&writer, true, nullptr, extension, filter);
    run.Group(group);
    run.Finish();
    return run.Report();
}

bool SaveMasksByRole(ItemResultList* list, int32_t index, int32_t form, int32_t filter) {
    if (list == nullptr) return false;
    if (index >= -1) {
        const uint32_t at = index == -1 ? list->currentIndex : static_cast<uint32_t>(index);
        if (at >= list->count) return false;
        const ItemResultEntry& e = list->entries[at];
        if (e.group == nullptr) {
            if (!ShapeMatchesRole(e.shape, filter)) return false;
            return SaveShapeAs(e.shape, form, kRoleUnset);
        }
        const Shape* own = e.group->shape;
        const bool ownMatches = own != nullptr && GroupIsCurrent(e.group, true) && RoleMatches(own->header.role, filter);
        if (ownMatches || GroupHasMatchingMask(e.group, filter))
            return SaveGroupMasks(e.group, nullptr, true, form, filter);
        return false;
    }
    if (ListHasNoMatchingMask(list, filter)) return false;
    const bool oneFile = index == -2;
    const char* title = oneFile ? "Save mask(s)..." : "select template the name for mask...";
    const uint32_t flags = oneFile ? kOfnOverwritePrompt | kOfnExtensionDifferent | kOfnPathMustExist
                                   : kOfnNoTestFileCreate | kOfnExtensionDifferent | kOfnPathMustExist;
    static const char kFilter[] =
        "Text [*.msk]\0*.msk\0Text [*.txt]\0*.txt\0By type [*.msk, *.rep, *.txt]\0*.*\0All\0*.*\0";
    char buffer[kPathMax] = "";
    const char* remembered = form == 1 ? list->anchorFileName : list->dataFileName;
    if (remembered != nullptr && std::strlen(remembered) < sizeof buffer)
        std::memcpy(buffer, remembered, std::strlen(remembered) + 1);
    int32_t& filterIndex = TheShapeGlobals().maskFileFilter;
    if (RunFileDialog(nullptr, nullptr, buffer, sizeof buffer, nullptr, title, flags, kFilter, "msk", kFileDialogText,
                      &filterIndex, oneFile ? kFileDialogSave : kFileDialogSaveQuiet) == 0)
        return false;
    return SaveMasks(list, buffer, oneFile, filterIndex == 3, form, filter);
}

}  // namespace orva
