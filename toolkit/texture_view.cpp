#include "toolkit/texture_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "common/aligned_memory.h"
#include "common/numeric.h"
#include "platform/gl_context.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

constexpr uint32_t kViewStyle = 0x30a00800u;  // click at press and at release, no redraw of the value
constexpr uint32_t kDirtyAll = 7;
constexpr int64_t kReadAreaMax = 640000;
constexpr int32_t kReadSideMax = 800;

TextureStatusFn gStatusHook = nullptr;

void Status(int32_t code, const char* text) {
    if (gStatusHook != nullptr) gStatusHook(0, code, 7, text);
}

// No cursor resources here: the arrow while idle, the four-way arrow while pressed.
pf::Cursor IdleCursor() { return pf::LoadCursor(pf::kIdcArrow); }
pf::Cursor PressedCursor() {
    pf::Cursor c = pf::LoadCursor(pf::kIdcSizeAll);
    return c != nullptr ? c : IdleCursor();
}

// The pointer in the window's upward coordinates.
void PointerUp(const gWindow* window, float* x, float* y) {
    *x = static_cast<float>(gCursorPos.x);
    *y = static_cast<float>(window->clientHeight - gCursorPos.y);
}

bool Scaled(double ratio) { return std::fabs(ratio - 1.0) >= DBL_EPSILON; }

void SetScale(TextureTransform* t, double x, double y) {
    t->scaledX = Scaled(x) ? 1 : 0;
    t->scaledY = Scaled(y) ? 1 : 0;
    t->scaleX = t->scaledX ? x : 1.0;
    t->scaleY = t->scaledY ? y : 1.0;
    t->inverseScaleX = 1.0 / t->scaleX;
    t->inverseScaleY = 1.0 / t->scaleY;
    t->scaleOn = (t->scaledX | t->scaledY) != 0 ? 1 : 0;
}

}  // namespace

void SetTextureViewStatusHook(TextureStatusFn hook) { gStatusHook = hook; }

