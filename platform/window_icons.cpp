#include "platform/window_icons.h"

#include <cmath>

namespace orva::platform {

namespace {

// The program's emblem: a lens ring over a deep blue plate with a bright spot at its
// centre, drawn at any size with smooth edges.
void AppendEmblem(int size, std::vector<uint32_t>* out) {
    out->push_back(static_cast<uint32_t>(size));
    out->push_back(static_cast<uint32_t>(size));
    const double c = (size - 1) / 2.0;
    const double plate = size / 2.0 - 0.5;
    const double ringOuter = size * 0.40, ringInner = size * 0.27, spot = size * 0.12;
    auto coverage = [](double distance, double edge) {
        // 1 inside, 0 outside, a one-pixel ramp across the edge.
        double v = edge - distance + 0.5;
        return v <= 0 ? 0.0 : v >= 1 ? 1.0 : v;
    };
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double dx = x - c, dy = y - c;
            // A rounded square plate.
            double corner = size * 0.18;
            double qx = std::fabs(dx) - (plate - corner), qy = std::fabs(dy) - (plate - corner);
            double outside = std::hypot(std::fmax(qx, 0.0), std::fmax(qy, 0.0));
            double alpha = coverage(outside, corner);
            double shade = 0.55 + 0.45 * (1.0 - static_cast<double>(y) / size);
            double r = 0.10 * shade, g = 0.25 * shade, b = 0.55 * shade;
            double d = std::hypot(dx, dy);
            double ring = coverage(d, ringOuter) * (1.0 - coverage(d, ringInner));
            r = r + (0.95 - r) * ring;
            g = g + (0.70 - g) * ring;
            b = b + (0.25 - b) * ring;
            double dot = coverage(d, spot);
            r = r + (1.0 - r) * dot;
            g = g + (1.0 - g) * dot;
            b = b + (1.0 - b) * dot;
            auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::fmin(1.0, std::fmax(0.0, v)) * 255)); };
            out->push_back(byte(alpha) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b));
        }
    }
}

}  // namespace

bool WindowIconData(int resourceId, std::vector<uint32_t>* cardinals) {
    if (cardinals == nullptr || resourceId != kProgramIcon) return false;
    cardinals->clear();
    AppendEmblem(16, cardinals);
    AppendEmblem(32, cardinals);
    return true;
}

}  // namespace orva::platform
