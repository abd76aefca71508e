#include "toolkit/edit_field.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "common/calculator.h"
#include "common/system.h"
#include "platform/msg_queue.h"
#include "platform/x11_clipboard.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/skin.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

std::unordered_map<const gElement*, gEditState>& Records() {
    static auto* records = new std::unordered_map<const gElement*, gEditState>;   // outlives every widget
    return *records;
}

// The one working copy: the text the field had when its edit began.
struct EditWork {
    std::string saved;
    gElement* widget = nullptr;
};
EditWork& gWork = *new EditWork;   // outlives every widget

bool X11SetText(const char* text, size_t length, void*) { return platform::X11ClipboardSetText(text, length); }
bool X11GetText(std::string* out) { return platform::X11ClipboardGetText(out, 1000); }

gClipboardOps gClipboard{X11SetText, X11GetText};

void Forget(gElement* e) {
    Records().erase(e);
    if (gWork.widget == e) {
        gWork.widget = nullptr;
        gWork.saved.clear();
    }
}

bool InputOnChar(gElement* e, const gKeyEvent*) { return gWgtOnChar(e != nullptr ? e->window : nullptr, e); }
bool InputOnKey(gElement* e, const gKeyEvent*) { return gWgtOnKey(e); }
bool InputIsEditing(const gElement* e) {
    const gEditState* s = gWgtEdit(e);
    return s != nullptr && s->editing != 0;
}
void InputSelectWord(gElement* e) { gWgtSelectWord(e); }
void InputSelectAll(gElement* e) { gWgtCaretToEnd(e, true); }
// The skin's caret painter behind a field's caret painter: as high as the line the
// selection covers, the selecting form while the caret stands apart from the anchor.
void SkinCaret(gElement* e) {
    const gEditState* s = gWgtEdit(e);
    const gGeneralRecord* general = gSkinGet()->GeneralRecord();
    if (s == nullptr || general == nullptr || general->caretPainter == nullptr) return;
    general->caretPainter(std::max(e->cellHeight - 2.0f, 0.0f), s->caretX != s->anchorX);
}

void InputToggleCaret(gElement* e) {
    if (gEditState* s = gWgtEdit(e)) s->caretOn = s->caretOn ? 0 : 1;
}
int InputPress(gWindow* w, gElement* e, int clicks) { return gWgtPress(w, e, clicks != 0); }

void InstallOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    gWgtAddDestroyObserver(Forget);
    gInputHooks& in = gInput();
    if (in.press == nullptr) in.press = InputPress;
    if (in.editEnd == nullptr) in.editEnd = gWgtEditEnd;
    if (in.onChar == nullptr) in.onChar = InputOnChar;
    if (in.onKey == nullptr) in.onKey = InputOnKey;
    if (in.isEditing == nullptr) in.isEditing = InputIsEditing;
    if (in.selectWord == nullptr) in.selectWord = InputSelectWord;
    if (in.selectAll == nullptr) in.selectAll = InputSelectAll;
    if (in.toggleCaret == nullptr) in.toggleCaret = InputToggleCaret;
    if (gHooks().freeEditSpare == nullptr) gHooks().freeEditSpare = gEditWorkFree;
}

int32_t Length(const gElement* e) { return static_cast<int32_t>(e->text.size()); }

float Advance(const gElement* e, uint8_t c) { return gFontCharWidth(e->font, c, false); }
// The advance of the character at byte `at` of the field's text (a UTF-8 name's
// character spans several bytes).
float AdvanceAt(const gElement* e, int32_t at) {
    return gFontCharWidthAt(e->font, e->text.c_str(), Length(e), at);
}
int32_t CharBytes(const gElement* e, int32_t at) { return std::max(1, gTextCharBytes(e->text.c_str(), Length(e), at)); }

float Width(const gElement* e, int32_t from, int32_t to) {
    int32_t n = Length(e);
    from = std::clamp(from, 0, n);
    to = std::clamp(to, 0, n);
    if (to <= from) return -gFontTextWidthN(e->font, e->text.c_str() + to, from - to);
    return gFontTextWidthN(e->font, e->text.c_str() + from, to - from);
}

