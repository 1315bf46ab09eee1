// Port number 0 end to end: BoschComms created by ProgID, the USB cable mapped to a
// simulated ECU's K-line through the virtual FTDI chip (latency timer, USB packets), on the
// simulated clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ftdi/device_choice.h"
#include "ftdi/virtual_cable.h"
#include "library_client.h"

namespace {

using core_test::StatusEvent;
using ecusim::EcuProtocol;
using kline::Side;

class UsbSession : public core_test::EcuClientTest {
protected:
    void Start(EcuProtocol protocol) {
        StartEcu(ecusim::DefaultConfig(protocol), ftdi::kUsbDeviceValue);
        CreateComms();
    }

    // 1 = InitializeOld, 2 = Initialize, 3 = InitializeViaUART, all on port 0.
    HRESULT WakeUp(int method) {
        VARIANT keys;
        VariantInit(&keys);
        HRESULT hr = E_FAIL;
        if (method == 1) hr = comms->InitializeOld(0, 10400, 0x01, &keys);
        if (method == 2) hr = comms->Initialize(0, 10400, 0x01, &keys);
        if (method == 3) hr = comms->InitializeViaUART(0, 10400, 0x01, &keys);
        keyBytes = core_test::ReplyElements(keys);
        VariantClear(&keys);
        return hr;
    }

    bool Saw(const std::string& text) const {
        for (const auto& e : sink.events) {
            if (e.text == text) return true;
        }
        return false;
    }

    std::size_t TesterBytesOnWire() const {
        std::size_t n = 0;
        for (const auto& b : line->Traffic()) n += b.sender == Side::Tester ? 1 : 0;
        return n;
    }

    std::vector<LONG> keyBytes;
};

TEST_F(UsbSession, Kw1281WakeUpsAndRequestsOverTheCable) {
    Start(EcuProtocol::Kw1281);
    for (int method : {1, 2}) {
        ASSERT_EQ(WakeUp(method), S_OK) << method;
        EXPECT_EQ(keyBytes, (std::vector<LONG>{0x01, 0x8A}));
        EXPECT_TRUE(ecu->WakeReports().back().matched);
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x09}, reply), S_OK);  // the ECU's first block
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[0], 0xF6);
        for (const auto& channel : ecu->Config().channels) {
            ASSERT_EQ(Send({0x21, channel.number}, reply), S_OK);
            ASSERT_GE(reply.size(), 4u);
            EXPECT_EQ(reply[0], 0xE6);
            EXPECT_EQ(reply[2] * 256 + reply[3], ecu->ActiveValue(channel.number));
        }
    }
    EXPECT_TRUE(Saw("Setting connection type: USB Port"));
    EXPECT_TRUE(Saw("Opening USB port at 10400 baud"));
    // The break alone drives the line on this cable: RTS never moves.
    for (const auto& e : line->Events()) {
        if (e.side == Side::Tester) {
            EXPECT_NE(e.kind, kline::LineEvent::Kind::Rts);
        }
    }
    EXPECT_EQ(comms->Close(), S_OK);
    EXPECT_TRUE(Saw("Closing USB port"));
    EXPECT_FALSE(line->TesterClaimed());
}

TEST_F(UsbSession, Kwp2000WakeUpAndRequestsOverTheCable) {
    Start(EcuProtocol::Kwp2000);
    ASSERT_EQ(WakeUp(2), S_OK);
    EXPECT_EQ(keyBytes, (std::vector<LONG>{ecu->Config().kw1, 0x8F}));
    Protocol protocol{};
    ASSERT_EQ(comms->GetProtocol(&protocol), S_OK);
    EXPECT_EQ(protocol, KWP2000);
    std::vector<LONG> reply;
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(Send({0x1A, 0x9B}, reply), S_OK) << round;
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[0], 0x5A);
        ASSERT_EQ(Send({0x3E}, reply), S_OK) << round;
        EXPECT_EQ(reply, (std::vector<LONG>{0x7E}));
    }
}

