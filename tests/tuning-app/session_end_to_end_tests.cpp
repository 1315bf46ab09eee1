// The session against the real library, loaded through COM, and the ECU simulator on a
// virtual K-line, on the simulated clock.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "clock/clock.h"
#include "dravik/bcClass.h"
#include "dravik/channel_table.h"
#include "dravik/run_time_error.h"
#include "ecu_on_com1.h"

namespace dravik {
namespace {

using ecu_test::Bytes;
using ecu_test::Contains;
using ecusim::EcuProtocol;

using ecu_test::kReadOpen;
using ecu_test::kReadResult;

class LibrarySession : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/dravik-session-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_configHome = folder;
        setenv("XDG_CONFIG_HOME", folder, 1);
        ASSERT_EQ(RegisterServerLibrary(ORTALINE_LIBRARY_PATH), S_OK);
        session.SetDisconnectedHandler([this] { ++disconnectedEvents; });
    }

    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(m_configHome);
    }

    // An ECU of the protocol on the line that COM1 leads to.
    ecusim::EcuSimulator& StartEcu(EcuProtocol protocol,
                                   ecusim::OutOfLimit outOfLimit = ecusim::OutOfLimit::Clamp) {
        ecusim::EcuConfig config = ecusim::DefaultConfig(protocol);
        config.outOfLimit = outOfLimit;
        return m_sim.Start(config, "dravik-");
    }

    std::vector<Bytes> TakeRequests() { return m_sim.TakeRequests(); }
    Bytes TesterWireBytes() const { return m_sim.TesterWireBytes(); }

    void Revive() { m_sim.ecu->SetFaults(ecusim::Faults{}); }

    void Die(int afterRequests) {
        ecusim::Faults faults;
        faults.dieAfterRequests = afterRequests;
        m_sim.ecu->SetFaults(faults);
    }

    static int ErrorNumber(auto&& call) {
        try {
            call();
        } catch (const RunTimeError& e) {
            return e.Number();
        }
        return 0;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scopedClock{clock};
    bcClass session;
    int disconnectedEvents = 0;
    ecu_test::EcuOnCom1 m_sim;

private:
    std::filesystem::path m_configHome;
};

