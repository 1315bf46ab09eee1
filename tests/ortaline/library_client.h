#pragma once
// The library as a client meets it: BoschComms registered from libOrtaline.so and created
// by ProgID, with a Status sink advised on it, on the simulated clock and a private
// settings store.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "core_support.h"
#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "kline/kline.h"
#include "ortaline/IBoschComms.h"
#include "registry/registry.h"
#include "serial/device_map.h"

#ifndef ORTALINE_LIBRARY_PATH
#error "ORTALINE_LIBRARY_PATH must name libOrtaline.so"
#endif

namespace core_test {

class LibraryClientTest : public ::testing::Test {
protected:
    // Fixtures that map a port before the object exists call it themselves.
    void CreateComms() {
        comms = CreateByProgId(ORTALINE_LIBRARY_PATH);
        ASSERT_NE(comms, nullptr);
        Advise(comms, &sink);
    }
    void TearDown() override {
        sink.onEvent = nullptr;
        if (comms != nullptr) comms->Release();
        comms = nullptr;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    TempConfigHome home;
    StatusSink sink;
    IBoschComms* comms = nullptr;
};

// A simulated ECU on a fresh virtual K-line for each StartEcu, reached through a port's
// device-map value.
class EcuClientTest : public LibraryClientTest {
protected:
    void TearDown() override {
        LibraryClientTest::TearDown();
        for (const std::string& name : m_lines) ecusim::UnregisterLine(name);
    }

    ecusim::EcuSimulator& StartEcu(ecusim::EcuConfig config, const std::string& deviceValue) {
        const std::string name = "client-line-" + std::to_string(m_lines.size());
        line = std::make_shared<kline::KLine>();
        ecu = std::make_shared<ecusim::EcuSimulator>(std::move(config));
        line->AttachPeer(ecu);
        ecusim::RegisterLine(name, line);
        m_lines.push_back(name);
        EXPECT_TRUE(registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey, deviceValue,
                                          serial::kVirtualDevicePrefix + name));
        return *ecu;
    }

    // The last line no longer leads anywhere: nothing is plugged in.
    void UnplugLine() { ecusim::UnregisterLine(m_lines.back()); }

    // SendCommand with a byte array; the reply's elements (empty on failure).
    HRESULT Send(const std::vector<LONGLONG>& request, std::vector<LONG>& reply) {
        VARIANT message = ArrayVariant(VT_UI1, 0, request);
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = comms->SendCommand(message, &result);
        reply = ReplyElements(result);
        VariantClear(&result);
        VariantClear(&message);
        return hr;
    }

    // A Status event with the text (or starting with it) at the level.
    bool HasStatus(const std::string& text, LONG level = Info, bool prefixOnly = false) const {
        for (const auto& e : sink.events) {
            const bool matches = prefixOnly ? e.text.rfind(text, 0) == 0 : e.text == text;
            if (matches && e.level == level) return true;
        }
        return false;
    }

    std::shared_ptr<kline::KLine> line;
    std::shared_ptr<ecusim::EcuSimulator> ecu;

private:
    std::vector<std::string> m_lines;
};

}  // namespace core_test
