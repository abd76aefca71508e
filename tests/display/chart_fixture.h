#pragma once
// Doubles for the chart tests: a producer of 1-D spectra (rows of 64-bit reals, one row
// per channel) that records what it was asked for, and a chain of a cell, a chart
// window and its device bound to it, with a port that keeps the chart parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/chart_device.h"
#include "app/chart_window.h"
#include "display/display_fixture.h"
#include "framework/component.h"
#include "framework/port.h"

namespace orva::display_test {

// n samples from `from` in steps of `step`.
inline std::vector<double> Ramp(size_t n, double from = 0.0, double step = 1.0) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = from + step * static_cast<double>(i);
    return v;
}

// Rows of samples delivered as one frame: `rows` rows of `samples` doubles, one row per
// channel (the frame's height is the row count, or with `oneItem` one row of items).
class SpectrumSource : public ComponentBase {
public:
    SpectrumSource(std::vector<std::vector<double>> data, uint32_t format = 0x40)
        : ComponentBase(nullptr), rows(std::move(data)) {
        process = &Produce;
        const uint32_t channels = static_cast<uint32_t>(std::max<size_t>(rows.size(), 1));
        offered = FormatRequest{channels > 1 ? (format | 0x10000u) : format, 8, channels, 1, 0, 0};
        record.width = rows.empty() ? 0 : static_cast<int64_t>(rows[0].size());
        record.height = 1;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &frames; }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        record.frame = frame < 0 ? 0 : frame;
        record.section = section < 0 ? 0 : section;
        return &record;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<SpectrumSource*>(c);
        ++s->pulls;
        s->asked = r->window;
        if (s->rows.empty()) return 0;
        const uint32_t n = static_cast<uint32_t>(
            std::clamp<int64_t>(std::min<int64_t>(r->window.width, s->record.width), 0, INT32_MAX));
        const uint32_t height = static_cast<uint32_t>(s->rows.size());
        TypedFrameBuffer& out = r->image;
        // As the Reduction writes its output: one item of all channels, one row.
        if (s->oneItem) out.SetTypeAndCount(static_cast<int32_t>(s->offered.format), height);
        else out.SetTypeAndCount(0x40, 1);
        if (n == 0 || !out.AllocImageBuffer(n, s->oneItem ? 1 : height)) return 0;
        auto* to = static_cast<double*>(out.data);
        for (uint32_t row = 0; row < height; ++row) std::memcpy(to + static_cast<size_t>(row) * n, s->rows[row].data(), n * sizeof(double));
        r->pending = 1;
        r->statistic = s->statistic;
        return 3;
    }

    std::vector<std::vector<double>> rows;
    FormatRequest offered;
    FrameDataRecord record;
    int64_t frames = 1;
    int pulls = 0;
    ReadWindow asked;
    void* statistic = nullptr;
    // The rows one after another in a frame of one row whose items hold every channel.
    bool oneItem = false;
};

class ParamsPort : public OutPort {
public:
    bool CreateOutputWindow(const ComponentId*, const FormatRequest*, OutputWindow**) override { return false; }
};

// A cell, a chart window and a device bound to a spectrum; the device is the cell's
// current one and the window its current window.
struct ChartChain {
    explicit ChartChain(std::vector<std::vector<double>> data, int32_t hostWidth = 180, int32_t hostHeight = 100,
                        uint32_t format = 0x40)
        : cell(new FakeCell), source(new SpectrumSource(std::move(data), format)) {
        cell->host.width = hostWidth;
        cell->host.height = hostHeight;
        window = new ChartWindow(cell);
        DeviceViewBase* made = nullptr;
        window->CreateDevice(&made);
        device = static_cast<Chart1DDevice*>(made);
        device->port = &port;
        window->current = window->latest = device;
        cell->currentDevice = device;
        cell->currentWindow = window;
        bound = ConsumerAttach(&device->pin, source);
        activated = device->ResetDeviceView(false);
        window->AttachHost();
    }
    ~ChartChain() {
        ConsumerDetach(&device->pin);
        window->current = window->latest = nullptr;
        device->Release();
        window->Release();
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        source->Release();
        cell->Release();
    }
    ChartChain(const ChartChain&) = delete;
    ChartChain& operator=(const ChartChain&) = delete;

    // One pull with its post-pull step, as the cell's poll runs it.
    bool Pull() { return PollComponentState(window); }
    const double* Stored() const { return static_cast<const double*>(device->style.data.cachedFrame); }

    ParamsPort port;
    FakeCell* cell;
    SpectrumSource* source;
    ChartWindow* window;
    Chart1DDevice* device;
    bool bound = false;
    bool activated = false;
};

}  // namespace orva::display_test
