#include "transform/transformation.h"

#include <algorithm>
#include <cstring>

#include "common/clib.h"
#include "common/sample_type.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// A request of more pixels is cut to this many.
constexpr int64_t kMaxRequestPixels = 0x4000000;
// A region's statistics read at most this many pixels.
constexpr int64_t kRegionBudget = 0x80000;
// Rows of scaled values are done in strips of at most this many bytes: the
// scaled values are still in the cache when the colour stage reads them.
constexpr uint64_t kStripBytes = 0x40000;
// A temporary block larger than this is given back after a run.
constexpr uint32_t kTemporaryKeepLimit = 0x400000;

// The pixel formats offered downstream: 16-bit RGB, then 8-bit RGB.
struct PixelOffer {
    uint32_t format;
    uint32_t element;
};
constexpr PixelOffer kPixelOffers[] = {{0x400102, 2}, {0x400101, 1}};
constexpr uint32_t kPixelChannels = 3;

void ReleaseShape(void* shape) {
    const RegionShapeServices& s = TheRegionShapeServices();
    if (shape != nullptr && s.release != nullptr) s.release(shape);
}

void AddShapeReference(void* shape) {
    const RegionShapeServices& s = TheRegionShapeServices();
    if (shape != nullptr && s.addRef != nullptr) s.addRef(shape);
}

// Holds a shape's container lock for a scope (nothing without one).
class ContainerHold {
public:
    explicit ContainerHold(void* shape) {
        const RegionShapeServices& s = TheRegionShapeServices();
        lock_ = shape != nullptr && s.containerLock != nullptr ? s.containerLock(shape) : nullptr;
        if (lock_ != nullptr) lock_->lock();
    }
    ~ContainerHold() {
        if (lock_ != nullptr) lock_->unlock();
    }
    ContainerHold(const ContainerHold&) = delete;
    ContainerHold& operator=(const ContainerHold&) = delete;

private:
    std::recursive_mutex* lock_;
};

// A cached frame or section answers a request for it, or for any (-1).
bool SameFrame(const ReadWindow& cached, const ReadWindow& asked) {
    return (asked.frame < 0 || cached.frame < 0 || asked.frame == cached.frame) &&
           (asked.section < 0 || cached.section < 0 || asked.section == cached.section);
}

bool Contains(const ReadWindow& outer, int64_t x, int64_t y, int64_t width, int64_t height) {
    return x >= outer.x && y >= outer.y && x + width <= outer.x + outer.width && y + height <= outer.y + outer.height;
}

// Clips the box to a frame of the given size; false when they do not overlap.
bool ClipToFrame(BlockBox* box, int64_t frameWidth, int64_t frameHeight) {
    int64_t x0 = std::max<int64_t>(box->x, 0), y0 = std::max<int64_t>(box->y, 0);
    int64_t x1 = box->x + box->width, y1 = box->y + box->height;
    x1 = std::min(x1, frameWidth);
    y1 = std::min(y1, frameHeight);
    if (x1 <= x0 || y1 <= y0) return false;
    box->x = x0;
    box->y = y0;
    box->width = static_cast<int32_t>(std::min<int64_t>(x1 - x0, 0x7FFFFFFF));
    box->height = static_cast<int32_t>(std::min<int64_t>(y1 - y0, 0x7FFFFFFF));
    return true;
}

// Where this run's range comes from.
struct RegionPlan {
    bool have = false;      // a region overlaps the frame
    bool fromMain = false;  // the main pull holds all of it
    BlockBox box;
};

RegionPlan PlanRegion(TransformationComponent* t, const PullResult& main, const ReadWindow& w, bool fresh) {
    RegionPlan plan;
    const RegionShapeServices& s = TheRegionShapeServices();
    void* shape = t->region;
    if (shape == nullptr || s.regionBox == nullptr || s.regionStatistics == nullptr) return plan;
    ContainerHold hold(shape);
    if (!s.regionBox(shape, &plan.box)) return plan;
    int64_t frameWidth = INT64_MAX, frameHeight = INT64_MAX;
    if (const FrameDataRecord* frame = t->UpstreamFrameData(w.frame, w.section)) {
        frameWidth = frame->width;
        frameHeight = frame->height;
    }
    if (!ClipToFrame(&plan.box, frameWidth, frameHeight)) return plan;
    plan.have = true;
    ReadWindow request;
    request.frame = w.frame;
    request.section = w.section;
    BlockIteratorInit(&request, plan.box);
    BlockFitBudget(&request, kRegionBudget);
    if (Contains(w, plan.box.x, plan.box.y, plan.box.width, plan.box.height)) {
        plan.fromMain = true;
        return plan;
    }
    PullResult& rc = t->regionCache;
    const bool valid = !fresh && rc.pending != 0 && SameFrame(rc.window, request) &&
                       Contains(rc.window, plan.box.x, plan.box.y, plan.box.width, plan.box.height) &&
                       main.pending != 0;
    if (!valid) {
        rc.window = request;
        rc.pending = 0;
    }
    return plan;
}

