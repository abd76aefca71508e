#include "toolkit/texture_image.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "common/log.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// The smallest power of two holding n (n itself when it already is one, or 0).
int64_t PowerOfTwoAbove(int64_t n) {
    if (n <= 0) return 0;
    int64_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// The largest power of two not above n (0 for n < 1): texture sides must be powers of
// two in GL 1.1, and a probe result always is one, but a limit set by hand may not be.
int32_t PowerOfTwoBelow(int32_t n) {
    if (n < 1) return 0;
    int32_t p = 1;
    while (p <= n / 2) p <<= 1;
    return p;
}

// Bytes of one row of a zero buffer for a texture `width` wide.
size_t ZeroRowBytes(uint32_t layout, int32_t width) {
    size_t w = static_cast<size_t>(std::max(width, 0));
    size_t bytes;
    if ((layout & kTextureLayoutRgba) != 0) {
        bytes = 4 * w;
    } else if ((layout & kTextureLayoutLuminance) != 0) {
        bytes = (w + 1) & ~static_cast<size_t>(1);
    } else {
        bytes = (3 * w + 3) & ~static_cast<size_t>(3);
    }
    if ((layout & kTextureLayout16Bit) != 0) bytes *= 2;
    return bytes;
}

// A zero-filled buffer large enough for a texture of width x height; null when the
// size is zero, overflows or cannot be allocated.
void* ZeroBuffer(uint32_t layout, int32_t width, int32_t height) {
    size_t row = ZeroRowBytes(layout, width);
    size_t rows = static_cast<size_t>(std::max(height, 0));
    if (row == 0 || rows == 0 || row > std::numeric_limits<size_t>::max() / rows) return nullptr;
    return std::calloc(rows, row);
}

// Gives the bound texture new storage of width x height texels in `internalFormat`
// (`format` and `type` name the zeros sent) and clears what linear filtering reads
// beyond the part in use: the column right of it and the row above it. Storage is
// given no contents of its own: a whole buffer of zeros would make the driver convert
// every texel, most of which the picture covers at once. False when the zeros cannot be
// allocated.
bool NewStorage(GLint internalFormat, int32_t width, int32_t height, GLenum format, GLenum type, uint32_t layout,
                int32_t usedWidth, int32_t usedHeight) {
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, nullptr);
    const bool column = usedWidth < width, row = usedHeight < height;
    if (!column && !row) return true;
    const int32_t rows = std::min(height, usedHeight + 1), columns = std::min(width, usedWidth + 1);
    void* zero = ZeroBuffer(layout, std::max(rows, columns), 1);
    if (zero == nullptr) return false;
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (column) glTexSubImage2D(GL_TEXTURE_2D, 0, usedWidth, 0, 1, rows, format, type, zero);
    if (row) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, usedHeight, columns, 1, format, type, zero);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    std::free(zero);
    return true;
}

// Bytes per pixel of an upload in `format` with samples of `type`.
size_t PixelBytes(GLenum format, GLenum type) {
    size_t samples = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1;
    return type == GL_UNSIGNED_SHORT ? 2 * samples : samples;
}

// The widest unpack alignment that reads rows of `rowBytes` bytes starting at `pixels`
// exactly as packed rows (no padding): the driver copies aligned rows on its fast path.
GLint RowAlignment(const void* pixels, size_t rowBytes) {
    const auto address = reinterpret_cast<uintptr_t>(pixels);
    for (GLint a : {8, 4, 2}) {
        if (rowBytes % static_cast<size_t>(a) == 0 && address % static_cast<uintptr_t>(a) == 0) return a;
    }
    return 1;
}

void SetStandardParameters(GLint envMode) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
}

GLint EnvModeFor(uint32_t layout) {
    return (layout & kTextureLayoutLuminance) != 0 ? GL_MODULATE : GL_DECAL;
}

float Ratio(int32_t used, int32_t allocated) {
    if (allocated <= 0) return 1.0f;
    if (used == allocated) return 1.0f;
    return static_cast<float>(used) / static_cast<float>(allocated);
}