// A cable whose latency timer stays at the chip's 16 ms default still meets the ECU's
// windows (the key byte 2 complement lands up to about 41 ms after key byte 2, of 50).
TEST_F(UsbSession, SessionsHoldWithTheChipsDefaultLatencyTimer) {
    ftdi::ForceVirtualLatencyMs(16);
    struct Reset {
        ~Reset() { ftdi::ForceVirtualLatencyMs(0); }
    } reset;
    Start(EcuProtocol::Kw1281);
    for (int round = 0; round < 16; ++round) {
        // The ECU's bytes meet the timer at another phase each round.
        clock.AdvanceNs(1'000'000'000 + round * 1'000'000);
        ASSERT_EQ(WakeUp(2), S_OK) << round;
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x09}, reply), S_OK) << round;
        ASSERT_EQ(Send({0x21, ecu->Config().channels[0].number}, reply), S_OK) << round;
        EXPECT_EQ(comms->Close(), S_OK);
    }
}

TEST_F(UsbSession, UartWakeUpIsRefusedBecauseTheChipCannotSendFiveBaud) {
    Start(EcuProtocol::Kw1281);
    EXPECT_EQ(WakeUp(3), DISP_E_EXCEPTION);
    EXPECT_EQ(core_test::TakeError().description, "Failed ECU initialization");
    EXPECT_TRUE(Saw("Cannot set the baud rate to 5 baud"));
    EXPECT_FALSE(Saw("Setting USB baud rate to 5 baud"));
    EXPECT_EQ(TesterBytesOnWire(), 0u);  // no address at line speed
    EXPECT_TRUE(ecu->WakeReports().empty() || !ecu->WakeReports().back().matched);

    VARIANT_BOOL changed = VARIANT_TRUE;
    EXPECT_EQ(comms->ChangeBaudRate(5, &changed), DISP_E_EXCEPTION);
    EXPECT_EQ(changed, VARIANT_FALSE);
    EXPECT_EQ(core_test::TakeError().description, "Baud rate not supported");
    EXPECT_EQ(comms->ChangeBaudRate(9600, &changed), S_OK);
    EXPECT_EQ(changed, VARIANT_TRUE);

    // The cable stays usable: a wake-up the chip can do works on the same object, at the
    // rate the open puts back.
    ASSERT_EQ(WakeUp(2), S_OK);
    EXPECT_EQ(line->TesterFraming().baud, 10400u);
}

TEST_F(UsbSession, CablePulledMidSessionEndsTheRequestAfterTheReopenLimit) {
    Start(EcuProtocol::Kwp2000);
    ASSERT_EQ(WakeUp(2), S_OK);
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x3E}, reply), S_OK);

    line->SetTesterConnected(false);
    const std::int64_t start = clock.NowNs();
    EXPECT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION);
    EXPECT_TRUE(reply.empty());
    const std::int64_t tookMs = (clock.NowNs() - start) / 1'000'000;
    EXPECT_GE(tookMs, 4500);
    EXPECT_LT(tookMs, 4600);  // one reopen loop, not one per byte

    // Plugged back in, a new wake-up on the same object works.
    line->SetTesterConnected(true);
    EXPECT_EQ(comms->Close(), S_OK);
    ASSERT_EQ(WakeUp(2), S_OK);
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
}

TEST_F(UsbSession, NoCableAndABusyCableFailTheOpen) {
    Start(EcuProtocol::Kw1281);
    ASSERT_TRUE(line->ClaimTester());  // another program holds it
    EXPECT_EQ(WakeUp(2), DISP_E_EXCEPTION);
    EXPECT_EQ(core_test::TakeError().description, "Failed serial port initialization");
    line->ReleaseTester();

    UnplugLine();
    EXPECT_EQ(WakeUp(2), DISP_E_EXCEPTION);
    EXPECT_EQ(core_test::TakeError().description, "Failed serial port initialization");
}

}  // namespace
