#pragma once
// A data file opened without windows through the open road into a project, with the
// program's default chain behind its Source (Processing, Transformation, Reduction),
// a consumer of 64-bit reals attached to the Processing stage, and one attached to the
// Source itself to read what the Source delivers. Everything installed for the file
// is put back when the object goes.
#include <gtest/gtest.h>

#include <string>

#include "app/cui.h"
#include "framework/pipeline.h"
#include "io/format_registry.h"
#include "io/stream.h"
#include "processing/processing_component.h"
#include "processing/processing_test_support.h"
#include "reduction/reduction_component.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/shape_view.h"
#include "source_test_support.h"
#include "transform/transformation.h"
#include "views/open_data_files.h"
#include "views/source_component.h"

namespace orva::testing_views {

class OpenedFile {
public:
    OpenedFile() {
        saved_ = ThePipelineServices();
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs_, &outputs_);
        PipelineServices& s = ThePipelineServices();
        s.defaultUi = &ui;
        s.createProcessing = &CreateProcessingFromScript;
        s.createTransformation = &CreateTransformationFromScript;
        s.createReduction = &CreateReductionFromScript;
        InstallOpenRoad();
    }
    ~OpenedFile() {
        ConsumerDetach(&consumer);
        ConsumerDetach(&direct);
        CUIShutdown(&cui);
        TheOpenRoad() = OpenRoad{};
        ThePipelineServices() = saved_;
        ReleaseFormats(TheFormatRegistry());
        TheFormatRegistry().input.Clear();
        TheFormatRegistry().input.current = 0;
        CloseAllStreams();
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    // Opens the file into a new project and attaches the two consumers; false (with a
    // failure reported) when the chain is not Source -> Processing.
    bool Open(const std::string& path) {
        OpenParameters request;
        Project* slot = nullptr;
        if (OpenFileIntoProject(&cui, &slot, &request, path.c_str()) != 2 || slot == nullptr ||
            slot->currentItem.load() == nullptr) {
            ADD_FAILURE() << "cannot open " << path;
            return false;
        }
        item = slot->currentItem.load();
        source = dynamic_cast<SourceComponent*>(item->currentSource.load());
        if (source == nullptr || source->firstLink == nullptr) {
            ADD_FAILURE() << path << ": no Source with a stage behind it";
            return false;
        }
        processing = dynamic_cast<ProcessingComponent*>(source->firstLink->owner);
        if (processing == nullptr) {
            ADD_FAILURE() << path << ": the Source's first stage is not the Processing stage";
            return false;
        }
        if (!ConsumerAttach(&consumer, processing) || !ConsumerAttach(&direct, source)) {
            ADD_FAILURE() << path << ": a consumer of 64-bit reals was refused";
            return false;
        }
        return true;
    }

    testing_util::TempFolder folder;
    TestUi ui;
    CUI cui;
    ProjectItem* item = nullptr;
    SourceComponent* source = nullptr;
    ProcessingComponent* processing = nullptr;
    testing_util::ConsumerEnd consumer;  // behind the Processing stage
    testing_util::ConsumerEnd direct;    // behind the Source

private:
    PipelineServices saved_;
    int inputs_ = 0, outputs_ = 0;
};

// The first stage downstream of `from` (depth first) whose class is `id`.
inline ComponentBase* FindStage(ComponentBase* from, const ComponentId* id) {
    for (ConsumerLink* l = from->firstLink; l != nullptr; l = l->next) {
        if (l->owner == nullptr) continue;
        if (l->owner->GetClassId() == id) return l->owner;
        if (ComponentBase* deeper = FindStage(l->owner, id)) return deeper;
    }
    return nullptr;
}

// The view of the shapes over a frame of the given size: new statistic shapes go to the
// Reduction's items.
class MeasuringView : public ShapeView {
public:
    MeasuringView(ShapeItem* item, int64_t width, int64_t height) : item_(item), width_(width), height_(height) {}
    ShapeItem* DefaultItem() override { return item_; }
    bool DataFrameSize(int64_t* width, int64_t* height) const override {
        *width = width_;
        *height = height_;
        return true;
    }

private:
    ShapeItem* item_;
    int64_t width_, height_;
};

// A shape made as a view hands a drag to its container, from (x0, y0) to (x1, y1); with
// an aperture above 0 its background ring comes with it.
inline Shape* DragShape(ShapeContainer& shapes, int32_t kind, int32_t role, float x0, float y0, float x1, float y1,
                        int32_t aperture = 0) {
    ShapeRequest request;
    request.kind = kind;
    request.role = role;
    request.start[0] = x0;
    request.start[1] = y0;
    request.end[0] = x1;
    request.end[1] = y1;
    EditTransformState state;
    state.Reset();
    if (aperture > 0) Shape::SetOffsetAperture(&state, aperture, -1);
    return shapes.ShapeFromRequest(request, &state, nullptr);
}

}  // namespace orva::testing_views
