#pragma once
// The wait cursor (the X watch cursor) shown while a long operation runs. Only the
// user-interface thread shows it, and only while the user interface is up; nested
// waits show it once and the outermost end restores the cursor that was there before.
namespace orva {

void BeginWaitCursor();
void EndWaitCursor();

// Shows the wait cursor for the guard's life when `show` holds; restored on every way
// out, exceptions included.
class WaitCursor {
public:
    explicit WaitCursor(bool show = true);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool shown_ = false;
};

// Times the wait cursor was put up since the start (tests).
unsigned WaitCursorShownCount();

}  // namespace orva
