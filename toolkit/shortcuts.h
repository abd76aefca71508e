#pragma once
// Shortcut keys: entries binding a folded key code to a command handler ("GACC"), to a
// widget pressed as if clicked ("GACH") or to a widget's own key handler ("GACW"), in
// one list per window (child windows use their parent's) and one global list; the
// window's hot (close) key; and the display names of keys. UI thread only.
#include <cstdint>

#include "common/record_tag.h"

namespace orva {

struct gElement;
struct gWindow;

constexpr uint32_t kAccelCommand = FourCC("GACC");
constexpr uint32_t kAccelPress = FourCC("GACH");
constexpr uint32_t kAccelWidgetKey = FourCC("GACW");

using gAccelHandler = uint8_t (*)(void* item, uint32_t userData);

struct gAccel {
    uint32_t tag = 0;
    gAccel* next = nullptr;
    gAccel* prev = nullptr;
    uint32_t key = 0;              // folded, never 0
    gElement* widget = nullptr;    // "GACH", "GACW"
    gAccelHandler handler = nullptr;   // "GACC"
    uint32_t userData = 0;
    uint8_t disabled = 0;          // a matching disabled entry swallows the key
};

struct gAccelList {
    gAccel* head = nullptr;
    gAccel* tail = nullptr;
};

// The right-hand modifier bits become the left-hand ones; the extended bit goes.
uint32_t gAccelFold(uint32_t key);
// The entry for the key in the list: an existing one (taken over in place when the new
// kind outranks it) or a new unlinked one; null when refused.
gAccel* gAccelTake(gAccelList* list, uint32_t key, uint32_t kind, uint8_t disabled);
gAccel* gAccelAdd(gWindow* window, uint32_t key, gAccelHandler handler, uint32_t userData, uint8_t disabled);
gAccel* gAccelAddWidget(gElement* widget, uint32_t key, uint32_t kind, bool global, uint8_t disabled);
// Unlinks an entry of the global list and frees it; false when it is not there.
bool gAccelRemove(gAccel* entry);
// Runs the entry matching the key in the window's list (the global list for null):
// 1 consumed, 0 no entry or declined.
uint8_t gAccelDispatchKey(gWindow* window, gWindow* active, uint32_t key);
// The same for the last translated key-down.
uint8_t gAccelDispatch(gWindow* window, gWindow* active);
// The window's own list, then the global one.
bool gAccelDispatchBoth(gWindow* window, uint32_t key);
gAccelList* gAccelGlobal();
// Frees every entry of a window's list or of the global list.
void gAccelFreeWindow(gWindow* window);
void gAccelFreeGlobal();
// The key of a widget's shortcut (0 when none).
uint32_t gWgtShortcutKey(const gElement* widget);

bool gWinSetHotKey(gWindow* window, uint32_t key);
// Writes the key's display name ("Ctrl+Shift+F5"); true when it is not empty. The
// buffer holds at least 32 bytes.
bool gKeyName(char* buffer, uint32_t key);

// Installs the shortcut hooks of the input routing and the toolkit (idempotent).
void gShortcutsInstall();

}  // namespace orva
