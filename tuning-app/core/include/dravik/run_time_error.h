#pragma once
// The program's run-time errors: a number and a description, as the BASIC runtime raises
// them. Number 1 is the session's own error; a failed automation call carries its result
// code as the number and the server's error text as the description.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace dravik {

class RunTimeError : public std::runtime_error {
public:
    RunTimeError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    std::int32_t Number() const noexcept { return m_number; }
    std::string Description() const { return what(); }

private:
    std::int32_t m_number;
};

namespace errors {
inline constexpr std::int32_t kSession = 1;
inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kObjectNotSet = 91;

// Error 1 raised without a description of its own reads like this.
inline constexpr char kSessionDefaultText[] = "Application-defined or object-defined error";
inline constexpr char kChannelNotRead[] = "Channel could not be read.";
inline constexpr char kFailedRequest[] = "Failed Request.";
}  // namespace errors

RunTimeError SessionError(const std::string& description = errors::kSessionDefaultText);
RunTimeError InvalidCallError();
RunTimeError OverflowError();
RunTimeError OutOfMemoryError();
RunTimeError SubscriptError();
RunTimeError TypeMismatchError();
RunTimeError ObjectNotSetError();

}  // namespace dravik
