// Colour words, shade tables, the pixel-format search and GL extensions.
#include "toolkit/gl_colors.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "common/clib.h"
#include "common/log.h"
#include "platform/gl_context.h"
#include "platform/message_box.h"
#include "platform/window_api.h"
#include "toolkit/window.h"

namespace orva {

namespace pf = orva::platform;

const gShadeRecord kDefaultShadeRecord = {
    {4, 12, 20, 32, 10, 24, 32, 44, 60},
    {49, 32, 26, 20, 10, 15, 40, 10, 0},
    {0x14000000, 0x24101214, 0x34000000, 0x446D7070, 0x546D7070, 0x645A625A, 0x746D7070, 0x846D7070,
     0x94686B6B, 0xA400407F, 0xB4007F7F, 0xC4007F00, 0xD47F0000, 0xE4620000, 0xF4676A6A},
};

gGlExtensions gGlExt;

namespace {

bool gExtensionsProbed = false;
bool gAccelerationLogged = false;
bool gFormatLogged = false;
uint32_t gColourSet = kDefaultColourSet;

int Channel(uint32_t colour, int index) { return static_cast<int>((colour >> (8 * index)) & 0x7F); }

}  // namespace

uint32_t& gColourSetValue() { return gColourSet; }

void gResetGlOnceFlagsForTest() {
    gExtensionsProbed = gAccelerationLogged = gFormatLogged = false;
    gGlExt = gGlExtensions{};
}

uint32_t gColorFromSlot(const gWindow* window, int n) {
    if (n < 1 || n > 15) n = 7;
    uint32_t word = window == nullptr ? kDefaultShadeRecord.slots[n - 1] : window->colours.slots[n - 1];
    return (word & 0xF0FFFFFFu) | (static_cast<uint32_t>(n & 0xF) << 24);
}

uint32_t gColorResolve(const gWindow* window, uint32_t colour) {
    uint32_t slot = colour >> 28;
    if (slot == 0) return colour;
    uint32_t word = window == nullptr ? kDefaultShadeRecord.slots[slot - 1] : window->colours.slots[slot - 1];
    return (word & 0xF0FFFFFFu) | (colour & 0x0F000000u);
}

uint32_t gColorDelta(uint32_t base, uint32_t delta) {
    uint32_t mode = (delta >> 24) & 0xF;
    if (mode < 0xE || (delta & 0xFFFFFFu) == 0) return base;
    uint32_t result = 0;
    for (int i = 0; i < 3; ++i) {
        int magnitude = Channel(delta, i);
        bool negative = ((delta >> (8 * i + 7)) & 1) != 0;
        if (mode == 0xE) negative = !negative;
        int value = Channel(base, i) + (negative ? -magnitude : magnitude);
        value = std::clamp(value, 0, 127);
        result |= static_cast<uint32_t>(value) << (8 * i);
    }
    return result | (mode << 24) | (base & 0xF0000000u);
}

uint32_t gWinApplyBackColorOr(gWindow* window, uint32_t colour, uint32_t fallback, uint32_t* current) {
    uint32_t result = 0;
    if ((colour >> 28) == 7) return fallback;
    uint32_t mode = (colour >> 24) & 0xF;
    if (mode < 0xE) {
        if (window == nullptr) {
            if ((colour >> 28) != 0) return colour;
            *current = colour & 0xFFFFFFu;
            return colour;
        }
        result = gColorResolve(window, colour);
        *current = result & 0xFFFFFFu;
    } else {
        result = gColorDelta(*current, colour);
        *current = result & 0xFFFFFFu;
    }
    if (window != nullptr) gWinBackShades(window, result);
    return result;
}

uint32_t gWinApplyBackColor(gWindow* window, uint32_t colour, uint32_t* current) {
    return gWinApplyBackColorOr(window, colour, *current, current);
}

void gWinBackShades(gWindow* window, uint32_t colour) {
    if (window == nullptr) return;
    gColourTable& table = window->colours;
    uint32_t masked = colour & 0x7F7F7Fu;
    if (masked == table.backCache) return;
    table.backCache = masked;
    int rgb[3] = {Channel(colour, 0), Channel(colour, 1), Channel(colour, 2)};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 4; ++k) {
            table.backShades[k][c] = static_cast<uint8_t>(std::min<int>(127, static_cast<int>(table.shadeOffsets[k]) + rgb[c] / 2));
        }
        table.backShades[4][c] = static_cast<uint8_t>(rgb[c]);
        for (int k = 4; k < 8; ++k) {
            table.backShades[k + 1][c] = static_cast<uint8_t>(std::min<int>(127, static_cast<int>(table.shadeOffsets[k]) + rgb[c]));
        }
        table.background[c] = static_cast<float>(rgb[c]) * 0.007874016f;
    }
    int lowest = std::min({rgb[0], rgb[1], rgb[2]});
    uint8_t contrast = lowest <= 64 ? 127 : 0;
    for (int c = 0; c < 3; ++c) table.backShades[10][c] = contrast;
}

