#pragma once
// GL on a window: the pixel-format search, contexts, making a context current,
// swapping and looking up procedures. Every call runs on the UI thread. All contexts
// made here share their display lists and textures.
#include <cstdint>

#include "platform/msg_types.h"

namespace orva::platform {

// What a pixel format offers.
struct PixelFormatInfo {
    int alphaBits = 0;
    int colorBits = 0;  // red + green + blue + alpha, as the buffer size
    int redBits = 0, greenBits = 0, blueBits = 0;
    int depthBits = 0;
    int stencilBits = 0;
    bool doubleBuffer = false;
    bool generic = false;     // a software renderer
    bool swapCopy = false;    // swapping keeps the back buffer
    bool rgba = true;
    bool needPalette = false;
};

// The request of a pixel-format search; sizes are minimums.
struct PixelFormatRequest {
    int alphaBits = 0;
    int colorBits = 0;
    int depthBits = 0;
    int stencilBits = 0;
    bool doubleBuffer = true;
};

// Returns a format number (1 and up) offering at least the request, or 0. A generic
// format (a software renderer such as llvmpipe or softpipe) may be returned: the caller
// reads DescribePixelFormat to tell.
int ChoosePixelFormat(Hdc hdc, const PixelFormatRequest& request);
bool DescribePixelFormat(Hdc hdc, int format, PixelFormatInfo* info);
bool SetPixelFormat(Hdc hdc, int format);
int GetPixelFormat(Hdc hdc);

GlContext CreateGlContext(Hdc hdc);
// Makes the context current on the window's surface; a null context releases the
// current one. False when the window or the context is gone.
bool MakeGlCurrent(Hdc hdc, GlContext context);
GlContext CurrentGlContext();
// The surface the current context draws on: the drawing surface of the window (null
// without a current context or when it is no window of ours). With CurrentGlContext, what
// an immediate repaint of another window restores afterwards.
Hdc CurrentGlDrawable();
bool DeleteGlContext(GlContext context);
bool SwapBuffers(Hdc hdc);
void* GlGetProcAddress(const char* name);

}  // namespace orva::platform