// The range from the region's values in the pulled block, when it differs.
void RangeFromRegion(TransformationComponent* t, PullResult* main, const RegionPlan& plan, PullRequest* request) {
    PullResult* source = plan.fromMain ? main : &t->regionCache;
    if (!plan.fromMain && t->regionCache.pending == 0) {
        if (ComponentPull(&t->input, &t->regionCache, request) < 2) return;
        t->regionCache.pending = 1;
    }
    const TypedFrameBuffer& image = source->image;
    if (image.data == nullptr || image.itemBytes != t->bytesPerPixel) return;
    const RegionShapeServices& s = TheRegionShapeServices();
    ScaleSettings& settings = t->scaler.Current();
    LinearRange range;
    {
        void* shape = t->region;
        ContainerHold hold(shape);
        RegionStatistics statistics;
        const BlockBox block{source->window.x, source->window.y, static_cast<int32_t>(image.width),
                             static_cast<int32_t>(image.height)};
        if (!s.regionStatistics(shape, block, static_cast<const double*>(image.data), t->channels, &statistics))
            return;
        if (settings.rangeMode == 0) {
            const LinearAxis axis{statistics.sigma, statistics.mean};
            if (!LinearRangeFromIndices(&axis, &range, settings.nMin, settings.nMax)) return;
        } else if (settings.rangeMode == 1) {
            range = {statistics.minimum, statistics.maximum};
        } else {
            return;
        }
    }
    if (!(range.low <= range.high) || (range.low == settings.min && range.high == settings.max)) return;
    settings.min = range.low;
    settings.max = range.high;
    ValueScalerUpdateScale(&t->scaler);
    // The playback thread never touches a panel.
    if (ClibOnMainThread() && t->scaler.panel != nullptr) t->scaler.panel(&t->scaler);
}

}  // namespace

RegionShapeServices& TheRegionShapeServices() {
    static RegionShapeServices services;
    return services;
}

TransformationUiServices& TheTransformationUiServices() {
    static TransformationUiServices services;
    return services;
}

// ---- Input ---------------------------------------------------------------------------------------

TransformationInput::TransformationInput(TransformationComponent* owner) : ConsumerLink(owner), stage(owner) {}

void TransformationInput::OnUpstreamChanged() {
    Guard lock(DisplayLock());
    stage->frameCache.pending = 0;
    stage->regionCache.pending = 0;
}

bool TransformationInput::AcceptFormat(FormatRequest* request) {
    TransformationComponent* t = stage;
    if (request == nullptr || request->channels == 0 || (request->format & 0x40) == 0 ||
        (request->format & 0xBF) != 0) {
        ComponentResetProcess(t);
        return false;
    }
    const uint32_t channels = ClampFormatChannels(request->channels);
    {
        Guard lock(DisplayLock());
        if (channels != t->channels) t->ClearCaches(false);
        t->channels = channels;
        t->bytesPerSample = 8;
        t->bytesPerPixel = channels * 8;
        t->frameCache.image.SetTypeAndCount(0x40, channels);
        t->regionCache.image.SetTypeAndCount(0x40, channels);
    }
    ValueScalerSetFlags(&t->scaler, 0x40, 0x40);
    ColorFormat data;
    data.flags = NormalizeFormatWord(request->format);
    data.bits = FormatElementSize(data.flags);
    data.channels = channels;
    ColorConverterSetFormat(&t->converter, data);
    t->process = &TransformationComponent::Worker;
    return true;
}

// ---- Life ------------------------------------------------------------------------------------------

