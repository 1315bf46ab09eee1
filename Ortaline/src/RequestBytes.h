#pragma once
// Turns SendCommand's Message VARIANT into request bytes.
#include <optional>
#include <string>

#include "com/com.h"
#include "framework/byte_array.h"

namespace ortaline {

struct RequestRefusal {
    std::string status;  // raised as Severe
    std::string error;   // handed to Error
};

// Appends one byte per accepted value to bytes; the refusal when Message cannot be used.
std::optional<RequestRefusal> ReadRequestBytes(const VARIANT& message, CByteArray& bytes);

}  // namespace ortaline
