#pragma once
// The fast selector's "FRAME(S):" row as a user sees and uses it: found on a picture of
// the screen by its caption, its arrows clicked, the current frame read from its field.
#include <X11/Xlib.h>

#include <string>

#include "program_input.h"
#include "screen_text.h"

namespace orva::testing_program {

struct FrameSelector {
    int x = 0, y = 0;  // the caption's ink on the screen

    // Looks for the caption in the top rows of a picture of the whole screen.
    bool Find(const Picture& screen) { return FindText(screen, 0, 0, screen.width, 200, "FRAME(S):", &x, &y); }

    // The field with the current frame (1-based), right of the frame total.
    int FieldX() const { return x + 96; }
    int FieldY() const { return y - 4; }
    static constexpr int kFieldWidth = 44, kFieldHeight = 17;

    // Clicks the row's right arrow (next frame) or left arrow (previous frame).
    void Next(Display* d) const { ClickAt(d, DefaultRootWindow(d), x + 159, y + 4); }
    void Back(Display* d) const { ClickAt(d, DefaultRootWindow(d), x + 148, y + 4); }

    // Whether the current field shows `frame`; `why` says what it shows instead.
    bool Shows(const Picture& screen, int frame, std::string* why = nullptr) const {
        return ShowsText(screen, FieldX(), FieldY(), kFieldWidth, kFieldHeight, std::to_string(frame), why);
    }
    // Whether the frame total, left of the current field, shows `frames`.
    bool TotalShows(const Picture& screen, int frames, std::string* why = nullptr) const {
        return ShowsText(screen, FieldX() - 46, FieldY(), kFieldWidth, kFieldHeight, std::to_string(frames), why);
    }
    // The frame the current field shows, 1 .. last; 0 when it shows none of them.
    int Shown(const Picture& screen, int last) const {
        for (int n = 1; n <= last; ++n)
            if (Shows(screen, n)) return n;
        return 0;
    }
};

}  // namespace orva::testing_program