void TextureFitTransform(TextureViewTransform* t, TextureFitResult* result, TextureSize size) {
    if (t == nullptr || result == nullptr) return;
    const double w = size.width, h = size.height;
    const bool scaleFirst = t->scaleLast == 0 && t->scaleOn != 0;
    const bool scaleAfter = t->scaleLast != 0 && t->scaleOn != 0;
    // The rotation centre drawing uses: the picture's centre in output pixels.
    t->centreX = w * 0.5 * (scaleFirst ? t->scaleX : 1.0);
    t->centreY = h * 0.5 * (scaleFirst ? t->scaleY : 1.0);
    double sine = 0.0, cosine = 1.0;
    if (t->rotateOn != 0) SinCosDegrees(&sine, &cosine, -t->angle);
    const double cx = scaleFirst ? t->centreX * t->inverseScaleX : t->centreX;
    const double cy = scaleFirst ? t->centreY * t->inverseScaleY : t->centreY;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    const double corners[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    for (const auto& c : corners) {
        // The matrices of TextureImage::DrawTransformed, innermost first.
        double x = c[0], y = c[1];
        if (scaleAfter) {
            x *= t->scaleX;
            y *= t->scaleY;
        }
        if (t->flipY != 0) y = (scaleAfter && t->scaledY ? h * t->scaleY : h) - y;
        if (t->flipX != 0) x = (scaleAfter && t->scaledX ? w * t->scaleX : w) - x;
        if (t->rotateOn != 0) {
            const double dx = x - cx, dy = y - cy;
            x = cx + cosine * dx - sine * dy;
            y = cy + sine * dx + cosine * dy;
        }
        if (scaleFirst) {
            x *= t->scaleX;
            y *= t->scaleY;
        }
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    *result = TextureFitResult{minX, minY, maxX - minX, maxY - minY};
}

// ---- Creation and fitting ----------------------------------------------------------------

gElement* TextureView::Create(gWindow* window, const TextureViewRect& rect, void* ownerObject) {
    if (window == nullptr) return nullptr;
    WidgetDesc desc;
    desc.kind = kTextureViewKind;
    desc.style = kWsNoPlace;
    desc.width = desc.cellWidth = rect.width != 0 ? rect.width : 10.0f;
    desc.height = desc.cellHeight = rect.height != 0 ? rect.height : 10.0f;
    desc.offsetX = rect.x;
    desc.offsetY = rect.y;
    desc.state[1] = 0x01010101u;  // state, active, partial, enabled
    desc.state[2] = 0;            // not shown until a picture is there
    desc.paint = Paint;
    gElement* e = gWgtCreate(window, nullptr, nullptr, &desc, kWsTopLevel);
    if (e == nullptr) {
        created = 0;
        return nullptr;
    }
    created = 1;
    widget = e;
    viewWidth = static_cast<int32_t>(std::ceil(e->width));
    viewHeight = static_cast<int32_t>(std::ceil(e->height));
    markerOriginX = markerOriginY = 0;
    markerWidth = e->width * 0.5f;
    markerHeight = e->height * 0.5f;
    markerX = markerY = 0;
    markerOutline[0][0] = markerOutline[0][1] = markerOutline[1][1] = markerOutline[3][0] = 0;
    markerOutline[1][0] = markerOutline[2][0] = markerWidth;
    markerOutline[2][1] = markerOutline[3][1] = markerHeight;
    readZoom = 1.0f;
    owner = ownerObject;
    e->handlerData = reinterpret_cast<uintptr_t>(this);
    e->onDestroy = OnDestroy;
    e->destroyArmed = 1;
    e->cursor = e->defaultCursor = IdleCursor();
    e->style = kViewStyle;
    e->onClick = OnMouse;
    e->active = 1;
    gWgtSetTag(e, OnDrag);
    return e;
}

void TextureView::Deactivate() {
    scaleX = scaleY = inverseScaleX = inverseScaleY = 1.0;
    active = 0;
    if (widget == nullptr) return;
    widget->shown = 0;
    gWindow* window = widget->window;
    if (window == nullptr) return;
    if (image.texture != 0 && gWinMakeCurrent(window)) image.Release();
    window->dirty = kDirtyAll;
}

bool TextureView::FitImage(TextureSize size) {
    // A picture without area would give infinite scales.
    const double sx = size.width > 0 ? static_cast<double>(viewWidth) / size.width : 0.0;
    const double sy = size.height > 0 ? static_cast<double>(viewHeight) / size.height : 0.0;
    if (!(sx > DBL_MIN && sy > DBL_MIN) || widget == nullptr) {
        Deactivate();
        return false;
    }
    image.zoom = TextureZoom{};
    scaleX = sx;
    scaleY = sy;
    inverseScaleX = 1.0 / sx;
    inverseScaleY = 1.0 / sy;
    widget->shown = 1;
    if (widget->window != nullptr) widget->window->dirty = kDirtyAll;
    return true;
}

// Picture pixels a side of the texel that draws them at the view's draw scale (screen
// pixels a picture pixel): a picture drawn at a fraction of its size (a preview of a large
// frame) keeps one texel for each block of pixels that fall on one screen pixel, as GL's
// nearest texel would pick them, not a texture of the whole frame.
static int32_t TexelStep(const TextureTransform& t, const TextureZoom& zoom) {
    double scale = 1.0;
    if (t.enabled != 0 && t.scaleOn != 0) scale = std::max(std::fabs(t.scaleX), std::fabs(t.scaleY));
    if (zoom.zoomOn != 0) scale *= std::max(std::fabs(zoom.zoomX), std::fabs(zoom.zoomY));
    if (!(scale > 0.0) || scale >= 0.5) return 1;
    return static_cast<int32_t>(std::min(1.0 / scale, 65536.0));
}

bool TextureView::UploadFrame(const TextureViewFrame* frame) {
    frameWord1 = frame->word1;
    frameWord2 = frame->word2;
    image.transform = transform;  // the fields drawing reads
    gWindow* window = widget->window;
    const int32_t step = TexelStep(transform, image.zoom);
    if (frame->keepTexels != 0) {
        // The texture keeps the picture it holds; only its draw list follows the transform,
        // unless the picture is now drawn larger than its texels can show.
        if (image.step > step) return false;
        if (image.width == frame->width && image.height == frame->height) image.CompileList();
    } else {
        static std::atomic<uint64_t> stamps{0};
        pictureStamp = ++stamps;
        image.Upload(window, frame->pixels, frame->channels, (frame->flags & kMosaicFrame16Bit) != 0,
                     TextureSize{frame->width, frame->height}, step);
    }
    if (window != nullptr) window->dirty = kDirtyAll;
    widget->shown = 1;
    return true;
}

void TextureView::Upload(const TextureViewFrame* frame, TextureSize size) {
    if (frame == nullptr || !FitImage(size)) {
        if (frame == nullptr) Deactivate();
        return;
    }
    pictureX = pictureY = 0;
    pictureWidth = static_cast<float>(viewWidth);
    pictureHeight = static_cast<float>(viewHeight);
    drawOffsetX = drawOffsetY = 0;
    centred = 1;
    if (transform.enabled != 0) transform = TextureViewTransform{};
    if (frame->width != viewWidth || frame->height != viewHeight) {
        double rx = frame->width > 0 ? static_cast<double>(viewWidth) / frame->width : 1.0;
        double ry = frame->height > 0 ? static_cast<double>(viewHeight) / frame->height : 1.0;
        SetScale(&transform, rx > 0 ? rx : 1.0, ry > 0 ? ry : 1.0);
        transform.enabled = transform.scaleOn;
    }
    UploadFrame(frame);
}

bool TextureView::ConvertAndUpload(const TextureViewFrame* frame, const TextureViewTransform* caller,
                                   const TextureZoom* aspect, TextureSize size) {
    if (frame == nullptr || widget == nullptr) {
        Deactivate();
        return false;
    }
    double width = size.width, height = size.height;
    const bool withAspect = aspect != nullptr && aspect->zoomOn != 0;
    image.zoom = withAspect ? *aspect : TextureZoom{};
    if (withAspect) {
        width *= aspect->zoomX;
        height *= aspect->zoomY;
    }
    const double s = width > 0 && height > 0 ? std::min(viewWidth / width, viewHeight / height) : 0.0;
    if (!(s > FLT_MIN) || !std::isfinite(s)) {
        Deactivate();
        return false;
    }
    scaleX = scaleY = s;
    inverseScaleX = inverseScaleY = 1.0 / s;
    pictureWidth = static_cast<float>(width * s);
    pictureHeight = static_cast<float>(height * s);
    pictureX = static_cast<float>((viewWidth - width * s) * 0.5);
    pictureY = static_cast<float>((viewHeight - height * s) * 0.5);

    if (frame->transform.enabled != 0) {
        transform = frame->transform;
    } else if (transform.enabled != 0) {
        transform = TextureViewTransform{};
    }
    if (caller != nullptr) {
        SetScale(&transform, transform.scaleX * caller->scaleX, transform.scaleY * caller->scaleY);
        if (transform.rotationActive != 0) {
            MergeTransform(&transform, *caller);
        } else {
            transform.rotationActive = caller->rotationActive;
            transform.rotateOn = caller->rotateOn;
            transform.rightAngle = caller->rightAngle;
            transform.flipped = caller->flipped;
            transform.flipX = caller->flipX;
            transform.flipY = caller->flipY;
            transform.angle = caller->angle;
            transform.cosA = caller->cosA;
            transform.sinA = caller->sinA;
        }
    }
    // The fit scale folded in; a product that comes out as 1 leaves the axis unscaled.
    const double fx = transform.scaleX * s, fy = transform.scaleY * s;
    SetScale(&transform, std::fabs(fx - 1.0) < 1.19e-7 ? 1.0 : fx, std::fabs(fy - 1.0) < 1.19e-7 ? 1.0 : fy);
    transform.enabled = (transform.scaleOn | transform.rotationActive | image.zoom.zoomOn) != 0 ? 1 : 0;

    TextureFitResult box;
    (fit != nullptr ? fit : TextureFitTransform)(&transform, &box, TextureSize{frame->width, frame->height});
    double offsetX = box.left, offsetY = box.top;
    if (withAspect) {
        offsetX *= aspect->zoomX;
        offsetY *= aspect->zoomY;
    }
    drawOffsetX = static_cast<float>(pictureX - offsetX);
    drawOffsetY = static_cast<float>(pictureY - offsetY);
    centred = std::fabs(offsetX) < 1.0 && std::fabs(offsetY) < 1.0 ? 1 : 0;
    return UploadFrame(frame);
}

void TextureView::MergeTransform(TextureViewTransform* image, const TextureViewTransform& caller) {
    if (image == nullptr) return;
    TextureViewTransform& t = *image;
    if (t.flipped != 0 || caller.flipped != 0) {
        t.flipX = (t.flipX != 0) != (caller.flipX != 0) ? 1 : 0;
        t.flipY = (t.flipY != 0) != (caller.flipY != 0) ? 1 : 0;
        t.flipped = (t.flipX | t.flipY) != 0 ? 1 : 0;
    }
    if (caller.rotateOn == 0) {
        t.rotationActive = (t.rotateOn | t.flipped) != 0 ? 1 : 0;
        return;
    }
    double angle = std::fmod((t.rotateOn != 0 ? t.angle : 0.0) + caller.angle, 360.0);
    if (!std::isfinite(angle)) angle = 0.0;  // no rotation rather than a NaN one
    t.angle = angle;
    t.rotateOn = angle > -1e-307 && angle < 1e-307 ? 0 : 1;
    t.rotationActive = (t.rotateOn | t.flipped) != 0 ? 1 : 0;
    if (t.rotateOn == 0) {
        t.rightAngle = 1;
        t.sinA = 0.0;
        t.cosA = 1.0;
        return;
    }
    const double rest = std::fmod(angle, 90.0);
    t.rightAngle = rest > -1e-307 && rest < 1e-307 ? 1 : 0;
    if (t.rightAngle != 0) t.angle = std::round(t.angle);
    SinCosDegrees(&t.sinA, &t.cosA, t.angle);
}

// ---- Visible region and read-back ---------------------------------------------------------

void TextureView::SetVisibleRect(const TextureRegion& region, TextureSize size) {
    if (created == 0) return;
    if (region.width < 1 || region.height < 1) {
        if (active != 0) Deactivate();
        return;
    }
    active = 1;
    dataWidth = size.width;
    dataHeight = size.height;
    extentWidth = static_cast<float>(dataWidth * scaleX);
    extentHeight = static_cast<float>(dataHeight * scaleY);
    extentX = static_cast<float>(pictureX - region.x * scaleX);
    extentY = static_cast<float>(pictureY - region.y * scaleY);

    struct Axis {
        int32_t at, extent, data;
        double scale;
        float picture;
        float *markerSize, *origin, *destAt, *destSize;
        int32_t *readAt, *readSize;
    } axes[2] = {
        {region.x, region.width, dataWidth, scaleX, pictureX, &markerWidth, &markerOriginX, &readDestX,
         &readDestWidth, &readX, &readWidth},
        {region.y, region.height, dataHeight, scaleY, pictureY, &markerHeight, &markerOriginY, &readDestY,
         &readDestHeight, &readY, &readHeight},
    };
    bool readable = true;
    for (Axis& a : axes) {
        const int64_t w = std::min(a.extent, a.data);
        *a.markerSize = static_cast<float>(w * a.scale);
        double origin = a.picture;
        int64_t read = 0;
        if (a.at > 0) {
            if (a.at < a.data) {
                *a.readAt = a.at;
                read = std::min<int64_t>(a.extent, static_cast<int64_t>(a.data) - a.at);
            }
            const int64_t over = static_cast<int64_t>(a.at) + w - a.data;
            if (over > 0) origin -= static_cast<double>(over) * a.scale;
        } else {
            *a.readAt = 0;
            origin -= static_cast<double>(a.at) * a.scale;
            read = std::min<int64_t>(static_cast<int64_t>(a.extent) + a.at, a.data);
        }
        *a.origin = static_cast<float>(origin);
        if (read > 0) {
            *a.readSize = static_cast<int32_t>(read);
            *a.destSize = static_cast<float>(read * a.scale);
            *a.destAt = static_cast<float>(*a.readAt * a.scale);
        } else {
            readable = false;
        }
    }
    if (!readable) {
        readX = readY = readWidth = readHeight = 0;
        readDestX = readDestY = readDestWidth = readDestHeight = 0;
        active = 0;
    }
    markerX = markerOriginX;
    markerY = markerOriginY;
    markerOutline[0][0] = markerOutline[0][1] = markerOutline[1][1] = markerOutline[3][0] = 0;
    markerOutline[1][0] = markerOutline[2][0] = markerWidth;
    markerOutline[2][1] = markerOutline[3][1] = markerHeight;
    if (active == 0) return;
    if (sourceWindow != nullptr) PrepareReadBack();
    if (widget != nullptr) widget->shown = 1;
}

void TextureView::FitReadRegion(TextureRegion* r, int32_t windowWidth, int32_t windowHeight) {
    if (r == nullptr) return;
    const int32_t limits[2] = {windowWidth, windowHeight};
    int32_t* at[2] = {&r->x, &r->y};
    int32_t* extent[2] = {&r->width, &r->height};
    for (int i = 0; i < 2; ++i) {
        if (*at[i] >= limits[i] || *extent[i] < 0) {
            *extent[i] = 0;
        } else {
            *extent[i] = static_cast<int32_t>(std::min<int64_t>(*extent[i], static_cast<int64_t>(limits[i]) - *at[i]));
        }
    }
    const int64_t area = static_cast<int64_t>(r->width) * r->height;
    if (area <= kReadAreaMax) return;
    if (r->width <= kReadSideMax) {
        r->y += (r->height - kReadSideMax) / 2;
        r->height = kReadSideMax;
    } else if (r->height <= kReadSideMax) {
        r->x += (r->width - kReadSideMax) / 2;
        r->width = kReadSideMax;
    } else {
        const double factor = static_cast<double>(kReadAreaMax) / static_cast<double>(area);
        const auto w = static_cast<int32_t>(r->width * factor), h = static_cast<int32_t>(r->height * factor);
        r->x += (r->width - w) / 2;
        r->y += (r->height - h) / 2;
        r->width = w;
        r->height = h;
    }
}

void TextureView::PrepareReadBack() {
    TextureRegion r{readX, readY, readWidth, readHeight};
    FitReadRegion(&r, sourceWindow->clientWidth, sourceWindow->clientHeight);
    if (r.width <= 0 || r.height <= 0) {
        readX = readY = readWidth = readHeight = 0;
        active = 0;
        return;
    }
    readX = r.x;
    readY = r.y;
    readWidth = r.width;
    readHeight = r.height;
    readDestX = static_cast<float>(readX * scaleX);
    readDestY = static_cast<float>(readY * scaleY);
    readDestWidth = static_cast<float>(readWidth * scaleX);
    readDestHeight = static_cast<float>(readHeight * scaleY);
    const size_t need = static_cast<size_t>(r.width) * static_cast<size_t>(r.height) * 3;  // <= 3 x 640000
    if (readBuffer != nullptr && readBufferSize >= need) return;
    AlignedFree(readBuffer);
    readBuffer = static_cast<uint8_t*>(AlignedAlloc(need, 4));
    readBufferSize = readBuffer != nullptr ? static_cast<uint32_t>(need) : 0;
    if (readBuffer == nullptr) {
        active = 0;
        return;
    }
    std::memset(readBuffer, 0, need);
}

void TextureView::ReadBack() {
    if (active == 0 || sourceWindow == nullptr || readBuffer == nullptr || readWidth <= 0 || readHeight <= 0 ||
        readWidth > kReadSideMax || readHeight > kReadSideMax ||
        static_cast<size_t>(readWidth) * static_cast<size_t>(readHeight) * 3 > readBufferSize) {
        return;
    }
    if (!gWinMakeCurrent(sourceWindow)) return;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, sourceWindow->clientWidth, 0, sourceWindow->clientHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glRasterPos2i(1, 1);
    glPixelZoom(readZoom, readZoom);
    glReadBuffer(GL_BACK);  // the frame just painted, before its swap
    glReadPixels(readX, readY, readWidth, readHeight, GL_RGB, GL_UNSIGNED_BYTE, readBuffer);
}

// ---- Closing -------------------------------------------------------------------------------

void TextureView::Close() {
    AlignedFree(readBuffer);
    readBuffer = nullptr;
    readBufferSize = 0;
    gElement* e = widget;
    widget = nullptr;
    active = 0;
    if (e == nullptr) return;
    e->shown = 0;
    e->dead = 1;
    e->handlerData = 0;
    e->onDestroy = nullptr;
    e->destroyArmed = 0;
    gWindow* window = e->window;
    if (window != nullptr && gWinValidate(window) != nullptr) {
        if (image.texture != 0 && window->hglrc != nullptr && gWinMakeCurrent(window)) image.Release();
        window->dirty = kDirtyAll;
    }
    // Names of a context that is gone die with it.
    if (image.texture != 0) image = TextureImage{};
}

void TextureView::OnDestroy(gElement* e) {
    auto* view = reinterpret_cast<TextureView*>(e->handlerData);
    if (view != nullptr && view->widget == e) view->Close();
}

// ---- Drawing ------------------------------------------------------------------------------

void TextureView::Paint(gElement* e) {
    auto* view = reinterpret_cast<TextureView*>(e->handlerData);
    gWindow* window = e->window;
    if (window == nullptr) return;
    const bool picking = gIsPicking();
    // Upward window coordinates; while picking, multiplied onto the pick region.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    if (!picking) glLoadIdentity();
    glOrtho(0, window->clientWidth, 0, window->clientHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(e->x, e->y, 0);
    const float w = e->width, h = e->height;
    if (picking) {
        gPickRect(0, 0, w, h);
    } else {
        glColor3f(0, 0, 0);
        glRectf(0, -1, w + 1, h + 1);
        const GLdouble planes[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {-1, 0, 0, w + 1.0}, {0, -1, 0, h + 1.0}};
        for (int i = 0; i < 4; ++i) {
            glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
            glEnable(GL_CLIP_PLANE0 + i);
        }
        // The extent and the marker belong to a picture: a view whose picture was let go
        // (its data closed) shows its background only, as before it had one.
        if (view != nullptr && view->widget == e && view->image.texture != 0 && view->image.list != 0) {
            glPushMatrix();
            glTranslatef(view->drawOffsetX, view->drawOffsetY, 0);
            if ((view->image.layout & kTextureLayoutLuminance) != 0) glColor3f(1, 1, 1);
            glCallList(view->image.list);
            glPopMatrix();
            glColor3f(1.0f, 0.7f, 0.7f);
            glLineStipple(1, 0xCCCC);
            glEnable(GL_LINE_STIPPLE);
            glBegin(GL_LINE_LOOP);
            const float x0 = view->extentX - 1, y0 = view->extentY - 1;
            const float x1 = view->extentX + view->extentWidth + 1, y1 = view->extentY + view->extentHeight + 1;
            glVertex2f(x0, y0);
            glVertex2f(x1, y0);
            glVertex2f(x1, y1);
            glVertex2f(x0, y1);
            glEnd();
            glDisable(GL_LINE_STIPPLE);
            if (view->active != 0 && view->centred == 0) {
                glColor3f(0.8f, 0.8f, 0.8f);
                glTranslatef(view->markerX, view->markerY, 0);
                glBegin(GL_LINE_LOOP);
                for (const auto& p : view->markerOutline) glVertex2f(p[0], p[1]);
                glEnd();
            }
        }
        glDisable(GL_LINE_STIPPLE);
        for (int i = 0; i < 4; ++i) glDisable(GL_CLIP_PLANE0 + i);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// ---- Pointer -------------------------------------------------------------------------------

void TextureView::Repaint() {
    gWindow* window = widget != nullptr ? widget->window : nullptr;
    if (window == nullptr || !gWinCanDraw(window) || !gWinMakeCurrent(window)) return;
    gWinPaint(window);
    gWinSwapPainted(window);
}

void TextureView::PressAt(float x, float y) {
    if (widget == nullptr) return;
    x = std::clamp(x, 0.0f, widget->width);
    y = std::clamp(y, 0.0f, widget->height);
    const float centreX = pictureX + pictureWidth * 0.5f, centreY = pictureY + pictureHeight * 0.5f;
    float targetX = x, targetY = y;
    if (std::fabs(x - centreX) < 10 && std::fabs(y - centreY) < 10) {
        targetX = centreX;
        targetY = centreY;
    } else if (!(x <= markerX - 4 || x >= markerX + markerWidth + 4 || y <= markerY - 4 ||
                 y >= markerY + markerHeight + 4)) {
        return;  // on the marker: a drag may follow
    }
    const float newX = targetX - markerWidth * 0.5f, newY = targetY - markerHeight * 0.5f;
    if (newX == markerX && newY == markerY) return;
    const float dx = newX - markerX, dy = newY - markerY;
    markerX = newX;
    markerY = newY;
    if (moveHandler != nullptr) {
        moveHandler(owner, dx, dy);
    } else {
        Repaint();
    }
}

void TextureView::DragTo(float x, float y, float dx, float dy) {
    if (widget == nullptr || (dx == 0 && dy == 0)) return;
    x = std::clamp(x, -markerWidth, widget->width);
    y = std::clamp(y, -markerHeight, widget->height);
    if (x != markerX || y != markerY) {
        markerX = x;
        markerY = y;
        if (moveHandler == nullptr) {
            Repaint();
            return;
        }
    }
    if (moveHandler != nullptr) moveHandler(owner, dx, dy);
}

void TextureView::OnMouse(gElement* e, uintptr_t data) {
    auto* view = reinterpret_cast<TextureView*>(data);
    gWindow* window = e->window;
    if (view == nullptr || view->widget != e || window == nullptr) return;
    if (gMouseState() == 0) {  // released
        pf::Cursor idle = IdleCursor();
        if (idle != e->cursor || idle != window->cursor) {
            e->cursor = idle;
            gWinSetCursor(window, idle);
        }
        Status(0, nullptr);
        return;
    }
    e->cursor = PressedCursor();
    gWinSetCursor(window, e->cursor);
    const bool taken = view->pressHandler != nullptr && view->pressHandler(view->owner);
    if (view->widget != e) return;
    float x, y;
    PointerUp(window, &x, &y);
    if (!taken) view->PressAt(x - e->x, y - e->y);
    view->dragStartX = x - (e->x + view->markerX);
    view->dragStartY = y - (e->y + view->markerY);
    OnDrag(e, &gCursorPos);
    Status(-2, kTextureViewHint);
}

void TextureView::OnDrag(gElement* e, const pf::Point* cursor) {
    (void)cursor;
    auto* view = reinterpret_cast<TextureView*>(e->handlerData);
    gWindow* window = e->window;
    if (view == nullptr || view->widget != e || window == nullptr) return;
    // Screen steps run downwards; the view's coordinates upwards. Alt holds the
    // movement horizontal, Ctrl vertical.
    float dx = static_cast<float>(gDragStep.x), dy = static_cast<float>(-gDragStep.y);
    float x, y;
    PointerUp(window, &x, &y);
    x -= view->dragStartX + e->x;
    y -= view->dragStartY + e->y;
    const uint32_t keys = gKeyModifiersNow();
    if ((keys & kKeyAlt) != 0) {
        dy = 0;
        y = view->markerY;
    } else if ((keys & kKeyCtrl) != 0) {
        dx = 0;
        x = view->markerX;
    }
    view->DragTo(x, y, dx, dy);
}

}  // namespace orva
