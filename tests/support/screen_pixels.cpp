#include "support/screen_pixels.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

// Xlib's hook for a connection's close, declared with the extension writers' interface.
extern "C" int (*XESetCloseDisplay(Display*, int, int (*)(Display*, XExtCodes*)))(Display*, XExtCodes*);

namespace orva::testing_program {

namespace {

// The server's pixels are read into a segment of shared memory (MIT-SHM) where it can: it
// writes them there at once, where a plain read sends them through the socket and copies
// them twice more on the way. A segment is kept for each connection, grown as needed, and
// let go when the connection closes.
struct SharedSegment {
    Display* display = nullptr;
    XShmSegmentInfo info{};
    size_t size = 0;
};
std::mutex gSegmentsLock;
std::vector<SharedSegment> gSegments;
std::vector<Display*> gNoSharing;  // connections whose server cannot share memory with us

void Release(SharedSegment& s, bool tellServer) {
    if (tellServer) XShmDetach(s.display, &s.info);
    shmdt(s.info.shmaddr);
    s.info.shmaddr = nullptr;
    s.size = 0;
}

int ForgetConnection(Display* display, XExtCodes*) {
    std::lock_guard<std::mutex> hold(gSegmentsLock);
    for (auto it = gSegments.begin(); it != gSegments.end(); ++it)
        if (it->display == display) {
            // The server lets go of a closing client's segments itself.
            Release(*it, false);
            gSegments.erase(it);
            break;
        }
    gNoSharing.erase(std::remove(gNoSharing.begin(), gNoSharing.end(), display), gNoSharing.end());
    return 0;
}

bool gAttachFailed = false;
int NoteAttachError(Display*, XErrorEvent*) {
    gAttachFailed = true;
    return 0;
}

// A segment of at least `bytes` attached on both sides; nullptr where memory cannot be shared.
SharedSegment* SegmentFor(Display* display, size_t bytes) {
    if (std::find(gNoSharing.begin(), gNoSharing.end(), display) != gNoSharing.end()) return nullptr;
    SharedSegment* s = nullptr;
    for (SharedSegment& candidate : gSegments)
        if (candidate.display == display) s = &candidate;
    if (s == nullptr) {
        if (!XShmQueryExtension(display)) {
            gNoSharing.push_back(display);
            return nullptr;
        }
        XExtCodes* codes = XAddExtension(display);
        if (codes == nullptr) return nullptr;
        XESetCloseDisplay(display, codes->extension, ForgetConnection);
        gSegments.push_back(SharedSegment{display, {}, 0});
        s = &gSegments.back();
    }
    if (s->size >= bytes) return s;
    if (s->size != 0) Release(*s, true);
    const size_t size = std::max(bytes, static_cast<size_t>(1280) * 1024 * 4);
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return nullptr;
    void* at = shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    s->info.shmid = id;
    s->info.shmaddr = static_cast<char*>(at);
    s->info.readOnly = False;
    // The errors of requests sent before are the test's own; only the attach's are ours.
    XSync(display, False);
    gAttachFailed = false;
    XErrorHandler previous = XSetErrorHandler(NoteAttachError);
    const bool attached = XShmAttach(display, &s->info) && (XSync(display, False), !gAttachFailed);
    XSetErrorHandler(previous);
    // Marked for removal now that both sides hold it: it goes when the last lets go.
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(at);
        s->info.shmaddr = nullptr;
        gNoSharing.push_back(display);
        return nullptr;
    }
    s->size = size;
    return s;
}

// The image's pixels into `out` as RGB.
void ToRgb(const XImage* image, int width, int height, Picture* out) {
    out->width = width;
    out->height = height;
    out->rgb.resize(static_cast<size_t>(width) * height * 3);
    // Each channel's bits, shifted down and widened to 8 bits.
    unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    int shifts[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
        while (masks[c] != 0 && !(masks[c] & 1)) masks[c] >>= 1, ++shifts[c];
    uint8_t* p = out->rgb.data();
    // The usual screen, 32 bits a pixel in this machine's byte order and a byte a
    // channel, is read straight from the image (every test reads the screen many times);
    // anything else pixel by pixel.
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && masks[0] == 0xFF &&
                        masks[1] == 0xFF && masks[2] == 0xFF && shifts[0] % 8 == 0 && shifts[1] % 8 == 0 &&
                        shifts[2] % 8 == 0;
    if (direct) {
        const int r = shifts[0] / 8, g = shifts[1] / 8, b = shifts[2] / 8;
        for (int row = 0; row < height; ++row) {
            const auto* q = reinterpret_cast<const uint8_t*>(image->data) + static_cast<size_t>(row) * image->bytes_per_line;
            for (int column = 0; column < width; ++column, q += 4, p += 3) {
                p[0] = q[r];
                p[1] = q[g];
                p[2] = q[b];
            }
        }
        return;
    }
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(const_cast<XImage*>(image), column, row);
            for (int c = 0; c < 3; ++c)
                *p++ = static_cast<uint8_t>(masks[c] == 0 ? 0 : ((pixel >> shifts[c]) & masks[c]) * 255 / masks[c]);
        }
    }
}

