#pragma once
// A picture held in OpenGL texture memory so that a window redraws it by calling one
// display list. Two forms share the header: the single form (one power-of-two texture,
// 1 to 4 channels, drawn plainly or through a draw transform) and the mosaic form (up
// to 16 power-of-two RGB tiles covering a frame larger than the largest texture the
// driver takes). UI thread only; every operation first makes the owning window's GL
// context current. GL 1.1 only: glTexImage2D, glTexSubImage2D and display lists.
#include <cstdint>

namespace orva {

struct gWindow;

// The largest square textures the driver takes, measured at start-up with proxy
// textures. 8-bit uploads are held to `rgb8`, 16-bit uploads to `rgb16` whatever the
// channel count; 16-bit samples are uploaded only while `rgb16` is positive.
struct gTextureSizeLimits {
    int32_t rgb8 = 1024;  // the fallback when the driver reports no maximum
    int32_t rgb16 = 0;    // unknown until probed
};
gTextureSizeLimits& gTextureLimits();

// Width and height; FitSize rewrites it in place as the texture size to allocate.
struct TextureSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The draw transform of the single form: the fields of the owner's affine record that
// drawing reads. The owner copies them in; a fresh record is the identity.
struct TextureTransform {
    uint8_t enabled = 0;     // draw through the transform
    uint8_t scaleLast = 0;   // scale after the rotation and flips instead of before
    uint8_t scaleOn = 0;     // at least one axis is scaled
    uint8_t scaledX = 0, scaledY = 0;
    double scaleX = 1.0, scaleY = 1.0;
    double inverseScaleX = 1.0, inverseScaleY = 1.0;
    uint8_t rotateOn = 0;
    uint8_t flipX = 0, flipY = 0;
    double angle = 0.0;      // degrees
    double centreX = 0.0, centreY = 0.0;  // rotation centre, pixels
};

struct TextureZoom {
    uint8_t zoomOn = 0;
    double zoomX = 1.0, zoomY = 1.0;
    double factor1 = 1.0, factor2 = 1.0;
};

struct MosaicTile {
    uint32_t texture = 0;           // GL name; 0 = not created
    int32_t usedWidth = 0, usedHeight = 0;
    int32_t textureWidth = 0, textureHeight = 0;
    float sMax = 0.0f, tMax = 0.0f; // used / allocated; exactly 1.0 when equal
    int32_t x = 0, y = 0;           // first pixel of the tile in the frame
    float xPos = 0.0f, yPos = 0.0f;
};

// The owner's frame description for the mosaic form.
struct MosaicFrame {
    int32_t width = 0;
    int32_t height = 0;
    const void* pixels = nullptr;   // RGB samples, rows first to last, no padding
    uint32_t present = 0;           // non-zero when a frame is there
    uint32_t flags = 0;             // kMosaicFrame16Bit
};
constexpr uint32_t kMosaicFrame16Bit = 0x2;

// Layout bits.
constexpr uint32_t kTextureLayoutLuminance = 0x1;
constexpr uint32_t kTextureLayoutRgba = 0x2;
constexpr uint32_t kTextureLayout16Bit = 0x4;

constexpr uint32_t kMosaicMaxTiles = 16;

// Embedded in its owner and value-initialised with it; an empty record holds no GL
// object. Owners release it while the window (and its context) still exists.
struct TextureImage {
    // Header, both forms.
    uint32_t list = 0;              // display list; 0 = none yet
    int32_t width = 0, height = 0;  // the picture
    uint32_t layout = 0;
    uint32_t type = 0;              // GL_UNSIGNED_BYTE or GL_UNSIGNED_SHORT
    uint32_t internalFormat = 0;
    uint32_t format = 0;            // GL pixel format of the uploads
    uint32_t count = 0;             // single: 1 once the texture exists; mosaic: tiles in use

    // Single form.
    TextureTransform transform;
    TextureZoom zoom;
    uint32_t texture = 0;
    int32_t usedWidth = 0, usedHeight = 0;
    int32_t textureWidth = 0, textureHeight = 0;  // powers of two; only grow
    float sMax = 0.0f, tMax = 0.0f;
    int32_t step = 1;               // picture pixels a side of one texel (Upload's `step`)

    // Mosaic form.
    MosaicTile tiles[kMosaicMaxTiles];

    // ---- Single form ----
    // pixels: rows of samples, first row first, no row padding; channels: samples per
    // pixel (1 or 2: luminance from the first sample, 3: RGB, 0 or 4: RGBA). A zero
    // size empties the image and succeeds. False: no context, no GL name, no memory,
    // no usable size limit, or more than 4 channels. With `step` above 1 the texture keeps
    // one pixel of each step x step block (its middle one), for a picture that is never
    // drawn larger than one screen pixel a block: it is drawn at its full size all the
    // same, as GL's nearest texel of the whole picture would draw it.
    bool Upload(gWindow* window, const void* pixels, int32_t channels, bool sixteenBit, TextureSize size,
                int32_t step = 1);
    void Compile(const void* pixels);
    // The texels of a picture uploaded with a step above 1; false without memory for them.
    bool CompileReduced(const void* pixels);
    // Compiles the display list again (with the present transform and zoom) over the
    // texels the texture holds.
    void CompileList();
    void DrawSingle() const;
    void DrawTransformed() const;
    bool Release();

    // ---- Mosaic form ----
    bool BuildMosaic(gWindow* window, const MosaicFrame* frame);
    void CompileMosaic(const MosaicFrame* frame);
    bool FreeTiles();
    void SetNearest(gWindow* window);
    void SetDecal(gWindow* window);

    // Both forms: returns the tile count (at most 16; 0 when the limit is not positive)
    // and rewrites `size` as the texture size to allocate.
    static uint32_t FitSize(TextureSize* size, int32_t limit);
};

}  // namespace orva
