// What the tester's own receiver makes of the line: its echo, a held break, and characters
// sent at a baud rate other than the receiver's.
#include "wire_fixture.h"

namespace kline::testing {
namespace {

constexpr std::int64_t kBit10400 = 1'000'000'000 / 10400;  // 96153 ns

class EchoAndBreak : public WireTest {};

TEST_F(EchoAndBreak, EchoArrivesByteByByteAtTheBitTimes) {
    const std::int64_t t0 = clock.NowNs();
    Write({0x81, 0x10, 0xF1, 0x81, 0x03});
    EXPECT_EQ(line.TesterTransmitDoneNs(), t0 + 5 * Framing{}.CharacterNs());

    WaitMs(10);
    const std::vector<ReceivedByte> echo = ReadAll();
    ASSERT_EQ(Values(echo), (std::vector<std::uint8_t>{0x81, 0x10, 0xF1, 0x81, 0x03}));
    // First delivery in the middle of the first stop bit, then one every 10 bit times.
    EXPECT_NEAR(echo[0].timeNs - t0, 9.5 * 1e9 / 10400, 1);
    for (std::size_t i = 1; i < echo.size(); ++i) {
        EXPECT_NEAR(echo[i].timeNs - echo[i - 1].timeNs, 10 * 1e9 / 10400, 1);
    }
    for (const ReceivedByte& b : echo) {
        EXPECT_FALSE(b.framingError || b.parityError || b.breakCondition);
    }
    ASSERT_EQ(line.Traffic().size(), 5u);
    EXPECT_EQ(line.Traffic()[0].sender, Side::Tester);
    EXPECT_EQ(line.Traffic()[4].endNs, t0 + 5 * Framing{}.CharacterNs());
    EXPECT_EQ(peer->bytes.size(), 5u);
}

TEST_F(EchoAndBreak, ReaderSeesExactlyTheBytesArrivedByNow) {
    std::vector<std::uint8_t> frame(30, 0xA5);
    line.TesterWrite(frame.data(), frame.size());
    WaitMs(25);
    // Byte k arrives at 9.5 + 10k bit times: 26 of them by 25 ms.
    EXPECT_EQ(line.TesterAvailable(), 26u);
    Wait(kBit10400 * 40);
    EXPECT_EQ(line.TesterAvailable(), 30u);
}

TEST_F(EchoAndBreak, BreakReadsAsOneZeroWithFramingErrorHoweverLong) {
    for (std::int64_t heldMs : {2, 25, 300, 5000}) {
        SCOPED_TRACE(heldMs);
        const std::int64_t t0 = clock.NowNs();
        line.SetTesterBreak(true);
        EXPECT_FALSE(line.LineHigh());
        WaitMs(heldMs);
        line.SetTesterBreak(false);
        WaitMs(50);
        const std::vector<ReceivedByte> got = ReadAll();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].value, 0x00);
        EXPECT_TRUE(got[0].framingError);
        EXPECT_TRUE(got[0].breakCondition);
        EXPECT_FALSE(got[0].parityError);
        EXPECT_NEAR(got[0].timeNs - t0, 9.5 * 1e9 / 10400, 1);
    }
    // After the line is high again a new start bit is a normal byte.
    Write({0x55});
    WaitMs(2);
    const std::vector<ReceivedByte> got = ReadAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, 0x55);
    EXPECT_FALSE(got[0].framingError);
}

TEST_F(EchoAndBreak, BreakIsRecordedWithModemLinesAndLevels) {
    const std::int64_t t0 = clock.NowNs();
    line.SetTesterDtr(true);
    line.SetTesterRts(true);
    line.SetTesterBreak(true);
    line.SetTesterBreak(true);  // no change, no record
    WaitMs(200);
    line.SetTesterBreak(false);
    using K = LineEvent::Kind;
    std::vector<std::pair<K, std::int64_t>> seen;
    for (const LineEvent& e : line.Events()) seen.emplace_back(e.kind, e.timeNs - t0);
    const std::vector<std::pair<K, std::int64_t>> expected{
        {K::Dtr, 0},   {K::Rts, 0},           {K::Break, 0},
        {K::Level, 0}, {K::Break, 200 * kMs}, {K::Level, 200 * kMs}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(line.TesterDtr());
    EXPECT_FALSE(line.Events()[3].on);
    EXPECT_TRUE(line.Events()[5].on);
    line.ClearRecords();
    EXPECT_TRUE(line.Events().empty());
}

TEST_F(EchoAndBreak, FiveBaudCharacterIsGarbageAtTenFourHundredAndCleanAtFive) {
    Framing slow;
    slow.baud = 5;
    EXPECT_EQ(slow.CharacterNs(), 2'000'000'000);

    for (std::uint8_t address : {0x01, 0x33, 0xFF, 0x8A}) {
        SCOPED_TRACE(static_cast<int>(address));
        peer->bytes.clear();
        line.SetTesterFraming(slow);
        const std::int64_t t0 = clock.NowNs();
        Write({address});
        EXPECT_EQ(line.TesterTransmitDoneNs(), t0 + 2'000'000'000);
        WaitMs(2100);
        // The 10400-baud peer: never the address as a clean byte.
        for (const ReceivedByte& b : peer->bytes) {
            EXPECT_TRUE(b.value != address || b.framingError || b.breakCondition);
        }
        // The tester's own 5-baud receiver: the address, in the middle of the stop bit.
        const std::vector<ReceivedByte> echo = ReadAll();
        ASSERT_EQ(echo.size(), 1u);
        EXPECT_EQ(echo[0].value, address);
        EXPECT_FALSE(echo[0].framingError);
        EXPECT_EQ(echo[0].timeNs - t0, 1'900'000'000);
        EXPECT_EQ(line.Traffic().back().endNs - line.Traffic().back().startNs, 2'000'000'000);
    }

    // A peer listening at 5 baud gets it cleanly.
    peer->bytes.clear();
    line.SetPeerFraming(slow);
    Write({0x33});
    WaitMs(2100);
    ASSERT_EQ(peer->bytes.size(), 1u);
    EXPECT_EQ(peer->bytes[0].value, 0x33);
    EXPECT_FALSE(peer->bytes[0].framingError);
}

TEST_F(EchoAndBreak, TenFourHundredByteIsNotReadByAFiveBaudReceiver) {
    Framing slow;
    slow.baud = 5;
    line.SetPeerFraming(slow);
    Write({0x55, 0x55, 0x55});
    WaitMs(3000);
    // A 0.3 ms start bit is high again at the 100 ms sample: a glitch, not a character.
    EXPECT_TRUE(peer->bytes.empty());
}

}  // namespace
}  // namespace kline::testing
