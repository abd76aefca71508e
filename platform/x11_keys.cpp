// X key events turned into key messages: the keysym table, the Windows-1251 characters
// and the left/right modifier state.
#include "platform/x11_keys.h"

#include <array>
#include <bitset>

#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/window_events.h"
#include "platform/x11_backend.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace orva::platform {

namespace {

std::bitset<256> gDown;  // virtual keys held, UI thread only
uint32_t gModifiers = 0;
unsigned gLastPressKeycode = 0;  // the key that went down last (auto-repeat detection)

// Unicode of the Cyrillic keysyms 0x6A1..0x6BF; 0x6C0..0x6DF (lower case, in keysym
// order) come from kCyrillicLower, 0x6E0..0x6FF are their capitals.
constexpr uint16_t kCyrillicMisc[31] = {0x0452, 0x0453, 0x0451, 0x0454, 0x0455, 0x0456, 0x0457, 0x0458,
                                        0x0459, 0x045A, 0x045B, 0x045C, 0x0491, 0x045E, 0x045F, 0x2116,
                                        0x0402, 0x0403, 0x0401, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408,
                                        0x0409, 0x040A, 0x040B, 0x040C, 0x0490, 0x040E, 0x040F};
constexpr uint16_t kCyrillicLower[32] = {0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
                                         0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
                                         0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
                                         0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A};

// The US position of the letter, digit and punctuation keys by their evdev keycode,
// for layouts whose first group is not Latin.
uint32_t VkFromPosition(unsigned keycode) {
    static constexpr char kRowQ[] = "QWERTYUIOP";  // 24..33
    static constexpr char kRowA[] = "ASDFGHJKL";   // 38..46
    static constexpr char kRowZ[] = "ZXCVBNM";     // 52..58
    if (keycode >= 10 && keycode <= 18) return '1' + (keycode - 10);
    if (keycode == 19) return '0';
    if (keycode >= 24 && keycode <= 33) return static_cast<uint8_t>(kRowQ[keycode - 24]);
    if (keycode >= 38 && keycode <= 46) return static_cast<uint8_t>(kRowA[keycode - 38]);
    if (keycode >= 52 && keycode <= 58) return static_cast<uint8_t>(kRowZ[keycode - 52]);
    switch (keycode) {
        case 20: return kVkOemMinus;
        case 21: return kVkOemPlus;
        case 34: return kVkOem4;
        case 35: return kVkOem6;
        case 47: return kVkOem1;
        case 48: return kVkOem7;
        case 49: return kVkOem3;
        case 51: return kVkOem5;
        case 59: return kVkOemComma;
        case 60: return kVkOemPeriod;
        case 61: return kVkOem2;
        case 94: return kVkOem102;
        default: return 0;
    }
}

// Letters, digits and US punctuation from a Latin keysym.
uint32_t VkFromLatin(unsigned long ks) {
    if (ks >= XK_a && ks <= XK_z) return static_cast<uint32_t>('A' + (ks - XK_a));
    if (ks >= XK_A && ks <= XK_Z) return static_cast<uint32_t>(ks);
    if (ks >= XK_0 && ks <= XK_9) return static_cast<uint32_t>(ks);
    switch (ks) {
        case XK_semicolon: case XK_colon: return kVkOem1;
        case XK_equal: case XK_plus: return kVkOemPlus;
        case XK_comma: case XK_less: return kVkOemComma;
        case XK_minus: case XK_underscore: return kVkOemMinus;
        case XK_period: case XK_greater: return kVkOemPeriod;
        case XK_slash: case XK_question: return kVkOem2;
        case XK_grave: case XK_asciitilde: return kVkOem3;
        case XK_bracketleft: case XK_braceleft: return kVkOem4;
        case XK_backslash: case XK_bar: return kVkOem5;
        case XK_bracketright: case XK_braceright: return kVkOem6;
        case XK_apostrophe: case XK_quotedbl: return kVkOem7;
        default: return 0;
    }
}

}  // namespace

