#include "ecusim/line_directory.h"

#include <map>
#include <mutex>

namespace ecusim {
namespace {

struct Directory {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<kline::KLine>> lines;
};

Directory& TheDirectory() {
    static Directory directory;
    return directory;
}

}  // namespace

void RegisterLine(const std::string& name, std::shared_ptr<kline::KLine> line) {
    Directory& d = TheDirectory();
    std::lock_guard lock(d.mutex);
    if (line) {
        d.lines[name] = std::move(line);
    } else {
        d.lines.erase(name);
    }
}

void UnregisterLine(const std::string& name) {
    Directory& d = TheDirectory();
    std::lock_guard lock(d.mutex);
    d.lines.erase(name);
}

std::shared_ptr<kline::KLine> AcquireLine(const std::string& name) {
    Directory& d = TheDirectory();
    std::lock_guard lock(d.mutex);
    auto it = d.lines.find(name);
    if (it != d.lines.end()) return it->second;
    return nullptr;
}

}  // namespace ecusim