void gColorShadesInto(uint8_t table[11][3], const uint32_t parameters[9], uint32_t colour) {
    int rgb[3] = {Channel(colour, 0), Channel(colour, 1), Channel(colour, 2)};
    int m = std::min({rgb[0], rgb[1], rgb[2]});
    int big = std::max({rgb[0], rgb[1], rgb[2]});
    auto p = [&](int k) { return static_cast<int>(parameters[k]); };
    for (int c = 0; c < 3; ++c) {
        int v = rgb[c];
        for (int k = 0; k < 4; ++k) table[k][c] = static_cast<uint8_t>(std::max(0, v - p(k)));
        table[4][c] = static_cast<uint8_t>(v);
        table[5][c] = static_cast<uint8_t>(std::min(127, v + p(4)));
        table[6][c] = static_cast<uint8_t>(std::min(127, v + p(5)));
        table[7][c] = static_cast<uint8_t>(std::min(127, (v - m + 1) * p(6) + v));
        table[8][c] = static_cast<uint8_t>(m <= 54 ? 127 : 0);
        table[9][c] = static_cast<uint8_t>(std::min(127, (big + 1 - v) * p(7)));
        table[10][c] = static_cast<uint8_t>(std::min(127, (127 - v) * p(7)));
    }
}

void gColorShades(gWindow* window, uint32_t colour) {
    if (window == nullptr) return;
    uint32_t masked = colour & 0x7F7F7Fu;
    if (masked == window->colours.widgetCache) return;
    window->colours.widgetCache = masked;
    gColorShadesInto(window->colours.widgetShades, window->colours.shadeParameters, colour);
}

void gColorSet(gWindow* window, uint32_t colour) {
    if (window == nullptr) return;
    uint32_t index = (colour >> 24) & 0xF;
    if (index > 10) index = 4;
    if ((colour >> 28) == 0xF) {
        glColor3bv(reinterpret_cast<const GLbyte*>(window->colours.backShades[index]));
        return;
    }
    gColorShades(window, colour);
    glColor3bv(reinterpret_cast<const GLbyte*>(window->colours.widgetShades[index]));
}

void gWinApplySkinColours(gWindow* window, const gShadeRecord* record) {
    if (window == nullptr) return;
    if (record == nullptr) record = &kDefaultShadeRecord;
    gColourTable& table = window->colours;
    table.highlight[0] = table.highlight[1] = 0xFF000000u;
    table.backCache = 0xFF000000u;
    table.widgetCache = 0xFF000000u;
    std::memcpy(table.shadeOffsets, record->offsets, sizeof table.shadeOffsets);
    std::memcpy(table.shadeParameters, record->parameters, sizeof table.shadeParameters);
    std::memcpy(table.slots, record->slots, sizeof table.slots);
    gWinSetColors(window, kColourInherit);
}

void gWinSetColors(gWindow* window, uint32_t colours) {
    if (window == nullptr) window = gWinCurrent();
    if (window == nullptr) return;
    uint32_t colour = (colours >> 28) == 7 ? gColourSet : colours;
    gWinApplyBackColor(window, colour, &window->colours.backCurrent);
}

// ---- Pixel format -----------------------------------------------------------------------

