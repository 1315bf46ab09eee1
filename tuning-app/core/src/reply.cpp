#include "dravik/reply.h"

#include "dravik/run_time_error.h"

namespace dravik {

std::int32_t Reply::At(std::ptrdiff_t index) const {
    if (!m_elements) throw TypeMismatchError();
    if (index < 0 || static_cast<std::size_t>(index) >= m_elements->size()) throw SubscriptError();
    return (*m_elements)[static_cast<std::size_t>(index)];
}

}  // namespace dravik
