#pragma once
// A scripted stand-in for the library's BoschComms object: the session under test creates
// one per connect through the factory; all of them share one FakeEcu that holds the script
// and records what was asked.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dravik/bcClass.h"
#include "ortaline/IBoschComms.h"

namespace dravik::testing {

// One answer to SendCommand.
struct Answer {
    enum class Kind { Elements, Failure, NotAnArray };
    Kind kind = Kind::Elements;
    std::vector<std::int32_t> elements;
    std::string errorText;  // Failure: the error information set (none when empty)

    static Answer Of(std::vector<std::int32_t> e) { return {Kind::Elements, std::move(e), {}}; }
    static Answer Empty() { return {Kind::Elements, {}, {}}; }
    static Answer Fail(std::string text = "Timeout waiting for response.") {
        return {Kind::Failure, {}, std::move(text)};
    }
    static Answer NotArray() { return {Kind::NotAnArray, {}, {}}; }
};

using Bytes = std::vector<std::uint8_t>;

struct FakeEcu {
    // Script.
    HRESULT createResult = S_OK;
    HRESULT initializeResult = S_OK;
    LONG protocol = VAG1281;
    HRESULT protocolResult = S_OK;
    HRESULT closeResult = S_OK;
    std::deque<Answer> answers;                   // taken first
    std::function<Answer(const Bytes&)> respond;  // then this; else an empty array

    // Records.
    std::vector<Bytes> sent;
    std::vector<std::vector<LONG>> initializeCalls;
    int closeCalls = 0;
    int created = 0;
    int alive = 0;

    dravik::bcClass::CommsFactory Factory();
};

}  // namespace dravik::testing
