// The serial layer's rules on their own: timeouts, DCB checks, the receive stream.
#include <gtest/gtest.h>

#include <vector>

#include "dcb_rules.h"
#include "parmrk_decoder.h"
#include "read_plan.h"
#include "receive_queue.h"
#include "serial/comm.h"
#include "serial/device_map.h"

namespace {

using serial::RxByte;

TEST(PortName, AcceptsComNamesOnly) {
    EXPECT_EQ(serial::PortNumberFromName("\\\\.\\COM3"), 3);
    EXPECT_EQ(serial::PortNumberFromName("\\\\.\\COM12"), 12);
    EXPECT_EQ(serial::PortNumberFromName("com4"), 4);
    for (const char* bad :
         {"COM0", "COM", "COM1x", "\\\\.\\LPT1", "COM007", "", "COM99999999999"}) {
        EXPECT_EQ(serial::PortNumberFromName(bad), 0) << bad;
    }
    EXPECT_EQ(serial::PortNumberFromName(nullptr), 0);
}

TEST(ReadPlan, FollowsTheWindowsTimeoutRules) {
    constexpr std::int64_t ms = 1'000'000;
    // The library's setting: a 1-byte read waits up to the constant.
    auto p = serial::PlanRead({60, 0, 1500, 0, 0}, 1);
    EXPECT_EQ(p.totalNs, 1500 * ms);
    EXPECT_EQ(p.intervalNs, 60 * ms);
    EXPECT_FALSE(p.returnAtOnce || p.returnOnFirstByte);

    p = serial::PlanRead({0, 10, 5, 0, 0}, 4);
    EXPECT_EQ(p.totalNs, 45 * ms);
    EXPECT_LT(p.intervalNs, 0);

    p = serial::PlanRead({0, 0, 0, 0, 0}, 4);  // wait for all bytes
    EXPECT_LT(p.totalNs, 0);
    EXPECT_LT(p.intervalNs, 0);

    EXPECT_TRUE(serial::PlanRead({MAXDWORD, 0, 0, 0, 0}, 8).returnAtOnce);

    p = serial::PlanRead({MAXDWORD, MAXDWORD, 200, 0, 0}, 8);
    EXPECT_TRUE(p.returnOnFirstByte);
    EXPECT_EQ(p.totalNs, 200 * ms);

    // A huge multiplier is an endless wait, not an overflowed short one.
    EXPECT_LT(serial::PlanRead({0, MAXDWORD, 5, 0, 0}, MAXDWORD).totalNs, 0);

    EXPECT_LT(serial::WriteTotalNs({0, 0, 0, 0, 0}, 10), 0);
    EXPECT_EQ(serial::WriteTotalNs({0, 0, 0, 2, 3}, 10), 23 * ms);
}

TEST(Dcb, RefusesWhatAUartCannotDo) {
    DCB ok = serial::InitialDcb({});
    ok.BaudRate = 10400;
    EXPECT_EQ(serial::ValidateDcb(ok), ERROR_SUCCESS);

    auto refused = [&](auto change) {
        DCB d = ok;
        change(d);
        return serial::ValidateDcb(d) == ERROR_INVALID_PARAMETER;
    };
    EXPECT_TRUE(refused([](DCB& d) { d.BaudRate = 0; }));
    EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 4; }));
    EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 9; }));
    EXPECT_TRUE(refused([](DCB& d) { d.Parity = 5; }));
    EXPECT_TRUE(refused([](DCB& d) { d.StopBits = 3; }));
    EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 5, d.StopBits = TWOSTOPBITS; }));
    EXPECT_TRUE(refused([](DCB& d) { d.StopBits = ONE5STOPBITS; }));
    EXPECT_TRUE(refused([](DCB& d) { d.fOutX = 1, d.XonChar = d.XoffChar = 0x11; }));
    EXPECT_FALSE(refused([](DCB& d) { d.ByteSize = 5, d.StopBits = ONE5STOPBITS; }));
    EXPECT_FALSE(refused([](DCB& d) { d.Parity = MARKPARITY, d.StopBits = TWOSTOPBITS; }));
}

TEST(Dcb, FlagWordHasTheWindowsBitLayout) {
    DCB d{};
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fTXContinueOnXoff = 1;
    EXPECT_EQ(DcbFlagWord(d), 0x0091u);
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    d.fOutxCtsFlow = 1;
    EXPECT_EQ(DcbFlagWord(d), 0x2095u);
    d.fAbortOnError = 1;
    EXPECT_EQ(DcbFlagWord(d), 0x6095u);
}