TransformationComponent::TransformationComponent(ProjectItemBase* item, const SettingsRequest* request, uint32_t flags)
    : ComponentBase(item), input(this), scaler(request, flags), converter(request, flags) {
    name = "Transformation";
    panelBuilder = &TransformationViewPage;
    frameCache.window.frame = frameCache.window.section = -1;
    regionCache.window.frame = regionCache.window.section = -1;
    const TransformationUiServices& ui = TheTransformationUiServices();
    ColorConverterSetOwner(&converter, this, ui.colourPanel, nullptr);
    ValueScalerSetOwner(&scaler, this, ui.showRange);
}

TransformationComponent::~TransformationComponent() {
    void *attached, *pending;
    {
        Guard lock(DisplayLock());
        process = &ComponentProcessDefault;
        attached = region;
        pending = pendingRegion;
        region = pendingRegion = nullptr;
    }
    ReleaseShape(attached);
    ReleaseShape(pending);
    const RegionShapeServices& s = TheRegionShapeServices();
    if (regionItem != nullptr && s.releaseItem != nullptr) s.releaseItem(regionItem);
    regionItem = nullptr;
    input.Detach();
}

bool TransformationComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new TransformationComponent(nullptr, nullptr, 0);
    return *out != nullptr;
}

ComponentBase* CreateTransformation(ComponentUi* ui, ProjectItemBase* item, const SettingsRequest* request) {
    auto* c = new TransformationComponent(item, request, 0);
    if (c == nullptr) return nullptr;
    if (ui != nullptr && !ui->AddComponent(c)) {
        c->Release();
        return nullptr;
    }
    return c;
}

ComponentBase* CreateTransformationFromScript(ComponentUi* ui, ProjectItemBase* item, void*) {
    return CreateTransformation(ui, item, nullptr);
}

// ---- Slots -----------------------------------------------------------------------------------------

bool TransformationComponent::QueryInterface(const ComponentId* id, void** out) {
    if (id == nullptr) return false;
    const ComponentId* own[] = {&kTransformationId, &kComponentBaseId, &kDriveSourceId, &kBaseId};
    if (AnswerInterface(id, out, own, 4)) return true;
    if (SameComponentId(id, &kPlugId)) return false;
    if (SameComponentId(id, &kPlugColorId)) {
        if (out != nullptr) *out = &converter;
        return true;
    }
    return scaler.QueryInterface(id, out);
}

bool TransformationComponent::QueryProperties(const ComponentId* id, PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    if (converter.QuerySettings(id, out)) return true;
    if (!IdHasKind(id, kCodeProp) && !SameComponentId(id, &kBaseId)) return false;
    void* found = nullptr;
    if (!scaler.QueryInterface(id, out != nullptr ? &found : nullptr)) return false;
    if (out != nullptr) *out = static_cast<PropertyComponent*>(found);
    return true;
}

void TransformationComponent::RefreshPanels() {
    const TransformationUiServices& ui = TheTransformationUiServices();
    if (pageWindow == nullptr || pageWindow->current != this || !ComponentUiUp() || ui.notifyElements == nullptr)
        return;
    if (ui.rangePanel != nullptr) ui.notifyElements(pageWindow, ui.rangePanel, 0);
    if (converter.panel != nullptr) ui.notifyElements(pageWindow, converter.panel, 0);
}

int32_t TransformationComponent::Refresh(uint8_t) {
    RefreshPanels();
    if (firstLink != nullptr) ComponentRefreshDownstream(this);
    RefreshAllWindowsWhenUp();
    return 0;
}

ConsumerLink* TransformationComponent::GetInputLink(int index) { return index == 0 ? &input : nullptr; }

bool TransformationComponent::NegotiateInput(ConsumerLink* link, FormatRequest* request) {
    if (request == nullptr) return false;
    ColorFormat& f = converter.format;
    const bool known = f.pixelFormat != 0 && f.pixelChannels != 0;
    if (known) {
        request->format = f.pixelFormat;
        request->element = f.pixelWord;
        request->channels = f.pixelChannels;
        return link == nullptr || link->AcceptFormat(request);
    }
    if (link == nullptr) {
        request->format = kPixelOffers[1].format;
        request->element = kPixelOffers[1].element;
        request->channels = kPixelChannels;
        return true;
    }
    for (const PixelOffer& offer : kPixelOffers) {
        request->format = offer.format;
        request->element = offer.element;
        request->channels = kPixelChannels;
        if (!link->AcceptFormat(request)) continue;
        ColorFormat pixels;
        pixels.pixelFormat = NormalizeFormatWord(request->format);
        pixels.pixelWord = request->element;
        pixels.pixelChannels = request->channels;
        ColorConverterSetFormat(&converter, pixels);
        // The class row is chosen only now that the pixels are known: a "View" page built
        // before this shows it from now on, not "[none]".
        RefreshPanels();
        return true;
    }
    return false;
}

