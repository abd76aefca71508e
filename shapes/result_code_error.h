#pragma once
// The one exception type of the shapes, masks and measuring code: a failure
// that carries the 32-bit result code of the operation (out of memory, invalid
// argument). It is thrown and caught only inside the operations that document
// it; nothing lets it escape to the caller of a subsystem.
#include <cstdint>
#include <exception>
#include <new>

namespace orva {

// Memory could not be had, or a size passed its limit.
constexpr uint32_t kResultOutOfMemory = 0x8007000Eu;
// An index or an entry lies outside its array.
constexpr uint32_t kResultInvalidArg = 0x80070057u;

class ResultCodeError : public std::exception {
public:
    explicit ResultCodeError(uint32_t code) noexcept : code_(code) {}
    uint32_t Code() const noexcept { return code_; }
    const char* what() const noexcept override;

private:
    uint32_t code_;
};

[[noreturn]] void ThrowResultCode(uint32_t code);

// Runs `body`; answers 0 when it returned, else the code it raised
// (std::bad_alloc counts as kResultOutOfMemory).
template <class Body>
uint32_t CatchResultCode(Body&& body) noexcept {
    try {
        body();
        return 0;
    } catch (const ResultCodeError& e) {
        return e.Code();
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    }
}

}  // namespace orva
