#include "dravik/run_time_error.h"

namespace dravik {

RunTimeError SessionError(const std::string& description) {
    return RunTimeError(errors::kSession, description);
}
RunTimeError InvalidCallError() {
    return RunTimeError(errors::kInvalidCall, "Invalid procedure call or argument");
}
RunTimeError OutOfMemoryError() { return RunTimeError(errors::kOutOfMemory, "Out of memory"); }
RunTimeError OverflowError() { return RunTimeError(errors::kOverflow, "Overflow"); }
RunTimeError SubscriptError() {
    return RunTimeError(errors::kSubscriptOutOfRange, "Subscript out of range");
}
RunTimeError TypeMismatchError() { return RunTimeError(errors::kTypeMismatch, "Type mismatch"); }
RunTimeError ObjectNotSetError() {
    return RunTimeError(errors::kObjectNotSet, "Object variable or With block variable not set");
}

}  // namespace dravik
