// The program against the real library (created through COM by its ProgID) and the ECU
// simulator on a virtual K-line: whole sessions as a user runs them, checked on the wire.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include "app_fixture.h"
#include "clock/clock.h"
#include "com/com.h"
#include "ecu_on_com1.h"

namespace app_test {
namespace {

using ecu_test::Bytes;
using ecu_test::Contains;
using ecusim::EcuProtocol;

using ecu_test::kReadOpen;
using ecu_test::kReadResult;

class LibraryFlow : public AppTest {
protected:
    LibraryFlow() {
        EXPECT_EQ(RegisterServerLibrary(ORTALINE_LIBRARY_PATH), S_OK);
        StoreConnectionType("1");
    }
    ecusim::EcuSimulator& StartEcu(EcuProtocol protocol) {
        return m_sim.Start(ecusim::DefaultConfig(protocol), "app-");
    }

    std::vector<Bytes> TakeRequests() { return m_sim.TakeRequests(); }

    // The tester's bytes since the last call.
    Bytes TesterWireBytes() {
        Bytes bytes = m_sim.TesterWireBytes();
        m_sim.line->ClearRecords();
        return bytes;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // The KW1281 read requests of all twelve channels in table order.
    static std::vector<Bytes> Kw1281ReadAll() {
        std::vector<Bytes> reads;
        for (std::int16_t i = 0; i < 12; ++i) {
            reads.push_back({0x21, static_cast<std::uint8_t>(dravik::ChannelNumber(i))});
        }
        return reads;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scopedClock{clock};
    ecu_test::EcuOnCom1 m_sim;
};

TEST_F(LibraryFlow, Kw1281ConnectReadTestSetResetDisconnect) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    StartAndAccept();
    ASSERT_TRUE(window.Visible());
    EXPECT_TRUE(window.mnuConnectionType(1).Checked());

    Click(*window.btnConnect);
    EXPECT_EQ(window.statuses, (std::vector<std::string>{"Connecting to ECU...",
                                                         "Retrieving Settings...", "Connected."}));
    EXPECT_FALSE(window.btnConnect->Visible());
    EXPECT_TRUE(window.btnDisconnect->Visible());
    EXPECT_TRUE(window.tmrKeepalive->Enabled());
    std::vector<Bytes> connect(3, Bytes{0x09});
    for (const Bytes& read : Kw1281ReadAll()) connect.push_back(read);
    EXPECT_EQ(TakeRequests(), connect);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(window.Channels.TestedValues[i], dravik::ChannelDefault(i)) << i;
    }
    TesterWireBytes();