void Quad(float x0, float y0, float x1, float y1, float sMax, float tMax) {
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(x0, y0);
    glTexCoord2f(0.0f, tMax);
    glVertex2f(x0, y1);
    glTexCoord2f(sMax, tMax);
    glVertex2f(x1, y1);
    glTexCoord2f(sMax, 0.0f);
    glVertex2f(x1, y0);
}

}  // namespace

gTextureSizeLimits& gTextureLimits() {
    static gTextureSizeLimits limits;
    return limits;
}

uint32_t TextureImage::FitSize(TextureSize* size, int32_t limit) {
    if (size == nullptr) return 0;
    int32_t l = PowerOfTwoBelow(limit);
    if (l <= 0) {
        size->width = size->height = 0;
        return 0;
    }
    uint64_t counts[2];
    int32_t* extents[2] = {&size->width, &size->height};
    for (int axis = 0; axis < 2; ++axis) {
        int64_t n = std::max(*extents[axis], 0);
        int64_t p = PowerOfTwoAbove(n);
        if (p <= l) {
            counts[axis] = 1;
            *extents[axis] = static_cast<int32_t>(p);
        } else {
            counts[axis] = static_cast<uint64_t>((n + l - 1) / l);
            *extents[axis] = l;
        }
    }
    uint64_t count = counts[0] * counts[1];  // each below 2^31: no overflow
    if (count > kMosaicMaxTiles) {
        unsigned shown = count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(count);
        LogPrintf("$ Can`t create many textures, big size, count %u, max %u, please setup...", shown,
                  static_cast<unsigned>(kMosaicMaxTiles));
        return kMosaicMaxTiles;
    }
    return static_cast<uint32_t>(count);
}

// ---- Single form ----------------------------------------------------------------------

bool TextureImage::Upload(gWindow* window, const void* pixels, int32_t channels, bool sixteenBit,
                          TextureSize size, int32_t pixelStep) {
    if (!gWinMakeCurrent(window)) return false;
    if (size.width <= 0 || size.height <= 0) {
        Release();
        return true;
    }
    // More than four samples per pixel cannot be described to GL 1.1: the texture
    // would show a scrambled picture.
    if (channels < 0 || channels > 4 || pixels == nullptr) return false;
    const gTextureSizeLimits& limits = gTextureLimits();
    const int32_t k = std::max<int32_t>(pixelStep, 1);
    // One texel for each k x k pixels.
    TextureSize fitted{(size.width - 1) / k + 1, (size.height - 1) / k + 1};
    if (FitSize(&fitted, sixteenBit ? limits.rgb16 : limits.rgb8) == 0) return false;

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    width = size.width;
    height = size.height;
    step = k;
    uint32_t newLayout;
    if (channels == 1 || channels == 2) {
        newLayout = kTextureLayoutLuminance;
        // Two samples per pixel: the pair is read as luminance and alpha, and the
        // luminance texture keeps the first sample of each pair.
        format = channels == 2 ? GL_LUMINANCE_ALPHA : GL_LUMINANCE;
        internalFormat = sixteenBit ? GL_LUMINANCE16 : GL_LUMINANCE8;
    } else if (channels == 3) {
        newLayout = 0;
        format = GL_RGB;
        internalFormat = sixteenBit ? GL_RGB16 : GL_RGB8;
    } else {
        newLayout = kTextureLayoutRgba;
        format = GL_RGBA;
        internalFormat = sixteenBit ? GL_RGBA16 : GL_RGBA8;
    }
    if (sixteenBit) newLayout |= kTextureLayout16Bit;
    type = sixteenBit ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE;
    bool layoutChanged = newLayout != layout;
    layout = newLayout;

    if (texture == 0) {
        count = 1;
        GLuint name = 0;
        glGenTextures(1, &name);
        if (name == 0) return false;
        texture = name;
        textureWidth = textureHeight = 0;
        if (list == 0) {
            list = glGenLists(1);
            if (list == 0) {
                Release();
                return false;
            }
        }
        glBindTexture(GL_TEXTURE_2D, texture);
        SetStandardParameters(EnvModeFor(layout));
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
        if (layoutChanged) glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, EnvModeFor(layout));
    }

    const bool grows = textureWidth < fitted.width || textureHeight < fitted.height || layoutChanged;
    if (grows) {
        textureWidth = std::max(textureWidth, fitted.width);
        textureHeight = std::max(textureHeight, fitted.height);
    }
    if (k == 1) {
        usedWidth = std::min(width, textureWidth);
        usedHeight = std::min(height, textureHeight);
        sMax = static_cast<float>(usedWidth) / static_cast<float>(textureWidth);
        tMax = static_cast<float>(usedHeight) / static_cast<float>(textureHeight);
    } else {
        usedWidth = static_cast<int32_t>(std::min<int64_t>(width, int64_t{textureWidth} * k));
        usedHeight = static_cast<int32_t>(std::min<int64_t>(height, int64_t{textureHeight} * k));
        sMax = static_cast<float>(static_cast<double>(usedWidth) / k / textureWidth);
        tMax = static_cast<float>(static_cast<double>(usedHeight) / k / textureHeight);
    }
    if (grows) {
        // The texels a reduced picture fills: its used size counts frame pixels.
        const int32_t texelsWide = k == 1 ? usedWidth : static_cast<int32_t>((int64_t{usedWidth} + k - 1) / k);
        const int32_t texelsHigh = k == 1 ? usedHeight : static_cast<int32_t>((int64_t{usedHeight} + k - 1) / k);
        if (!NewStorage(static_cast<GLint>(internalFormat), textureWidth, textureHeight,
                        format == GL_LUMINANCE_ALPHA ? GL_LUMINANCE : format, type, layout, texelsWide, texelsHigh))
            return false;
    }
    Compile(pixels);
    return true;
}