TEST_F(LibrarySession, Kw1281FullSession) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    ASSERT_TRUE(session.Connect(1));
    EXPECT_EQ(session.GetEcuType(), u"DK0906032AB ");
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x12, 0x34}));
    // The ECU speaks first after the wake-up: the first 09 only collects its block.
    EXPECT_EQ(TakeRequests(), std::vector<Bytes>(3, Bytes{0x09}));

    m_sim.line->ClearRecords();
    EXPECT_EQ(session.ReadAdaptationValue(12), 255);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x21, 12}}));
    // The block on the wire: length, counter, title, channel, end byte.
    const auto wire = TesterWireBytes();
    ASSERT_GE(wire.size(), 5u);
    EXPECT_EQ(wire[0], 0x04);
    EXPECT_EQ(wire[2], 0x21);
    EXPECT_EQ(wire[3], 12);
    EXPECT_EQ(wire[4], 0x03);

    EXPECT_EQ(session.TestAdaptationValue(12, 300), 300);
    EXPECT_EQ(ecu.ActiveValue(12), 300);
    EXPECT_EQ(ecu.StoredValue(12), 255);
    EXPECT_EQ(session.SetAdaptationValue(12, 0x0102, *session.GetWorkShopCode()), 258);
    EXPECT_EQ(ecu.StoredValue(12), 258);
    EXPECT_EQ(ecu.LastStoreWorkshopCode(), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x22, 12, 0x01, 0x2C},
                                                  {0x21, 12},
                                                  {0x2A, 12, 0x01, 0x02, 0x00, 0x12, 0x34},
                                                  {0x21, 12}}));

    session.ResetAdaptationValues(*session.GetWorkShopCode());
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x2A, 0, 0, 0, 0, 0x12, 0x34}, {0x21, 0}}));
    EXPECT_EQ(ecu.StoredValue(12), 255);  // back to the ECU's default

    session.SendKeepalive();
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x09}}));
    EXPECT_TRUE(session.IsConnected());

    // The ECU ends the session without an answer, which the send path reports as a loss.
    session.Disconnect();
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x06}}));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(LibrarySession, Kwp2000FullSession) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    ASSERT_TRUE(session.Connect(1));
    EXPECT_EQ(session.GetEcuType().substr(0, 20), u"DK0906032AB 1.8L R4 ");
    EXPECT_EQ(session.GetWorkShopCode(),
              (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x1A, 0x9B}}));

    m_sim.line->ClearRecords();
    EXPECT_EQ(session.ReadAdaptationValue(8), 128);
    EXPECT_EQ(
        TakeRequests(),
        (std::vector<Bytes>{kReadOpen, kReadResult, {0x31, 0xB9, 0x01, 0x03, 8}, kReadResult}));
    EXPECT_TRUE(Contains(TesterWireBytes(), {0x31, 0xB9, 0x01, 0x03, 8}));

    EXPECT_EQ(session.TestAdaptationValue(8, 150), 150);
    EXPECT_EQ(ecu.ActiveValue(8), 150);
    EXPECT_EQ(session.SetAdaptationValue(8, 150, *session.GetWorkShopCode()), 150);
    EXPECT_EQ(ecu.StoredValue(8), 150);
    EXPECT_EQ(ecu.LastStoreWorkshopCode(),
              (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    TakeRequests();

    session.ResetAdaptationValues(*session.GetWorkShopCode());
    const std::vector<Bytes> readZero{
        kReadOpen, kReadResult, {0x31, 0xB9, 0x01, 0x03, 0}, kReadResult};
    std::vector<Bytes> reset = readZero;
    reset.push_back({0x31, 0xB9, 0x01, 0x03, 0, 0});
    reset.push_back(kReadResult);
    reset.insert(reset.end(), readZero.begin(), readZero.end());
    reset.push_back({0x31, 0xBB, 0x01, 0x03, 0, 0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    reset.push_back(kReadResult);
    EXPECT_EQ(TakeRequests(), reset);
    EXPECT_EQ(ecu.StoredValue(8), 128);

    session.SendKeepalive();
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x3E}}));
    session.Disconnect();
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x82}}));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
}

// Each of the twelve channels of the table: its ECU number, its default as the ECU holds it
// (signed channels with their offset of 128), and two other raw values inside its limits.
struct ChannelCase {
    std::uint8_t number;
    std::int32_t defaultRaw;
    std::int32_t testRaw;
    std::int32_t storeRaw;
};

std::vector<ChannelCase> EveryChannel() {
    std::vector<ChannelCase> cases;
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        const std::int32_t offset = IsSignedChannel(i) ? kSignedOffset : 0;
        const std::int32_t raw = ChannelDefault(i) + offset;
        cases.push_back({static_cast<std::uint8_t>(ChannelNumber(i)), raw, raw + 1, raw + 2});
    }
    return cases;
}