KeyTranslation TranslateKeysym(unsigned long keysym, unsigned long level0, unsigned keycode) {
    auto plain = [](uint32_t vk) { return KeyTranslation{vk, false}; };
    auto extended = [](uint32_t vk) { return KeyTranslation{vk, true}; };
    // Keypad: the keysym of the moment tells NumLock on (digits) from off (navigation,
    // which stays apart from the main keys by lacking the extended bit).
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return plain(kVkNumpad0 + static_cast<uint32_t>(keysym - XK_KP_0));
    switch (keysym) {
        case XK_KP_Decimal: return plain(kVkDecimal);
        case XK_KP_Multiply: return plain(kVkMultiply);
        case XK_KP_Add: return plain(kVkAdd);
        case XK_KP_Separator: return plain(kVkSeparator);
        case XK_KP_Subtract: return plain(kVkSubtract);
        case XK_KP_Divide: return extended(kVkDivide);
        case XK_KP_Enter: return extended(kVkReturn);
        case XK_KP_Insert: return plain(kVkInsert);
        case XK_KP_Delete: return plain(kVkDelete);
        case XK_KP_Home: return plain(kVkHome);
        case XK_KP_End: return plain(kVkEnd);
        case XK_KP_Prior: return plain(kVkPrior);
        case XK_KP_Next: return plain(kVkNext);
        case XK_KP_Left: return plain(kVkLeft);
        case XK_KP_Up: return plain(kVkUp);
        case XK_KP_Right: return plain(kVkRight);
        case XK_KP_Down: return plain(kVkDown);
        case XK_KP_Begin: return plain(kVkClear);
        case XK_KP_Space: return plain(kVkSpace);
        case XK_KP_Tab: return plain(kVkTab);
        case XK_KP_Equal: return plain(kVkOemPlus);
        // Navigation cluster.
        case XK_Insert: return extended(kVkInsert);
        case XK_Delete: return extended(kVkDelete);
        case XK_Home: return extended(kVkHome);
        case XK_End: return extended(kVkEnd);
        case XK_Prior: return extended(kVkPrior);
        case XK_Next: return extended(kVkNext);
        case XK_Left: return extended(kVkLeft);
        case XK_Up: return extended(kVkUp);
        case XK_Right: return extended(kVkRight);
        case XK_Down: return extended(kVkDown);
        // Modifiers: the generic codes; the right-hand Ctrl and Alt are extended.
        case XK_Shift_L: case XK_Shift_R: return plain(kVkShift);
        case XK_Control_L: return plain(kVkControl);
        case XK_Control_R: return extended(kVkControl);
        case XK_Alt_L: case XK_Meta_L: return plain(kVkMenu);
        case XK_Alt_R: case XK_Meta_R: case XK_ISO_Level3_Shift: case XK_Mode_switch: return extended(kVkMenu);
        case XK_Super_L: return extended(kVkLWin);
        case XK_Super_R: return extended(kVkRWin);
        case XK_Menu: return extended(kVkApps);
        case XK_Caps_Lock: return plain(kVkCapital);
        case XK_Num_Lock: return extended(kVkNumLock);
        case XK_Scroll_Lock: return plain(kVkScroll);
        case XK_Print: case XK_Sys_Req: return extended(kVkSnapshot);
        case XK_Pause: case XK_Break: return plain(kVkPause);
        case XK_BackSpace: return plain(kVkBack);
        case XK_Tab: case XK_ISO_Left_Tab: return plain(kVkTab);
        case XK_Return: return plain(kVkReturn);
        case XK_Escape: return plain(kVkEscape);
        case XK_space: return plain(kVkSpace);
        case XK_Clear: return plain(kVkClear);
        default: break;
    }
    if (keysym >= XK_F1 && keysym <= XK_F24) return plain(kVkF1 + static_cast<uint32_t>(keysym - XK_F1));
    // Letters, digits and punctuation: the first level of the first group, so Ctrl+letter
    // means the same key on every layout; else the key's US position.
    if (uint32_t vk = VkFromLatin(level0)) return plain(vk);
    if (uint32_t vk = VkFromPosition(keycode)) return plain(vk);
    if (uint32_t vk = VkFromLatin(keysym)) return plain(vk);
    return plain(0);
}

int KeysymToCp1251(unsigned long keysym) {
    uint32_t code = 0;
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
        code = static_cast<uint32_t>(keysym);  // Latin-1 keysyms are their code points
    } else if ((keysym & 0xFF000000UL) == 0x01000000UL) {
        code = static_cast<uint32_t>(keysym & 0x00FFFFFFUL);
    } else if (keysym >= 0x6A1 && keysym <= 0x6BF) {
        code = kCyrillicMisc[keysym - 0x6A1];
    } else if (keysym >= 0x6C0 && keysym <= 0x6DF) {
        code = kCyrillicLower[keysym - 0x6C0];
    } else if (keysym >= 0x6E0 && keysym <= 0x6FF) {
        code = kCyrillicLower[keysym - 0x6E0] - 0x20u;
    } else if (keysym == XK_EuroSign) {
        code = 0x20AC;
    } else {
        return -1;
    }
    return UnicodeToCp1251(code);
}

uint32_t KeyModifierState() { return gModifiers; }

bool KeyIsDown(uint32_t vk) { return vk < 256 && gDown.test(vk); }

