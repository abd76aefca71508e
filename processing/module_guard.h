#pragma once
// Every call into filter module code goes through CallModule: a C++ exception
// that leaves the module (std::exception, std::bad_alloc or anything else) is
// caught here and reported as a failed call, so that a faulty module is
// switched off instead of bringing the program down. Thread cancellation is
// let through.
#include <cxxabi.h>

#include <utility>

namespace orva {

template <class Call>
bool CallModule(Call&& call) {
    try {
        std::forward<Call>(call)();
        return true;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        return false;
    }
}

}  // namespace orva