Bytes Hi(std::int32_t v) {
    return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

TEST_F(LibrarySession, Kw1281ReadsTestsStoresAndResetsEveryChannel) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    ASSERT_TRUE(session.Connect(1));
    const Bytes workshop = *session.GetWorkShopCode();
    TakeRequests();
    for (const ChannelCase& c : EveryChannel()) {
        const std::uint8_t ch = c.number;
        m_sim.line->ClearRecords();
        EXPECT_EQ(session.ReadAdaptationValue(ch), c.defaultRaw) << int{ch};
        EXPECT_EQ(session.TestAdaptationValue(ch, c.testRaw), c.testRaw) << int{ch};
        EXPECT_EQ(ecu.ActiveValue(ch), c.testRaw);
        EXPECT_EQ(session.SetAdaptationValue(ch, c.storeRaw, workshop), c.storeRaw) << int{ch};
        EXPECT_EQ(ecu.StoredValue(ch), c.storeRaw);
        const Bytes t = Hi(c.testRaw), s = Hi(c.storeRaw);
        EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x21, ch},
                                                      {0x22, ch, t[0], t[1]},
                                                      {0x21, ch},
                                                      {0x2A, ch, s[0], s[1], 0x00, 0x12, 0x34},
                                                      {0x21, ch}}))
            << int{ch};
        // The blocks as they went out: title, data and the end byte, in one run.
        const auto wire = TesterWireBytes();
        EXPECT_TRUE(Contains(wire, {0x22, ch, t[0], t[1], 0x03})) << int{ch};
        EXPECT_TRUE(Contains(wire, {0x2A, ch, s[0], s[1], 0x00, 0x12, 0x34, 0x03})) << int{ch};
    }
    session.ResetAdaptationValues(workshop);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x2A, 0, 0, 0, 0, 0x12, 0x34}, {0x21, 0}}));
    for (const ChannelCase& c : EveryChannel()) {
        EXPECT_EQ(ecu.StoredValue(c.number), c.defaultRaw) << int{c.number};
        EXPECT_EQ(session.ReadAdaptationValue(c.number), c.defaultRaw) << int{c.number};
    }
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, Kwp2000ReadsTestsStoresAndResetsEveryChannel) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    ASSERT_TRUE(session.Connect(1));
    const Bytes workshop = *session.GetWorkShopCode();
    TakeRequests();
    for (const ChannelCase& c : EveryChannel()) {
        const std::uint8_t ch = c.number;
        const std::vector<Bytes> read{
            kReadOpen, kReadResult, {0x31, 0xB9, 0x01, 0x03, ch}, kReadResult};
        m_sim.line->ClearRecords();
        EXPECT_EQ(session.ReadAdaptationValue(ch), c.defaultRaw) << int{ch};
        EXPECT_EQ(TakeRequests(), read) << int{ch};

        const Bytes t = Hi(c.testRaw), s = Hi(c.storeRaw);
        EXPECT_EQ(session.TestAdaptationValue(ch, c.testRaw), c.testRaw) << int{ch};
        EXPECT_EQ(ecu.ActiveValue(ch), c.testRaw);
        std::vector<Bytes> test = read;
        test.push_back({0x31, 0xB9, 0x01, 0x03, t[0], t[1]});
        test.push_back(kReadResult);
        test.insert(test.end(), read.begin(), read.end());
        EXPECT_EQ(TakeRequests(), test) << int{ch};

        EXPECT_EQ(session.SetAdaptationValue(ch, c.storeRaw, workshop), c.storeRaw) << int{ch};
        EXPECT_EQ(ecu.StoredValue(ch), c.storeRaw);
        Bytes storeRequest{0x31, 0xBB, 0x01, 0x03, s[0], s[1]};
        storeRequest.insert(storeRequest.end(), workshop.begin(), workshop.end());
        std::vector<Bytes> store = read;
        store.push_back(storeRequest);
        store.push_back(kReadResult);
        store.insert(store.end(), read.begin(), read.end());
        EXPECT_EQ(TakeRequests(), store) << int{ch};

        const auto wire = TesterWireBytes();
        EXPECT_TRUE(Contains(wire, {0x31, 0xB9, 0x01, 0x03, ch})) << int{ch};
        EXPECT_TRUE(Contains(wire, {0x31, 0xB9, 0x01, 0x03, t[0], t[1]})) << int{ch};
        EXPECT_TRUE(Contains(wire, storeRequest)) << int{ch};
    }
    session.ResetAdaptationValues(workshop);
    for (const ChannelCase& c : EveryChannel()) {
        EXPECT_EQ(ecu.StoredValue(c.number), c.defaultRaw) << int{c.number};
        EXPECT_EQ(session.ReadAdaptationValue(c.number), c.defaultRaw) << int{c.number};
    }
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, FailedWakeUpSendsNothing) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    ecusim::Faults faults;
    faults.noSyncByte = true;
    ecu.SetFaults(faults);
    EXPECT_FALSE(session.Connect(1));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_TRUE(TakeRequests().empty());
    EXPECT_EQ(disconnectedEvents, 0);

    // Nothing behind the port at all.
    EXPECT_FALSE(session.Connect(4));
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, Kw1281LinkLostInEachOperation) {
    StartEcu(EcuProtocol::Kw1281);

    Die(1);  // during the identification
    EXPECT_FALSE(session.Connect(1));
    EXPECT_EQ(disconnectedEvents, 1);

    for (int operation = 0; operation < 5; ++operation) {
        Revive();
        ASSERT_TRUE(session.Connect(1)) << operation;
        disconnectedEvents = 0;
        Die(operation == 2 ? 1 : 0);  // the store dies between its request and the read back
        int error = 0;
        switch (operation) {
            case 0:
                error = ErrorNumber([&] { session.ReadAdaptationValue(12); });
                break;
            case 1:
                error = ErrorNumber([&] { session.TestAdaptationValue(12, 300); });
                break;
            case 2:
                error = ErrorNumber([&] { session.SetAdaptationValue(12, 300, {0x12, 0x34}); });
                break;
            case 3:
                session.SendKeepalive();
                break;
            case 4:
                session.ResetAdaptationValues({0x12, 0x34});
                break;
        }
        EXPECT_EQ(error, operation < 3 ? 1 : 0) << operation;
        EXPECT_FALSE(session.IsConnected()) << operation;
        EXPECT_EQ(disconnectedEvents, 1) << operation;
    }

    Revive();
    ASSERT_TRUE(session.Connect(1));
    disconnectedEvents = 0;
    Die(0);
    EXPECT_NO_THROW(session.Disconnect());  // the end request fails; the link closes anyway
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(LibrarySession, Kwp2000LinkLostInEachOperation) {
    StartEcu(EcuProtocol::Kwp2000);

    Die(0);
    EXPECT_FALSE(session.Connect(1));
    EXPECT_EQ(disconnectedEvents, 1);

    for (int operation = 0; operation < 3; ++operation) {
        Revive();
        ASSERT_TRUE(session.Connect(1)) << operation;
        disconnectedEvents = 0;
        Die(2);  // the routine sequence breaks off in the middle
        int error = 0;
        switch (operation) {
            case 0:
                error = ErrorNumber([&] { session.ReadAdaptationValue(8); });
                break;
            case 1:
                error = ErrorNumber([&] { session.TestAdaptationValue(8, 150); });
                break;
            case 2:
                error = ErrorNumber([&] {
                    session.SetAdaptationValue(8, 150, {1, 2, 3, 4, 5, 6});
                });
                break;
        }
        // The library's failure reaches the caller; the routine path does not mark the loss.
        EXPECT_NE(error, 0) << operation;
        EXPECT_NE(error, 1) << operation;
        EXPECT_TRUE(session.IsConnected()) << operation;
        EXPECT_EQ(disconnectedEvents, 0) << operation;
        session.SendKeepalive();  // finds it
        EXPECT_FALSE(session.IsConnected()) << operation;
        EXPECT_EQ(disconnectedEvents, 1) << operation;
    }

    Revive();
    ASSERT_TRUE(session.Connect(1));
    disconnectedEvents = 0;
    Die(0);
    EXPECT_NO_THROW(session.ResetAdaptationValues({1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(session.IsConnected());
    EXPECT_NO_THROW(session.Disconnect());
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(LibrarySession, Kwp2000NegativeRoutineAnswerKeepsTheSession) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000, ecusim::OutOfLimit::Deny);
    ASSERT_TRUE(session.Connect(1));
    try {
        session.TestAdaptationValue(8, 250);  // beyond the channel's limit of 192
        ADD_FAILURE() << "no error";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.Number(), 1);
        EXPECT_EQ(e.Description(), "Failed Request.");
    }
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(ecu.ActiveValue(8), 128);
    EXPECT_EQ(session.ReadAdaptationValue(8), 128);
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, Kw1281SilenceOrDeathMidOperationLosesTheLink) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);

    // The test request is answered; the read-back meets a dead link.
    ASSERT_TRUE(session.Connect(1));
    Die(1);
    EXPECT_EQ(ErrorNumber([&] { session.TestAdaptationValue(12, 300); }), 1);
    EXPECT_EQ(ecu.ActiveValue(12), 300);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);

    // An unanswered keep-alive; once down, a second one sends nothing.
    Revive();
    ASSERT_TRUE(session.Connect(1));
    disconnectedEvents = 0;
    TakeRequests();
    ecusim::Faults silent;
    silent.silence = true;
    ecu.SetFaults(silent);
    session.SendKeepalive();
    EXPECT_FALSE(session.IsConnected());
    session.SendKeepalive();
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x09}}));
    EXPECT_EQ(disconnectedEvents, 1);

    // An unanswered read.
    Revive();
    ASSERT_TRUE(session.Connect(1));
    disconnectedEvents = 0;
    ecu.SetFaults(silent);
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }), 1);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(LibrarySession, Kw1281RefusedReadKeepsTheLink) {
    StartEcu(EcuProtocol::Kw1281);
    ASSERT_TRUE(session.Connect(1));
    try {
        session.ReadAdaptationValue(200);  // no such channel: the ECU answers with a refusal
        ADD_FAILURE() << "no error";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.Number(), 1);
        EXPECT_EQ(e.Description(), "Channel could not be read.");
    }
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(session.ReadAdaptationValue(12), 255);
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, Kwp2000UnansweredRoutineLeavesTheSessionUsable) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    ASSERT_TRUE(session.Connect(1));
    ecusim::Faults silent;
    silent.silence = true;
    ecu.SetFaults(silent);
    const int error = ErrorNumber([&] { session.ReadAdaptationValue(8); });
    EXPECT_NE(error, 0);
    EXPECT_NE(error, 1);
    EXPECT_TRUE(session.IsConnected());
    // The ECU kept its session, so the keep-alive finds nothing wrong and work goes on.
    session.SendKeepalive();
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(session.ReadAdaptationValue(8), 128);
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, Kwp2000KeepaliveOnADeadLinkLosesItOnce) {
    StartEcu(EcuProtocol::Kwp2000);
    ASSERT_TRUE(session.Connect(1));
    TakeRequests();
    Die(0);
    session.SendKeepalive();
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);
    const int heard = m_sim.ecu->RequestCount();
    session.SendKeepalive();
    EXPECT_NE(ErrorNumber([&] { session.ReadAdaptationValue(8); }), 0);
    EXPECT_EQ(m_sim.ecu->RequestCount(), heard);  // down: nothing more goes out
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(session.GetWorkShopCode(),
              (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));  // kept
}

TEST_F(LibrarySession, Kwp2000FailedWakeUpSendsNothing) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    ecusim::Faults faults;
    faults.noKeyByte2 = true;
    ecu.SetFaults(faults);
    EXPECT_FALSE(session.Connect(1));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(ecu.RequestCount(), 0);
    EXPECT_FALSE(session.GetWorkShopCode().has_value());
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(LibrarySession, EcuOfAnUnspokenProtocolIsClosedAndRefused) {
    auto& ecu = StartEcu(EcuProtocol::KwpTester);
    EXPECT_FALSE(session.Connect(1));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(session.GetEcuType(), u"");
    EXPECT_FALSE(session.GetWorkShopCode().has_value());
    EXPECT_EQ(ecu.RequestCount(), 0);
    EXPECT_EQ(disconnectedEvents, 0);
}

}  // namespace
}  // namespace dravik