void TransformationComponent::ClearCaches(bool free) {
    Guard lock(DisplayLock());
    for (PullResult* cache : {&frameCache, &regionCache}) {
        cache->pending = 0;
        if (free) {
            const int32_t type = cache->image.elementType;
            const uint32_t count = cache->image.elementsPerItem;
            cache->image.Reset();
            cache->image.SetTypeAndCount(type, count);
        }
    }
    if (free) temporary.Free();
}

bool TransformationComponent::OnMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr) return false;
    switch (message->code) {
        case kMsgRefreshPages:
            ClearCaches(true);
            return true;
        case 2:
            ColorConverterSelectRow(&converter, converter.Current().classIndex);
            ValueScalerSetClass(&scaler, scaler.Current().classIndex);
            return true;
        case kMsgFrameRequest:
            return AnswerFrameRequest(message);
        default:
            return ComponentOnSelect(this, message, argument);
    }
}

void TransformationComponent::SendPageMessage(MessageRecord* message, uint32_t argument) {
    ComponentDeliverMessage(ComponentUpstream(this), message, argument);
}

bool TransformationComponent::AnswerFrameRequest(MessageRecord* message) {
    auto* target = dynamic_cast<FramePictureTarget*>(MessageTargetOf(message));
    if (target == nullptr || target->picture == nullptr || process != &Worker) return false;
    PullResult* picture = target->picture;
    // The whole frame: the box the asker names, or the frame's own size.
    if (picture->window.width <= 0 || picture->window.height <= 0) {
        const FrameDataRecord* frame = UpstreamFrameData(picture->window.frame, picture->window.section);
        if (frame == nullptr || frame->width <= 0 || frame->height <= 0) return false;
        picture->window.x = picture->window.y = 0;
        picture->window.width = static_cast<int32_t>(std::min<int64_t>(frame->width, 0x7FFFFFFF));
        picture->window.height = static_cast<int32_t>(std::min<int64_t>(frame->height, 0x7FFFFFFF));
    }
    PullRequest request;
    Guard lock(DisplayLock());
    const ReadWindow& cached = frameCache.window;
    const ReadWindow& w = picture->window;
    if (frameCache.pending != 0 && SameFrame(cached, w) && Contains(cached, w.x, w.y, w.width, w.height))
        return Run(picture, &request, &frameCache) >= 3 && picture->image.HoldsFrame();
    // The whole frame is pulled into a block of its own, given back once its picture is
    // made: the frame cache keeps the part the view pulled, which is all that later views
    // of it and the readouts read, instead of growing to the whole frame (eight bytes a
    // sample) for as long as the frame is shown.
    PullResult whole;
    whole.window.frame = whole.window.section = -1;
    whole.image.SetTypeAndCount(0x40, channels);
    const bool made = Run(picture, &request, &whole) >= 3 && picture->image.HoldsFrame();
    whole.image.Reset();
    return made;
}

// ---- The "View" page ----------------------------------------------------------------------------------

int32_t TransformationViewPage(PageWindow* page, void* window, int32_t pageId) {
    auto* t = page != nullptr ? dynamic_cast<TransformationComponent*>(page->current) : nullptr;
    if (t == nullptr) return 0;
    const TransformationUiServices& ui = TheTransformationUiServices();
    if (window == nullptr || ui.openPage == nullptr || !ui.openPage(page, window, pageId, kTransformationPageTitle)) {
        if (ui.setPageDisabled != nullptr) ui.setPageDisabled(page, window, true);
        return 0;
    }
    int32_t built = 0;
    for (PanelBuilder panel : {ui.rangePanel, t->converter.panel, ui.classPanel}) {
        if (panel != nullptr) built += panel(page, window, pageId);
    }
    if (ui.setPageDisabled != nullptr) ui.setPageDisabled(page, window, t->portRecord == nullptr);
    return built;
}

// ---- Region -------------------------------------------------------------------------------------------

