#pragma once
// An ECU simulator on a virtual K-line that the settings store gives COM1 to: what the
// end-to-end tests of the session and of the window connect to through the real library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "kline/kline.h"
#include "registry/registry.h"

namespace ecu_test {

using Bytes = std::vector<std::uint8_t>;

// The KWP2000 routine requests that open a channel read and fetch its result.
inline const Bytes kReadOpen{0x31, 0xB8, 0x01, 0x03};
inline const Bytes kReadResult{0x31, 0xBA, 0x01, 0x03};

inline bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

class EcuOnCom1 {
public:
    EcuOnCom1() = default;
    EcuOnCom1(const EcuOnCom1&) = delete;
    EcuOnCom1& operator=(const EcuOnCom1&) = delete;
    ~EcuOnCom1() {
        if (!m_name.empty()) ecusim::UnregisterLine(m_name);
    }

    // A new ECU on a new line, named from prefix and the running test's name.
    ecusim::EcuSimulator& Start(const ecusim::EcuConfig& config, const std::string& prefix) {
        line = std::make_shared<kline::KLine>();
        ecu = std::make_shared<ecusim::EcuSimulator>(config);
        line->AttachPeer(ecu);
        if (!m_name.empty()) ecusim::UnregisterLine(m_name);
        m_name = prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ecusim::RegisterLine(m_name, line);
        EXPECT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\Ortaline\\Devices", "COM1",
                                          "sim:" + m_name));
        return *ecu;
    }

    // The requests the ECU understood since the last call (block title or service first).
    std::vector<Bytes> TakeRequests() {
        std::vector<Bytes> requests;
        for (const auto& entry : ecu->Log()) {
            if (entry.kind == ecusim::LogEntry::Kind::Request) requests.push_back(entry.bytes);
        }
        ecu->ClearLog();
        return requests;
    }

    // The tester's bytes on the wire (framing included) since the records were cleared.
    Bytes TesterWireBytes() const {
        Bytes bytes;
        for (const auto& b : line->Traffic()) {
            if (b.sender == kline::Side::Tester) bytes.push_back(b.value);
        }
        return bytes;
    }

    std::shared_ptr<kline::KLine> line;
    std::shared_ptr<ecusim::EcuSimulator> ecu;

private:
    std::string m_name;
};

}  // namespace ecu_test
