#pragma once
// Component identifiers: four 32-bit codes naming a class, an interface or a
// node kind, plus a display name that is not part of the identity.
#include <cstdint>

#include "common/record_tag.h"

namespace orva {

struct ComponentId {
    // Code 1 (kind), code 2 (sub-kind), codes 3 and 4 (the stage's family and
    // kind). Each is a four-character code with its first character in the
    // lowest byte, or 0.
    uint32_t code[4];
    // Display name, or nullptr.
    const char* name;
};

// Equal when the same record, or when the four codes are equal word by word.
inline bool SameComponentId(const ComponentId* a, const ComponentId* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    for (int i = 0; i < 4; ++i) {
        if (a->code[i] != b->code[i]) return false;
    }
    return true;
}

inline bool operator==(const ComponentId& a, const ComponentId& b) { return SameComponentId(&a, &b); }

constexpr uint32_t kCodeProp = FourCC("PROP");
constexpr uint32_t kCodeEntr = FourCC("ENTR");
constexpr uint32_t kCodeCtnr = FourCC("CTNR");

// A test of one code alone compares that word only.
inline bool IdHasKind(const ComponentId* id, uint32_t code1) { return id != nullptr && id->code[0] == code1; }
// Codes 3 and 4: the stage (family and kind within it).
inline bool IdHasStage(const ComponentId* id, uint32_t code3, uint32_t code4) {
    return id != nullptr && id->code[2] == code3 && id->code[3] == code4;
}

// ---- The catalogue ----------------------------------------------------------------
// Global records with static storage: they exist before main runs and never change.
// The id of a class is the address of its record; equal codes are one identity.

#define ORVA_ID(name, c1, c2, c3, c4, text) \
    inline constexpr ComponentId name{{c1, c2, c3, c4}, text}
#define ORVA_CC(t) FourCC(t)

ORVA_ID(kNullId, 0, 0, 0, 0, nullptr);
ORVA_ID(kUnknownId, ORVA_CC("UNKN"), 0, 0, 0, nullptr);
ORVA_ID(kBaseId, ORVA_CC("BASE"), 0, 0, 0, nullptr);
ORVA_ID(kFormatInfoId, 0, 0, ORVA_CC("FRMT"), ORVA_CC("INFO"), nullptr);
ORVA_ID(kDataInfoStackId, ORVA_CC("STAC"), ORVA_CC("DTMT"), ORVA_CC("DIFO"), ORVA_CC("INFO"), nullptr);
// The application's own identity: its settings section in orva.cfg is named by it.
inline constexpr ComponentId kMainAppId{{FourCC("GLOB"), 0, FourCC("GLOB"), FourCC("APPL")}, "MainApp"};
ORVA_ID(kCmdGlobalId, ORVA_CC("CMDI"), 0, ORVA_CC("GLOB"), ORVA_CC("APPL"), "Cmd Global");
ORVA_ID(kProjectListId, ORVA_CC("GRPH"), 0, ORVA_CC("NODE"), ORVA_CC("PJLT"), "ProjectList");
ORVA_ID(kCmdProjectListId, ORVA_CC("CMDI"), 0, ORVA_CC("NODE"), ORVA_CC("PJLT"), nullptr);
ORVA_ID(kProjectItemId, ORVA_CC("GRPH"), 0, ORVA_CC("NODE"), ORVA_CC("PRJI"), nullptr);
ORVA_ID(kCmdProjectItemId, ORVA_CC("CMDI"), 0, ORVA_CC("NODE"), ORVA_CC("PRJI"), nullptr);
ORVA_ID(kNodeCltsId, ORVA_CC("GRPH"), 0, ORVA_CC("NODE"), ORVA_CC("CLTS"), nullptr);
ORVA_ID(kCmdNodeCltsId, ORVA_CC("CMDI"), 0, ORVA_CC("NODE"), ORVA_CC("CLTS"), nullptr);
ORVA_ID(kNodeStreamId, ORVA_CC("GRPH"), 0, ORVA_CC("NODE"), ORVA_CC("STRM"), nullptr);
ORVA_ID(kCmdNodeStreamId, ORVA_CC("CMDI"), 0, ORVA_CC("NODE"), ORVA_CC("STRM"), nullptr);
ORVA_ID(kControlContainerId, ORVA_CC("CELB"), 0, ORVA_CC("GCTL"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kControlContainerPropId, ORVA_CC("PROP"), 0, ORVA_CC("GCTL"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kReductionDataId, ORVA_CC("DTSA"), ORVA_CC("REDU"), ORVA_CC("DTMT"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kComponentBaseId, ORVA_CC("CELB"), 0, 0, 0, nullptr);
ORVA_ID(kDriveSourceId, ORVA_CC("CELB"), 0, ORVA_CC("RIVE"), ORVA_CC("SGOJ"), nullptr);
ORVA_ID(kStreamSch2Id, ORVA_CC("CELB"), 0, ORVA_CC("STRM"), ORVA_CC("SCH2"), nullptr);
ORVA_ID(kStreamSwitchId, ORVA_CC("CELB"), 0, ORVA_CC("STRM"), ORVA_CC("SWCH"), nullptr);
ORVA_ID(kInputId, ORVA_CC("CELB"), 0, ORVA_CC("IOST"), ORVA_CC("INPT"), "Input");
ORVA_ID(kInputPropId, ORVA_CC("PROP"), 0, ORVA_CC("IOST"), ORVA_CC("INPT"), nullptr);
ORVA_ID(kOutputCommonId, ORVA_CC("CELB"), 0, ORVA_CC("IOST"), ORVA_CC("OUTG"), "Output Common");
ORVA_ID(kOutputId, ORVA_CC("CELB"), 0, ORVA_CC("IOST"), ORVA_CC("OUTL"), "Output");
ORVA_ID(kOutputPropId, ORVA_CC("PROP"), 0, ORVA_CC("IOST"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kProcessingId, ORVA_CC("CELB"), 0, ORVA_CC("FILT"), ORVA_CC("CTNR"), "MultiFilter");
ORVA_ID(kProcessingPropId, ORVA_CC("PROP"), 0, ORVA_CC("FILT"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kReductionId, ORVA_CC("CELB"), 0, ORVA_CC("PROC"), ORVA_CC("REDU"), "Reduction");
ORVA_ID(kReductionPropId, ORVA_CC("PROP"), 0, ORVA_CC("PROC"), ORVA_CC("REDU"), nullptr);
ORVA_ID(kSingleFilterId, ORVA_CC("CELB"), 0, ORVA_CC("FILT"), ORVA_CC("PRC1"), nullptr);
ORVA_ID(kSingleFilterPropId, ORVA_CC("PROP"), 0, ORVA_CC("FILT"), ORVA_CC("PRC1"), nullptr);
ORVA_ID(kTransformationId, ORVA_CC("CELB"), 0, ORVA_CC("CONV"), ORVA_CC("COLR"), "ColorConv");
ORVA_ID(kTransformationPropId, ORVA_CC("PROP"), 0, ORVA_CC("CONV"), ORVA_CC("COLR"), nullptr);
ORVA_ID(kWorkspaceId, ORVA_CC("CELB"), 0, ORVA_CC("DRAW"), ORVA_CC("CTNR"), "DrawArea");
ORVA_ID(kWorkspacePropId, ORVA_CC("PROP"), 0, ORVA_CC("DRAW"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kDisplayCellId, ORVA_CC("CELB"), ORVA_CC("DRWB"), ORVA_CC("CELX"), ORVA_CC("DRAW"), "Draw");
ORVA_ID(kDisplayCellPropId, ORVA_CC("PROP"), ORVA_CC("DRWB"), ORVA_CC("CELX"), ORVA_CC("DRAW"), nullptr);
ORVA_ID(kAudioCellId, ORVA_CC("CELB"), 0, ORVA_CC("CELX"), ORVA_CC("AUDI"), nullptr);
ORVA_ID(kAudioCellPropId, ORVA_CC("PROP"), 0, ORVA_CC("CELX"), ORVA_CC("AUDI"), nullptr);
ORVA_ID(kOutputEntriesId, ORVA_CC("CTNR"), ORVA_CC("OUTG"), ORVA_CC("ENTR"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kParams1DId, ORVA_CC("CPAR"), ORVA_CC("DT1D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kParams2DId, ORVA_CC("CPAR"), ORVA_CC("DT2D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kParams2DSecondId, ORVA_CC("CPAR"), ORVA_CC("DT2D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kParams2DVId, ORVA_CC("CPAR"), ORVA_CC("DT2V"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kDeviceDrawId, ORVA_CC("OUTG"), ORVA_CC("DRAW"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kWindowDrawId, ORVA_CC("GRPS"), ORVA_CC("DRAW"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kDevice1DId, ORVA_CC("OUTG"), ORVA_CC("DT1D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kChartWindowId, ORVA_CC("GRPS"), ORVA_CC("DT1D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kDevice2DId, ORVA_CC("OUTG"), ORVA_CC("DT2D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kImageWindowId, ORVA_CC("GRPS"), ORVA_CC("DT2D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kDevice2DVId, ORVA_CC("OUTG"), ORVA_CC("DT2V"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kWindow2DVId, ORVA_CC("GRPS"), ORVA_CC("DT2V"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kDevice3DId, ORVA_CC("OUTG"), ORVA_CC("DT3D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kWindow3DId, ORVA_CC("GRPS"), ORVA_CC("DT3D"), ORVA_CC("DEVI"), ORVA_CC("OUTG"), nullptr);
ORVA_ID(kPlugId, ORVA_CC("PLUG"), 0, 0, 0, nullptr);
ORVA_ID(kPropId, ORVA_CC("PROP"), 0, 0, 0, nullptr);
ORVA_ID(kPropEntriesId, ORVA_CC("CTNR"), ORVA_CC("PROP"), ORVA_CC("ENTR"), ORVA_CC("CTNR"), nullptr);
ORVA_ID(kPlugGeometryId, ORVA_CC("PLUG"), 0, ORVA_CC("FILT"), ORVA_CC("GEOM"), nullptr);
ORVA_ID(kGeometryModuleId, ORVA_CC("PLUG"), 0, ORVA_CC("FILT"), ORVA_CC("GEOM"), "Geometry");
ORVA_ID(kPlugConvolutionId, ORVA_CC("PLUG"), 0, ORVA_CC("FILT"), ORVA_CC("CNVL"), nullptr);
ORVA_ID(kConvolutionModuleId, ORVA_CC("PLUG"), 0, ORVA_CC("FILT"), ORVA_CC("CNVL"), "Convolution");
ORVA_ID(kPlugColorId, ORVA_CC("PLUG"), 0, ORVA_CC("CONV"), ORVA_CC("COLR"), nullptr);
ORVA_ID(kPlugColorPropId, ORVA_CC("PROP"), 0, ORVA_CC("CONV"), ORVA_CC("COLR"), nullptr);
ORVA_ID(kPlugSingleFilterId, ORVA_CC("PLUG"), 0, ORVA_CC("FILT"), ORVA_CC("PRC1"), nullptr);
ORVA_ID(kPlugSingleFilterPropId, ORVA_CC("PROP"), 0, ORVA_CC("FILT"), ORVA_CC("PRC1"), nullptr);
// The control of the geometry module (a record outside the numbered catalogue).
ORVA_ID(kGeometryControlId, ORVA_CC("CTRL"), 0, ORVA_CC("CTRL"), ORVA_CC("GEOM"), nullptr);

#undef ORVA_CC
#undef ORVA_ID

// The 67 numbered records, in the order in which they are defined.
constexpr int kComponentIdCatalogueSize = 67;
extern const ComponentId* const kComponentIdCatalogue[kComponentIdCatalogueSize];

}  // namespace orva