bool TransformationComponent::ShapeAction(const void* request) {
    const RegionShapeServices& s = TheRegionShapeServices();
    if (s.nodeShapeAction == nullptr) return false;
    int32_t kind = -1, role = -1;
    if (request != nullptr && s.requestKindRole != nullptr && s.requestKindRole(request, &kind, &role) &&
        IsRegionAreaKind(kind) && role == kRegionStatisticRole)
        return s.nodeShapeAction(this, request, kind, role);
    return s.nodeShapeAction(this, nullptr, kRegionRectKind, kRegionStatisticRole);
}

bool TransformationComponent::AttachRegion(void* shape) {
    if (shape == nullptr) return false;
    void *attached, *pending;
    {
        Guard lock(DisplayLock());
        if (shape == region) return true;
        if (region == nullptr) ValueScalerStoreRangeAlt(&scaler);
        AddShapeReference(shape);
        attached = region;
        pending = pendingRegion;
        region = shape;
        pendingRegion = nullptr;
    }
    ReleaseShape(attached);
    ReleaseShape(pending);
    if (TheRegionShapeServices().markRegion != nullptr) TheRegionShapeServices().markRegion(shape);
    RefreshPanels();
    return true;
}

bool TransformationComponent::ReattachPendingRegion() {
    void* shape;
    {
        Guard lock(DisplayLock());
        shape = pendingRegion;
        if (shape == nullptr) return false;
        pendingRegion = nullptr;
    }
    const RegionShapeServices& s = TheRegionShapeServices();
    if (s.ensureInContainer != nullptr && !s.ensureInContainer(shape)) {
        ReleaseShape(shape);
        return false;
    }
    void* attached;
    {
        Guard lock(DisplayLock());
        if (region == nullptr) ValueScalerStoreRangeAlt(&scaler);
        attached = region;
        region = shape;
    }
    ReleaseShape(attached);
    if (s.markRegion != nullptr) s.markRegion(shape);
    RefreshPanels();
    return true;
}

bool TransformationComponent::DetachRegionShape(void* shape, bool unlinkItem) {
    void* detached;
    void* dropped;
    {
        Guard lock(DisplayLock());
        detached = region;
        if (detached == nullptr || (shape != nullptr && shape != detached)) return false;
        region = nullptr;
        dropped = pendingRegion;
        pendingRegion = detached;
    }
    ReleaseShape(dropped);
    ValueScalerStoreRange(&scaler);
    const RegionShapeServices& s = TheRegionShapeServices();
    if (unlinkItem && s.unlinkItem != nullptr) s.unlinkItem(detached, this);
    RefreshForRegion();
    return true;
}

bool TransformationComponent::DetachRegion(bool unlinkItem) { return DetachRegionShape(nullptr, unlinkItem); }

bool TransformationComponent::IsAttachedRegion() {
    Guard lock(DisplayLock());
    return region != nullptr;
}

bool TransformationComponent::HasNoRegion() const { return region == nullptr && pendingRegion == nullptr; }

void TransformationComponent::RefreshForRegion() {
    RefreshPanels();
    if (firstLink != nullptr) ComponentRefreshDownstream(this);
    RefreshAllWindowsWhenUp();
}

bool TransformationComponent::FollowViewOrigin(double offsetX, double offsetY, double scaleX, double scaleY) {
    const RegionShapeServices& s = TheRegionShapeServices();
    void* shape = region;
    if (shape == nullptr || s.moveBox == nullptr) return false;
    {
        ContainerHold hold(shape);
        s.moveBox(shape, -offsetX * scaleX, -offsetY * scaleY);
    }
    RefreshForRegion();
    return true;
}

// ---- The worker ---------------------------------------------------------------------------------------

int32_t TransformationComponent::Worker(ComponentBase* component, PullResult* result, PullRequest* request) {
    auto* t = static_cast<TransformationComponent*>(component);
    if (t == nullptr) return 0;
    return t->Run(result, request, &t->frameCache);
}

