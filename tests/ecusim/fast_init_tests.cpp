// The fast initialisation as the simulated ECU sees it on the wire: the measured pattern,
// the start request and its answer, and the ninth-bit bytes of an MCMESS unit.
#include "tester.h"

namespace ecusim::testing {
namespace {

using State = EcuSimulator::State;

class FastInitTest : public EcuTest {
public:
    // The pattern, then the request frame with its echo (written the moment the high
    // phase ends).
    void FastInit(double lowMs, double highMs, const Bytes& frame) {
        WaitMs(300);
        line.SetTesterBreak(true);
        WaitMs(lowMs);
        line.SetTesterBreak(false);
        WaitMs(highMs);
        line.TesterPurgeReceive();  // our own low phase reads back as a 0x00
        Write(frame);
        for (std::uint8_t b : frame) ASSERT_EQ(ReadValue(50), b) << "echo";
    }
    static Bytes Addressed(std::uint8_t format, const Bytes& payload, std::uint8_t target = 0x01) {
        Bytes f = payload;
        f.insert(f.begin(), {format, target, 0xF1});
        unsigned sum = 0;
        for (auto b : f) sum += b;
        f.push_back(static_cast<std::uint8_t>(sum));
        return f;
    }
    // One ninth-bit byte from the tester: parity set before it, the byte off the wire after.
    void WriteNinthBit(std::uint8_t value, bool ninth, kline::StopBits stopBits) {
        line.SetTesterFraming(
            {10400, 8, ninth ? kline::Parity::Mark : kline::Parity::Space, stopBits});
        Write({value});
        WaitMs(2);
    }
};

TEST_F(FastInitTest, OnlyPatternsInsideTheWindowsWakeTheUnit) {
    Make(EcuProtocol::Kwp2000);
    const Bytes start = Addressed(0x81, {0x81});
    struct Case {
        double lowMs, highMs;
        bool wakes;
    } cases[] = {{23.5, 26, false},
                 {26.5, 23.5, false},
                 {25, 26.5, false},
                 {25, 23.5, false},
                 {24.2, 25.5, true}};
    for (const Case& c : cases) {
        ecu->ClearLog();
        FastInit(c.lowMs, c.highMs, start);
        const Bytes reply = Payload(ReadFrame(200));
        ASSERT_EQ(ecu->FastInitReports().size(), 1u) << c.lowMs << "/" << c.highMs;
        const FastInitReport& report = ecu->FastInitReports()[0];
        EXPECT_NEAR(static_cast<double>(report.lowNs) / kMs, c.lowMs, 0.01);
        EXPECT_NEAR(static_cast<double>(report.highNs) / kMs, c.highMs, 0.01);
        EXPECT_EQ(report.woke, c.wakes) << c.lowMs << "/" << c.highMs << ": " << report.reason;
        EXPECT_EQ(reply, c.wakes ? (Bytes{0xC1, 0xE9, 0x8F}) : Bytes{});
        Settle();
    }
    // After the positive answer the unit is in a KWP2000 session.
    EXPECT_EQ(ecu->GetState(), State::Session);
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});
}

TEST_F(FastInitTest, StartRequestsTheUnitDoesNotKnowAreRefused) {
    Make(EcuProtocol::Kwp2000);
    FastInit(25, 25, Addressed(0x82, {0xA0, 0xA6}));
    EXPECT_EQ(Payload(ReadFrame()), (Bytes{0x7F, 0xA0, 0x11}));
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    Settle();
    // A 5-baud unit measures the pattern but does not wake up on it.
    Make(EcuProtocol::Kw1281);
    FastInit(25, 25, Addressed(0x81, {0x81}));
    EXPECT_EQ(ReadFrame(200), Bytes{});
    ASSERT_EQ(ecu->FastInitReports().size(), 1u);
    EXPECT_TRUE(ecu->FastInitReports()[0].valid);
    EXPECT_FALSE(ecu->FastInitReports()[0].woke);
}

TEST_F(FastInitTest, StartAnswerFaults) {
    Make(EcuProtocol::Kwp2000);
    const Bytes start = Addressed(0x81, {0x81});
    Faults f;
    f.negativeCode = 0x10;
    ecu->SetFaults(f);
    FastInit(25, 25, start);
    EXPECT_EQ(Payload(ReadFrame()), (Bytes{0x7F, 0x81, 0x10}));
    Settle();

    f = {};
    f.shortAnswerBytes = 2;
    ecu->SetFaults(f);
    FastInit(25, 25, start);
    EXPECT_EQ(Payload(ReadFrame()), (Bytes{0xC1, 0xE9}));
    Settle();

    f = {};
    f.lateMs = 200;
    ecu->SetFaults(f);
    FastInit(25, 25, start);
    const std::int64_t sent = Now();
    EXPECT_EQ(ReadFrame(100), Bytes{});
    EXPECT_EQ(Payload(ReadFrame(300)), (Bytes{0xC1, 0xE9, 0x8F}));
    EXPECT_GT(Now() - sent, 200 * kMs);
}

TEST_F(FastInitTest, McMessUnitSpeaksNinthBitBytesAfterItsStart) {
    Make(EcuProtocol::McMess);
    FastInit(25, 25, Addressed(0x82, {0xA0, 0xA6}, 0x01));
    EXPECT_EQ(Payload(ReadFrame()), (Bytes{0xE0, 0xE9, 0x8F}));
    WaitMs(5);
    const kline::Framing ninth{10400, 8, kline::Parity::Space, kline::StopBits::Two};
    EXPECT_EQ(line.PeerFraming(), ninth);

    // Command 0x12 (ninth bit set) with one parameter: acknowledged 0x52, the parameter and
    // the sum, the acknowledgement alone with its ninth bit.
    WriteNinthBit(0x12, true, kline::StopBits::Two);
    WriteNinthBit(0x34, false, kline::StopBits::Two);
    line.TesterPurgeReceive();
    std::vector<kline::ReceivedByte> reply;
    while (auto b = Read(50)) reply.push_back(*b);
    ASSERT_EQ(reply.size(), 3u);
    const Bytes values{reply[0].value, reply[1].value, reply[2].value};
    EXPECT_EQ(values, (Bytes{0x52, 0x34, 0x86}));
    EXPECT_TRUE(reply[0].parityBit);
    EXPECT_TRUE(reply[0].parityError);  // what a tester listening at space parity sees
    EXPECT_FALSE(reply[1].parityBit);
    EXPECT_FALSE(reply[2].parityBit);
    EXPECT_EQ(ecu->Log().back().bytes, (Bytes{0x52, 0x34}));

    // Bytes without a command before them are not a request.
    WaitMs(20);
    WriteNinthBit(0x12, false, kline::StopBits::Two);
    line.TesterPurgeReceive();
    EXPECT_FALSE(Read(50).has_value());

    Faults f;
    f.negativeCode = 0x22;
    ecu->SetFaults(f);
    WriteNinthBit(0x1A, true, kline::StopBits::Two);
    line.TesterPurgeReceive();
    Bytes refused;
    while (auto b = ReadValue(50)) refused.push_back(*b);
    EXPECT_EQ(refused, (Bytes{0x7F, 0x1A, 0x22, 0xBB}));
}

}  // namespace
}  // namespace ecusim::testing
