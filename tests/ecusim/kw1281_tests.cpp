#include "tester.h"

namespace ecusim::testing {
namespace {

using State = EcuSimulator::State;
using Bytes = std::vector<std::uint8_t>;

// A tester in a KW1281 session, keeping the block counter.
class Kw1281Test : public EcuTest {
public:
    void Connect(EcuConfig config = DefaultConfig(EcuProtocol::Kw1281)) {
        Make(std::move(config));
        Wake();
    }
    void Wake() {
        BitBang8(0x01);
        Handshake(false);
        first = ReceiveBlock();
        counter = first.size() > 1 ? first[1] : 0;
    }
    // One request block and the answer block (empty when none comes).
    Bytes Ask(std::uint8_t title, const Bytes& data = {}) {
        EXPECT_EQ(SendBlock(++counter, title, data), data.size() + 4) << "acknowledged bytes";
        Bytes reply = ReceiveBlock(300);
        if (reply.size() > 1) counter = reply[1];
        return reply;
    }
    // Title and data of an answer block.
    static Bytes Body(const Bytes& block) {
        return block.size() < 4 ? Bytes{} : Bytes(block.begin() + 2, block.end() - 1);
    }

    Bytes first;
    std::uint8_t counter = 0;
};

Bytes Text(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(Kw1281Test, IdentificationThenAcknowledgeKeepsTheLinkAlive) {
    Connect();
    // Length 0x0F, counter 1, title 0xF6 and 12 text bytes, block end.
    Bytes expected{0x0F, 0x01, 0xF6};
    for (auto b : Text("DK0906032AB ")) expected.push_back(b);
    expected.push_back(0x03);
    EXPECT_EQ(first, expected);
    // The second block carries the workshop code at reply elements 4 and 5.
    const Bytes wsc = Body(Ask(0x09));
    ASSERT_EQ(wsc.size(), 6u);
    EXPECT_EQ(wsc[0], 0xF6);
    EXPECT_EQ(wsc[4], 0x12);
    EXPECT_EQ(wsc[5], 0x34);
    Bytes third{0xF6};
    for (auto b : Text("1.8L R4/5VT 0002")) third.push_back(b);
    EXPECT_EQ(Body(Ask(0x09)), third);
    EXPECT_EQ(Body(Ask(0x09)), Bytes{0x09});
    EXPECT_EQ(Body(Ask(0x09)), Bytes{0x09});
    // Identification on request starts the listing again.
    EXPECT_EQ(Body(Ask(0x00)), Body(first));
}

TEST_F(Kw1281Test, BlockCountersRunOnPast255InBothDirections) {
    Connect();
    for (int i = 0; i < 140; ++i) {
        const std::uint8_t mine = static_cast<std::uint8_t>(counter + 1);
        const Bytes reply = Ask(0x09);
        ASSERT_GE(reply.size(), 4u) << "exchange " << i;
        ASSERT_EQ(reply[1], static_cast<std::uint8_t>(mine + 1)) << "exchange " << i;
    }
    EXPECT_LT(counter, 40);  // wrapped
    EXPECT_EQ(ecu->GetState(), State::Session);
    // A block with a counter out of turn ends the session.
    ASSERT_EQ(SendBlock(static_cast<std::uint8_t>(counter + 5), 0x09, {}), 4u);
    EXPECT_TRUE(ReceiveBlock(300).empty());
    EXPECT_EQ(ecu->GetState(), State::Asleep);
}

TEST_F(Kw1281Test, AdaptationReadTestStoreAndReset) {
    Connect();
    EXPECT_EQ(Body(Ask(0x21, {12})), (Bytes{0xE6, 12, 0x00, 0xFF}));
    // A test changes the active value only.
    EXPECT_EQ(Body(Ask(0x22, {12, 0x01, 0x2C})), (Bytes{0xE6, 12, 0x01, 0x2C}));
    EXPECT_EQ(Body(Ask(0x21, {12})), (Bytes{0xE6, 12, 0x01, 0x2C}));
    EXPECT_EQ(ecu->StoredValue(12), 255);
    // Beyond the limit it is clamped (boost goes to 333).
    EXPECT_EQ(Body(Ask(0x22, {12, 0x02, 0x00})), (Bytes{0xE6, 12, 0x01, 0x4D}));
    // Store with the workshop code.
    EXPECT_EQ(Body(Ask(0x2A, {12, 0x01, 0x00, 0x00, 0xAB, 0xCD})), (Bytes{0xE6, 12, 0x01, 0x00}));
    EXPECT_EQ(ecu->StoredValue(12), 256);
    EXPECT_EQ(ecu->LastStoreWorkshopCode(), (Bytes{0xAB, 0xCD}));
    // Tests are forgotten at the next session, stored values are not.
    EXPECT_EQ(Body(Ask(0x22, {7, 0x00, 0x90})), (Bytes{0xE6, 7, 0x00, 0x90}));
    EXPECT_EQ(SendBlock(++counter, 0x06, {}), 4u);
    EXPECT_TRUE(ReceiveBlock(300).empty());
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    Wake();
    EXPECT_EQ(Body(Ask(0x21, {12})), (Bytes{0xE6, 12, 0x01, 0x00}));
    EXPECT_EQ(Body(Ask(0x21, {7})), (Bytes{0xE6, 7, 0x00, 0x80}));
    // Channel 0 resets every channel to its default.
    EXPECT_EQ(Body(Ask(0x2A, {0, 0, 0, 0, 0xAB, 0xCD})).at(0), 0xE6);
    EXPECT_EQ(Body(Ask(0x21, {12})), (Bytes{0xE6, 12, 0x00, 0xFF}));
    // Unknown channels, malformed requests and unknown titles get a NAK.
    EXPECT_EQ(Body(Ask(0x21, {99})), Bytes{0x0A});
    EXPECT_EQ(Body(Ask(0x22, {12, 1})), Bytes{0x0A});
    EXPECT_EQ(Body(Ask(0x55, {})), Bytes{0x0A});
    EXPECT_EQ(ecu->GetState(), State::Session);
}

TEST_F(Kw1281Test, DenyRuleRefusesOutOfLimitValues) {
    EcuConfig c = DefaultConfig(EcuProtocol::Kw1281);
    c.outOfLimit = OutOfLimit::Deny;
    Connect(c);
    EXPECT_EQ(Body(Ask(0x22, {12, 0x02, 0x00})), Bytes{0x0A});
    EXPECT_EQ(Body(Ask(0x2A, {12, 0x00, 0x10, 0, 1, 2})), Bytes{0x0A});
    EXPECT_EQ(ecu->ActiveValue(12), 255);
    EXPECT_EQ(ecu->StoredValue(12), 255);
}

TEST_F(Kw1281Test, ComplementFaultsAndTheEcuGivingUp) {
    Connect();
    Faults f;
    f.wrongComplementAt = 1;
    ecu->SetFaults(f);
    EXPECT_EQ(SendBlock(++counter, 0x09, {}), 1u);
    WaitMs(500);
    EXPECT_EQ(ecu->GetState(), State::Asleep);  // the tester stopped: the ECU gave up

    Wake();
    f = {};
    f.missingComplementAt = 2;
    ecu->SetFaults(f);
    EXPECT_EQ(SendBlock(++counter, 0x09, {}), 2u);

    // The tester not answering the ECU's byte makes it go quiet.
    WaitMs(500);
    BitBang8(0x01);
    Handshake(false);
    EXPECT_EQ(ReadValue(), 0x0F);
    WaitMs(500);
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    EXPECT_FALSE(ReadValue(100));
}

TEST_F(Kw1281Test, ReplyFaults) {
    Connect();
    Faults f;
    f.badBlockCounter = true;
    ecu->SetFaults(f);
    const std::uint8_t expected = static_cast<std::uint8_t>(counter + 2);
    Bytes reply = Ask(0x09);
    ASSERT_GE(reply.size(), 2u);
    EXPECT_NE(reply[1], expected);
    counter = expected;  // the ECU counts on regardless

    f = {};
    f.missingByteAt = 3;
    ecu->SetFaults(f);
    EXPECT_EQ(SendBlock(++counter, 0x09, {}), 4u);
    EXPECT_EQ(ReceiveBlock(300).size(), 3u);

    Wake();
    f = {};
    f.silence = true;
    ecu->SetFaults(f);
    EXPECT_EQ(SendBlock(++counter, 0x09, {}), 4u);
    EXPECT_TRUE(ReceiveBlock(300).empty());
    EXPECT_EQ(ecu->GetState(), State::Session);
    EXPECT_EQ(Body(Ask(0x09)).at(0), 0xF6);  // silence was one-shot

    f = {};
    f.dieAfterRequests = 1;
    ecu->SetFaults(f);
    EXPECT_FALSE(Ask(0x09).empty());
    EXPECT_TRUE(Ask(0x09).empty());
    EXPECT_EQ(ecu->GetState(), State::Dead);
    BitBang8(0x01);
    EXPECT_FALSE(ReadValue(600));
    ecu->SetFaults({});
    Wake();
    EXPECT_EQ(first.at(2), 0xF6);
}

TEST_F(Kw1281Test, EchoFaultsComeFromTheLine) {
    Connect();
    Faults f;
    f.corruptEchoAt = 1;
    ecu->SetFaults(f);
    WaitMs(1);
    Write({0x03});
    EXPECT_EQ(ReadValue(50), 0x03);
    EXPECT_EQ(ReadValue(50), 0xFC);
    WaitMs(1);
    Write({static_cast<std::uint8_t>(counter + 1)});
    EXPECT_EQ(ReadValue(50), 0x00);  // the ECU pulled the line during our byte

    WaitMs(500);
    Wake();
    f = {};
    f.dropEchoAt = 0;
    ecu->SetFaults(f);
    WaitMs(1);
    Write({0x03});
    auto echo = Read(50);
    ASSERT_TRUE(echo);
    EXPECT_TRUE(echo->framingError);
}

TEST_F(Kw1281Test, SessionEndsWithoutRequests) {
    Connect();
    WaitMs(4900);
    EXPECT_EQ(ecu->GetState(), State::Session);
    WaitMs(200);
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    // A new wake-up always starts over, also in the middle of a session.
    Wake();
    Wake();
    EXPECT_EQ(first.at(1), 0x01);
}

}  // namespace
}  // namespace ecusim::testing
