#pragma once
// Keyboard translation for the Xlib backend: X key events become WM_KEYDOWN/WM_KEYUP
// (WM_SYSKEYDOWN/WM_SYSKEYUP while Alt is held) with our virtual-key codes in wParam
// and the usual key data in lParam, plus the character and the modifier state of the
// moment in the upper half of lParam (64-bit), so the toolkit reads both from the
// message itself rather than from a state that has moved on meanwhile.
#include <cstdint>

#include "platform/msg_types.h"
#include "platform/window_text.h"  // UnicodeToCp1251

namespace orva::platform {

// ---- Virtual-key codes -----------------------------------------------------------------
constexpr uint32_t kVkBack = 0x08, kVkTab = 0x09, kVkClear = 0x0C, kVkReturn = 0x0D;
constexpr uint32_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12, kVkPause = 0x13;
constexpr uint32_t kVkCapital = 0x14, kVkEscape = 0x1B, kVkSpace = 0x20;
constexpr uint32_t kVkPrior = 0x21, kVkNext = 0x22, kVkEnd = 0x23, kVkHome = 0x24;
constexpr uint32_t kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28;
constexpr uint32_t kVkSnapshot = 0x2C, kVkInsert = 0x2D, kVkDelete = 0x2E;
// '0'..'9' are 0x30..0x39, 'A'..'Z' are 0x41..0x5A.
constexpr uint32_t kVkLWin = 0x5B, kVkRWin = 0x5C, kVkApps = 0x5D;
constexpr uint32_t kVkNumpad0 = 0x60;  // .. kVkNumpad0 + 9
constexpr uint32_t kVkMultiply = 0x6A, kVkAdd = 0x6B, kVkSeparator = 0x6C, kVkSubtract = 0x6D;
constexpr uint32_t kVkDecimal = 0x6E, kVkDivide = 0x6F;
constexpr uint32_t kVkF1 = 0x70;  // .. kVkF1 + 23 (F24)
constexpr uint32_t kVkNumLock = 0x90, kVkScroll = 0x91;
constexpr uint32_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLControl = 0xA2, kVkRControl = 0xA3;
constexpr uint32_t kVkLMenu = 0xA4, kVkRMenu = 0xA5;
// Punctuation keys, named by what they carry on a US keyboard.
constexpr uint32_t kVkOem1 = 0xBA;       // ; :
constexpr uint32_t kVkOemPlus = 0xBB;    // = +
constexpr uint32_t kVkOemComma = 0xBC;   // , <
constexpr uint32_t kVkOemMinus = 0xBD;   // - _
constexpr uint32_t kVkOemPeriod = 0xBE;  // . >
constexpr uint32_t kVkOem2 = 0xBF;       // / ?
constexpr uint32_t kVkOem3 = 0xC0;       // ` ~
constexpr uint32_t kVkOem4 = 0xDB;       // [ {
constexpr uint32_t kVkOem5 = 0xDC;       // \ |
constexpr uint32_t kVkOem6 = 0xDD;       // ] }
constexpr uint32_t kVkOem7 = 0xDE;       // ' "
constexpr uint32_t kVkOem102 = 0xE2;     // the extra key beside left Shift

// ---- Key data (lParam) of key messages -------------------------------------------------
// Bits 0-15 repeat count, 16-23 scan code (the X keycode), 24 extended key, 29 Alt held,
// 30 the key was already down, 31 released. Ours on top:
constexpr int kKeyDataCharShift = 32;                       // bits 32-39: the character
constexpr LParam kKeyDataHasChar = LParam{1} << 40;         // the key produced one
constexpr int kKeyDataModShift = 48;                        // bits 48-53: kMod* after the event
constexpr LParam kKeyDataExtended = LParam{1} << 24;
constexpr LParam kKeyDataAlt = LParam{1} << 29;
constexpr LParam kKeyDataWasDown = LParam{1} << 30;
constexpr LParam kKeyDataUp = LParam{1} << 31;

// Modifier state bits (left/right apart).
constexpr uint32_t kModLShift = 0x01, kModRShift = 0x02, kModLCtrl = 0x04, kModRCtrl = 0x08;
constexpr uint32_t kModLAlt = 0x10, kModRAlt = 0x20;

inline uint32_t KeyDataModifiers(LParam keyData) {
    return static_cast<uint32_t>((static_cast<uint64_t>(keyData) >> kKeyDataModShift) & 0x3F);
}
// The character (Windows-1251) of a key message, -1 when the key produced none.
inline int KeyDataChar(LParam keyData) {
    if ((keyData & kKeyDataHasChar) == 0) return -1;
    return static_cast<int>((static_cast<uint64_t>(keyData) >> kKeyDataCharShift) & 0xFF);
}

// ---- The translation ---------------------------------------------------------------------
struct KeyTranslation {
    uint32_t vk = 0;        // 0: the key has no code
    bool extended = false;  // the extended-key bit
};
// The virtual key of an X key: `keysym` is the keysym the key produces now (level and
// group applied: it tells the keypad with NumLock from the keypad without), `level0` the
// keysym of the key's first level in the first group (layout independent letters and
// digits), `keycode` the X keycode (the US position of punctuation keys when neither
// keysym says).
KeyTranslation TranslateKeysym(unsigned long keysym, unsigned long level0, unsigned keycode);
// The Windows-1251 byte of a keysym's character, -1 when it has none there.
int KeysymToCp1251(unsigned long keysym);

// Modifier state the layer tracks from the key events it sees (kMod* bits), and whether
// a virtual key is held (the generic and left/right Shift, Ctrl and Alt codes and every
// key seen going down).
uint32_t KeyModifierState();
bool KeyIsDown(uint32_t vk);
// Records a key press or release in the tracked state (the layer calls it; tests too).
void KeyTrackState(uint32_t vk, bool extended, bool down);
void ResetKeyStateForTest();

// Builds the message for an X key event (a pointer to an XKeyEvent) and posts it to the
// window; installs itself as the backend's key handler with InstallX11KeyHandler.
void PostX11KeyMessage(Hwnd hwnd, bool press, const void* xKeyEvent);
// Installs the translation (and asks the server for detectable auto-repeat, so a held
// key gives presses without releases in between).
void InstallX11KeyHandler();

}  // namespace orva::platform
