#pragma once
// The Transformation component: the pipeline stage that turns the 64-bit real
// values of frames pulled from upstream into display pixels, through its value
// scaler (range and scaling class) and its colour converter (palette). It keeps
// the scaling range current from a region drawn on the view, caches what it
// pulled so that later windows inside it need no pull, and offers the "View"
// page.
//
// Its worker runs on the user-interface thread and on the playback timer
// thread, always under the display lock; it refreshes a panel only on the
// user-interface thread. Shapes and pages belong to layers above this one:
// they are reached through the two service tables below, which the
// composition root fills at start-up.
#include <cstdint>
#include <mutex>

#include "framework/component.h"
#include "transform/color_converter.h"
#include "transform/value_scaler.h"

namespace orva {

class TransformationComponent;

// The values under a region: extremes, sample standard deviation and mean.
struct RegionStatistics {
    double minimum = 0.0;
    double maximum = 0.0;
    double sigma = 0.0;
    double mean = 0.0;
};

// Shape kinds and the role of the region requests.
constexpr int32_t kRegionRectKind = 4;
constexpr int32_t kRegionStatisticRole = 6;
// True for the area kinds a region can be drawn with (4 to 10, 12 and 13).
constexpr bool IsRegionAreaKind(int32_t kind) { return (kind >= 4 && kind <= 10) || kind == 12 || kind == 13; }

// What the Transformation asks of the shape that gives it a region. Shapes are
// opaque here; every entry may be empty (an empty one answers false or does
// nothing).
struct RegionShapeServices {
    int32_t (*addRef)(void* shape) = nullptr;
    int32_t (*release)(void* shape) = nullptr;
    // The lock of the shape's container, held while the region is read.
    std::recursive_mutex* (*containerLock)(void* shape) = nullptr;
    // The bounding box of the shape's region in data coordinates; false when the
    // region holds no rectangles.
    bool (*regionBox)(void* shape, BlockBox* box) = nullptr;
    // The statistics of the values of a block of `channels` values a pixel (its
    // origin and size in data coordinates) under the region; false when none lie under it.
    bool (*regionStatistics)(void* shape, const BlockBox& block, const double* values, uint32_t channels,
                             RegionStatistics* statistics) = nullptr;
    // The shape now gives a stage its region (its state word becomes 2).
    void (*markRegion)(void* shape) = nullptr;
    // Puts a detached shape back into its view's container; false when it cannot.
    bool (*ensureInContainer)(void* shape) = nullptr;
    // Takes the stage off the shape's linked items.
    void (*unlinkItem)(void* shape, ComponentBase* stage) = nullptr;
    // Gives back the stage's item (TransformationComponent::regionItem) when the stage goes.
    void (*releaseItem)(void* item) = nullptr;
    // Moves the shape's box to the origin (x, y), keeping its size.
    void (*moveBox)(void* shape, double x, double y) = nullptr;
    // The kind and role a drawing request asks for; false when it cannot be read.
    bool (*requestKindRole)(const void* request, int32_t* kind, int32_t* role) = nullptr;
    // Draws or changes a shape for the stage on its display; without a request a
    // default one of the kind and role is made. The stage takes the shape through
    // AttachRegion.
    bool (*nodeShapeAction)(ComponentBase* stage, const void* request, int32_t kind, int32_t role) = nullptr;
};
RegionShapeServices& TheRegionShapeServices();

// What the "View" page needs of the page machinery and of the panels built on
// it; every entry may be empty.
struct TransformationUiServices {
    // Readies the page in the window: gives it the title when it has none and
    // finds or makes its group; false when its element cannot be made.
    bool (*openPage)(PageWindow* page, void* window, int32_t pageId, const char* title) = nullptr;
    // Enables or disables the page's widgets in the window.
    void (*setPageDisabled)(PageWindow* page, void* window, bool disabled) = nullptr;
    // Refreshes the shown elements of the page that belong to the builder.
    void (*notifyElements)(PageWindow* page, PanelBuilder key, intptr_t argument) = nullptr;
    // The three blocks of the page: the scaling range, the colour settings and
    // the scaling class options.
    PanelBuilder rangePanel = nullptr;
    PanelBuilder colourPanel = nullptr;
    PanelBuilder classPanel = nullptr;
    // Writes the scaler's range into its range block (user-interface thread only).
    ScalePanelFn showRange = nullptr;
};
TransformationUiServices& TheTransformationUiServices();

// The title of the component's page.
inline constexpr char kTransformationPageTitle[] = "View";

// The input pin: it accepts 64-bit real frames of any channel count.
class TransformationInput : public ConsumerLink {
public:
    explicit TransformationInput(TransformationComponent* stage);
    // A change upstream: what the caches hold is no longer current.
    void OnUpstreamChanged() override;
    // Accepts the format 0x40 (none of the bits 0xBF) with channels; prepares the
    // caches, the scaler and the converter for it and installs the worker. A
    // refused format puts the default process function back.
    bool AcceptFormat(FormatRequest* request) override;