namespace {

int SearchFormat(pf::Hdc hdc, bool acceptGeneric) {
    auto tryRequest = [&](int alpha, int colour, int stencil, int depth) {
        int format = pf::ChoosePixelFormat(hdc, pf::PixelFormatRequest{alpha, colour, depth, stencil, true});
        if (format == 0) return 0;
        pf::PixelFormatInfo info;
        if (!pf::DescribePixelFormat(hdc, format, &info)) return 0;
        if (info.generic && !acceptGeneric) return 0;
        return format;
    };
    for (int alpha : {8, 0}) {
        for (int colour : {32, 24, 16}) {
            for (int stencil : {8, 0}) {
                for (int depth : {32, 24, 16, 8}) {
                    if (int format = tryRequest(alpha, colour, stencil, depth)) return format;
                }
            }
        }
    }
    // A display depth that is no multiple of 8 (15 bits) is tried as it is.
    int displayBits = pf::DisplayIsTrueColor() ? 24 : 8;
    if (displayBits % 8 != 0) {
        for (int depth : {32, 24, 16, 8}) {
            if (int format = tryRequest(0, displayBits, 0, depth)) return format;
        }
    }
    return 0;
}

}  // namespace

int gChoosePixelFormat(gWindow* window) {
    if (window == nullptr || window->hdc == nullptr) return 1;
    if (!pf::DisplayIsTrueColor()) {
        LogPrintf("%s", "# Display offers no true-colour visual: colour-index formats and palettes are not supported");
    }
    int format = SearchFormat(window->hdc, false);
    if (format == 0) format = SearchFormat(window->hdc, true);
    if (format == 0) {
        ClibMessageBox(nullptr, "ChoosePixelFormat() failed:  Cannot find a suitable pixel format.", "Error",
                       platform::kMbOk);
        return 1;
    }
    pf::PixelFormatInfo info;
    pf::DescribePixelFormat(window->hdc, format, &info);
    if (info.generic && !gAccelerationLogged) {
        gAccelerationLogged = true;
        LogPrintf("Video accelerated: [none] (Generic Video)");
    }
    if (!pf::SetPixelFormat(window->hdc, format)) {
        ClibMessageBox(nullptr, "SetPixelFormat() failed:  Cannot set format specified.", "Error", platform::kMbOk);
        return 1;
    }
    if (!pf::DescribePixelFormat(window->hdc, format, &info)) return 1;
    if (!gFormatLogged) {
        gFormatLogged = true;
        LogPrintf("PixelFormat: AlphaBits=%d, ColorBits=%d, DepthBits=%d, StencilBits=%d%s", info.alphaBits,
                  info.colorBits, info.depthBits, info.stencilBits, info.swapCopy ? ", swap_copy flag set" : "");
    }
    return 0;
}

bool gHasExtension(const char* extensions, const char* name) {
    if (extensions == nullptr || name == nullptr || *name == '\0') return false;
    size_t length = std::strlen(name);
    const char* at = extensions;
    while ((at = std::strstr(at, name)) != nullptr) {
        char after = at[length];
        if (after == ' ' || after == '\0') return true;
        at += length;
    }
    return false;
}

void gInitExtensions() {
    if (gExtensionsProbed) return;
    gExtensionsProbed = true;
    auto text = [](GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); };
    const char* vendor = text(GL_VENDOR);
    const char* version = text(GL_VERSION);
    const char* renderer = text(GL_RENDERER);
    if (vendor != nullptr) {
        LogPrintf("OpenGL: %s %s %s", vendor, version == nullptr ? "" : version, renderer == nullptr ? "" : renderer);
    }
    const char* extensions = text(GL_EXTENSIONS);
    if (extensions == nullptr) return;
    if (gHasExtension(extensions, "GL_WIN_swap_hint") && gGlExt.addSwapHintRect == nullptr) {
        gGlExt.addSwapHintRect = pf::GlGetProcAddress("glAddSwapHintRectWIN");
    }
    if (gHasExtension(extensions, "GL_ARB_multitexture")) {
        gGlExt.activeTexture = pf::GlGetProcAddress("glActiveTextureARB");
        gGlExt.multiTexCoord2f = pf::GlGetProcAddress("glMultiTexCoord2fARB");
        gGlExt.multiTexCoord2fv = pf::GlGetProcAddress("glMultiTexCoord2fvARB");
        gGlExt.clientActiveTexture = pf::GlGetProcAddress("glClientActiveTextureARB");
    }
    if (gHasExtension(extensions, "GL_EXT_compiled_vertex_array")) {
        gGlExt.lockArrays = pf::GlGetProcAddress("glLockArraysEXT");
        gGlExt.unlockArrays = pf::GlGetProcAddress("glUnlockArraysEXT");
    }
}

}  // namespace orva