float BoxWidth(const gElement* e, const gEditState* s) { return s->boxWidth > 0 ? s->boxWidth : e->width; }

int32_t HalfRounded(float w) {
    if (!std::isfinite(w)) return 0;
    return static_cast<int32_t>(std::nearbyint(std::clamp(w, -1e6f, 1e6f))) / 2;
}

// Characters from the first visible one whose widths fit into the box.
void Visible(gElement* e, gEditState* s) {
    float box = BoxWidth(e, s), sum = 0;
    int32_t n = 0, len = Length(e);
    for (int32_t i = s->firstVisible; i < len;) {
        float w = AdvanceAt(e, i);
        if (sum + w > box) break;
        sum += w;
        const int32_t bytes = CharBytes(e, i);
        n += bytes;
        i += bytes;
    }
    s->visibleCount = n;
    s->visibleWidth = sum;
    gWgtPlaceEditGlyphs(e);
}

bool IsDelimiter(char c) { return c != '\0' && std::strchr(kCalcWordDelimiters, c) != nullptr; }

// The drawn selection goes with the field's own (a glyph list keeps its copy).
void ClearGlyphSelection(gElement* e) {
    if (e->glyphList != nullptr) e->glyphList->selectionStart = e->glyphList->selectionLength = 0;
}

void Redraw(gElement* e) {
    if (e != nullptr && e->window != nullptr && e->window->hwnd != nullptr) gWgtRedrawAlone(e->window, e, true);
}

// Calls the change handler with the window marked busy; false when the window went away.
bool CallChange(gElement* e) {
    gWindow* w = e->window;
    if (w != nullptr) w->state |= kStateInHandler;
    e->onChange(e, e->handlerData);
    return w == nullptr || gWinAfterHandler(w);
}

bool OpenWork(gElement* e) {
    if (gWork.widget == e) return true;
    if (gWork.widget != nullptr) gWgtEditCommit(gWork.widget);
    gWork.saved = e->text;
    gWork.widget = e;
    return true;
}

void CopyRange(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    gWgtCopyText(e);
}

// Removes count characters from `from`, keeping the caret where it was relative to them.
void Erase(gElement* e, int32_t from, int32_t count) {
    OpenWork(e);
    e->text.erase(static_cast<size_t>(from), static_cast<size_t>(count));
}

bool EndEditing(gWindow* window, gElement* e, gEditState* s, uint32_t c) {
    (void)window;
    // The change handler may close the field's window (a dialog that ends on Enter): after
    // it, the field is touched only when it is still there.
    gWindow* owner = e->window;
    if (gFocusWidget == e) gFocusWidget = nullptr;
    e->value = 0;
    s->editing = 0;
    s->caretOn = 0;
    s->anchorX = s->caretX;
    s->selection = 0;
    if ((e->textAlign & kEditReadOnly) == 0) {
        if (gWork.widget == e) {
            if (c == 27) {
                gWgtEditCancel(e);
                gWgtEditHome(e);
            } else if (!gWgtEditCommit(e)) {
                return false;
            }
        } else if (c == 27) {
            gWgtEditRevert(e);
        } else if (e->onChange != nullptr) {
            if (!CallChange(e)) return true;
        } else {
            gWgtReadValue(e, true);
            gWgtFormatValue(e);
        }
    }
    if (owner != nullptr && (gWinValidate(owner) == nullptr || !gWgtIsLive(e))) return true;
    if (c == 9) {
        gElement* next = gWgtNextFocus(e);
        if (next != nullptr && gWgtEdit(next) != nullptr) {
            gWgtEditBegin(next);
            Redraw(next);
        }
    }
    Redraw(e);
    return true;
}

