#include "timer_queue.h"

namespace ecusim {

TimerQueue::Id TimerQueue::Add(std::int64_t atNs, Action action) {
    const Id id = m_nextId++;
    m_entries.emplace(atNs, Entry{id, std::move(action)});
    return id;
}

void TimerQueue::Cancel(Id& id) {
    if (id == 0) return;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->second.id == id) {
            m_entries.erase(it);
            break;
        }
    }
    id = 0;
}

void TimerQueue::Clear() { m_entries.clear(); }

void TimerQueue::RunDue(std::int64_t nowNs) {
    while (!m_entries.empty() && m_entries.begin()->first <= nowNs) {
        Action action = std::move(m_entries.begin()->second.action);
        m_entries.erase(m_entries.begin());
        action(nowNs);
    }
}

std::int64_t TimerQueue::NextNs() const {
    return m_entries.empty() ? kNever : m_entries.begin()->first;
}

void TimerQueue::Shift(std::int64_t deltaNs) {
    std::multimap<std::int64_t, Entry> moved;
    for (auto& [at, entry] : m_entries) moved.emplace(at + deltaNs, std::move(entry));
    m_entries = std::move(moved);
}

}  // namespace ecusim