TEST(Dcb, ControlModesGiveTheLineLevels) {
    DCB d{};
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_DISABLE;
    EXPECT_TRUE(serial::DtrLevelFor(d));
    EXPECT_FALSE(serial::RtsLevelFor(d));
    d.fDtrControl = DTR_CONTROL_DISABLE;
    d.fRtsControl = RTS_CONTROL_TOGGLE;
    EXPECT_FALSE(serial::DtrLevelFor(d));
    EXPECT_FALSE(serial::RtsLevelFor(d));
}

std::vector<BYTE> Drain(serial::ReceiveQueue& q) {
    std::vector<BYTE> out(q.Size());
    out.resize(q.Take(out.data(), out.size()));
    return out;
}

RxByte Byte(BYTE value) {
    RxByte b;
    b.value = value;
    return b;
}

TEST(ReceiveQueue, InsertionEscapesLineEventsAndTheEscapeByte) {
    serial::ReceiveQueue q;
    q.SetEscapeChar(0xFF);
    RxByte parity = Byte(0x56);
    parity.parityError = true;
    RxByte brk = Byte(0x00);
    brk.breakCondition = true;
    brk.transmitterIdle = false;
    RxByte frame = Byte(0xFF);  // an errored escape byte is carried as data, not doubled
    frame.framingError = true;
    q.Accept(Byte(0x12));
    q.Accept(Byte(0xFF));
    q.Accept(parity);
    q.Accept(brk);
    q.Accept(frame);
    EXPECT_EQ(Drain(q), (std::vector<BYTE>{0x12, 0xFF, 0x00, 0xFF, 0x01, 0x64, 0x56, 0xFF, 0x01,
                                           0x18, 0x00, 0xFF, 0x01, 0x68, 0xFF}));
    EXPECT_EQ(q.TakeErrors(), CE_RXPARITY | CE_FRAME | CE_BREAK);
    EXPECT_EQ(q.TakeErrors(), 0u);
}

TEST(ReceiveQueue, WithoutInsertionErrorsKeepTheirData) {
    serial::ReceiveQueue q;
    RxByte overrun = Byte(0xFF);
    overrun.overrun = true;
    RxByte parity = Byte(0x34);
    parity.parityError = true;
    q.Accept(overrun);
    q.Accept(parity);
    EXPECT_EQ(q.Size(), 2u);
    EXPECT_EQ(Drain(q), (std::vector<BYTE>{0xFF, 0x34}));
    EXPECT_EQ(q.TakeErrors(), CE_OVERRUN | CE_RXPARITY);

    // Turning insertion off again (escape 0) stops the escaping.
    q.SetEscapeChar(0x7E);
    q.Accept(Byte(0x7E));
    q.SetEscapeChar(0);
    q.Accept(Byte(0x7E));
    EXPECT_EQ(Drain(q), (std::vector<BYTE>{0x7E, 0x00, 0x7E}));
}

TEST(ParmrkDecoder, UndoesMarkingAcrossReads) {
    serial::ParmrkDecoder d;
    std::vector<serial::MarkedByte> out;
    const BYTE first[] = {0x41, 0xFF};
    const BYTE second[] = {0xFF, 0xFF, 0x00};
    const BYTE third[] = {0x33, 0xFF, 0x00, 0x00, 0x42};
    d.Feed(first, sizeof first, out);
    EXPECT_EQ(out.size(), 1u);  // the lone 0xFF waits for its partner
    d.Feed(second, sizeof second, out);
    d.Feed(third, sizeof third, out);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[1].value, 0xFF);
    EXPECT_FALSE(out[1].errorMarked);
    EXPECT_EQ(out[2].value, 0x33);
    EXPECT_TRUE(out[2].errorMarked);
    EXPECT_EQ(out[3].value, 0x00);
    EXPECT_TRUE(out[3].errorMarked);
    EXPECT_EQ(out[4].value, 0x42);
    EXPECT_FALSE(out[4].errorMarked);

    // A pairing the tty never makes loses no byte.
    out.clear();
    const BYTE odd[] = {0xFF, 0x07};
    d.Feed(odd, sizeof odd, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].value, 0xFF);
    EXPECT_EQ(out[1].value, 0x07);
}

}  // namespace
