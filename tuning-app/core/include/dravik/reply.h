#pragma once
// A reply of the library as the session reads it: a one-dimensional array of numbers, or
// "not an array" (a failed call, or a reply of another kind). An empty array is an array.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dravik {

class Reply {
public:
    Reply() = default;  // not an array
    explicit Reply(std::vector<std::int32_t> elements) : m_elements(std::move(elements)) {}

    bool IsArray() const { return m_elements.has_value(); }
    // Elements of an array; 0 when not an array.
    std::size_t Size() const { return m_elements ? m_elements->size() : 0; }
    // Element index: a type-mismatch error when not an array, a subscript error beyond it.
    std::int32_t At(std::ptrdiff_t index) const;
    const std::optional<std::vector<std::int32_t>>& Elements() const { return m_elements; }

private:
    std::optional<std::vector<std::int32_t>> m_elements;
};

}  // namespace dravik
