#include "ecusim/line_directory.h"

#include <map>
#include <mutex>

#include "ecusim/ecu_simulator.h"

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
    // The two standard lines are made on first use and kept, so that an ECU remembers its
    // stored channel values from one connection to the next.
    EcuProtocol protocol;
    if (name == "kw1281") {
        protocol = EcuProtocol::Kw1281;
    } else if (name == "kwp2000") {
        protocol = EcuProtocol::Kwp2000;
    } else {
        return nullptr;
    }
    // Nobody reads their records, and a program may stay connected for days.
    auto line = std::make_shared<kline::KLine>();
    line->SetRecording(false);
    auto ecu = std::make_shared<EcuSimulator>(DefaultConfig(protocol));
    ecu->SetRecording(false);
    line->AttachPeer(std::move(ecu));
    d.lines[name] = line;
    return line;
}

}  // namespace ecusim
