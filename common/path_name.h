#pragma once
// PathName: a path text that knows where its file name and extension begin.
#include <cstddef>
#include <cstdint>

namespace orva {

class PathName {
public:
    PathName() = default;
    PathName(const PathName&) = delete;
    PathName& operator=(const PathName&) = delete;
    virtual ~PathName();
    // Empties the object (the buffer is kept) and clears the value.
    virtual void Reset();

    // 0 when the text equals the current one (exact comparison: file names are
    // case-sensitive; nothing changes). Otherwise resets, copies the text
    // (growing the buffer; -3 when that fails) and splits it: 2. An empty or
    // null text leaves the object empty and gives 2.
    int Set(const char* text);
    // Copies another path name's text, offsets and value: 0 when the texts are
    // equal, 2 when the other is empty (this one is reset) or after copying,
    // -3 out of memory.
    int Assign(const PathName& other);

    // The text ("" when empty).
    const char* Text() const { return text_ ? text_ : ""; }
    size_t Length() const { return length_; }
    size_t Capacity() const { return capacity_; }
    // Where the file name begins (after the last "/").
    size_t NameOffset() const { return nameOffset_; }
    // Where the extension's dot is; equal to Length() without an extension.
    size_t ExtensionOffset() const { return extensionOffset_; }
    bool Empty() const { return length_ == 0; }
    // A value the owner keeps with the text (copied by Assign, cleared by Reset). Set
    // puts kInvalidName there for a text that cannot name a file on this system (longer
    // than a path may be, or with a component longer than a file name may be).
    int32_t Value() const { return value_; }
    void SetValue(int32_t value) { value_ = value; }
    static constexpr int32_t kInvalidName = -1;
    bool Invalid() const { return value_ == kInvalidName; }

private:
    bool Reserve(size_t length);
    void Split();

    char* text_ = nullptr;
    size_t nameOffset_ = 0;
    size_t extensionOffset_ = 0;
    int32_t value_ = 0;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

}  // namespace orva