bool DeleteChars(gElement* e, gEditState* s, uint32_t c) {
    const uint32_t code = gKeyDownEvent.code;
    int32_t count = static_cast<int32_t>(std::min<uint32_t>(gKeyDownEvent.repeat, 0x100000)) + 1;
    bool removed = false;
    if (s->selection != 0) {
        bool cut = c == 24 || (c == 127 && (code & kKeyShift) != 0);
        if (cut) CopyRange(e);
        gWgtDeleteSelection(e);
        gWgtEditRelayout(e);
        if (count < 2 || cut) return true;
        --count;
        removed = true;
    }
    int32_t len = Length(e);
    s->caret = std::clamp(s->caret, 0, len);
    // Whole characters go: a UTF-8 name's character spans several bytes.
    if (c == 127) {
        int32_t n = gTextCharsForward(e->text.c_str(), len, s->caret, count) - s->caret;
        if (n <= 0) return removed;
        Erase(e, s->caret, n);
    } else {
        int32_t n = s->caret - gTextCharsBack(e->text.c_str(), s->caret, count);
        if (n <= 0) return removed;
        Erase(e, s->caret - n, n);
        s->caret -= n;
    }
    gWgtEditRelayout(e);
    return true;
}

}  // namespace

void gEditFieldInstall() { InstallOnce(); }

// ---- Records ------------------------------------------------------------------------------

gEditState* gWgtEditCreate(gElement* e, void (*caretPainter)(gElement*), uint8_t option) {
    if (e == nullptr) return nullptr;
    InstallOnce();
    gEditState& s = Records()[e];
    s = gEditState{};
    s.caretDraw = gWgtCaretDraw;
    s.caretPainter = caretPainter != nullptr ? caretPainter : SkinCaret;
    s.option = option;
    gWgtPlaceEditGlyphs(e);
    return &s;
}

gEditState* gWgtEdit(const gElement* e) {
    if (e == nullptr) return nullptr;
    auto& records = Records();
    auto it = records.find(e);
    return it == records.end() ? nullptr : &it->second;
}

// ---- Caret ------------------------------------------------------------------------------------

void gWgtEditPlaceBox(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    if (e->width > 0) s->boxWidth = e->width;
    // The text starts textOffsetX in from the cell's left edge on screen; in a frame that
    // runs leftwards (right-hand slots) that edge is the cell's far end.
    s->boxX = (e->style & kEditFromRight) ? e->x + e->cellWidth - e->textOffsetX - s->boxWidth : e->x + e->textOffsetX;
    s->boxY = e->y + 1.0f;
}

void gWgtCaretDraw(gElement* e) {
    const gEditState* s = gWgtEdit(e);
    if (s != nullptr && s->caretPainter != nullptr) s->caretPainter(e);
}

void gWgtPaintCaret(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    gWgtEditPlaceBox(e);
    if (!s->caretOn || !s->editing || s->caretDraw == nullptr || gIsPicking()) return;
    const bool right = (e->style & kEditFromRight) != 0;
    gTextBatchFlush();   // the caret goes over the field's text
    glPushMatrix();
    glTranslatef(right ? s->boxX + s->boxWidth - s->caretX : s->boxX + s->caretX, s->boxY + s->caretY, 0.0f);
    if (right) glScalef(-1.0f, 1.0f, 1.0f);   // the painter's x runs rightwards on screen
    s->caretDraw(e);
    glPopMatrix();
}

gElement* gEditWorkWidget() { return gWork.widget; }

void gEditWorkFree() {
    gWork.widget = nullptr;
    std::string().swap(gWork.saved);
}

void gClipboardSetOps(const gClipboardOps* ops) { gClipboard = ops != nullptr ? *ops : gClipboardOps{X11SetText, X11GetText}; }

void gClipboardFillHooks(WindowHooks* hooks) {
    if (hooks != nullptr) hooks->clipboardSetText = X11SetText;
}

// ---- Measuring ------------------------------------------------------------------------------

void gWgtEditMeasure(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    s->caret = s->selection = s->firstVisible = 0;
    s->caretX = s->anchorX = 0;
    float w = 0;
    if (e->text.empty()) {
        w = 0;
    } else if (e->textAlign & kEditMarginFirst) {
        w = Advance(e, static_cast<uint8_t>(e->text[0]));
    } else if (e->textAlign & kEditMarginOne) {
        w = Advance(e, '1');
    } else {
        w = gFontMinAdvance(e->font, e->text.c_str());
    }
    s->margin = HalfRounded(w);
    Visible(e, s);
}