bool TextureImage::CompileReduced(const void* pixels) {
    // The middle pixel of each step x step block (the last row or column of a block cut
    // short by the picture's edge).
    const size_t bytes = PixelBytes(format, type);
    const int32_t columns = (usedWidth - 1) / step + 1, rows = (usedHeight - 1) / step + 1;
    std::vector<unsigned char> texels;
    try {
        texels.resize(static_cast<size_t>(columns) * rows * bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const auto* source = static_cast<const unsigned char*>(pixels);
    const size_t rowBytes = static_cast<size_t>(width) * bytes;
    unsigned char* out = texels.data();
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t y = std::min(r * step + step / 2, height - 1);
        const unsigned char* row = source + static_cast<size_t>(y) * rowBytes;
        for (int32_t c = 0; c < columns; ++c, out += bytes) {
            const int32_t x = std::min(c * step + step / 2, width - 1);
            std::memcpy(out, row + static_cast<size_t>(x) * bytes, bytes);
        }
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, columns, rows, format, type, texels.data());
    return true;
}

void TextureImage::Compile(const void* pixels) {
    if (texture == 0 || list == 0 || pixels == nullptr) return;
    glBindTexture(GL_TEXTURE_2D, texture);
    if (step > 1) {
        if (CompileReduced(pixels)) CompileList();
        return;
    }
    bool wide = width > textureWidth;
    if (wide) glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
    const GLint alignment = RowAlignment(pixels, static_cast<size_t>(width) * PixelBytes(format, type));
    if (alignment != 1) glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, usedWidth, usedHeight, format, type, pixels);
    if (alignment != 1) glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (wide) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    CompileList();
}

void TextureImage::CompileList() {
    if (texture == 0 || list == 0) return;
    glNewList(list, GL_COMPILE);
    if (transform.enabled != 0) {
        DrawTransformed();
    } else {
        DrawSingle();
    }
    glEndList();
}

