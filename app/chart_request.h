#pragma once
// The tagged request records a chart hands its source when it wants the frame behind
// its image strip: a data record ("ECDA") and a frame record ("ECDF") that adds the
// frame index and channel. A record keeps a reference on the device it holds (whose
// buffer the source fills) until it is reset or destroyed.
#include <cstdint>

#include "common/record_tag.h"

namespace orva {

class DeviceViewBase;

constexpr uint32_t kTagDataRecord = FourCC("ECDA");
constexpr uint32_t kTagFrameRecord = FourCC("ECDF");
constexpr uint32_t kTagFrameChannel = FourCC("ESCS");
constexpr uint32_t kTagFrameEntry = FourCC("ECSE");
// The kind code of a frame request.
constexpr uint32_t kRequestFrameKind = 0x102;

// The frame and channel part of a frame record (-1: none).
struct ChartFrameChannel {
    int32_t frame = -1;
    int32_t channel = -1;
};

class ChartDataRequest {
public:
    ChartDataRequest() = default;
    ChartDataRequest(uint32_t kind, DeviceViewBase* held);
    ChartDataRequest(const ChartDataRequest&) = delete;
    ChartDataRequest& operator=(const ChartDataRequest&) = delete;
    // Releases the held object.
    virtual ~ChartDataRequest();

    // The record's tag.
    virtual uint32_t Identify() const { return kTagDataRecord; }
    // What the record answers for a tag; null for tags it does not know.
    virtual void* Query(uint32_t tag);
    // Kind 0, the held object released.
    virtual void Reset();

    // Takes `object` (a reference added), releasing the one held before.
    void Hold(DeviceViewBase* object);
    DeviceViewBase* Held() const { return held_; }

    uint32_t kind = 0;

private:
    DeviceViewBase* held_ = nullptr;
};

class ChartFrameRequest : public ChartDataRequest {
public:
    ChartFrameRequest() = default;
    ChartFrameRequest(uint32_t kind, DeviceViewBase* held, int32_t frame, int32_t channel);

    uint32_t Identify() const override { return kTagFrameRecord; }
    // "ESCS": the frame and channel part; "ECDA" and "ECSE": the record itself.
    void* Query(uint32_t tag) override;
    // As the data record's, and frame and channel -1.
    void Reset() override;

    ChartFrameChannel part;
};

}  // namespace orva