void gWgtEditHome(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    s->caret = s->firstVisible = 0;
    s->caretX = s->anchorX = 0;
    float w = 0;
    if ((e->textAlign & kEditMarginFirst) && !e->text.empty()) {
        w = Advance(e, static_cast<uint8_t>(e->text[0]));
    } else if (e->textAlign & kEditNumberLike) {
        w = Advance(e, (e->textAlign & kEditFullStop) ? '.' : '1');
    } else {
        w = gFontMinAdvance(e->font, e->text.c_str());
    }
    s->margin = HalfRounded(w);
    Visible(e, s);
}

void gWgtEditRelayout(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    int32_t len = Length(e);
    s->caret = std::clamp(s->caret, 0, len);
    s->selection = std::clamp(s->selection, -s->caret, len - s->caret);
    s->firstVisible = std::clamp(s->firstVisible, 0, len);
    if (s->caret <= s->firstVisible) {
        int32_t half = s->visibleCount / 2;
        if (s->caret == 0) s->firstVisible = 0;
        else if (half > s->caret) s->firstVisible = s->caret - std::min(4, s->caret);
        else if (half != 0) s->firstVisible = s->caret - std::min(4, half);
        else s->firstVisible = s->caret - 1;
        // The first visible byte starts a character.
        s->firstVisible = gTextCharsBack(e->text.c_str(), gTextCharsForward(e->text.c_str(), len, s->firstVisible, 1), 1);
    }
    float box = BoxWidth(e, s);
    s->caretX = Width(e, s->firstVisible, s->caret);
    while (s->caretX >= box && s->firstVisible < s->caret) {
        s->firstVisible += CharBytes(e, s->firstVisible);
        s->caretX = Width(e, s->firstVisible, s->caret);
    }
    s->anchorX = Width(e, s->firstVisible, s->caret + s->selection);
    Visible(e, s);
}

void gWgtScrollCaretIn(gElement* e) { gWgtEditRelayout(e); }

void gWgtPlaceCaret(gElement* e, float x) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    int32_t len = Length(e), i = s->firstVisible;
    float sum = 0;
    while (i < len) {
        float w = AdvanceAt(e, i);
        if (sum + w > x) break;
        sum += w;
        i += CharBytes(e, i);
    }
    s->caret = i;
    s->selection = 0;
    gWgtEditRelayout(e);
}

void gWgtScrollToX(gElement* e, float x) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    // x: a position in the whole text; the first visible character moves so that x shows.
    int32_t len = Length(e);
    float box = BoxWidth(e, s);
    while (s->firstVisible < len && x - Width(e, 0, s->firstVisible) > box) s->firstVisible += CharBytes(e, s->firstVisible);
    while (s->firstVisible > 0 && x < Width(e, 0, s->firstVisible))
        s->firstVisible = gTextCharBefore(e->text.c_str(), s->firstVisible);
    s->caretX = Width(e, s->firstVisible, s->caret);
    s->anchorX = Width(e, s->firstVisible, s->caret + s->selection);
    Visible(e, s);
}

void gWgtCaretToEnd(gElement* e, bool selectAll) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return;
    int32_t len = Length(e);
    float box = BoxWidth(e, s);
    int32_t first = len;
    while (first > 0 && Width(e, first - 1, len) <= box) --first;
    s->firstVisible = first;
    if (!selectAll) {
        s->caret = len;
        s->selection = 0;
        s->caretX = s->anchorX = Width(e, first, len);
    } else {
        s->caret = 0;
        s->selection = len;
        s->caretX = 0;
        s->anchorX = Width(e, first, len);
    }
    Visible(e, s);
}

