// Character formats: parity kinds, short data words, stop bits, and framing changes.
#include "wire_fixture.h"

namespace kline::testing {
namespace {

class FramingTest : public WireTest {
protected:
    // The peer sends values in its framing; the tester reads them in its own.
    std::vector<ReceivedByte> PeerSends(const Framing& sent, const Framing& heard,
                                        const std::vector<std::uint8_t>& values) {
        line.SetPeerFraming(sent);
        line.SetTesterFraming(heard);
        line.PeerTransmit(values.data(), values.size(), clock.NowNs());
        Wait(sent.CharacterNs() * static_cast<std::int64_t>(values.size() + 1));
        return ReadAll();
    }
};

Framing Make(int dataBits, Parity parity, StopBits stop = StopBits::One) {
    Framing f;
    f.dataBits = dataBits;
    f.parity = parity;
    f.stopBits = stop;
    return f;
}

const std::vector<std::uint8_t> kValues{0x00, 0x01, 0x03, 0x55, 0x7F, 0x80, 0xAA, 0xFE, 0xFF};

TEST_F(FramingTest, EveryParityKindAndWordLengthDecodesCleanly) {
    for (int dataBits : {7, 8}) {
        for (Parity parity :
             {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space}) {
            SCOPED_TRACE(::testing::Message()
                         << dataBits << " bits, parity " << static_cast<int>(parity));
            const Framing f = Make(dataBits, parity);
            const std::vector<ReceivedByte> got = PeerSends(f, f, kValues);
            ASSERT_EQ(got.size(), kValues.size());
            const unsigned mask = (1u << dataBits) - 1;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].value, kValues[i] & mask);
                EXPECT_FALSE(got[i].parityError || got[i].framingError);
            }
        }
    }
}

TEST_F(FramingTest, ParityMismatchIsFlagged) {
    // Odd against even differs for every value; mark against space too.
    const std::pair<Parity, Parity> mismatches[] = {{Parity::Even, Parity::Odd},
                                                    {Parity::Odd, Parity::Even},
                                                    {Parity::Mark, Parity::Space},
                                                    {Parity::Space, Parity::Mark}};
    for (const auto& [sent, heard] : mismatches) {
        SCOPED_TRACE(static_cast<int>(sent));
        const std::vector<ReceivedByte> got =
            PeerSends(Make(8, sent), Make(8, heard), {0x00, 0x01, 0x7E, 0xFF});
        ASSERT_EQ(got.size(), 4u);
        for (const ReceivedByte& b : got) {
            EXPECT_TRUE(b.parityError);
            EXPECT_FALSE(b.framingError);
        }
    }
    // Mark parity read as no parity: the ninth bit lands on the stop bit and passes.
    const std::vector<ReceivedByte> asNone =
        PeerSends(Make(8, Parity::Mark), Make(8, Parity::None), {0x12});
    ASSERT_EQ(asNone.size(), 1u);
    EXPECT_FALSE(asNone[0].framingError);
    // Space parity read as no parity: a low where the stop bit should be.
    const std::vector<ReceivedByte> spaceAsNone =
        PeerSends(Make(8, Parity::Space), Make(8, Parity::None), {0x12});
    ASSERT_EQ(spaceAsNone.size(), 1u);
    EXPECT_EQ(spaceAsNone[0].value, 0x12);
    EXPECT_TRUE(spaceAsNone[0].framingError);
    EXPECT_FALSE(spaceAsNone[0].breakCondition);
}

TEST_F(FramingTest, CharacterLengthFollowsTheFraming) {
    const double bit = 1e9 / 10400;
    EXPECT_NEAR(Make(8, Parity::None).CharacterNs(), 10 * bit, 1);
    EXPECT_NEAR(Make(8, Parity::Even).CharacterNs(), 11 * bit, 1);
    EXPECT_NEAR(Make(7, Parity::Even, StopBits::Two).CharacterNs(), 11 * bit, 1);
    EXPECT_NEAR(Make(8, Parity::None, StopBits::OnePointFive).CharacterNs(), 10.5 * bit, 1);
    Framing zero;
    zero.baud = 0;
    zero.dataBits = 12;
    EXPECT_GT(zero.CharacterNs(), 0);  // nonsense framing neither divides by zero nor overflows

    const std::int64_t t0 = clock.NowNs();
    const Framing two = Make(8, Parity::None, StopBits::Two);
    line.SetTesterFraming(two);
    Write({0x01, 0x02});
    EXPECT_NEAR(line.TesterTransmitDoneNs() - t0, 22 * bit, 1);
    WaitMs(5);
    const std::vector<ReceivedByte> got = ReadAll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NEAR(got[1].timeNs - got[0].timeNs, 11 * bit, 1);
}

TEST_F(FramingTest, FramingChangeAppliesToCharactersNotYetStarted) {
    Write({0x41, 0x42, 0x43});
    Wait(Framing{}.CharacterNs() / 2);
    Framing fast;
    fast.baud = 9600;
    line.SetTesterFraming(fast);
    WaitMs(5);
    const std::vector<WireByte>& traffic = line.Traffic();
    ASSERT_EQ(traffic.size(), 3u);
    EXPECT_EQ(traffic[0].framing.baud, 10400u);
    EXPECT_EQ(traffic[1].framing.baud, 9600u);
    EXPECT_EQ(traffic[1].startNs, traffic[0].endNs);
    EXPECT_EQ(traffic[2].endNs - traffic[2].startNs, fast.CharacterNs());
    // The 10400-baud peer hears the first byte right; the rest are at the wrong rate.
    ASSERT_FALSE(peer->bytes.empty());
    EXPECT_EQ(peer->bytes[0].value, 0x41);
    EXPECT_FALSE(peer->bytes[0].framingError);
}

}  // namespace
}  // namespace kline::testing
