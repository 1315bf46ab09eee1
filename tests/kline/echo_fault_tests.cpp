// Faults of the tester's interface in its own echo: which bytes they hit, what the tester's
// UART then receives, and that the peer and the line stay untouched.
#include "wire_fixture.h"

namespace kline::testing {
namespace {

using Effect = EchoFault::Effect;

class EchoFaults : public WireTest {
protected:
    EchoFault Fault(Effect effect, std::size_t skip = 0, int times = 1) {
        EchoFault fault;
        fault.effect = effect;
        fault.skip = skip;
        fault.times = times;
        return fault;
    }
    std::vector<std::uint8_t> PeerHeard() const {
        std::vector<std::uint8_t> v;
        for (const ReceivedByte& b : peer->bytes) v.push_back(b.value);
        return v;
    }
};

TEST_F(EchoFaults, EachEffectChangesOnlyWhatTheTesterReceives) {
    struct Case {
        EchoFault fault;
        std::vector<std::uint8_t> received;
    };
    EchoFault replace = Fault(Effect::Replace, 1);
    replace.replacement = 0x5A;
    EchoFault zeros = Fault(Effect::StrayZeros, 1);
    zeros.strayZeros = 3;
    const std::vector<Case> cases{
        {Fault(Effect::Drop, 1), {0x81, 0x03}},
        {replace, {0x81, 0x5A, 0x03}},
        {zeros, {0x81, 0x00, 0x00, 0x00, 0x10, 0x03}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault.effect));
        peer->bytes.clear();
        line.ClearRecords();
        line.InjectTesterEchoFault(c.fault);
        const std::int64_t t0 = clock.NowNs();
        Write({0x81, 0x10, 0x03});
        WaitMs(10);
        const std::vector<ReceivedByte> got = ReadAll();
        EXPECT_EQ(Values(got), c.received);
        for (const ReceivedByte& b : got) {
            EXPECT_FALSE(b.framingError || b.parityError || b.breakCondition);
        }
        // The peer hears, and the wire carries, what was sent.
        EXPECT_EQ(PeerHeard(), (std::vector<std::uint8_t>{0x81, 0x10, 0x03}));
        ASSERT_EQ(line.Traffic().size(), 3u);
        EXPECT_EQ(line.Traffic()[1].value, 0x10);

        ASSERT_EQ(line.EchoFaultHits().size(), 1u);
        const EchoFaultHit& hit = line.EchoFaultHits()[0];
        EXPECT_EQ(hit.sent, 0x10);
        EXPECT_EQ(hit.effect, c.fault.effect);
        // When the echo of the second byte would have been delivered.
        EXPECT_NEAR(hit.timeNs - t0, 19.5 * 1e9 / 10400, 1);
        EXPECT_EQ(line.ArmedTesterEchoFaults(), 0u);
    }
}

TEST_F(EchoFaults, StrayZerosComeJustBeforeTheRealEcho) {
    line.InjectTesterEchoFault(Fault(Effect::StrayZeros));
    Write({0x0F});
    WaitMs(5);
    const std::vector<ReceivedByte> got = ReadAll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].value, 0x00);
    EXPECT_EQ(got[0].timeNs, got[1].timeNs);
    EXPECT_EQ(got[1].value, 0x0F);
}

TEST_F(EchoFaults, ValueFilterSkipAndTimesPickTheBytes) {
    EchoFault fault = Fault(Effect::Replace, 1, 2);
    fault.value = 0x22;
    fault.replacement = 0xEE;
    line.InjectTesterEchoFault(fault);
    EXPECT_EQ(line.ArmedTesterEchoFaults(), 2u);
    // The peer's bytes of that value are not the tester's and do not count.
    const std::uint8_t peerByte = 0x22;
    line.PeerTransmit(&peerByte, 1, clock.NowNs());
    WaitMs(2);
    Write({0x22, 0x10, 0x22, 0x22, 0x22});
    WaitMs(10);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x22, 0x22, 0x10, 0xEE, 0xEE, 0x22}));
    EXPECT_EQ(line.EchoFaultHits().size(), 2u);
    EXPECT_EQ(line.ArmedTesterEchoFaults(), 0u);
}

TEST_F(EchoFaults, CountingStartsWithTheNextByteToStart) {
    Write({0x01, 0x02});
    Wait(3 * 1'000'000'000LL / 10400);  // inside the first byte
    line.InjectTesterEchoFault(Fault(Effect::Drop));
    WaitMs(5);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x01}));
    ASSERT_EQ(line.EchoFaultHits().size(), 1u);
    EXPECT_EQ(line.EchoFaultHits()[0].sent, 0x02);
}

TEST_F(EchoFaults, FaultPickingATakenByteWaitsForTheNext) {
    line.InjectTesterEchoFault(Fault(Effect::Drop));
    EchoFault replace = Fault(Effect::Replace);
    replace.replacement = 0x77;
    line.InjectTesterEchoFault(replace);
    Write({0x01, 0x02, 0x03});
    WaitMs(5);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x77, 0x03}));
    ASSERT_EQ(line.EchoFaultHits().size(), 2u);
    EXPECT_EQ(line.EchoFaultHits()[0].effect, Effect::Drop);
    EXPECT_EQ(line.EchoFaultHits()[1].sent, 0x02);
}

TEST_F(EchoFaults, ArmedAcrossPortReopenUntilCleared) {
    line.InjectTesterEchoFault(Fault(Effect::Drop, 0, 3));
    ASSERT_TRUE(line.ClaimTester());
    Write({0x01});
    WaitMs(2);
    line.ReleaseTester();
    ASSERT_TRUE(line.ClaimTester());
    Write({0x02});
    WaitMs(2);
    EXPECT_TRUE(ReadAll().empty());
    EXPECT_EQ(line.ArmedTesterEchoFaults(), 1u);

    line.ClearTesterEchoFaults();
    EXPECT_EQ(line.ArmedTesterEchoFaults(), 0u);
    Write({0x03});
    WaitMs(2);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x03}));
    EXPECT_EQ(line.EchoFaultHits().size(), 2u);
    line.ClearRecords();
    EXPECT_TRUE(line.EchoFaultHits().empty());
}

TEST_F(EchoFaults, EchoNotDecodedOnItsOwnUsesThePickWithoutAHit) {
    // Under a held break the tester's byte starts no character of its own.
    line.SetTesterBreak(true);
    WaitMs(1);
    line.InjectTesterEchoFault(Fault(Effect::Replace));
    Write({0x55});
    WaitMs(3);
    line.SetTesterBreak(false);
    WaitMs(3);
    EXPECT_TRUE(line.EchoFaultHits().empty());
    EXPECT_EQ(line.ArmedTesterEchoFaults(), 0u);
    // A later byte's echo is clean.
    ReadAll();
    Write({0x42});
    WaitMs(2);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x42}));
}

TEST_F(EchoFaults, DisconnectedCableLosesTheEchoInFlight) {
    EchoFault fault = Fault(Effect::Replace, 0, 2);
    fault.replacement = 0x77;
    line.InjectTesterEchoFault(fault);
    Write({0x00, 0x12});  // the line stays low through the first byte's data bits
    Wait(3 * 1'000'000'000LL / 10400);
    line.SetTesterConnected(false);
    line.SetTesterConnected(true);
    WaitMs(5);
    // The first echo was cut off; the second byte's echo is hit as usual.
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x77}));
    ASSERT_EQ(line.EchoFaultHits().size(), 1u);
    EXPECT_EQ(line.EchoFaultHits()[0].sent, 0x12);
}

}  // namespace
}  // namespace kline::testing
