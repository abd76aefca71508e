#pragma once
// The program's own record of its windows and widgets (written when ORVA_WIDGET_DUMP names
// a file and the program gets SIGUSR1), read back, and what in it a user could not reach:
// a control outside the part of its window that shows on the screen, a caption or button
// text cut short, a window off the screen.
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace orva::testing_program {

struct RecordWindow {
    std::string id, parent, title;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
};

struct RecordWidget {
    std::string window, text;
    int kind = 0, shown = 0, hideReasons = 0, edit = 0, length = 0, visibleCount = 0, cut = 0;
    float x = 0, y = 0, width = 0, height = 0, textWidth = 0, margin = 0;
};

struct RecordTab {
    std::string window, label;
    float x = 0, y = 0, width = 0, height = 0;
    bool current = false;
};

struct RecordColumn {
    std::string window;
    float top = 0, bottom = 0, scroll = 0;
    int side = 0;  // the column's width
};

struct Rectangle {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    Rectangle Meet(const Rectangle& o) const {
        return Rectangle{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                         std::min(bottom, o.bottom)};
    }
    std::string Text() const {
        return "(" + std::to_string(left) + "," + std::to_string(top) + ")-(" + std::to_string(right) + "," +
               std::to_string(bottom) + ")";
    }
};

struct Records {
    int screenWidth = 0, screenHeight = 0;
    std::vector<RecordWindow> windows;
    std::vector<RecordWidget> widgets;
    std::vector<RecordTab> tabs;
    std::vector<RecordColumn> columns;

    const RecordWindow* Window(const std::string& id) const {
        for (const RecordWindow& w : windows)
            if (w.id == id) return &w;
        return nullptr;
    }
    // The first shown window with that title.
    const RecordWindow* Titled(const std::string& title) const {
        for (const RecordWindow& w : windows)
            if (w.title == title && w.visible) return &w;
        return nullptr;
    }
    // The part of the window that shows: its client area inside its parents' and the screen.
    // Empty when it or a parent is not shown.
    Rectangle VisibleArea(const RecordWindow& w) const {
        Rectangle r{w.x, w.y, w.x + w.width, w.y + w.height};
        r = r.Meet(Rectangle{0, 0, screenWidth, screenHeight});
        for (const RecordWindow* at = &w; at != nullptr; at = at->parent == "(nil)" ? nullptr : Window(at->parent)) {
            if (!at->visible) return Rectangle{};
            r = r.Meet(Rectangle{at->x, at->y, at->x + at->width, at->y + at->height});
        }
        return r;
    }
    // A shown widget's or tab's centre on the screen, found by its text in a shown window
    // with that title (any shown window when the title is empty).
    bool Centre(const std::string& title, const std::string& text, int* x, int* y) const {
        for (const RecordTab& t : tabs) {
            const RecordWindow* w = Window(t.window);
            if (t.label != text || w == nullptr || !w->visible || (!title.empty() && w->title != title)) continue;
            *x = w->x + static_cast<int>(t.x + t.width / 2);
            *y = w->y + static_cast<int>(t.y + t.height / 2);
            return true;
        }
        for (const RecordWidget& e : widgets) {
            const RecordWindow* w = Window(e.window);
            if (e.text != text || e.shown == 0 || w == nullptr || !w->visible || (!title.empty() && w->title != title))
                continue;
            *x = w->x + static_cast<int>(e.x + e.width / 2);
            *y = w->y + static_cast<int>(e.y + e.height / 2);
            return true;
        }
        return false;
    }
    bool TabCurrent(const std::string& label) const {
        for (const RecordTab& t : tabs)
            if (t.label == label && t.current) return true;
        return false;
    }
};

// The text between the first and the last double quote of a line.
inline std::string Quoted(const std::string& line) {
    const size_t a = line.find('"'), b = line.rfind('"');
    return a == std::string::npos || b <= a ? std::string() : line.substr(a + 1, b - a - 1);
}

inline bool ParseRecords(const std::string& text, Records* out) {
    *out = Records{};
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string type;
        in >> type;
        if (type == "S") {
            in >> out->screenWidth >> out->screenHeight;
        } else if (type == "W") {
            RecordWindow w;
            int visible = 0;
            in >> w.id >> w.parent >> w.x >> w.y >> w.width >> w.height >> visible;
            w.visible = visible != 0;
            w.title = Quoted(line);
            out->windows.push_back(w);
        } else if (type == "E") {
            RecordWidget e;
            in >> e.window >> e.kind >> e.x >> e.y >> e.width >> e.height >> e.shown >> e.hideReasons >> e.edit >>
                e.length >> e.visibleCount >> e.textWidth >> e.margin >> e.cut;
            e.text = Quoted(line);
            out->widgets.push_back(e);
        } else if (type == "T") {
            RecordTab t;
            int current = 0;
            in >> t.window >> t.x >> t.y >> t.width >> t.height >> current;
            t.current = current != 0;
            t.label = Quoted(line);
            out->tabs.push_back(t);
        } else if (type == "C") {
            RecordColumn c;
            in >> c.window >> c.top >> c.bottom >> c.scroll >> c.side;
            out->columns.push_back(c);
        }
    }
    return out->screenWidth > 0 && !out->windows.empty();
}