bool gWgtSelectWord(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return false;
    int32_t len = Length(e);
    int32_t p = std::clamp(s->caret + s->selection, 0, len);
    int32_t end = p, start = p;
    while (end < len && !IsDelimiter(e->text[static_cast<size_t>(end)])) ++end;
    while (start > 0 && !IsDelimiter(e->text[static_cast<size_t>(start - 1)])) --start;
    if (end == p && start == p) return false;
    if (s->selection != 0) {
        start = std::min({start, s->caret, s->caret + s->selection});
        end = std::max({end, s->caret, s->caret + s->selection});
    }
    s->caret = start;
    s->selection = end - start;
    gWgtEditRelayout(e);
    if (end == len) {
        gWgtScrollToX(e, Width(e, 0, end));
    } else if (Width(e, s->firstVisible, end) > BoxWidth(e, s)) {
        gWgtScrollToX(e, Width(e, 0, end) + BoxWidth(e, s) / 3.0f);
    }
    return true;
}

bool gWgtDeleteSelection(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr || s->selection == 0) return false;
    int32_t len = Length(e);
    int32_t a = std::clamp(s->caret, 0, len), b = std::clamp(s->caret + s->selection, 0, len);
    if (a > b) std::swap(a, b);
    Erase(e, a, b - a);
    s->caret = a;
    s->selection = 0;
    return true;
}

void gWgtStripUnit(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (e == nullptr || e->kind == 0 || e->text.empty()) return;
    unsigned char last = static_cast<unsigned char>(e->text.back());
    if (std::isalnum(last) || last == '.') return;
    e->text.pop_back();
    if (s != nullptr) {
        int32_t len = Length(e);
        if (s->firstVisible > len) s->firstVisible = len;
        if (s->caret > len) s->caret = len;
        s->selection = std::clamp(s->selection, -s->caret, len - s->caret);
        gWgtEditRelayout(e);
    }
}

// ---- Focus and the working copy -----------------------------------------------------------------

gElement* gWgtEditBegin(gElement* e) {
    gElement* previous = gFocusWidget;
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return previous;
    gWgtStripUnit(e);
    gWgtReadValue(e, true);
    e->value = 1;
    s->editing = 1;
    s->caretOn = 1;
    gFocusWidget = e;
    if (gCaretTimer() == nullptr && e->window != nullptr && e->window->hwnd != nullptr) {
        pf::SetTimer(e->window->hwnd, kCaretTimerId, 500);
        gCaretTimer() = e->window->hwnd;
    }
    return previous;
}

bool gWgtEditEnd(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return true;
    e->value = 0;
    s->editing = 0;
    s->caretOn = 0;
    s->anchorX = s->caretX;
    s->selection = 0;
    if (gWork.widget == e) {
        gWgtEditCancel(e);
        gWgtEditHome(e);
    } else {
        gWgtEditRevert(e);
    }
    ClearGlyphSelection(e);
    return true;
}

void gWgtClearSelection(gElement* e) {
    if (e == nullptr) return;
    gWgtEditCancel(e);
    if (gEditState* s = gWgtEdit(e)) {
        s->selection = 0;
        s->anchorX = s->caretX;
    }
    ClearGlyphSelection(e);
}

void gWgtKillFocus(gElement* e) {
    if (e == nullptr) return;
    if (gFocusWidget == e) gFocusWidget = nullptr;
    if (gRepeatWidget == e) gRepeatWidget = nullptr;
    e->value = 0;
    gWgtClearSelection(e);
}

void gWgtEditCancel(gElement* e) {
    if (e == nullptr || gWork.widget != e) return;
    e->text = gWork.saved;
    gWork.widget = nullptr;
    gWork.saved.clear();
    if (gEditState* s = gWgtEdit(e)) {
        int32_t len = Length(e);
        s->caret = std::min(s->caret, len);
        s->selection = 0;
        s->firstVisible = std::min(s->firstVisible, len);
    }
}

void gWgtEditRevert(gElement* e) {
    if (e == nullptr || (e->kind != kValueAngle && e->kind != kValuePercent)) return;
    if (!gWgtFormatValue(e)) {
        if (gEditState* s = gWgtEdit(e)) s->firstVisible = 0;
        gWgtEditRelayout(e);
    }
}

