#include "handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace serial {

namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
    // Multiples of 4 as Windows hands them out, far from the pseudo handles -1 and -2.
    std::uintptr_t next = 0x1000;
};

Table& TheTable() {
    static Table table;
    return table;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<HandleObject> object) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    const std::uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> FindHandle(HANDLE handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<HandleObject> RemoveHandle(HANDLE handle) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end()) return nullptr;
    auto object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

}  // namespace serial
