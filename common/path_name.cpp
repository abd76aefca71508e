#include "common/path_name.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/paths.h"

namespace orva {

PathName::~PathName() { std::free(text_); }

void PathName::Reset() {
    if (text_) text_[0] = '\0';
    length_ = 0;
    nameOffset_ = 0;
    extensionOffset_ = 0;
    value_ = 0;
}

bool PathName::Reserve(size_t length) {
    if (length < capacity_) return true;
    size_t capacity = length + 1;
    char* grown = static_cast<char*>(std::malloc(capacity));
    if (grown == nullptr) return false;
    std::free(text_);
    text_ = grown;
    text_[0] = '\0';
    capacity_ = capacity;
    return true;
}

void PathName::Split() {
    size_t i = length_;
    while (i > 0 && text_[i - 1] != '/') --i;
    nameOffset_ = i;
    extensionOffset_ = length_;
    for (size_t j = length_; j > nameOffset_; --j) {
        if (text_[j - 1] == '.') {
            extensionOffset_ = j - 1;
            break;
        }
    }
}

int PathName::Set(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        Reset();
        return 2;
    }
    if (std::strcmp(text, Text()) == 0) return 0;
    size_t length = std::strlen(text);
    Reset();
    if (!Reserve(length)) return -3;
    std::memcpy(text_, text, length + 1);
    length_ = length;
    Split();
    // Refused, never cut: such a name is kept but marked.
    bool fits = length < kPathMax;
    for (size_t start = 0, i = 0; fits && i <= length; ++i) {
        if (i == length || text_[i] == '/') {
            fits = i - start <= NAME_MAX;
            start = i + 1;
        }
    }
    if (!fits) value_ = kInvalidName;
    return 2;
}

int PathName::Assign(const PathName& other) {
    if (&other == this) return 0;
    if (other.Empty()) {
        Reset();
        return 2;
    }
    if (std::strcmp(other.Text(), Text()) == 0) return 0;
    Reset();
    if (!Reserve(other.length_)) return -3;
    std::memcpy(text_, other.text_, other.length_ + 1);
    length_ = other.length_;
    nameOffset_ = other.nameOffset_;
    extensionOffset_ = other.extensionOffset_;
    value_ = other.value_;
    return 2;
}

}  // namespace orva