void KeyTrackState(uint32_t vk, bool extended, bool down) {
    if (vk == 0 || vk >= 256) return;
    uint32_t bit = 0;
    uint32_t side = 0;
    if (vk == kVkShift) {
        // Both Shift keys share the code: the caller passes the right one as "extended".
        bit = extended ? kModRShift : kModLShift;
        side = extended ? kVkRShift : kVkLShift;
    } else if (vk == kVkControl) {
        bit = extended ? kModRCtrl : kModLCtrl;
        side = extended ? kVkRControl : kVkLControl;
    } else if (vk == kVkMenu) {
        bit = extended ? kModRAlt : kModLAlt;
        side = extended ? kVkRMenu : kVkLMenu;
    }
    if (bit != 0) {
        gModifiers = down ? (gModifiers | bit) : (gModifiers & ~bit);
        gDown.set(side, down);
        uint32_t pair = vk == kVkShift ? (kModLShift | kModRShift)
                        : vk == kVkControl ? (kModLCtrl | kModRCtrl) : (kModLAlt | kModRAlt);
        gDown.set(vk, (gModifiers & pair) != 0);
        return;
    }
    gDown.set(vk, down);
}

void ResetKeyStateForTest() {
    gDown.reset();
    gModifiers = 0;
    gLastPressKeycode = 0;
}

void PostX11KeyMessage(Hwnd hwnd, bool press, const void* xKeyEvent) {
    if (xKeyEvent == nullptr) return;
    XKeyEvent event = *static_cast<const XKeyEvent*>(xKeyEvent);
    char buffer[16] = {};
    KeySym keysym = NoSymbol;
    int length = XLookupString(&event, buffer, sizeof buffer, &keysym, nullptr);
    // The first level of the first group, whatever the modifiers and the layout.
    XKeyEvent plainEvent = event;
    plainEvent.state = 0;
    KeySym level0 = XLookupKeysym(&plainEvent, 0);
    KeyTranslation key = TranslateKeysym(keysym, level0, event.keycode);
    if (key.vk == 0) return;
    // A modifier released while another program had the keyboard left no release here:
    // the event's own modifier mask corrects the tracked state.
    const struct {
        unsigned mask;
        uint32_t vk;
    } held[] = {{ShiftMask, kVkShift}, {ControlMask, kVkControl}, {Mod1Mask | Mod5Mask, kVkMenu}};
    for (const auto& h : held) {
        if ((event.state & h.mask) != 0 || key.vk == h.vk) continue;
        KeyTrackState(h.vk, false, false);
        KeyTrackState(h.vk, true, false);
    }
    bool rightShift = keysym == XK_Shift_R;
    bool wasDown = press && gLastPressKeycode == event.keycode && KeyIsDown(key.vk);
    KeyTrackState(key.vk, key.extended || rightShift, press);
    if (press) {
        gLastPressKeycode = event.keycode;
    } else if (gLastPressKeycode == event.keycode) {
        gLastPressKeycode = 0;
    }
    int character = -1;
    if (length == 1 && static_cast<unsigned char>(buffer[0]) < 0x80) {
        character = static_cast<unsigned char>(buffer[0]);
    } else if (length > 0) {
        character = KeysymToCp1251(keysym);
    }
    bool alt = (gModifiers & (kModLAlt | kModRAlt)) != 0;
    uint64_t data = 1;  // repeat count
    data |= static_cast<uint64_t>(event.keycode & 0xFF) << 16;
    if (key.extended) data |= static_cast<uint64_t>(kKeyDataExtended);
    if (alt) data |= static_cast<uint64_t>(kKeyDataAlt);
    if (wasDown || !press) data |= static_cast<uint64_t>(kKeyDataWasDown);
    if (!press) data |= static_cast<uint64_t>(kKeyDataUp);
    if (character >= 0) {
        data |= static_cast<uint64_t>(character & 0xFF) << kKeyDataCharShift;
        data |= static_cast<uint64_t>(kKeyDataHasChar);
    }
    data |= static_cast<uint64_t>(gModifiers) << kKeyDataModShift;
    hwnd = KeyWindowAfterPress(hwnd);
    // A disabled window takes no key input (the key state above is still tracked).
    if (!AcceptsInput(hwnd)) return;
    // Alt held (and F10) makes the system variants, as the program expects.
    uint32_t message = press ? kWmKeyDown : kWmKeyUp;
    if ((alt && !(gModifiers & (kModLCtrl | kModRCtrl))) || key.vk == kVkF1 + 9) {
        message = press ? kWmSysKeyDown : kWmSysKeyUp;
    }
    PostMessage(hwnd, message, key.vk, static_cast<LParam>(data));
}

void InstallX11KeyHandler() {
    SetX11KeyHandler(PostX11KeyMessage);
    if (auto* display = static_cast<Display*>(X11Display())) {
        Bool supported = False;
        XkbSetDetectableAutoRepeat(display, True, &supported);
    }
}

}  // namespace orva::platform
