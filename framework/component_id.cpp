#include "framework/component_id.h"

namespace orva {

const ComponentId* const kComponentIdCatalogue[kComponentIdCatalogueSize] = {
    &kNullId,           &kUnknownId,           &kBaseId,
    &kFormatInfoId,     &kDataInfoStackId,     &kMainAppId,
    &kCmdGlobalId,      &kProjectListId,       &kCmdProjectListId,
    &kProjectItemId,    &kCmdProjectItemId,    &kNodeCltsId,
    &kCmdNodeCltsId,    &kNodeStreamId,        &kCmdNodeStreamId,
    &kControlContainerId, &kControlContainerPropId, &kReductionDataId,
    &kComponentBaseId,  &kDriveSourceId,       &kStreamSch2Id,
    &kStreamSwitchId,   &kInputId,             &kInputPropId,
    &kOutputCommonId,   &kOutputId,            &kOutputPropId,
    &kProcessingId,     &kProcessingPropId,    &kReductionId,
    &kReductionPropId,  &kSingleFilterId,      &kSingleFilterPropId,
    &kTransformationId, &kTransformationPropId, &kWorkspaceId,
    &kWorkspacePropId,  &kDisplayCellId,       &kDisplayCellPropId,
    &kAudioCellId,      &kAudioCellPropId,     &kOutputEntriesId,
    &kParams1DId,       &kParams2DId,          &kParams2DSecondId,
    &kParams2DVId,      &kDeviceDrawId,        &kWindowDrawId,
    &kDevice1DId,       &kChartWindowId,       &kDevice2DId,
    &kImageWindowId,    &kDevice2DVId,         &kWindow2DVId,
    &kDevice3DId,       &kWindow3DId,          &kPlugId,
    &kPropId,           &kPropEntriesId,       &kPlugGeometryId,
    &kGeometryModuleId, &kPlugConvolutionId,   &kConvolutionModuleId,
    &kPlugColorId,      &kPlugColorPropId,     &kPlugSingleFilterId,
    &kPlugSingleFilterPropId,
};

}  // namespace orva