bool gWgtEditApply(gElement* e) {
    if (e == nullptr || gWork.widget != e) return false;
    gWork.widget = nullptr;
    gWork.saved.clear();
    if (e->onChange != nullptr) {
        if (!CallChange(e)) return true;
        Redraw(e);
    }
    return true;
}

bool gWgtEditCommit(gElement* e) {
    if (e == nullptr || gWork.widget != e) return false;
    gWork.widget = nullptr;
    gWork.saved.clear();
    if (e->onChange != nullptr) {
        if (!CallChange(e)) return true;
        Redraw(e);
    } else {
        gWgtReadValue(e, true);
        gWgtFormatValue(e);
    }
    return true;
}

// ---- Insert -----------------------------------------------------------------------------------------

bool gWgtInsert(gElement* e, bool paste) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return false;
    const uint8_t c = static_cast<uint8_t>(gKeyDownEvent.character);
    const bool numberLike = (e->textAlign & kEditNumberLike) != 0;
    if (s->selection != 0) gWgtDeleteSelection(e);
    int32_t len = Length(e);
    s->caret = std::clamp(s->caret, 0, len);
    auto spaceAt = [&](int32_t i) { return i >= 0 && i < len && e->text[static_cast<size_t>(i)] == ' '; };
    if (!paste && numberLike && c == ' ' && (s->caret == 0 || spaceAt(s->caret - 1) || spaceAt(s->caret))) {
        return false;
    }
    const int32_t limit = e->textLimit < 1 ? kEditNoLimit : e->textLimit;
    const int32_t room = limit - len;
    if (room < 1) return false;
    std::string insert;
    if (!paste) {
        int32_t count = static_cast<int32_t>(std::min<uint32_t>(gKeyDownEvent.repeat, 0x100000)) + 1;
        insert.assign(static_cast<size_t>(std::min(count, room)), static_cast<char>(c));
    } else {
        char* clip = gClipboardGetText(e->window != nullptr ? e->window->hwnd : nullptr, room);
        if (clip == nullptr) return false;
        for (const char* p = clip; *p != '\0'; ++p) {
            char ch = static_cast<unsigned char>(*p) < 32 ? ' ' : *p;
            if (numberLike && ch == ' ') {
                bool atStart = insert.empty() && (s->caret == 0 || spaceAt(s->caret - 1));
                if (atStart || (!insert.empty() && insert.back() == ' ')) continue;
            }
            insert.push_back(ch);
        }
        gClipboardFree(clip);
        if (insert.empty()) return false;
        if (static_cast<int32_t>(insert.size()) > room) insert.resize(static_cast<size_t>(room));
    }
    if (!OpenWork(e)) return false;
    e->text.insert(static_cast<size_t>(s->caret), insert);
    s->caret += static_cast<int32_t>(insert.size());
    if (!paste) {
        int32_t half = HalfRounded(Advance(e, c));
        if (half < s->margin) s->margin = half;
    }
    gWgtEditRelayout(e);
    return true;
}

// ---- Keys ----------------------------------------------------------------------------------------------

bool gWgtOnChar(gWindow* window, gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return false;
    const uint32_t c = gKeyDownEvent.character & 0xFFu;
    const bool readOnly = (e->textAlign & kEditReadOnly) != 0;
    if (readOnly) {
        switch (c) {
            case 1:
                if (e->text.empty()) return false;
                gWgtCaretToEnd(e, true);
                Redraw(e);
                return true;
            case 3:
            case 24: CopyRange(e); return false;
            case 9:
            case 10:
            case 13:
            case 27: return EndEditing(window, e, s, c == 10 ? 13 : c);
            case 23: {
                bool taken = gWgtSelectWord(e);
                if (taken) Redraw(e);
                return taken;
            }
            default: return false;
        }
    }
    bool taken = false;
    switch (c) {
        case 1:
            if (e->text.empty()) return false;
            gWgtCaretToEnd(e, true);
            taken = true;
            break;
        case 3: CopyRange(e); return false;
        case 8:
        case 24:
        case 127: taken = DeleteChars(e, s, c); break;
        case 9:
        case 13:
        case 27: return EndEditing(window, e, s, c);
        case 10:
            if (gWork.widget == e) {
                gWgtEditApply(e);
            } else if (e->onChange != nullptr) {
                if (!CallChange(e)) return true;
            }
            gWgtReadValue(e, true);
            s->editing = 1;
            gWgtCaretToEnd(e, false);
            taken = true;
            break;
        case 23: taken = gWgtSelectWord(e); break;
        default:
            if (c == 22 || c >= 32) taken = gWgtInsert(e, c == 22);
            else return false;
            break;
    }
    if (taken) Redraw(e);
    return taken;
}