    EditAndTest(0, 300);  // Boost
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x22, 12, 0x01, 0x2C}, {0x21, 12}}));
    EXPECT_EQ(ecu.ActiveValue(12), 300);
    EXPECT_EQ(ecu.StoredValue(12), 255);
    EXPECT_EQ(window.Channels.TestedValues[0], 300);
    EXPECT_EQ(window.Channels.StartupValues[0], 255);
    // The test block on the wire: length, counter, title, channel, value, end.
    const Bytes wire = TesterWireBytes();
    ASSERT_GE(wire.size(), 7u);
    EXPECT_EQ(wire[0], 0x06);
    EXPECT_EQ(Bytes(wire.begin() + 2, wire.begin() + 7), (Bytes{0x22, 12, 0x01, 0x2C, 0x03}));

    // The user reads the confirmation for 600 ms: two keep-alives go out meanwhile.
    answer = [this](const MessageBoxCall& call) {
        timers.Advance(600);
        return forms::kIdYes;
    };
    Click(*window.btnSet);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].title, "Change Startup Parameters?");
    EXPECT_EQ(boxes.Calls()[0].style, 292);
    EXPECT_NE(boxes.Calls()[0].prompt.find("\r\n\r\nBoost = 117.19%\r\n\r\n"), std::string::npos);
    EXPECT_EQ(
        TakeRequests(),
        (std::vector<Bytes>{{0x09}, {0x09}, {0x2A, 12, 0x01, 0x2C, 0x00, 0x12, 0x34}, {0x21, 12}}));
    EXPECT_EQ(ecu.StoredValue(12), 300);
    EXPECT_EQ(window.Channels.StartupValues[0], 300);
    EXPECT_EQ(window.statuses.back(), "Connected.");  // a set without failure keeps it

    // Save what the ECU now starts with; load a file with another Boost: only the slider
    // moves while connected, nothing goes to the ECU.
    fileAnswer = ConfigHome() + "/stored.dkx";
    window.mnuFile(1).Choose();
    const std::string saved = ReadFile(*fileAnswer);
    EXPECT_EQ(saved.substr(0, 19), "FFV1.0\r\n117.1875%\r\n");
    fileAnswer = ConfigHome() + "/other.dkx";
    WriteFile(*fileAnswer, "FFV1.0\r\n110" + saved.substr(16));
    Click(*window.btnLoad);
    EXPECT_EQ(Value(0), 282);  // 110% of 256, rounded
    EXPECT_EQ(window.Channels.StartupValues[0], 300);
    EXPECT_TRUE(TakeRequests().empty());
    ASSERT_EQ(boxes.Calls().size(), 1u);

    window.mnuSpecial(0).Choose();  // no question asked
    EXPECT_EQ(boxes.Calls().size(), 1u);
    std::vector<Bytes> reset{{0x2A, 0, 0, 0, 0, 0x12, 0x34}, {0x21, 0}};
    for (const Bytes& read : Kw1281ReadAll()) reset.push_back(read);
    EXPECT_EQ(TakeRequests(), reset);
    EXPECT_EQ(Value(0), 255);
    EXPECT_EQ(window.Channels.StartupValues[0], 255);

    timers.Advance(270);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x09}}));

    Click(*window.btnDisconnect);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x06}}));
    EXPECT_EQ(window.statuses.back(), "Disconnected.");
    EXPECT_TRUE(window.btnConnect->Visible());
    EXPECT_FALSE(window.tmrKeepalive->Enabled());
    EXPECT_EQ(boxes.Calls().size(), 1u);  // the unanswered end request is no lost link
    timers.Advance(1000);
    EXPECT_TRUE(TakeRequests().empty());
}

// A failed connect after a session leaves the top line as before any connection.
TEST_F(LibraryFlow, FailedConnectClearsTheBoxCodeOfTheEarlierEcu) {
    StartEcu(EcuProtocol::Kw1281);
    StartAndAccept();
    const QRect strip(400, 5, 390, 26);
    const QImage unconnected = window.Grab().copy(strip);
    Click(*window.btnConnect);
    EXPECT_NE(window.Grab().copy(strip), unconnected);
    Click(*window.btnDisconnect);
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\Ortaline\\Devices", "COM3",
                                      "sim:no-such-line"));
    window.mnuConnectionType_Click(3);
    Click(*window.btnConnect);
    EXPECT_EQ(window.statuses.back(), "Could not connect.");
    EXPECT_EQ(window.Grab().copy(strip), unconnected);
}

TEST_F(LibraryFlow, Kwp2000ConnectReadTestSetResetDisconnect) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    StartAndAccept();
    Click(*window.btnConnect);
    EXPECT_EQ(window.statuses.back(), "Connected.");
    std::vector<Bytes> requests = TakeRequests();
    ASSERT_EQ(requests.size(), 1u + 12 * 4);
    EXPECT_EQ(requests[0], (Bytes{0x1A, 0x9B}));
    EXPECT_EQ(requests[3], (Bytes{0x31, 0xB9, 0x01, 0x03, 12}));
    EXPECT_EQ(window.EcuType().substr(0, 12), "DK0906032AB ");

    EditAndTest(3, 4);  // Timing, signed: 4 + 128 on the wire
    requests = TakeRequests();
    ASSERT_EQ(requests.size(), 4u + 2 + 4);
    EXPECT_EQ(requests[4], (Bytes{0x31, 0xB9, 0x01, 0x03, 0x00, 0x84}));
    EXPECT_EQ(ecu.ActiveValue(9), 132);
    EXPECT_EQ(window.Channels.TestedValues[3], 4);

    m_sim.line->ClearRecords();
    answer = [this](const MessageBoxCall&) {
        timers.Advance(300);
        return forms::kIdYes;
    };
    Click(*window.btnSet);
    requests = TakeRequests();
    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0], (Bytes{0x3E}));  // the keep-alive while the box was open
    EXPECT_TRUE(Contains(TesterWireBytes(), {0x3E}));
    EXPECT_TRUE(std::find(requests.begin(), requests.end(),
                          Bytes{0x31, 0xBB, 0x01, 0x03, 0x00, 0x84, 0x12, 0x34, 0x56, 0x78, 0x9A,
                                0xBC}) != requests.end());
    EXPECT_EQ(ecu.StoredValue(9), 132);
    EXPECT_EQ(window.Channels.StartupValues[3], 4);

    fileAnswer = ConfigHome() + "/kwp.dkx";
    Click(*window.btnSave);
    Edit(3, 7);
    Click(*window.btnLoad);  // back to the start-up value the file holds
    EXPECT_EQ(Value(3), 4);
    EXPECT_TRUE(TakeRequests().empty());

    Edit(3, 7);  // an untested edit: reset reads it back to the ECU's value
    window.mnuSpecial(0).Choose();
    EXPECT_EQ(ecu.StoredValue(9), 128);
    EXPECT_EQ(Value(3), 0);
    TakeRequests();

    Click(*window.btnDisconnect);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x82}}));
    EXPECT_EQ(window.statuses.back(), "Disconnected.");
}

