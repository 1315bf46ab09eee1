#pragma once
// Error trapping as the window's handlers use it around a session call: an error raised by
// the call ends only that call, and the handler judges the outcome from its number.
#include <exception>
#include <new>

#include "dravik/run_time_error.h"

namespace dravik {

// The number of the error that call raised; 0 when it raised none.
template <typename Call>
std::int32_t Trapped(Call&& call) {
    try {
        call();
        return 0;
    } catch (const RunTimeError& e) {
        return e.Number() != 0 ? e.Number() : errors::kSession;
    } catch (const std::bad_alloc&) {
        return errors::kOutOfMemory;
    } catch (const std::exception&) {
        return errors::kInvalidCall;
    }
}

}  // namespace dravik