void TextureImage::DrawSingle() const {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    // The environment mode is state of the context, not of the texture: another image
    // may have changed it since this one was uploaded.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, EnvModeFor(layout));
    glBegin(GL_QUADS);
    Quad(0.0f, 0.0f, static_cast<float>(usedWidth), static_cast<float>(usedHeight), sMax, tMax);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void TextureImage::DrawTransformed() const {
    const TextureTransform& t = transform;
    if (zoom.zoomOn != 0) glScaled(zoom.zoomX, zoom.zoomY, 1.0);
    bool scaledFirst = false;
    if (t.scaleLast == 0 && t.scaleOn != 0) {
        glScaled(t.scaleX, t.scaleY, 1.0);
        scaledFirst = true;
    }
    if (t.rotateOn != 0) {
        double cx = t.centreX, cy = t.centreY;
        if (scaledFirst) {
            cx *= t.inverseScaleX;
            cy *= t.inverseScaleY;
        }
        glTranslated(cx, cy, 0.0);
        glRotated(-t.angle, 0.0, 0.0, 1.0);
        glTranslated(-cx, -cy, 0.0);
    }
    if (t.flipX != 0) {
        double offset = usedWidth;
        if (t.scaleLast != 0 && t.scaledX != 0) offset *= t.scaleX;
        glTranslated(offset, 0.0, 0.0);
        glRotated(180.0, 0.0, 1.0, 0.0);
    }
    if (t.flipY != 0) {
        double offset = usedHeight;
        if (t.scaleLast != 0 && t.scaledY != 0) offset *= t.scaleY;
        glTranslated(0.0, offset, 0.0);
        glRotated(180.0, 1.0, 0.0, 0.0);
    }
    if (t.scaleLast != 0 && t.scaleOn != 0) glScaled(t.scaleX, t.scaleY, 1.0);
    DrawSingle();
}

bool TextureImage::Release() {
    if (texture != 0) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
    sMax = tMax = 1.0f;
    step = 1;
    texture = 0;
    textureWidth = textureHeight = 0;
    count = 0;
    if (list != 0) {
        glDeleteLists(list, 1);
        list = 0;
    }
    return true;
}

// ---- Mosaic form ----------------------------------------------------------------------

bool TextureImage::BuildMosaic(gWindow* window, const MosaicFrame* frame) {
    if (window == nullptr || !gWinMakeCurrent(window)) return false;
    if (frame == nullptr || frame->present == 0 || frame->pixels == nullptr || frame->width <= 0 ||
        frame->height <= 0) {
        return FreeTiles();
    }
    bool sixteenBit = (frame->flags & kMosaicFrame16Bit) != 0;
    const gTextureSizeLimits& limits = gTextureLimits();
    TextureSize fitted{frame->width, frame->height};
    uint32_t needed = FitSize(&fitted, sixteenBit ? limits.rgb16 : limits.rgb8);
    if (needed == 0) return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    width = frame->width;
    height = frame->height;
    const int32_t tw = fitted.width, th = fitted.height;

    if (count < needed) {
        if (tiles[0].texture == 0) {
            GLuint name = 0;
            glGenTextures(1, &name);
            if (name == 0) {
                count = 0;
                return false;
            }
            tiles[0].texture = name;
            tiles[0].textureWidth = tiles[0].textureHeight = 0;
        }
        count = 1;
        if (list == 0) {
            list = glGenLists(1);
            if (list == 0) {
                GLuint name = tiles[0].texture;
                glDeleteTextures(1, &name);
                tiles[0] = MosaicTile{};
                count = 0;
                return false;
            }
        }
        for (uint32_t i = count; i < needed; ++i) {
            if (tiles[i].texture != 0) continue;
            GLuint name = 0;
            glGenTextures(1, &name);
            if (name == 0) {
                // The tiles created so far are counted so that all of them are freed.
                count = std::max(count, i);
                FreeTiles();
                return false;
            }
            tiles[i].texture = name;
            tiles[i].textureWidth = tiles[i].textureHeight = 0;
            glBindTexture(GL_TEXTURE_2D, name);
            SetStandardParameters(GL_DECAL);
        }
        count = needed;
        glBindTexture(GL_TEXTURE_2D, tiles[0].texture);
        SetStandardParameters(GL_DECAL);
    } else {
        count = needed;
        glBindTexture(GL_TEXTURE_2D, tiles[0].texture);
    }

    MosaicTile& first = tiles[0];
    uint32_t newLayout = sixteenBit ? kTextureLayout16Bit : 0;
    if (first.textureWidth < tw || first.textureHeight < th ||
        (layout & kTextureLayout16Bit) != newLayout || internalFormat == 0) {
        layout = newLayout;
        type = sixteenBit ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE;
        internalFormat = sixteenBit ? GL_RGB16 : GL_RGB8;
        format = GL_RGB;
        first.textureWidth = tw;
        first.textureHeight = th;
        if (!NewStorage(static_cast<GLint>(internalFormat), tw, th, GL_RGB, type, layout, std::min(tw, width),
                        std::min(th, height))) {
            FreeTiles();
            return false;
        }
    }
    format = GL_RGB;

    if (needed == 1) {
        first.usedWidth = width;
        first.usedHeight = height;
        first.sMax = Ratio(first.usedWidth, first.textureWidth);
        first.tMax = Ratio(first.usedHeight, first.textureHeight);
    } else {
        first.usedWidth = std::min(tw, width);
        first.usedHeight = std::min(th, height);
        first.sMax = Ratio(first.usedWidth, first.textureWidth);
        first.tMax = Ratio(first.usedHeight, first.textureHeight);
        first.x = first.y = 0;
        first.xPos = first.yPos = 0.0f;
        // The first row's textures are as high as tile 0's, which may have kept a larger
        // storage from an earlier frame. Storage is made only when a tile's grows: a
        // frame like the last costs none.
        int32_t x = first.usedWidth, y = 0;
        int32_t rowHeight = first.usedHeight;
        int32_t rowTextureHeight = first.textureHeight;
        for (uint32_t i = 1; i < needed; ++i) {
            if (x >= width) {
                y += rowHeight;
                if (y >= height) {
                    count = i;
                    break;
                }
                rowTextureHeight = th;
                rowHeight = th;
                if (y + th > height) {
                    rowHeight = height - y;
                    rowTextureHeight = static_cast<int32_t>(PowerOfTwoAbove(rowHeight));
                }
                x = 0;
            }
            MosaicTile& tile = tiles[i];
            tile.x = x;
            tile.y = y;
            tile.xPos = static_cast<float>(x);
            tile.yPos = static_cast<float>(y);
            tile.usedHeight = rowHeight;
            int32_t textureWidthNeeded = tw;
            if (x + tw > width) {
                tile.usedWidth = width - x;
                textureWidthNeeded = static_cast<int32_t>(PowerOfTwoAbove(tile.usedWidth));
            } else {
                tile.usedWidth = tw;
            }
            if (tile.textureWidth < textureWidthNeeded || tile.textureHeight < rowTextureHeight) {
                tile.textureWidth = textureWidthNeeded;
                tile.textureHeight = rowTextureHeight;
                glBindTexture(GL_TEXTURE_2D, tile.texture);
                if (!NewStorage(static_cast<GLint>(internalFormat), tile.textureWidth, tile.textureHeight, GL_RGB,
                                type, layout, tile.usedWidth, tile.usedHeight)) {
                    FreeTiles();
                    return false;
                }
            }
            tile.sMax = Ratio(tile.usedWidth, tile.textureWidth);
            tile.tMax = Ratio(tile.usedHeight, tile.textureHeight);
            x += tile.usedWidth;
        }
    }
    glBindTexture(GL_TEXTURE_2D, first.texture);
    CompileMosaic(frame);
    return true;
}

void TextureImage::CompileMosaic(const MosaicFrame* frame) {
    if (frame == nullptr || frame->pixels == nullptr || count == 0 || list == 0) return;
    const MosaicTile& first = tiles[0];
    bool wide = frame->width > first.textureWidth;
    if (wide) glPixelStorei(GL_UNPACK_ROW_LENGTH, frame->width);
    const size_t sampleBytes = (frame->flags & kMosaicFrame16Bit) != 0 ? 2 : 1;
    const size_t rowBytes = static_cast<size_t>(frame->width) * 3 * sampleBytes;
    const auto* bytes = static_cast<const unsigned char*>(frame->pixels);
    GLint alignment = 1;
    auto upload = [&](const MosaicTile& tile, const unsigned char* from) {
        const GLint a = RowAlignment(from, rowBytes);
        if (a != alignment) glPixelStorei(GL_UNPACK_ALIGNMENT, alignment = a);
        glBindTexture(GL_TEXTURE_2D, tile.texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tile.usedWidth, tile.usedHeight, GL_RGB, type, from);
    };
    upload(first, bytes);
    for (uint32_t i = 1; i < count; ++i) {
        const MosaicTile& tile = tiles[i];
        upload(tile, bytes + static_cast<size_t>(tile.y) * rowBytes + static_cast<size_t>(tile.x) * 3 * sampleBytes);
    }
    if (alignment != 1) glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (wide) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, first.texture);

    glNewList(list, GL_COMPILE);
    glEnable(GL_TEXTURE_2D);
    // Context state, not texture state: set it for the tiles whatever was drawn before.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glBindTexture(GL_TEXTURE_2D, first.texture);
    glBegin(GL_QUADS);
    Quad(0.0f, 0.0f, static_cast<float>(first.usedWidth), static_cast<float>(first.usedHeight), first.sMax,
         first.tMax);
    glEnd();
    for (uint32_t i = count; i-- > 1;) {
        const MosaicTile& tile = tiles[i];
        glBindTexture(GL_TEXTURE_2D, tile.texture);
        glBegin(GL_QUADS);
        Quad(tile.xPos, tile.yPos, tile.xPos + static_cast<float>(tile.usedWidth),
             tile.yPos + static_cast<float>(tile.usedHeight), tile.sMax, tile.tMax);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glEndList();
}

bool TextureImage::FreeTiles() {
    if (count == 0) return false;
    width = height = 0;
    if (tiles[0].texture != 0) {
        GLuint name = tiles[0].texture;
        glDeleteTextures(1, &name);
    }
    tiles[0].texture = 0;
    tiles[0].textureWidth = tiles[0].textureHeight = 0;
    tiles[0].sMax = tiles[0].tMax = 1.0f;
    for (uint32_t i = 1; i < kMosaicMaxTiles && tiles[i].texture != 0; ++i) {
        GLuint name = tiles[i].texture;
        glDeleteTextures(1, &name);
        tiles[i].texture = 0;
        tiles[i].usedWidth = tiles[i].usedHeight = 0;
        tiles[i].textureWidth = tiles[i].textureHeight = 0;
        tiles[i].sMax = tiles[i].tMax = 1.0f;
    }
    count = 0;
    if (list != 0) {
        glDeleteLists(list, 1);
        list = 0;
    }
    return true;
}

void TextureImage::SetNearest(gWindow* window) {
    if (window == nullptr || count == 0 || !gWinMakeCurrent(window)) return;
    for (uint32_t i = 0; i < kMosaicMaxTiles && (i == 0 || tiles[i].texture != 0); ++i) {
        glBindTexture(GL_TEXTURE_2D, tiles[i].texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
}

void TextureImage::SetDecal(gWindow* window) {
    if (window == nullptr || count == 0 || !gWinMakeCurrent(window)) return;
    for (uint32_t i = 0; i < kMosaicMaxTiles && (i == 0 || tiles[i].texture != 0); ++i) {
        glBindTexture(GL_TEXTURE_2D, tiles[i].texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    }
}

}  // namespace orva
