#include "framework/component_message.h"

#include <cstdlib>

namespace orva {

void* MessageRecord::Query(uint32_t tag) {
    return tag == kMessageTagCode ? static_cast<MessageRecord*>(this) : nullptr;
}

void* FrameMessage::Query(uint32_t tag) {
    if (tag == kMessageTagCode) return static_cast<MessageRecord*>(this);
    if (tag == kMessageTagFramePair) return &pair;
    return nullptr;
}

void FrameMessage::Reset() {
    code = 0;
    pair = MessageFramePair{};
}

DataMessage::~DataMessage() { Hold(nullptr); }

void* DataMessage::Query(uint32_t) { return nullptr; }

void DataMessage::Reset() {
    code = 0;
    Hold(nullptr);
}

void DataMessage::Hold(MessageTarget* target) {
    if (target != nullptr) target->AddRef();
    MessageTarget* old = target_;
    target_ = target;
    if (old != nullptr) old->Release();
}

void* FrameDataMessage::Query(uint32_t tag) {
    if (tag == kMessageTagFramePair) return &pair;
    if (tag == kMessageTagData) return static_cast<DataMessage*>(this);
    if (tag == kMessageTagCode) return static_cast<MessageRecord*>(this);
    return nullptr;
}

void FrameDataMessage::Reset() {
    DataMessage::Reset();
    pair = MessageFramePair{};
}

MessageFramePair* MessageFramePairOf(MessageRecord* message) {
    return message != nullptr ? static_cast<MessageFramePair*>(message->Query(kMessageTagFramePair)) : nullptr;
}

DataMessage* MessageDataOf(MessageRecord* message) {
    if (message == nullptr) return nullptr;
    if (message->Tag() == kMessageTagData) return dynamic_cast<DataMessage*>(message);
    return static_cast<DataMessage*>(message->Query(kMessageTagData));
}

MessageTarget* MessageTargetOf(MessageRecord* message) {
    DataMessage* data = MessageDataOf(message);
    return data != nullptr ? data->Target() : nullptr;
}

bool MessageTargetIs(const MessageTarget* target, const ComponentId* id) {
    return target != nullptr && id != nullptr && SameComponentId(target->GetClassId(), id);
}

// ---- The reduction's data array ------------------------------------------------------

// The table first; the result record's own destruction follows.
ReductionDataArray::~ReductionDataArray() {
    std::free(table);
    table = nullptr;
    tableBytes = 0;
}

int32_t ReductionDataArray::Release() {
    const int32_t count = refCount.fetch_sub(1) - 1;
    if (count == 0) DataArrayDelete(this);
    return count;
}

void DataArrayDelete(ReductionDataArray* array) { delete array; }

ReductionDataArray* AsReductionDataArray(MessageTarget* target) {
    if (!MessageTargetIs(target, &kReductionDataId)) return nullptr;
    return dynamic_cast<ReductionDataArray*>(target);
}

}  // namespace orva
