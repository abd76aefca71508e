#include "toolkit/shortcuts.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "toolkit/edit_field.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

gAccelList gGlobal;
std::unordered_map<const gElement*, uint32_t>& gWidgetKeys = *new std::unordered_map<const gElement*, uint32_t>;

constexpr uint32_t kHiddenMask = 0x81C;
constexpr uint32_t kWidgetWindowHiddenMask = 0x1D1C;

int Rank(uint32_t kind) {
    if (kind == kAccelCommand) return 3;
    if (kind == kAccelWidgetKey) return 2;
    if (kind == kAccelPress) return 1;
    return 0;
}

gAccelList* ListOf(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    gWindow* owner = window->parent != nullptr ? window->parent : window;
    return reinterpret_cast<gAccelList*>(&owner->shortcuts);
}

void Append(gAccelList* list, gAccel* entry) {
    entry->next = nullptr;
    entry->prev = list->tail;
    if (list->tail != nullptr) list->tail->next = entry;
    else list->head = entry;
    list->tail = entry;
}

bool Linked(const gAccelList* list, const gAccel* entry) {
    for (gAccel* a = list->head; a != nullptr; a = a->next) {
        if (a == entry) return true;
    }
    return false;
}

void FreeList(gAccelList* list) {
    for (gAccel* a = list->head; a != nullptr;) {
        gAccel* next = a->next;
        delete a;
        a = next;
    }
    list->head = list->tail = nullptr;
}

// A widget that goes away takes its entries with it.
void WidgetGone(gElement* widget) {
    gWidgetKeys.erase(widget);
    auto purge = [widget](gAccelList* list) {
        for (gAccel* a = list->head; a != nullptr;) {
            gAccel* next = a->next;
            if (a->widget == widget && a->tag != kAccelCommand) {
                (a->prev != nullptr ? a->prev->next : list->head) = a->next;
                (a->next != nullptr ? a->next->prev : list->tail) = a->prev;
                delete a;
            }
            a = next;
        }
    };
    purge(&gGlobal);
    if (widget->window != nullptr && gWinValidate(widget->window) != nullptr) {
        if (gAccelList* list = ListOf(widget->window)) purge(list);
    }
}

void RestoreActive(gWindow* active, gWindow* widgetWindow) {
    if (active != nullptr && active != widgetWindow && gWinValidate(active) != nullptr &&
        (active->state & kHiddenMask) == 0) {
        gWinMakeCurrent(active);
    }
}

bool DispatchHook(gWindow* window, const gKeyEvent* key) {
    if (key == nullptr) return false;
    if (window != nullptr && gAccelDispatchKey(window, window, key->code) != 0) return true;
    if (window != nullptr && gWinValidate(window) == nullptr) return true;
    return gAccelDispatchKey(nullptr, window, key->code) != 0;
}

}  // namespace

void gShortcutsInstall() {
    static bool done = false;
    if (done) return;
    done = true;
    gWgtAddDestroyObserver(WidgetGone);
    if (gInput().accelDispatch == nullptr) gInput().accelDispatch = DispatchHook;
    if (gHooks().freeWindowShortcuts == nullptr) gHooks().freeWindowShortcuts = gAccelFreeWindow;
    if (gHooks().freeGlobalShortcuts == nullptr) gHooks().freeGlobalShortcuts = gAccelFreeGlobal;
}

uint32_t gAccelFold(uint32_t key) {
    if ((key & (kKeyShiftR | kKeyCtrlR | kKeyAltR)) == 0) return key & ~0x6A0000u;
    // Each right-hand bit becomes its left-hand partner (also right Ctrl).
    if (key & kKeyShiftR) key |= kKeyShiftL;
    if (key & kKeyCtrlR) key |= kKeyCtrlL;
    if (key & kKeyAltR) key |= kKeyAltL;
    return key & ~0x6A0000u;
}

gAccel* gAccelTake(gAccelList* list, uint32_t key, uint32_t kind, uint8_t disabled) {
    if (list == nullptr) return nullptr;
    key = gAccelFold(key);
    if (key == 0) return nullptr;
    for (gAccel* a = list->head; a != nullptr; a = a->next) {
        if (a->key != key) continue;
        if (Rank(kind) <= Rank(a->tag)) return nullptr;   // the held entry outranks or equals
        a->tag = kind;
        a->widget = nullptr;
        a->userData = 0;
        a->handler = nullptr;
        a->disabled = disabled;
        return a;
    }
    gAccel* entry = new (std::nothrow) gAccel;
    if (entry == nullptr) return nullptr;
    entry->tag = kind;
    entry->key = key;
    entry->disabled = disabled;
    return entry;
}

gAccel* gAccelAdd(gWindow* window, uint32_t key, gAccelHandler handler, uint32_t userData, uint8_t disabled) {
    gShortcutsInstall();
    if (handler == nullptr) return nullptr;
    gAccelList* list = ListOf(window);
    if (list == nullptr) list = &gGlobal;
    gAccel* entry = gAccelTake(list, key, kAccelCommand, disabled);
    if (entry == nullptr) return nullptr;
    entry->handler = handler;
    entry->userData = userData;
    if (!Linked(list, entry)) Append(list, entry);
    return entry;
}

