#pragma once
// Whole sessions: a BoschComms object on COM3, which the settings store maps to a virtual
// K-line with a simulated ECU, all on a SimulatedClock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core_support.h"
#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "exchange_harness.h"
#include "kline/kline.h"
#include "registry/registry.h"
#include "serial/device_map.h"

namespace exchange_test {

inline constexpr LONG kSessionPort = 3;

class SessionFixture : public ::testing::Test {
protected:
    void StartEcu(ecusim::EcuConfig config) {
        char pattern[] = "/tmp/ortaline-session-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_configHome = pattern;
        setenv("XDG_CONFIG_HOME", m_configHome.c_str(), 1);
        ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey,
                                          "COM" + std::to_string(kSessionPort),
                                          std::string(serial::kVirtualDevicePrefix) + kLineName));
        line = std::make_shared<kline::KLine>();
        ecu = std::make_shared<ecusim::EcuSimulator>(std::move(config));
        line->AttachPeer(ecu);
        ecusim::RegisterLine(kLineName, line);

        comms = new BoschComms;
        AdviseStatusSink(*comms, sink);
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override {
        if (comms != nullptr) comms->Release();
        ecusim::UnregisterLine(kLineName);
        SetErrorInfo(0, nullptr);
        if (!m_configHome.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_configHome, ec);
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    // method 1 = InitializeOld, 2 = Initialize, 3 = InitializeViaUART.
    HRESULT WakeUp(int method, LONG address = 0x01) {
        VARIANT keys;
        VariantInit(&keys);
        HRESULT hr = E_FAIL;
        if (method == 1) hr = comms->InitializeOld(kSessionPort, 10400, address, &keys);
        if (method == 2) hr = comms->Initialize(kSessionPort, 10400, address, &keys);
        if (method == 3) hr = comms->InitializeViaUART(kSessionPort, 10400, address, &keys);
        keyBytes = Elements(keys);
        VariantClear(&keys);
        return hr;
    }

    // SendCommand with a byte array; the reply's elements (empty on failure).
    HRESULT Send(const std::vector<BYTE>& request, std::vector<LONG>& reply) {
        VARIANT message = core_test::ArrayVariant(VT_UI1, 0, {request.begin(), request.end()});
        VARIANT result;
        VariantInit(&result);
        trafficBefore = line->Traffic().size();
        const HRESULT hr = comms->SendCommand(message, &result);
        reply = Elements(result);
        VariantClear(&result);
        VariantClear(&message);
        return hr;
    }

    // The bytes one side put on the wire during the last Send.
    std::vector<BYTE> WireSince(kline::Side side) const {
        std::vector<BYTE> bytes;
        const auto& traffic = line->Traffic();
        for (std::size_t i = trafficBefore; i < traffic.size(); ++i) {
            if (traffic[i].sender == side) bytes.push_back(traffic[i].value);
        }
        return bytes;
    }

    static std::vector<LONG> Elements(const VARIANT& v) { return core_test::ReplyElements(v); }

    static constexpr const char* kLineName = "exchange-session";
    platform::SimulatedClock clock;
    platform::ScopedClock scopedClock{clock};
    std::shared_ptr<kline::KLine> line;
    std::shared_ptr<ecusim::EcuSimulator> ecu;
    BoschComms* comms = nullptr;
    StatusSink sink;
    std::vector<LONG> keyBytes;
    std::size_t trafficBefore = 0;

private:
    std::string m_configHome;
};

}  // namespace exchange_test