TEST_F(LibraryFlow, Kwp2000RoutineLeftUnansweredIsADeniedSetAndTheLinkStaysUp) {
    auto& ecu = StartEcu(EcuProtocol::Kwp2000);
    StartAndAccept();
    Click(*window.btnConnect);
    EditAndTest(3, 4);
    answer = [&](const MessageBoxCall& call) {
        if (call.style == 292) {
            ecusim::Faults faults;
            faults.silence = true;  // the set's first routine request gets no answer
            ecu.SetFaults(faults);
        }
        return YesToTheConfirmation(call);
    };
    Click(*window.btnSet);
    ASSERT_EQ(boxes.Calls().size(), 2u);
    EXPECT_EQ(boxes.Calls()[1].prompt,
              "The following settings could not be changed to the requested values:\r\n\r\n"
              "Timing. Reason: The ECU denied setting this value");
    EXPECT_EQ(window.statuses.back(), "Some channels could not be set.");
    EXPECT_TRUE(window.bcc->IsConnected());
    EXPECT_EQ(window.Channels.StartupValues[3], 0);
    EXPECT_EQ(ecu.StoredValue(9), 128);
    TakeRequests();
    timers.Advance(270);
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x3E}}));  // and it answers again
    EXPECT_TRUE(window.bcc->IsConnected());
}

TEST_F(LibraryFlow, LinkLostInTheFirstReadEndsAsCouldNotConnect) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    ecusim::Faults faults;
    faults.dieAfterRequests = 3 + 2;  // identification, then two channels
    ecu.SetFaults(faults);
    StartAndAccept();
    Edit(1, 5);  // shown before the connect; kept as stored when its read is lost
    Click(*window.btnConnect);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].prompt, "Lost communication with ECU");
    EXPECT_EQ(boxes.Calls()[0].title, "Dravik");
    EXPECT_EQ(window.statuses, (std::vector<std::string>{
                                   "Connecting to ECU...", "Retrieving Settings...",
                                   "Disconnecting...", "Disconnected.", "Could not connect."}));
    EXPECT_TRUE(window.btnConnect->Visible());
    EXPECT_FALSE(window.tmrKeepalive->Enabled());
    EXPECT_FALSE(window.fReading);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(window.Channels.StartupValues[i], Value(i)) << i;
        EXPECT_EQ(window.Channels.TestedValues[i], Value(i)) << i;
    }
}

TEST_F(LibraryFlow, KeepaliveFailingUnderTheConfirmationLeavesEveryChannelUnstored) {
    auto& ecu = StartEcu(EcuProtocol::Kw1281);
    StartAndAccept();
    Click(*window.btnConnect);
    EditAndTest(0, 300);
    EditAndTest(1, 3);
    TakeRequests();
    answer = [&](const MessageBoxCall& call) {
        if (call.style == 292) {
            ecusim::Faults faults;
            faults.dieAfterRequests = 0;
            ecu.SetFaults(faults);
            timers.Advance(300);
            return forms::kIdYes;
        }
        return forms::kIdOk;
    };
    Click(*window.btnSet);
    ExpectOnlyLostChannelsReported("Boost,\r\nLambda Regulation");
    EXPECT_EQ(TakeRequests(), (std::vector<Bytes>{{0x09}}));  // the failing keep-alive alone
    EXPECT_EQ(ecu.StoredValue(12), 255);
}

}  // namespace
}  // namespace app_test