gAccel* gAccelAddWidget(gElement* widget, uint32_t key, uint32_t kind, bool global, uint8_t disabled) {
    gShortcutsInstall();
    if (widget == nullptr || (kind != kAccelPress && kind != kAccelWidgetKey)) return nullptr;
    gAccelList* list = global ? &gGlobal : ListOf(widget->window);
    if (list == nullptr) return nullptr;
    gAccel* entry = gAccelTake(list, key, kind, disabled);
    if (entry == nullptr) return nullptr;
    entry->widget = widget;
    gWidgetKeys[widget] = entry->key;
    if (!Linked(list, entry)) Append(list, entry);
    return entry;
}

uint32_t gWgtShortcutKey(const gElement* widget) {
    auto it = gWidgetKeys.find(widget);
    return it == gWidgetKeys.end() ? 0 : it->second;
}

bool gAccelRemove(gAccel* entry) {
    if (entry == nullptr || !Linked(&gGlobal, entry)) return false;
    (entry->prev != nullptr ? entry->prev->next : gGlobal.head) = entry->next;
    (entry->next != nullptr ? entry->next->prev : gGlobal.tail) = entry->prev;
    delete entry;
    return true;
}

gAccelList* gAccelGlobal() { return &gGlobal; }

void gAccelFreeWindow(gWindow* window) {
    if (window != nullptr) FreeList(reinterpret_cast<gAccelList*>(&window->shortcuts));
}

void gAccelFreeGlobal() { FreeList(&gGlobal); }

uint8_t gAccelDispatchKey(gWindow* window, gWindow* active, uint32_t key) {
    gAccelList* list = window == nullptr ? &gGlobal : ListOf(window);
    if (list == nullptr) return 0;
    // Folded as the stored keys are: a right-hand modifier matches like the left one.
    const uint32_t search = gAccelFold(key);
    gAccel* entry = list->head;
    while (entry != nullptr && entry->key != search) entry = entry->next;
    if (entry == nullptr) return 0;
    if (entry->disabled) return 1;
    if (entry->tag == kAccelCommand) {
        if (entry->handler(nullptr, entry->userData) != 1) return 0;
        if (active != nullptr && gWinValidate(active) != nullptr && (active->state & kHiddenMask) == 0) {
            gWinMakeCurrent(active);
        }
        return 1;
    }
    if (entry->tag != kAccelPress && entry->tag != kAccelWidgetKey) return 0;
    gElement* widget = entry->widget;
    if (widget == nullptr || !gWgtIsLive(widget)) return 0;
    if (!widget->enabled || !widget->shown || widget->dead) return 1;
    gWindow* owner = widget->window;
    if (owner == nullptr || gWinValidate(owner) == nullptr) return 1;
    if (owner->state & kWidgetWindowHiddenMask) return 1;
    gWidgetKeyFn handler = nullptr;
    if (entry->tag == kAccelWidgetKey) {
        handler = gWgtKeyHandler(widget);
        if (handler == nullptr) return 0;
    }
    if (!gWinMakeCurrent(owner)) return 1;
    int result = entry->tag == kAccelPress ? gWgtPress(owner, widget, false) : gWidgetKeyCall(owner, widget, handler);
    if (result == 0) return 0;
    if (result == 1 && gWgtIsLive(widget)) gKeyPressWidget = widget;
    RestoreActive(active, owner);
    return 1;
}

uint8_t gAccelDispatch(gWindow* window, gWindow* active) { return gAccelDispatchKey(window, active, gKeyDownEvent.code); }

bool gAccelDispatchBoth(gWindow* window, uint32_t key) {
    gKeyEvent event;
    event.code = key;
    return DispatchHook(window, &event);
}

bool gWinSetHotKey(gWindow* window, uint32_t key) {
    if (window == nullptr || gWinValidate(window) == nullptr) return false;
    uint32_t folded = gAccelFold(key);
    if (folded == 0 && window->parent == nullptr && (window->state & kStateSizable) != 0) return false;
    if (folded == window->closeKey) return true;
    window->closeKey = folded;
    if (folded == kCloseKeyDefault) window->style |= kStyleCloseKey;
    else window->style &= ~kStyleCloseKey;
    return true;
}

bool gKeyName(char* buffer, uint32_t key) {
    static const char* const kNames[] = {
        nullptr, "F1",    "F2",    "F3",   "F4",    "F5",    "F6",    "F7",    "F8",    "F9",    "F10",
        "F11",   "F12",   "Tab",   "BackSpace", "PageUp", "PageDown", "Home", "End", "Left", "Up",
        "Right", "Down",  "Insert", "Del", "ESC",   "Pause", "Enter", "NUM0",  "NUM1",  "NUM2",
        "NUM3",  "NUM4",  "NUM5",  "NUM6", "NUM7",  "NUM8",  "NUM9",  "Gray*", "Gray+", "Gray|",
        "Gray-", "Gray/",
    };
    if (buffer == nullptr) return false;
    std::string name;
    auto part = [&name](const char* text) {
        if (!name.empty()) name += '+';
        name += text;
    };
    if (key & kKeyCtrl) part("Ctrl");
    else if (key & kKeyAlt) part("Alt");
    if (key & kKeyShift) part("Shift");
    uint32_t special = (key >> 8) & 0xFFu;
    if (special < sizeof kNames / sizeof kNames[0] && kNames[special] != nullptr) part(kNames[special]);
    uint32_t c = key & 0xFFu;
    if (c >= 32 && c < 127) {
        if (c == 32) part("Space");
        else if (c == 43) part("Plus");
        else if (c == 45) part("Minus");
        else {
            char one[2] = {static_cast<char>(c), '\0'};
            part(one);
        }
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return !name.empty();
}

}  // namespace orva
