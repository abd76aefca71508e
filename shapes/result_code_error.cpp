#include "shapes/result_code_error.h"

namespace orva {

const char* ResultCodeError::what() const noexcept {
    switch (code_) {
        case kResultOutOfMemory: return "out of memory";
        case kResultInvalidArg: return "invalid argument";
        default: return "operation failed";
    }
}

void ThrowResultCode(uint32_t code) { throw ResultCodeError(code); }

}  // namespace orva
