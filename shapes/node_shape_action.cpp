#include "shapes/node_shape_action.h"

#include <algorithm>

#include "shapes/shape_container.h"

namespace orva {

namespace {

// The box side without a frame description.
constexpr int64_t kDefaultFrameSide = 50;
// Frames wider than this get a box of kDefaultFrameSide.
constexpr int64_t kWideFrame = 100;
// The fewest words a description carries: flags, kind and the start point.
constexpr int32_t kLeastRequestWords = 5;

}  // namespace

void DefaultNodeBox(bool haveFrame, int64_t frameWidth, int64_t frameHeight, int64_t* width, int64_t* height) {
    int64_t w = haveFrame && frameWidth > 0 ? frameWidth : kDefaultFrameSide;
    const int64_t h = haveFrame && frameHeight > 0 ? frameHeight : kDefaultFrameSide;
    if (w > kWideFrame) w = kDefaultFrameSide;
    else if (w >= 2) w /= 2;
    *width = w;
    *height = std::min(h, w);
}

bool NodeShapeAction(ShapeNode* node, const ShapeRequest* description, const EditTransformState* offset) {
    if (node == nullptr || description == nullptr || description->kind < 0 || description->size < kLeastRequestWords)
        return false;
    ShapeRequest request = *description;
    const bool listed = request.points != nullptr && request.points->data != nullptr && request.points->count > 1;
    if (!listed && request.start[0] == request.end[0] && request.start[1] == request.end[1]) {
        int64_t frameWidth = 0, frameHeight = 0;
        const bool haveFrame = node->FrameSize(&frameWidth, &frameHeight) && frameWidth > 0 && frameHeight > 0;
        int64_t w = 0, h = 0;
        DefaultNodeBox(haveFrame, frameWidth, frameHeight, &w, &h);
        double x = 0.0, y = 0.0;
        node->VisibleOrigin(&x, &y);
        // Moved back so that the box stays inside the frame.
        if (haveFrame) {
            x = std::max(0.0, std::min(x, static_cast<double>(frameWidth - w)));
            y = std::max(0.0, std::min(y, static_cast<double>(frameHeight - h)));
        }
        request.points = nullptr;
        request.start[0] = static_cast<float>(x);
        request.start[1] = static_cast<float>(y);
        request.end[0] = static_cast<float>(x + w);
        request.end[1] = static_cast<float>(y + h);
        request.newShape = 1;
        request.append = 1;
        request.mode = 2;
    }
    if (offset != nullptr && !offset->IsUnitFlip()) offset = nullptr;

    ShapeContainer* display = node->Display();
    if (display != nullptr && display->current != nullptr && display->selectionFlag)
        return ChangeShapeKind(display, request, offset) != 0;

    Shape* shape = CreateShape(request.kind);
    if (shape == nullptr) return false;
    shape->AddRef();
    int32_t role = request.role;
    // A gauge asked for on a display with shapes measures what its first shape does.
    if (role == kRoleGauge && display != nullptr) {
        if (const Shape* first = display->FirstVisibleShape()) role = first->header.role;
    }
    request.role = role;
    bool taken = false;
    if (shape->FillFromRequest(request, offset, nullptr)) {
        shape->statMark.centreX = -1.0;
        shape->ResetBounds();
        shape->UpdateGeometry(kUpdateFull);
        shape->RecentrePivot();
        taken = node->TakeShape(shape);
    }
    shape->Release();
    return taken;
}

}  // namespace orva
