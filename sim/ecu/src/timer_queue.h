#pragma once
// The simulator's own deadlines. The wire wakes the peer at times it asked for; this keeps
// every pending deadline and runs the due ones in time order.
#include <cstdint>
#include <functional>
#include <limits>
#include <map>

namespace ecusim {

class TimerQueue {
public:
    using Id = std::uint64_t;  // 0 = no timer
    using Action = std::function<void(std::int64_t nowNs)>;
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    Id Add(std::int64_t atNs, Action action);
    // Cancels the timer (if still pending) and clears the id.
    void Cancel(Id& id);
    void Clear();
    // Runs every timer due at nowNs, including ones added while running.
    void RunDue(std::int64_t nowNs);
    std::int64_t NextNs() const;
    void Shift(std::int64_t deltaNs);

private:
    struct Entry {
        Id id;
        Action action;
    };
    std::multimap<std::int64_t, Entry> m_entries;
    Id m_nextId = 1;
};

}  // namespace ecusim