    TransformationComponent* stage;
};

class TransformationComponent : public ComponentBase, public RegionInterface {
public:
    // Owned by the item (none: no owner); the settings request names the
    // settings file and whether the shared defaults are linked or copied.
    TransformationComponent(ProjectItemBase* owner, const SettingsRequest* request, uint32_t flags);
    // Releases the region shapes; the scaler may write its settings file.
    ~TransformationComponent() override;

    const ComponentId* GetClassId() const override { return &kTransformationId; }
    bool CreateInstance(ComponentObject** out) override;
    // Its own id, "CELB" 0 0 0, the region interface and "BASE" give the
    // component; "PLUG" 0 0 0 is refused; "PLUG" 0 "CONV" "COLR" gives the
    // colour converter; the scaler answers the rest.
    bool QueryInterface(const ComponentId* id, void** out) override;
    // Refreshes the shown panels, the downstream components and dirty windows.
    int32_t Refresh(uint8_t playback) override;
    // The colour settings first, then the scaling settings.
    bool QueryProperties(const ComponentId* id, PropertyComponent** out) override;
    ConsumerLink* GetInputLink(int index) override;
    // The converter's pixel format; before it has one, 16-bit RGB and then 8-bit
    // RGB are offered and the first accepted is kept. Without a link: the
    // converter's format, or 8-bit RGB.
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;
    // 1 empties the caches; 2 reselects the kernels; the frame request (0x102) of a
    // picture target is answered with the whole frame; others: selection.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // Passes a page message on up the chain, so that the frame a display selects
    // reaches the Source at its head.
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;
    // The frame request: the frame and section `picture->window` names, its box (none:
    // the whole frame) converted as the worker converts a pull, into the target's
    // picture. False without a picture target, an input format or a frame.
    bool AnswerFrameRequest(MessageRecord* message);

    // ---- The region interface
    // A request for an area shape in the Statistic role goes on as it is; any
    // other becomes a default Rect in that role.
    bool ShapeAction(const void* request) override;
    bool ReattachPendingRegion() override;
    bool DetachRegion(bool unlinkItem) override;
    bool IsAttachedRegion() override;
    // The shape gives the range from now on (true at once when it does already).
    bool AttachRegion(void* shape);
    // Detaches the attached shape when it is `shape` (any shape when null): it
    // becomes the pending one and the range before it comes back with RestoreRange.
    bool DetachRegionShape(void* shape, bool unlinkItem);
    // Refreshes the panels and everything downstream after the region changed.
    void RefreshForRegion();
    bool HasNoRegion() const;
    // Moves the attached region so that its origin is the negated view offset,
    // times the view's pixel scale; then refreshes. False without a region.
    bool FollowViewOrigin(double offsetX, double offsetY, double scaleX, double scaleY);

    // Refreshes the shown elements of the range and colour blocks.
    void RefreshPanels();
    // Empties both caches and the temporary block (blocks freed with `free`).
    void ClearCaches(bool free);

    // The worker: the process function once an input format is accepted.
    static int32_t Worker(ComponentBase* component, PullResult* result, PullRequest* request);
    // The worker's steps with `cache` as the block that holds the pulled values.
    int32_t Run(PullResult* result, PullRequest* request, PullResult* cache);

    TransformationInput input;
    PullResult frameCache;    // valid while its first byte is set
    PullResult regionCache;
    void* region = nullptr;         // the attached region shape (one reference)
    void* pendingRegion = nullptr;  // the last detached one (one reference)
    // The shapes layer's record through which region shapes tell the stage of
    // their edits; made by the shapes' services, given back through them.
    void* regionItem = nullptr;
    TypedBuffer temporary;          // scaled values of one strip of rows
    uint32_t bytesPerSample = 8;
    uint32_t bytesPerPixel = 0;
    uint32_t channels = 0;
    ValueScaler scaler;
    ColorConverter converter;
};

// The "View" page builder: the range, colour and class blocks of the page's
// component; the sum of what they build.
int32_t TransformationViewPage(PageWindow* page, void* window, int32_t pageId);

// A Transformation owned by the item with the settings request, listed by the
// user interface; nullptr when it cannot be made or the list refuses it.
ComponentBase* CreateTransformation(ComponentUi* ui, ProjectItemBase* item, const SettingsRequest* request);
// The default chain's stage ("kelocolorconv"): no script names its settings, so
// it starts from its own defaults.
ComponentBase* CreateTransformationFromScript(ComponentUi* ui, ProjectItemBase* item, void* description);

}  // namespace orva