// Asks the program for its records and reads them; false when none came within `ms`.
inline bool ReadRecords(pid_t program, const std::string& path, Records* out, int ms = 5000) {
    std::remove(path.c_str());
    if (kill(program, SIGUSR1) != 0) return false;
    for (int waited = 0; waited <= ms; waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (testing_util::Exists(path) && ParseRecords(testing_util::ReadText(path), out)) return true;
    }
    return false;
}

// Kinds whose text the toolkit draws in their rectangle: labels, title labels, buttons of
// every sort, the status line.
inline bool DrawsCaption(int kind) {
    return kind == 3 || kind == 4 || kind == 11 || kind == 37 || kind == 38 || kind == 40 || kind == 44 ||
           kind == 45 || kind == 47;
}

// The widget hides while its page column is scrolled away from it (and for nothing else).
inline bool ScrolledAway(const RecordWidget& e) { return e.shown == 0 && (e.hideReasons & 0x4) != 0 && (e.hideReasons & 0xB) == 0x1; }

// What a user could not reach in the shown windows, one line each: controls outside the
// shown part of their window, texts cut, controls a page column hides until it scrolls
// (when `scrolledCounts`), windows off the screen.
inline std::vector<std::string> ReachFaults(const Records& r, bool scrolledCounts) {
    std::vector<std::string> faults;
    const Rectangle screen{0, 0, r.screenWidth, r.screenHeight};
    for (const RecordWindow& w : r.windows) {
        if (!w.visible || w.parent != "(nil)" || w.title.empty()) continue;
        const Rectangle whole{w.x, w.y, w.x + w.width, w.y + w.height};
        const Rectangle on = whole.Meet(screen);
        if (on.left != whole.left || on.top != whole.top || on.right != whole.right || on.bottom != whole.bottom)
            faults.push_back("window \"" + w.title + "\" " + whole.Text() + " runs off the screen");
    }
    for (const RecordWidget& e : r.widgets) {
        const RecordWindow* w = r.Window(e.window);
        if (w == nullptr || e.width <= 0 || e.height <= 0) continue;
        const std::string name = "\"" + w->title + "\": kind " + std::to_string(e.kind) + " \"" + e.text + "\"";
        if (e.shown == 0) {
            if (scrolledCounts && ScrolledAway(e) && !r.VisibleArea(*w).Empty())
                faults.push_back(name + " is hidden until its page column scrolls");
            continue;
        }
        const Rectangle area = r.VisibleArea(*w);
        if (area.Empty()) continue;
        const Rectangle own{w->x + static_cast<int>(e.x + 0.5f), w->y + static_cast<int>(e.y + 0.5f),
                            w->x + static_cast<int>(e.x + e.width - 0.5f), w->y + static_cast<int>(e.y + e.height - 0.5f)};
        const Rectangle seen = own.Meet(area);
        if (seen.left != own.left || seen.top != own.top || seen.right != own.right || seen.bottom != own.bottom)
            faults.push_back(name + " at " + own.Text() + " lies outside the shown part " + area.Text());
        if (e.edit == 0 && e.length > 0 && DrawsCaption(e.kind) && (e.visibleCount < e.length || e.cut != 0))
            faults.push_back(name + " shows " + std::to_string(e.visibleCount) + " of its " +
                             std::to_string(e.length) + " characters");
        else if (e.edit == 0 && DrawsCaption(e.kind) && e.textWidth > e.width + 0.5f)
            faults.push_back(name + " is " + std::to_string(static_cast<int>(e.textWidth)) + " pixels of text in " +
                             std::to_string(static_cast<int>(e.width)));
    }
    return faults;
}

