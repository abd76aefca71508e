#pragma once
// The handle, message and flag vocabulary of the window layer: a message API shaped
// like the one the program was written for, with our own constants. Handles are
// opaque numbers that are never reused, so a stale handle simply names no window.
#include <cstdint>

namespace orva::platform {

struct HwndTag;
struct HdcTag;
struct GlContextTag;
struct CursorTag;
using Hwnd = HwndTag*;          // a window; never dereferenced
using Hdc = HdcTag*;            // a window's drawing surface (one per window)
using GlContext = GlContextTag*;
using Cursor = CursorTag*;

using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

using WndProc = LResult (*)(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct Msg {
    Hwnd hwnd = nullptr;
    uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    uint32_t time = 0;  // milliseconds of the monotonic clock
    Point pt;           // pointer position (screen) when the message was made
};

// Creation parameters handed to WM_CREATE through lParam.
struct CreateStruct {
    void* createParams = nullptr;
    Hwnd parent = nullptr;
    int32_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    const char* name = nullptr;
    const char* className = nullptr;
};

// WM_GETMINMAXINFO's record.
struct MinMaxInfo {
    Point reserved;
    Point maxSize;
    Point maxPosition;
    Point minTrackSize;
    Point maxTrackSize;
};

// WM_COPYDATA's record.
struct CopyDataStruct {
    uintptr_t data = 0;     // the caller's tag word
    uint32_t size = 0;      // bytes at `pointer`
    const void* pointer = nullptr;
};

struct PaintStruct {
    Hdc hdc = nullptr;
    bool erase = false;
    Rect paint;
};

// ---- Message numbers --------------------------------------------------------------------
constexpr uint32_t kWmNull = 0x0000;
constexpr uint32_t kWmCreate = 0x0001;
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmMove = 0x0003;
constexpr uint32_t kWmSize = 0x0005;
constexpr uint32_t kWmActivate = 0x0006;
constexpr uint32_t kWmSetFocus = 0x0007;
constexpr uint32_t kWmKillFocus = 0x0008;
constexpr uint32_t kWmEnable = 0x000A;
constexpr uint32_t kWmSetText = 0x000C;
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmQueryEndSession = 0x0011;
constexpr uint32_t kWmQuit = 0x0012;
constexpr uint32_t kWmEraseBkgnd = 0x0014;
constexpr uint32_t kWmEndSession = 0x0016;
constexpr uint32_t kWmShowWindow = 0x0018;
constexpr uint32_t kWmActivateApp = 0x001C;
constexpr uint32_t kWmCancelMode = 0x001F;
constexpr uint32_t kWmSetCursor = 0x0020;
constexpr uint32_t kWmChildActivate = 0x0022;
constexpr uint32_t kWmGetMinMaxInfo = 0x0024;
constexpr uint32_t kWmCompacting = 0x0041;
constexpr uint32_t kWmCopyData = 0x004A;
constexpr uint32_t kWmDisplayChange = 0x007E;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmKeyUp = 0x0101;
constexpr uint32_t kWmChar = 0x0102;
constexpr uint32_t kWmSysKeyDown = 0x0104;
constexpr uint32_t kWmSysKeyUp = 0x0105;
constexpr uint32_t kWmSysChar = 0x0106;
constexpr uint32_t kWmSysCommand = 0x0112;
constexpr uint32_t kWmTimer = 0x0113;
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmLButtonUp = 0x0202;
constexpr uint32_t kWmLButtonDblClk = 0x0203;
constexpr uint32_t kWmRButtonDown = 0x0204;
constexpr uint32_t kWmRButtonUp = 0x0205;
constexpr uint32_t kWmRButtonDblClk = 0x0206;
constexpr uint32_t kWmMButtonDown = 0x0207;
constexpr uint32_t kWmMButtonUp = 0x0208;
constexpr uint32_t kWmMButtonDblClk = 0x0209;
constexpr uint32_t kWmMouseWheel = 0x020A;
constexpr uint32_t kWmEnterSizeMove = 0x0231;
constexpr uint32_t kWmExitSizeMove = 0x0232;
constexpr uint32_t kWmQueryNewPalette = 0x030F;
constexpr uint32_t kWmUser = 0x0400;

// WM_SIZE kinds.
constexpr WParam kSizeRestored = 0;
constexpr WParam kSizeMinimized = 1;
constexpr WParam kSizeMaximized = 2;
constexpr WParam kSizeMaxShow = 3;
constexpr WParam kSizeMaxHide = 4;

// WM_ACTIVATE kinds.
constexpr WParam kWaInactive = 0;
constexpr WParam kWaActive = 1;
constexpr WParam kWaClickActive = 2;

// WM_SETCURSOR hit code for the client area.
constexpr uint32_t kHtClient = 1;

// WM_SYSCOMMAND codes (wParam & 0xFFF0).
constexpr WParam kScSize = 0xF000;
constexpr WParam kScMove = 0xF010;
constexpr WParam kScMinimize = 0xF020;
constexpr WParam kScMaximize = 0xF030;
constexpr WParam kScClose = 0xF060;
constexpr WParam kScRestore = 0xF120;
constexpr WParam kScScreenSave = 0xF140;
constexpr WParam kScMonitorPower = 0xF170;

// Mouse key flags in the wParam of mouse messages.
constexpr uint32_t kMkLButton = 0x01;
constexpr uint32_t kMkRButton = 0x02;
constexpr uint32_t kMkShift = 0x04;
constexpr uint32_t kMkControl = 0x08;
constexpr uint32_t kMkMButton = 0x10;

constexpr int kWheelDelta = 120;

// ---- Window styles ------------------------------------------------------------------
constexpr uint32_t kWsOverlapped = 0x00000000;
constexpr uint32_t kWsMaximizeBox = 0x00010000;
constexpr uint32_t kWsMinimizeBox = 0x00020000;
constexpr uint32_t kWsThickFrame = 0x00040000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kWsHScroll = 0x00100000;
constexpr uint32_t kWsVScroll = 0x00200000;
constexpr uint32_t kWsDlgFrame = 0x00400000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsMaximize = 0x01000000;
constexpr uint32_t kWsClipChildren = 0x02000000;
constexpr uint32_t kWsClipSiblings = 0x04000000;
constexpr uint32_t kWsDisabled = 0x08000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsMinimize = 0x20000000;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsPopup = 0x80000000;

constexpr uint32_t kWsExNoParentNotify = 0x00000004;
constexpr uint32_t kWsExTopmost = 0x00000008;
constexpr uint32_t kWsExToolWindow = 0x00000080;
constexpr uint32_t kWsExNoActivate = 0x08000000;

// Class styles.
constexpr uint32_t kCsVRedraw = 0x0001;
constexpr uint32_t kCsHRedraw = 0x0002;
constexpr uint32_t kCsDblClks = 0x0008;
constexpr uint32_t kCsOwnDc = 0x0020;
constexpr uint32_t kCsSaveBits = 0x0800;

// Window long indexes.
constexpr int kGwlStyle = -16;
constexpr int kGwlExStyle = -20;
constexpr int kGwlpUserData = -21;

// ShowWindow commands.
constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;
constexpr int kSwShowMinimized = 2;
constexpr int kSwMaximize = 3;
constexpr int kSwShowNoActivate = 4;
constexpr int kSwShow = 5;
constexpr int kSwMinimize = 6;
constexpr int kSwShowMinNoActive = 7;
constexpr int kSwShowNa = 8;
constexpr int kSwRestore = 9;

// SetWindowPos.
inline const Hwnd kHwndTop = nullptr;
inline const Hwnd kHwndBottom = reinterpret_cast<Hwnd>(uintptr_t{1});
constexpr uint32_t kSwpNoSize = 0x0001;
constexpr uint32_t kSwpNoMove = 0x0002;
constexpr uint32_t kSwpNoZOrder = 0x0004;
constexpr uint32_t kSwpNoRedraw = 0x0008;
constexpr uint32_t kSwpNoActivate = 0x0010;
constexpr uint32_t kSwpFrameChanged = 0x0020;
constexpr uint32_t kSwpShowWindow = 0x0040;
constexpr uint32_t kSwpHideWindow = 0x0080;
constexpr uint32_t kSwpNoCopyBits = 0x0100;
constexpr uint32_t kSwpNoOwnerZOrder = 0x0200;
constexpr uint32_t kSwpNoSendChanging = 0x0400;

// GetSystemMetrics.
constexpr int kSmCxScreen = 0;
constexpr int kSmCyScreen = 1;

// Standard cursors.
constexpr int kIdcArrow = 32512;
constexpr int kIdcIBeam = 32513;
constexpr int kIdcWait = 32514;
constexpr int kIdcCross = 32515;
constexpr int kIdcUpArrow = 32516;
constexpr int kIdcSizeNwse = 32642;
constexpr int kIdcSizeNesw = 32643;
constexpr int kIdcSizeWe = 32644;
constexpr int kIdcSizeNs = 32645;
constexpr int kIdcSizeAll = 32646;
constexpr int kIdcNo = 32648;
constexpr int kIdcHand = 32649;

// Building message parameters.
constexpr LParam MakeLParam(int32_t low, int32_t high) {
    return static_cast<LParam>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
constexpr uint16_t LoWord(uintptr_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
constexpr uint16_t HiWord(uintptr_t value) { return static_cast<uint16_t>((value >> 16) & 0xFFFF); }
// The signed coordinates packed in a mouse message's lParam.
constexpr int32_t GetXLParam(LParam value) {
    return static_cast<int16_t>(LoWord(static_cast<uintptr_t>(value)));
}
constexpr int32_t GetYLParam(LParam value) {
    return static_cast<int16_t>(HiWord(static_cast<uintptr_t>(value)));
}

}  // namespace orva::platform
