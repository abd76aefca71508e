// The program's cursors drawn in code: the diagonal resize arrows, the offset handle's
// cursor and the nine rotation directions; pixmap cursors made through the recording
// backend and the window a current GL context draws on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/cursor_resources.h"
#include "platform/fake_backend.h"
#include "platform/gl_context.h"
#include "platform/window_api.h"

namespace orva::platform {
namespace {

// The set pixels of a picture farthest from its centre (7.5, 7.5), as an angle clockwise
// from up in degrees.
double TipDirection(const CursorImage& c) {
    double best = -1.0, bx = 0.0, by = 0.0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            if (!c.Bit(x, y)) continue;
            const double dx = x - 7.5, dy = y - 7.5, r = std::hypot(dx, dy);
            if (r > best) best = r, bx = dx, by = dy;
        }
    }
    double a = std::atan2(bx, -by) * 180.0 / 3.14159265358979323846;
    return a < 0.0 ? a + 360.0 : a;
}

TEST(CursorImages, DiagonalsOffsetAndRotationsAreDrawn) {
    CursorImage nwse, nesw, offset;
    ASSERT_TRUE(ProgramCursorImage(kCursorSizeNwse, &nwse));
    ASSERT_TRUE(ProgramCursorImage(kCursorSizeNesw, &nesw));
    ASSERT_TRUE(ProgramCursorImage(kCursorOffset, &offset));
    for (const CursorImage* c : {&nwse, &nesw, &offset}) {
        ASSERT_TRUE(c->Valid());
        EXPECT_EQ(c->width, 16);
        EXPECT_EQ(c->hotX, 7);
        // The mask covers every drawn pixel: none shows through as transparent.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (c->Bit(x, y)) {
                    EXPECT_TRUE(c->Masked(x, y)) << x << "," << y;
                }
    }
    // Top-left to bottom-right, and its mirror.
    for (int i : {2, 7, 13}) {
        EXPECT_TRUE(nwse.Bit(i, i)) << i;
        EXPECT_TRUE(nesw.Bit(15 - i, i)) << i;
    }
    EXPECT_FALSE(nwse.Bit(13, 2));
    EXPECT_FALSE(nwse.Bit(2, 13));
    EXPECT_FALSE(nesw.Bit(2, 2));
    EXPECT_FALSE(nesw.Bit(13, 13));
    // The offset cursor: a vertical arrow through a bar.
    EXPECT_TRUE(offset.Bit(7, 1));
    EXPECT_TRUE(offset.Bit(7, 14));
    EXPECT_TRUE(offset.Bit(3, 7));
    EXPECT_TRUE(offset.Bit(11, 8));

    // The rotation cursors point at 45, 90, ..., 360 degrees, the ninth straight up.
    for (int k = 0; k < kCursorRotateCount; ++k) {
        CursorImage c;
        ASSERT_TRUE(ProgramCursorImage(kCursorRotateFirst + k, &c)) << k;
        const double want = k == kCursorRotateCount - 1 ? 0.0 : 45.0 * (k + 1);
        double got = TipDirection(c);
        double off = std::fabs(got - std::fmod(want, 360.0));
        off = std::min(off, 360.0 - off);
        EXPECT_LT(off, 12.0) << k << ": " << got;
    }
    // Numbers with a cursor-font shape or without a picture have none drawn here.
    CursorImage none;
    EXPECT_FALSE(ProgramCursorImage(kCursorSizeNs, &none));
    EXPECT_FALSE(ProgramCursorImage(kCursorRotateFirst + kCursorRotateCount, &none));
    EXPECT_FALSE(ProgramCursorImage(kCursorRotateFirst - 1, &none));
}

TEST(CursorImages, PixmapCursorsAndTheCurrentDrawableOnTheRecordingBackend) {
    ScopedFakeBackend fake;
    // Made by number: the backend hears of it, LoadCursor finds it, a bad picture is refused.
    CursorImage c;
    ASSERT_TRUE(ProgramCursorImage(kCursorOffset, &c));
    fake->ClearCalls();
    Cursor made = CreatePixmapCursor(907, c);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(fake->Count("pixmap-cursor 907 16x16"), 1u);
    EXPECT_EQ(LoadCursor(907), made);
    ASSERT_NE(PixmapCursorImage(907), nullptr);
    EXPECT_EQ(PixmapCursorImage(907)->hotY, 7);
    CursorImage bad = c;
    bad.mask.pop_back();
    EXPECT_EQ(CreatePixmapCursor(908, bad), nullptr);
    EXPECT_EQ(CreatePixmapCursor(kIdcArrow, c), nullptr) << "a standard cursor stays";
    EXPECT_EQ(PixmapCursorImage(908), nullptr);
    // The program's drawn cursors load as pixmaps, the others by shape or as the arrow.
    for (int id : {kCursorSizeNesw, kCursorSizeNwse, kCursorOffset, kCursorRotateFirst, kCursorRotateUp}) {
        EXPECT_NE(LoadCursor(id), nullptr) << id;
        EXPECT_NE(PixmapCursorImage(id), nullptr) << id;
    }
    for (int id : {kCursorSizeNs, kCursorSizeWe, kCursorPivot}) {
        EXPECT_NE(LoadCursor(id), nullptr) << id;
        EXPECT_EQ(PixmapCursorImage(id), nullptr) << id;
    }
    EXPECT_EQ(LoadCursor(12345), nullptr);

    // The current drawable follows MakeGlCurrent.
    ASSERT_NE(RegisterWindowClass("CURSORGL", [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                  return DefWindowProc(h, m, w, l);
              }, 0), 0);
    fake->formats.push_back(PixelFormatInfo{});
    Hwnd a = CreateWindowEx(0, "CURSORGL", "a", kWsPopup, 0, 0, 50, 50, nullptr, nullptr);
    Hwnd b = CreateWindowEx(0, "CURSORGL", "b", kWsPopup, 60, 0, 50, 50, nullptr, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(SetPixelFormat(GetDC(a), 1));
    ASSERT_TRUE(SetPixelFormat(GetDC(b), 1));
    GlContext ca = CreateGlContext(GetDC(a));
    ASSERT_NE(ca, nullptr);
    EXPECT_EQ(CurrentGlDrawable(), nullptr);
    ASSERT_TRUE(MakeGlCurrent(GetDC(b), ca));
    EXPECT_EQ(CurrentGlDrawable(), GetDC(b));
    EXPECT_EQ(CurrentGlContext(), ca);
    ASSERT_TRUE(MakeGlCurrent(GetDC(a), ca));
    EXPECT_EQ(CurrentGlDrawable(), GetDC(a));
    ASSERT_TRUE(MakeGlCurrent(nullptr, nullptr));
    EXPECT_EQ(CurrentGlDrawable(), nullptr);
    DeleteGlContext(ca);
    DestroyWindow(a);
    DestroyWindow(b);
    UnregisterWindowClass("CURSORGL");
}

}  // namespace
}  // namespace orva::platform
