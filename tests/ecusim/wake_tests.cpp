#include "tester.h"

namespace ecusim::testing {
namespace {

using State = EcuSimulator::State;

class WakeTest : public EcuTest {};

TEST_F(WakeTest, EverySenderWakesAddress01AndReportsItsBits) {
    auto bitBang8 = [](WakeTest& t, std::uint8_t a) { t.BitBang8(a); };
    auto bitBang7 = [](WakeTest& t, std::uint8_t a) { t.BitBang7(a); };
    auto accurate = [](WakeTest& t, std::uint8_t a) { t.Accurate(a); };
    auto uart = [](WakeTest& t, std::uint8_t a) { t.Uart5Baud(a); };
    const std::vector<std::pair<std::function<void(WakeTest&, std::uint8_t)>, double>> senders{
        {bitBang8, 198.0}, {bitBang7, 198.0}, {accurate, 200.05}, {uart, 200.0}};
    for (std::uint8_t address : {0x01, 0x33}) {
        for (std::size_t s = 0; s < senders.size(); ++s) {
            SCOPED_TRACE(::testing::Message() << "address " << int(address) << " sender " << s);
            EcuConfig c = DefaultConfig(EcuProtocol::Kw1281);
            c.address = address;
            Settle();
            Make(c);
            senders[s].first(*this, address);
            const KeyBytes k = Handshake(false);
            EXPECT_EQ(k.sync, 0x55);
            EXPECT_EQ(k.kw1, 0x01);
            EXPECT_EQ(k.kw2, 0x8A);
            ASSERT_EQ(ecu->WakeReports().size(), 1u);
            const WakeReport& r = ecu->WakeReports()[0];
            EXPECT_TRUE(r.matched) << r.reason;
            EXPECT_NEAR(r.bitNs / 1e6, senders[s].second, 0.01);
            ASSERT_EQ(r.bits.size(), 10u);
            EXPECT_EQ(r.bits[0], 0);
            EXPECT_EQ(r.bits[9], 1);
            for (std::int64_t t : r.bitTimesNs) EXPECT_NEAR(t / 1e6, senders[s].second, 0.01);
            // 7-bit form of 0x01 carries a parity 1 in bit 7; 0x33 has an even count of ones.
            const bool sevenBitForm = s == 1 && address == 0x01;
            EXPECT_EQ(r.lineByte, sevenBitForm ? 0x81 : address);
            EXPECT_EQ(r.sevenBit, sevenBitForm);
            EXPECT_EQ(ecu->GetState(), State::Session);
        }
    }
}

TEST_F(WakeTest, IgnoresBitTimesOutsideTheWindowAndOtherAddresses) {
    Make(EcuProtocol::Kw1281);
    BitBang8(0x01, 150.0);
    EXPECT_FALSE(ReadValue(600));
    BitBang8(0x01, 240.0);
    EXPECT_FALSE(ReadValue(600));
    BitBang8(0x02);
    EXPECT_FALSE(ReadValue(600));
    ASSERT_EQ(ecu->WakeReports().size(), 3u);
    EXPECT_EQ(ecu->WakeReports()[0].reason, "bit time outside the window");
    EXPECT_NEAR(ecu->WakeReports()[0].bitNs / 1e6, 150.0, 0.01);
    EXPECT_EQ(ecu->WakeReports()[1].reason, "bit time outside the window");
    EXPECT_TRUE(ecu->WakeReports()[2].valid);
    EXPECT_FALSE(ecu->WakeReports()[2].matched);
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    // Only seven address bits go out: 0x81 sent as 7 bits is the line pattern of 0x01.
    BitBang7(0x81);
    EXPECT_EQ(ReadValue(600), 0x55);
}

TEST_F(WakeTest, KeyByteTimingAndTheAddressComplement) {
    Make(EcuProtocol::Kwp2000);
    BitBang8(0x01);
    const KeyBytes k = Handshake(true);
    EXPECT_EQ(k.kw1, 0xE9);
    EXPECT_EQ(k.kw2, 0x8F);
    EXPECT_EQ(k.addressComplement, 0xFE);
    // W1..W4 on the wire: 0x55 200 ms after the stop bit, then 10, 10 and 30 ms gaps.
    std::vector<kline::WireByte> peer;
    for (const auto& w : line.Traffic()) {
        if (w.sender == kline::Side::Peer) peer.push_back(w);
    }
    ASSERT_EQ(peer.size(), 4u);
    const WakeReport& r = ecu->WakeReports().at(0);
    EXPECT_NEAR((peer[0].startNs - r.endNs) / 1e6, 200.0, 0.01);
    EXPECT_NEAR((peer[1].startNs - peer[0].endNs) / 1e6, 10.0, 0.01);
    EXPECT_NEAR((peer[2].startNs - peer[1].endNs) / 1e6, 10.0, 0.01);
    EXPECT_GT((peer[3].startNs - peer[2].endNs) / 1e6, 25.0 + 30.0);
}

TEST_F(WakeTest, KeyByte2ComplementMustBeRightAndInTime) {
    Make(EcuProtocol::Kwp2000);
    // Wrong value.
    BitBang8(0x01);
    ReadValue(400), ReadValue(100), ReadValue(100);
    WaitMs(25);
    Write({0x71});
    ReadValue(50);
    EXPECT_FALSE(ReadValue(100));
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    // Too late.
    BitBang8(0x01);
    ReadValue(400), ReadValue(100), ReadValue(100);
    WaitMs(60);
    Write({0x70});
    ReadValue(50);
    EXPECT_FALSE(ReadValue(100));
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    // Too early.
    BitBang8(0x01);
    ReadValue(400), ReadValue(100), ReadValue(100);
    WaitMs(5);
    Write({0x70});
    ReadValue(50);
    EXPECT_FALSE(ReadValue(100));
    // None at all: it gives up and can be woken again.
    BitBang8(0x01);
    EXPECT_EQ(ReadValue(400), 0x55);
    WaitMs(500);
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    BitBang8(0x01);
    EXPECT_EQ(Handshake(true).addressComplement, 0xFE);
}

TEST_F(WakeTest, WakeUpFaults) {
    Make(EcuProtocol::Kwp2000);
    Faults f;
    f.noSyncByte = true;
    ecu->SetFaults(f);
    BitBang8(0x01);
    EXPECT_FALSE(ReadValue(600));

    f = {};
    f.noiseBeforeSync = {0x12, 0x00};
    f.lateSyncMs = 150;
    ecu->SetFaults(f);
    const std::int64_t before = Now();
    BitBang8(0x01);
    const std::int64_t stopEnd = Now();
    EXPECT_EQ(ReadValue(600), 0x12);
    EXPECT_EQ(ReadValue(100), 0x00);
    EXPECT_EQ(ReadValue(100), 0x55);
    EXPECT_GT((Now() - stopEnd) / 1e6, 340.0);
    EXPECT_GT(Now(), before);
    EXPECT_EQ(ReadValue(100), 0xE9);  // the wake-up itself goes on

    WaitMs(3000);
    f = {};
    f.noKeyByte1 = true;
    ecu->SetFaults(f);
    BitBang8(0x01);
    EXPECT_EQ(ReadValue(600), 0x55);
    EXPECT_EQ(ReadValue(100), 0x8F);
    EXPECT_FALSE(ReadValue(100));

    f = {};
    f.noKeyByte2 = true;
    ecu->SetFaults(f);
    BitBang8(0x01);
    EXPECT_EQ(ReadValue(600), 0x55);
    EXPECT_EQ(ReadValue(100), 0xE9);
    EXPECT_FALSE(ReadValue(100));

    f = {};
    f.addressComplement = 0xFD;
    ecu->SetFaults(f);
    BitBang8(0x01);
    EXPECT_EQ(Handshake(true).addressComplement, 0xFD);

    f = {};
    f.noAddressComplement = true;
    ecu->SetFaults(f);
    BitBang8(0x01);
    EXPECT_FALSE(Handshake(true).addressComplement);
    // Used up: the next wake-up is clean.
    BitBang8(0x01);
    EXPECT_EQ(Handshake(true).addressComplement, 0xFE);
}

}  // namespace
}  // namespace ecusim::testing