int32_t TransformationComponent::Run(PullResult* result, PullRequest* request, PullResult* cache) {
    TransformationComponent* t = this;
    if (result == nullptr || cache == nullptr) return 0;
    // The callers hold the display lock; held here too, the worker is safe on its own.
    Guard lock(DisplayLock());
    ReadWindow w = result->window;
    BlockFitBudget(&w, kMaxRequestPixels);
    const bool fresh = request != nullptr && request->readAgain != 0;

    const RegionPlan plan = PlanRegion(t, *cache, w, fresh);

    // The main pull, unless the cached block holds the window.
    PullResult& fc = *cache;
    if (fresh || fc.pending == 0 || !SameFrame(fc.window, w) || !Contains(fc.window, w.x, w.y, w.width, w.height)) {
        fc.window = w;
        fc.pending = 0;
        const int32_t code = ComponentPull(&t->input, &fc, request);
        if (code < 2) {
            result->pending = code == 1 ? 1 : 0;
            return code;
        }
        fc.pending = 1;
    }

    // The window inside the pulled block.
    const TypedFrameBuffer& block = fc.image;
    const bool usable = block.data != nullptr && block.itemBytes == t->bytesPerPixel;
    const int64_t bx = fc.window.x, by = fc.window.y;
    const int64_t bw = usable ? std::min<int64_t>(fc.window.width, block.width) : 0;
    const int64_t bh = usable ? std::min<int64_t>(fc.window.height, block.height) : 0;
    const int64_t x0 = std::max(w.x, bx), y0 = std::max(w.y, by);
    const int64_t x1 = std::min(w.x + w.width, bx + bw), y1 = std::min(w.y + w.height, by + bh);
    if (x1 <= x0 || y1 <= y0) {
        result->window.x = result->window.y = 0;
        result->window.width = result->window.height = 0;
        result->pending = 0;
        return 1;
    }
    const auto width = static_cast<uint32_t>(x1 - x0);
    const auto height = static_cast<uint32_t>(y1 - y0);

    if (plan.have) RangeFromRegion(t, &fc, plan, request);

    // The temporary block: a strip of rows, else one row.
    const uint64_t rowValues = uint64_t{width} * t->channels;
    const uint64_t rowBytes = rowValues * sizeof(double);
    uint32_t stripRows = static_cast<uint32_t>(std::clamp<uint64_t>(kStripBytes / rowBytes, 1, height));
    if (!GlobalBufferFit(&t->temporary, stripRows * rowBytes)) {
        stripRows = 1;
        if (!GlobalBufferFit(&t->temporary, rowBytes)) return -4;
    }

    // The output image.
    TypedFrameBuffer& out = result->image;
    const ColorFormat& pixels = t->converter.format;
    out.SetTypeAndCount(static_cast<int32_t>(pixels.pixelFormat != 0 ? pixels.pixelFormat : kPixelOffers[1].format),
                        pixels.pixelChannels != 0 ? pixels.pixelChannels : kPixelChannels);
    if (!out.AllocImageBuffer(width, height)) {
        result->pending = 0;
        return -4;
    }

    // Scaled values, then pixels, a strip at a time.
    const ScaleKernel scale = t->scaler.kernel;
    const ScaleParameters* parameters = &t->scaler.Current();
    const ColorRowFn convert = t->converter.row;
    auto* scaled = static_cast<double*>(t->temporary.data);
    const auto* values = static_cast<const double*>(block.data);
    const uint64_t blockRowValues = static_cast<uint64_t>(bw) * t->channels;
    const double* first = values + static_cast<uint64_t>(y0 - by) * blockRowValues + static_cast<uint64_t>(x0 - bx) * t->channels;
    auto* target = static_cast<uint8_t*>(out.data);
    const bool wholeRows = static_cast<int64_t>(width) == bw;
    if (convert == ColorRowNone) std::memset(target, 0, out.rowBytes * height);
    for (uint32_t row = 0; row < height; row += stripRows) {
        const uint32_t rows = std::min(stripRows, height - row);
        const double* from = first + row * blockRowValues;
        if (wholeRows) {
            scale(scaled, rows * rowValues, from, parameters);
        } else {
            for (uint32_t r = 0; r < rows; ++r) scale(scaled + r * rowValues, rowValues, from + r * blockRowValues, parameters);
        }
        convert(target + row * out.rowBytes, uint64_t{rows} * width, scaled, &t->converter.palette);
    }

    result->window.frame = fc.window.frame;
    result->window.section = fc.window.section;
    result->window.x = x0;
    result->window.y = y0;
    result->window.width = static_cast<int32_t>(width);
    result->window.height = static_cast<int32_t>(height);
    result->deliveredFrame = fc.deliveredFrame;
    result->deliveredSection = fc.deliveredSection;
    out.windowX = x0;
    out.windowY = y0;
    result->pending = 1;
    if (t->temporary.size > kTemporaryKeepLimit) t->temporary.Free();
    return 3;
}

}  // namespace orva