// What the floating pages (the top-level windows titled "Workspace…") cover, one line
// each: another page window, a control of another window (the main window's cells
// excepted, where they stand by design, and what of the main window "Chart Tools" stands
// over) or the chart. `mainTitle` names the main window.
// Where "Chart Tools" stands over the main window, a page of the main window stands above
// it where it stands without it: with `overTools`, what of "Chart Tools" (its controls
// and its chart) such a page covers inside the main window's box is listed there instead
// (the caller judges it); anything else it covers stays a fault.
inline std::vector<std::string> FloatingPageFaults(const Records& now, const std::string& mainTitle,
                                                   std::vector<std::string>* overTools = nullptr) {
    std::vector<std::string> faults;
    auto box = [](const RecordWindow& w) { return Rectangle{w.x, w.y, w.x + w.width, w.y + w.height}; };
    auto meets = [](const Rectangle& a, const Rectangle& b) { return !a.Meet(b).Empty(); };
    // The largest shown child of a window: its cells.
    auto cellsOf = [&](const RecordWindow* top) -> const RecordWindow* {
        const RecordWindow* best = nullptr;
        for (const auto& w : now.windows)
            if (top != nullptr && w.visible && w.parent == top->id &&
                (best == nullptr || w.width * w.height > best->width * best->height))
                best = &w;
        return best;
    };
    const RecordWindow* main = now.Titled(mainTitle);
    const RecordWindow* tools = now.Titled("Chart Tools");
    const RecordWindow* mainCells = cellsOf(main);
    const RecordWindow* chart = cellsOf(tools);
    std::vector<const RecordWindow*> pages;
    for (const auto& w : now.windows)
        if (w.visible && w.parent == "(nil)" && w.title.rfind("Workspace", 0) == 0) pages.push_back(&w);
    // Whether what the page covers of `r` lies in the part of "Chart Tools" over the main
    // window, for a page of the main window; such a cover goes to `overTools`.
    auto givenWay = [&](const RecordWindow& page, const Rectangle& r) {
        if (overTools == nullptr || tools == nullptr || main == nullptr || page.title != "Workspace Layout")
            return false;
        const Rectangle covered = box(page).Meet(r);
        const Rectangle inside = covered.Meet(box(*main)).Meet(box(*tools));
        return !covered.Empty() && inside.left == covered.left && inside.top == covered.top &&
               inside.right == covered.right && inside.bottom == covered.bottom;
    };
    for (const RecordWindow* page : pages) {
        const Rectangle p = box(*page);
        const std::string name = "page \"" + page->title + "\" " + p.Text();
        for (const RecordWindow* other : pages)
            if (other != page && meets(p, box(*other))) faults.push_back(name + " covers page " + box(*other).Text());
        if (chart != nullptr && meets(p, box(*chart)))
            (givenWay(*page, box(*chart)) ? overTools : &faults)->push_back(name + " covers the chart");
        for (const auto& e : now.widgets) {
            const RecordWindow* w = now.Window(e.window);
            if (w == nullptr || w == page || w == mainCells || w->parent == page->id || e.shown == 0 || e.width <= 0 ||
                e.height <= 0)
                continue;
            Rectangle r{w->x + static_cast<int>(e.x + 0.5f), w->y + static_cast<int>(e.y + 0.5f),
                        w->x + static_cast<int>(e.x + e.width - 0.5f), w->y + static_cast<int>(e.y + e.height - 0.5f)};
            r = r.Meet(now.VisibleArea(*w));
            if (r.Empty()) continue;
            // What a child window of its own hides of it, and what of the main window the
            // "Chart Tools" window stands over.
            auto hide = [&](const Rectangle& over) {
                const Rectangle in = r.Meet(over);
                if (in.Empty()) return;
                if (in.left == r.left && in.right == r.right && in.top == r.top && in.bottom == r.bottom) r = Rectangle{};
                else if (r.left < over.left) r.right = std::min(r.right, over.left);
                else if (r.right > over.right) r.left = std::max(r.left, over.right);
                else if (r.top < over.top) r.bottom = std::min(r.bottom, over.top);
                else r.top = std::max(r.top, over.bottom);
            };
            if (tools != nullptr && main != nullptr && (w == main || w->parent == main->id)) hide(box(*tools));
            for (const auto& c : now.windows)
                if (c.visible && c.parent == w->id && !r.Empty()) hide(box(c));
            const bool ofTools = tools != nullptr && (w == tools || w->parent == tools->id);
            if (!r.Empty() && meets(p, r))
                (ofTools && givenWay(*page, r) ? overTools : &faults)
                    ->push_back(name + " covers \"" + w->title + "\": kind " + std::to_string(e.kind) + " \"" +
                                e.text + "\" at " + r.Text());
        }
    }
    return faults;
}

}  // namespace orva::testing_program
