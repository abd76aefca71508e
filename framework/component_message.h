#pragma once
// The message records that components hand each other: a code, and named parts
// found by tag. A record identifies its own kind (Tag) and answers queries for
// the parts it carries (Query); MessageFramePairOf and MessageTargetOf find the
// two parts that the stages read:
//   "ECSE" MessageRecord       a code
//   "ECSF" FrameMessage        a code and an "ESCS" part {frame, section}
//   "ECDA" DataMessage         a code and a target object, held by reference
//   "ECDF" FrameDataMessage    a target object and an "ESCS" part
// Tags are four-character codes, the first character in the lowest byte.
#include <atomic>
#include <cstdint>

#include "common/global_buffer.h"
#include "common/record_tag.h"
#include "framework/component_id.h"

namespace orva {

constexpr uint32_t kMessageTagCode = FourCC("ECSE");
constexpr uint32_t kMessageTagFrameCode = FourCC("ECSF");
constexpr uint32_t kMessageTagFramePair = FourCC("ESCS");
constexpr uint32_t kMessageTagData = FourCC("ECDA");
constexpr uint32_t kMessageTagFrameData = FourCC("ECDF");

// The code of a frame request record (ECDF).
constexpr int32_t kMsgFrameRequest = 0x102;

// A message record: "ECSE", a code alone.
class MessageRecord {
public:
    MessageRecord() = default;
    explicit MessageRecord(int32_t code) : code(code) {}
    MessageRecord(const MessageRecord&) = delete;
    MessageRecord& operator=(const MessageRecord&) = delete;
    virtual ~MessageRecord() = default;

    // The record's own kind.
    virtual uint32_t Tag() const { return kMessageTagCode; }
    // The part named by `tag`, or nullptr. Answers "ECSE" with the record
    // (MessageRecord*), "ECDA" with a DataMessage*, "ESCS" with a MessageFramePair*.
    virtual void* Query(uint32_t tag);
    // Back to an empty record: code 0 (parts -1, targets released).
    virtual void Reset() { code = 0; }

    int32_t code = 0;
};

// The "ESCS" part: a frame and a section (or channel); -1: none.
struct MessageFramePair {
    int32_t frame = -1;
    int32_t section = -1;
};

// "ECSF": a code with a frame pair (what a display cell sends upstream with the
// two parameters of its device's input link).
class FrameMessage : public MessageRecord {
public:
    FrameMessage() = default;
    FrameMessage(int32_t code, int32_t frame, int32_t section) : MessageRecord(code), pair{frame, section} {}
    uint32_t Tag() const override { return kMessageTagFrameCode; }
    // "ECSE": the record; "ESCS": the pair; nothing else.
    void* Query(uint32_t tag) override;
    void Reset() override;

    MessageFramePair pair;
};

// The object a data record carries: a counted record that names its class (a
// statistics target of the source, the reduction's data array, an image buffer).
class MessageTarget {
public:
    virtual const ComponentId* GetClassId() const = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;

protected:
    virtual ~MessageTarget() = default;
};

// "ECDA": a code and a target object, held with a reference while the record has it.
class DataMessage : public MessageRecord {
public:
    DataMessage() = default;
    DataMessage(int32_t code, MessageTarget* target) : MessageRecord(code) { Hold(target); }
    // Releases the target.
    ~DataMessage() override;
    uint32_t Tag() const override { return kMessageTagData; }
    // Answers no part: the record is found by its own tag.
    void* Query(uint32_t tag) override;
    void Reset() override;

    // Takes a reference on `target` (nullptr allowed) and releases the one held before.
    void Hold(MessageTarget* target);
    MessageTarget* Target() const { return target_; }

private:
    MessageTarget* target_ = nullptr;
};

struct PullResult;

// The target of a frame request (kMsgFrameRequest) that wants the whole of a frame as
// the consumer shows it: the consumer produces the box, frame and section that
// `picture->window` names into `picture`, as its process function would for a pull.
// A consumer that cannot leaves it untouched and answers false.
class FramePictureTarget : public MessageTarget {
public:
    PullResult* picture = nullptr;
};

// "ECDF": a target with a frame pair (the chart window's frame request).
class FrameDataMessage : public DataMessage {
public:
    FrameDataMessage() = default;
    FrameDataMessage(int32_t code, MessageTarget* target, int32_t frame, int32_t channel)
        : DataMessage(code, target), pair{frame, channel} {}
    uint32_t Tag() const override { return kMessageTagFrameData; }
    // "ESCS": the pair; "ECDA" and "ECSE": the record; nothing else.
    void* Query(uint32_t tag) override;
    void Reset() override;

    MessageFramePair pair;
};

// The "ESCS" part of a message, or nullptr.
MessageFramePair* MessageFramePairOf(MessageRecord* message);
// The "ECDA" part of a message (the record itself when it is a data record), or nullptr.
DataMessage* MessageDataOf(MessageRecord* message);
// The target object of the "ECDA" part, or nullptr.
MessageTarget* MessageTargetOf(MessageRecord* message);
// True when the target is of the class `id` (by address or code by code).
bool MessageTargetIs(const MessageTarget* target, const ComponentId* id);

// ---- The reduction's data array ------------------------------------------------------

// The record of class {DTSA, REDU, DTMT, CTNR} in which the Reduction asks for a
// section's data (message 258) and hands its parameters to the processing
// filters (message 259): a result record with a heap table of its own. Counted:
// it starts at 1 and Release at 0 runs DataArrayDelete.
class ReductionDataArray : public MessageTarget, public ResultBuffer {
public:
    ReductionDataArray() = default;
    // Frees the heap table, then the result record's destruction: scale 1.0,
    // the header cleared, the sub-buffer's block freed.
    ~ReductionDataArray() override;
    const ComponentId* GetClassId() const override { return &kReductionDataId; }
    int32_t AddRef() override { return refCount.fetch_add(1) + 1; }
    int32_t Release() override;

    std::atomic<int32_t> refCount{1};
    uint32_t setWord = 0;     // non-zero: the table holds parameters for the filters
    void* table = nullptr;    // owned heap block (malloc), freed by DataArrayDelete
    uint32_t tableBytes = 0;
};

// Destroys the array (its table first) and frees it.
void DataArrayDelete(ReductionDataArray* array);
// The target as the reduction's data array when it is one, else nullptr.
ReductionDataArray* AsReductionDataArray(MessageTarget* target);

}  // namespace orva