// The region read through shared memory; false where that cannot be done.
bool GrabShared(Display* display, Window w, const XWindowAttributes& a, int x, int y, int width, int height,
                Picture* out) {
    std::lock_guard<std::mutex> hold(gSegmentsLock);
    XShmSegmentInfo probe{};
    XImage* image = XShmCreateImage(display, a.visual, static_cast<unsigned>(a.depth), ZPixmap, nullptr, &probe,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image == nullptr) return false;
    SharedSegment* s = SegmentFor(display, static_cast<size_t>(image->bytes_per_line) * height);
    bool done = false;
    if (s != nullptr) {
        image->data = s->info.shmaddr;
        image->obdata = reinterpret_cast<char*>(&s->info);
        done = XShmGetImage(display, w, image, x, y, AllPlanes);
        if (done) ToRgb(image, width, height, out);
    }
    image->data = nullptr;  // the segment's memory is not the image's to free
    XDestroyImage(image);
    return done;
}

}  // namespace

bool GrabWindow(Display* display, Window w, Picture* out, int x, int y, int width, int height) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, w, &a)) return false;
    if (width <= 0) width = a.width - x;
    if (height <= 0) height = a.height - y;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > a.width || y + height > a.height) return false;
    if (GrabShared(display, w, a, x, y, width, height, out)) return true;
    XImage* image =
        XGetImage(display, w, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    ToRgb(image, width, height, out);
    XDestroyImage(image);
    return true;
}

Placement FindPicture(const Picture& within, const Picture& want, int tolerance) {
    Placement none;
    if (want.width <= 0 || want.height <= 0 || want.width > within.width ||
        want.height > within.height)
        return none;
    // Pixels tested first: a spread of points that rejects a wrong position quickly.
    std::vector<std::pair<int, int>> probes;
    for (int k = 0; k < 64; ++k)
        probes.push_back({(k * 37 + 11) % want.width, (k * 53 + 7) % want.height});
    for (bool flipped : {false, true}) {
        auto wantAt = [&](int x, int y) { return want.At(x, flipped ? want.height - 1 - y : y); };
        auto close = [&](const uint8_t* a, const uint8_t* b, int* worst) {
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(int(a[c]) - int(b[c]));
                if (d > tolerance) return false;
                if (worst != nullptr && d > *worst) *worst = d;
            }
            return true;
        };
        for (int oy = 0; oy + want.height <= within.height; ++oy) {
            for (int ox = 0; ox + want.width <= within.width; ++ox) {
                bool fits = true;
                for (auto [x, y] : probes)
                    if (!close(within.At(ox + x, oy + y), wantAt(x, y), nullptr)) {
                        fits = false;
                        break;
                    }
                if (!fits) continue;
                int worst = 0;
                for (int y = 0; y < want.height && fits; ++y)
                    for (int x = 0; x < want.width && fits; ++x)
                        fits = close(within.At(ox + x, oy + y), wantAt(x, y), &worst);
                if (fits) return Placement{true, ox, oy, flipped, worst};
            }
        }
    }
    return none;
}