bool gWgtOnKey(gElement* e) {
    gEditState* s = gWgtEdit(e);
    if (s == nullptr) return false;
    const gKeyCode code = gKeyDownEvent.code;
    const gKeyCode special = code & kKeySpecialMask;
    const bool shift = (code & kKeyShift) != 0, ctrl = (code & kKeyCtrl) != 0;
    const int32_t len = Length(e);
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(gKeyDownEvent.repeat, 0x100000)) + 1;
    auto moveTo = [&](int32_t target) {
        target = std::clamp(target, 0, len);
        if (shift) {
            s->selection = target - s->caret;
        } else {
            s->caret = target;
            s->selection = 0;
        }
        gWgtEditRelayout(e);
    };
    const int32_t from = shift ? s->caret + s->selection : s->caret;
    switch (special) {
        case kKeyLeft: {
            if (ctrl) moveTo(from - std::max(1, TextWordLengthBackward(e->text.c_str(), from)));
            else moveTo(gTextCharsBack(e->text.c_str(), std::clamp(from, 0, len), count));
            break;
        }
        case kKeyRight: {
            if (ctrl) moveTo(from + std::max(1, TextWordLengthForward(e->text.c_str() + std::clamp(from, 0, len))));
            else moveTo(gTextCharsForward(e->text.c_str(), len, from, count));
            break;
        }
        case kKeyHome:
            s->selection = 0;
            gWgtEditHome(e);
            break;
        case kKeyEnd: gWgtCaretToEnd(e, false); break;
        case kKeyInsert:
            if (ctrl && shift) return false;
            if (ctrl) {
                CopyRange(e);
            } else if (shift) {
                if (e->textAlign & kEditReadOnly) return false;
                if (!gWgtInsert(e, true)) return false;
            } else {
                return false;
            }
            break;
        case kKeyUp:
        case kKeyDown:
        case kKeyPageUp:
        case kKeyPageDown:
        case 0: break;
        default: return false;
    }
    Redraw(e);
    return true;
}

// ---- Clipboard ---------------------------------------------------------------------------------------

bool gWgtCopyText(gElement* e) {
    if (e == nullptr || e->text.empty() || gClipboard.setText == nullptr) return false;
    const gEditState* s = gWgtEdit(e);
    int32_t len = Length(e), a = 0, b = len;
    if (s != nullptr && s->selection != 0) {
        a = std::clamp(s->caret, 0, len);
        b = std::clamp(s->caret + s->selection, 0, len);
        if (a > b) std::swap(a, b);
    }
    return gClipboard.setText(e->text.c_str() + a, static_cast<size_t>(b - a), e->window);
}

char* gClipboardGetText(void* /*windowHandle*/, int32_t room) {
    if (gClipboard.getText == nullptr || room < 1) return nullptr;
    std::string text;
    if (!gClipboard.getText(&text) || text.empty()) return nullptr;
    size_t n = 0;
    while (n < text.size() && n < static_cast<size_t>(room) &&
           (static_cast<unsigned char>(text[n]) >= 32 || text[n] == '\t')) {
        ++n;
    }
    char* out = static_cast<char*>(std::malloc(n + 1));
    if (out == nullptr) return nullptr;
    for (size_t i = 0; i < n; ++i) out[i] = text[i] == '\t' ? ' ' : text[i];
    out[n] = '\0';
    return out;
}

void gClipboardFree(char* text) { std::free(text); }

}  // namespace orva