InkMask CropInk(const InkMask& m) {
    int left = m.width, right = -1, top = m.height, bottom = -1;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            if (m.At(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    InkMask out;
    if (right < 0) return out;
    out.width = right - left + 1;
    out.height = bottom - top + 1;
    out.bits.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.bits[static_cast<size_t>(y) * out.width + x] = m.At(left + x, top + y);
    return out;
}



InkMask InkOf(const Picture& p, int x, int y, int width, int height) {
    InkMask m = InkOfBox(p, x, y, width, height, nullptr);
    if (m.Empty()) return m;
    width = m.width;
    height = m.height;
    // A field's frame runs along the box: rows and columns inked over most of their
    // length are lines, never text.
    std::vector<int> rows, columns;
    for (int py = 0; py < height; ++py) {
        int n = 0;
        for (int px = 0; px < width; ++px) n += m.At(px, py);
        if (n * 5 > width * 4) rows.push_back(py);
    }
    for (int px = 0; px < width; ++px) {
        int n = 0;
        for (int py = 0; py < height; ++py) n += m.At(px, py);
        if (n * 5 > height * 4) columns.push_back(px);
    }
    for (int py : rows)
        for (int px = 0; px < width; ++px) m.bits[static_cast<size_t>(py) * width + px] = 0;
    for (int px : columns)
        for (int py = 0; py < height; ++py) m.bits[static_cast<size_t>(py) * width + px] = 0;
    return CropInk(m);
}



bool FindInk(const Picture& p, int x, int y, int width, int height, const InkMask& want, int* atX, int* atY) {
    if (want.Empty()) return false;
    x = std::max(1, x);
    y = std::max(1, y);
    const int x1 = std::min(x + width, p.width - 1), y1 = std::min(y + height, p.height - 1);
    auto same = [](const uint8_t* a, const uint8_t* b) {
        return std::abs(int(a[0]) - int(b[0])) <= 40 && std::abs(int(a[1]) - int(b[1])) <= 40 &&
               std::abs(int(a[2]) - int(b[2])) <= 40;
    };
    // The first inked pixel of the mask is tried first: on a plain ground most places fail
    // there, before the whole border is walked.
    int firstX = -1, firstY = 0;
    for (int i = 0; i < want.width * want.height && firstX < 0; ++i)
        if (want.bits[static_cast<size_t>(i)] != 0) firstX = i % want.width, firstY = i / want.width;
    for (int oy = y; oy + want.height < y1; ++oy)
        for (int ox = x; ox + want.width < x1; ++ox) {
            const uint8_t* ground = p.At(ox - 1, oy - 1);
            if (firstX >= 0 && same(p.At(ox + firstX, oy + firstY), ground)) continue;
            bool fits = true;
            for (int wy = -1; wy <= want.height && fits; ++wy)
                for (int wx = -1; wx <= want.width && fits; ++wx) {
                    const bool inked = wx >= 0 && wy >= 0 && wx < want.width && wy < want.height && want.At(wx, wy);
                    fits = same(p.At(ox + wx, oy + wy), ground) != inked;
                }
            if (fits) {
                *atX = ox;
                *atY = oy;
                return true;
            }
        }
    return false;
}

InkMask InkOfBox(const Picture& p, int x, int y, int width, int height, uint32_t* faceOut) {
    InkMask m;
    x = std::max(0, x);
    y = std::max(0, y);
    width = std::min(width, p.width - x);
    height = std::min(height, p.height - y);
    if (width <= 0 || height <= 0) return m;
    std::vector<std::pair<uint32_t, int>> counts;
    for (int py = y; py < y + height; ++py)
        for (int px = x; px < x + width; ++px) {
            const uint8_t* c = p.At(px, py);
            const uint32_t k = (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2];
            auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& e) { return e.first == k; });
            if (it == counts.end()) counts.push_back({k, 1}); else ++it->second;
        }
    const uint32_t face =
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first;
    if (faceOut != nullptr) *faceOut = face;
    m.width = width;
    m.height = height;
    m.bits.assign(static_cast<size_t>(width) * height, 0);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const uint8_t* c = p.At(x + px, y + py);
            const int d = std::max({std::abs(int(c[0]) - int((face >> 16) & 0xFF)),
                                    std::abs(int(c[1]) - int((face >> 8) & 0xFF)), std::abs(int(c[2]) - int(face & 0xFF))});
            m.bits[static_cast<size_t>(py) * width + px] = d > 40;
        }
    return m;
}

std::vector<std::pair<int, int>> FindAllInkOf(const Picture& p, int x, int y, int width, int height,
                                              const InkMask& want, bool right) {
    std::vector<std::pair<int, int>> found;
    const InkMask box = InkOfBox(p, x, y, width, height, nullptr);
    if (want.Empty() || box.Empty()) return found;
    for (int oy = 1; oy + want.height <= box.height; ++oy)
        for (int ox = 1; ox + want.width < box.width; ++ox) {
            bool fits = true;
            for (int wy = -1; wy < want.height && fits; ++wy)
                for (int wx = -1; wx <= want.width && fits; ++wx) {
                    if (wx == want.width && !right) continue;
                    const bool inside = wx >= 0 && wy >= 0 && wx < want.width;
                    fits = box.At(ox + wx, oy + wy) == (inside && want.At(wx, wy));
                }
            if (fits) found.push_back({std::max(0, x) + ox, std::max(0, y) + oy});
        }
    return found;
}

}  // namespace orva::testing_program
