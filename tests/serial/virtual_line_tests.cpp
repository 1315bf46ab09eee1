// A COM port on the simulator's virtual K-line, on a simulated clock: every time below is
// exact line time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "clock/clock.h"
#include "clock/win_time.h"
#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "kline/kline.h"
#include "test_support.h"

namespace {

constexpr int kPort = 9;
constexpr std::int64_t kMs = 1'000'000;

// Answers every byte it hears with its complement after a pause, like a KW1281 ECU.
class ComplementPeer : public kline::Peer {
public:
    void OnAttach(kline::KLine& line) override { m_line = &line; }
    void OnByte(const kline::ReceivedByte& byte) override {
        const std::uint8_t reply = static_cast<std::uint8_t>(~byte.value);
        m_line->PeerTransmit(&reply, 1, byte.timeNs + 2 * kMs);
    }

private:
    kline::KLine* m_line = nullptr;
};

class VirtualPort : public ::testing::Test {
protected:
    void SetUp() override {
        m_line = std::make_shared<kline::KLine>();
        ecusim::RegisterLine("serial-tests", m_line);
        serialtest::MapPort(kPort, "sim:serial-tests");
        m_port = serialtest::OpenPort(kPort);
        ASSERT_NE(m_port, INVALID_HANDLE_VALUE) << GetLastError();
        DCB dcb{};
        ASSERT_TRUE(GetCommState(m_port, &dcb));
        dcb.BaudRate = 10400;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        ASSERT_TRUE(SetCommState(m_port, &dcb));
        SetTimeouts(60, 0, 1500);
    }

    void TearDown() override {
        if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
        ecusim::UnregisterLine("serial-tests");
    }

    void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
        COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(m_port, &t));
    }

    std::vector<BYTE> Read(DWORD count) {
        std::vector<BYTE> buf(count);
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(m_port, buf.data(), count, &n, nullptr)) << GetLastError();
        buf.resize(n);
        return buf;
    }

    void Write(const std::vector<BYTE>& bytes) {
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(m_port, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
        ASSERT_EQ(n, bytes.size());
    }

    void PeerSends(const std::vector<BYTE>& bytes, std::int64_t atNs) {
        m_line->PeerTransmit(bytes.data(), bytes.size(), atNs);
    }

    DWORD TakeErrors() {
        DWORD errors = 0;
        EXPECT_TRUE(ClearCommError(m_port, &errors, nullptr));
        return errors;
    }

    void InsertWith(BYTE escape) {
        DWORD n = 0;
        ASSERT_TRUE(DeviceIoControl(m_port, IOCTL_SERIAL_LSRMST_INSERT, &escape, 1, nullptr, 0, &n,
                                    nullptr));
    }

    std::size_t CountEvents(kline::LineEvent::Kind kind, bool on) const {
        std::size_t n = 0;
        for (const auto& e : m_line->Events()) {
            if (e.side == kline::Side::Tester && e.kind == kind && e.on == on) ++n;
        }
        return n;
    }

    platform::SimulatedClock m_clock;
    platform::ScopedClock m_scoped{m_clock};
    std::shared_ptr<kline::KLine> m_line;
    HANDLE m_port = INVALID_HANDLE_VALUE;
};

TEST_F(VirtualPort, WrittenBytesComeBackAsEcho) {
    Write({0x81, 0x01, 0xF1, 0x81, 0xF4});
    EXPECT_EQ(Read(5), (std::vector<BYTE>{0x81, 0x01, 0xF1, 0x81, 0xF4}));
    EXPECT_EQ(TakeErrors(), 0u);
}

TEST_F(VirtualPort, EmptyOneByteReadTimesOutAfterExactly1500ms) {
    const std::int64_t t0 = m_clock.NowNs();
    EXPECT_TRUE(Read(1).empty());
    EXPECT_EQ(m_clock.NowNs() - t0, 1500 * kMs);
}

TEST_F(VirtualPort, PeerRepliesArriveAndTheIntervalEndsALongRead) {
    m_line->AttachPeer(std::make_shared<ComplementPeer>());
    Write({0x33});
    EXPECT_EQ(Read(1), (std::vector<BYTE>{0x33}));
    EXPECT_EQ(Read(1), (std::vector<BYTE>{0xCC}));

    // Three bytes, then silence: a 10-byte read ends 60 ms after the third arrived.
    SetTimeouts(60, 0, 0);
    m_line->AttachPeer(nullptr);
    PeerSends({1, 2, 3}, m_clock.NowNs() + 5 * kMs);
    EXPECT_EQ(Read(10), (std::vector<BYTE>{1, 2, 3}));
    const auto& traffic = m_line->Traffic();
    ASSERT_FALSE(traffic.empty());
    const std::int64_t lastByteEnd = traffic.back().endNs;
    EXPECT_GE(m_clock.NowNs(), lastByteEnd + 59 * kMs);
    EXPECT_LE(m_clock.NowNs(), lastByteEnd + 60 * kMs);
}

TEST_F(VirtualPort, WaitForFirstByteRuleReturnsOnArrival) {
    SetTimeouts(MAXDWORD, MAXDWORD, 200);
    const std::int64_t t0 = m_clock.NowNs();
    EXPECT_TRUE(Read(10).empty());
    EXPECT_EQ(m_clock.NowNs() - t0, 200 * kMs);

    PeerSends({0x55, 0x01}, m_clock.NowNs() + 50 * kMs);
    const std::int64_t t1 = m_clock.NowNs();
    EXPECT_EQ(Read(10), (std::vector<BYTE>{0x55}));  // returns with the first byte
    EXPECT_LT(m_clock.NowNs() - t1, 52 * kMs);

    SetTimeouts(MAXDWORD, 0, 0);
    m_clock.AdvanceNs(5 * kMs);
    EXPECT_EQ(Read(10), (std::vector<BYTE>{0x01}));
}

TEST_F(VirtualPort, BreakReadsAsOneZeroWithBreakAndFramingErrors) {
    ASSERT_TRUE(SetCommBreak(m_port));
    Sleep(5);
    ASSERT_TRUE(ClearCommBreak(m_port));
    EXPECT_EQ(Read(2), (std::vector<BYTE>{0x00}));
    const DWORD errors = TakeErrors();
    EXPECT_EQ(errors & (CE_BREAK | CE_FRAME), CE_BREAK | CE_FRAME);
    EXPECT_EQ(TakeErrors(), 0u);  // cleared by the first call
}

TEST_F(VirtualPort, InsertionCarriesParityAndFramingErrors) {
    InsertWith(0xFF);
    // Ninth-bit reception: space parity here, a byte sent with mark parity fails the check.
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_port, &dcb));
    dcb.Parity = SPACEPARITY;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    kline::Framing mark;
    mark.parity = kline::Parity::Mark;
    m_line->SetPeerFraming(mark);
    PeerSends({0x56}, m_clock.NowNs() + kMs);
    m_clock.AdvanceNs(20 * kMs);  // picked up well after it arrived
    EXPECT_EQ(Read(4), (std::vector<BYTE>{0xFF, SERIAL_LSRMST_LSR_DATA, 0x64, 0x56}));
    EXPECT_EQ(TakeErrors(), CE_RXPARITY);

    // The peer's 7-bit characters back to back: the tester's stop-bit sample meets the
    // next start bit.
    dcb.Parity = NOPARITY;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    kline::Framing seven;
    seven.dataBits = 7;
    m_line->SetPeerFraming(seven);
    PeerSends({0x15, 0x15}, m_clock.NowNs() + kMs);
    SetTimeouts(20, 0, 100);
    const std::vector<BYTE> got = Read(16);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_EQ(got[1], SERIAL_LSRMST_LSR_DATA);
    EXPECT_EQ(got[2] & (SERIAL_LSR_FE | SERIAL_LSR_BI), SERIAL_LSR_FE);
    EXPECT_EQ(got[3], 0x95);  // 7 data bits, then the peer's stop bit as bit 7
    EXPECT_NE(TakeErrors() & CE_FRAME, 0u);

    // Insertion off: the data stay, the marks go.
    InsertWith(0);
    m_line->SetPeerFraming(kline::Framing{});
    PeerSends({0xFF, 0x12}, m_clock.NowNs() + kMs);
    SetTimeouts(60, 0, 1500);
    EXPECT_EQ(Read(2), (std::vector<BYTE>{0xFF, 0x12}));
}

TEST_F(VirtualPort, LineControlsAndBaudChangesReachTheLine) {
    // Opening raised DTR and RTS; the 10400-baud DCB took RTS down.
    EXPECT_TRUE(m_line->TesterDtr());
    EXPECT_FALSE(m_line->TesterRts());
    EXPECT_EQ(m_line->TesterFraming().baud, 10400u);

    ASSERT_TRUE(EscapeCommFunction(m_port, CLRDTR));
    ASSERT_TRUE(EscapeCommFunction(m_port, SETRTS));
    ASSERT_TRUE(EscapeCommFunction(m_port, SETBREAK));
    EXPECT_FALSE(m_line->TesterDtr());
    EXPECT_TRUE(m_line->TesterRts());
    EXPECT_TRUE(m_line->TesterBreak());
    ASSERT_TRUE(EscapeCommFunction(m_port, CLRBREAK));
    EXPECT_FALSE(m_line->TesterBreak());

    // A baud change through the DCB drives DTR and RTS by their control modes again.
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_port, &dcb));
    dcb.BaudRate = 5;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    EXPECT_EQ(m_line->TesterFraming().baud, 5u);
    EXPECT_TRUE(m_line->TesterDtr());
    EXPECT_FALSE(m_line->TesterRts());
    dcb.BaudRate = 10400;
    dcb.ByteSize = 8;
    dcb.StopBits = TWOSTOPBITS;
    dcb.Parity = MARKPARITY;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    const kline::Framing f = m_line->TesterFraming();
    EXPECT_EQ(f.baud, 10400u);
    EXPECT_EQ(f.stopBits, kline::StopBits::Two);
    EXPECT_EQ(f.parity, kline::Parity::Mark);

    // A handshake-driven line cannot be switched by hand.
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    EXPECT_FALSE(EscapeCommFunction(m_port, CLRRTS));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(CountEvents(kline::LineEvent::Kind::Dtr, false), 1u);
    EXPECT_EQ(CountEvents(kline::LineEvent::Kind::Break, true), 1u);
}

TEST_F(VirtualPort, OneTesterAtATimeAndCloseReleasesTheLine) {
    EXPECT_EQ(serialtest::OpenPort(kPort), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(EscapeCommFunction(m_port, SETBREAK));
    ASSERT_TRUE(CloseHandle(m_port));
    m_port = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(m_line->TesterBreak());  // closing never leaves the line held low
    EXPECT_FALSE(m_line->TesterDtr());
    m_port = serialtest::OpenPort(kPort);
    EXPECT_NE(m_port, INVALID_HANDLE_VALUE);

    serialtest::MapPort(kPort + 1, "sim:no-such-line");
    EXPECT_EQ(serialtest::OpenPort(kPort + 1), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(VirtualPort, FlushWaitsForTheWireAndPurgesDropWhatTheySay) {
    Write(std::vector<BYTE>(10, 0x5A));
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(m_port, nullptr, &stat));
    EXPECT_GT(stat.cbOutQue, 0u);
    const std::int64_t done = m_line->TesterTransmitDoneNs();
    ASSERT_TRUE(FlushFileBuffers(m_port));
    EXPECT_GE(m_clock.NowNs(), done);
    ASSERT_TRUE(ClearCommError(m_port, nullptr, &stat));
    EXPECT_EQ(stat.cbOutQue, 0u);
    EXPECT_EQ(stat.cbInQue, 10u);  // the echo

    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXABORT | PURGE_TXABORT));
    ASSERT_TRUE(ClearCommError(m_port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 10u);
    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXCLEAR));
    ASSERT_TRUE(ClearCommError(m_port, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);

    // Output not yet on the wire is dropped by TXCLEAR.
    m_line->ClearRecords();
    Write(std::vector<BYTE>(10, 0x5A));
    ASSERT_TRUE(PurgeComm(m_port, PURGE_TXCLEAR));
    ASSERT_TRUE(FlushFileBuffers(m_port));
    EXPECT_LT(m_line->Traffic().size(), 10u);
}

TEST_F(VirtualPort, DisconnectedCableFailsReadsAndWrites) {
    m_line->SetTesterConnected(false);
    BYTE b = 0x01;
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(m_port, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(ReadFile(m_port, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    m_line->SetTesterConnected(true);
    EXPECT_TRUE(WriteFile(m_port, &b, 1, &n, nullptr));
}

// The program's own sim: devices may stay connected for days: the standard line and its
// ECU wake up and answer, and keep nothing of it.
TEST_F(VirtualPort, StandardLineWakesItsEcuAndKeepsNoRecords) {
    CloseHandle(m_port);
    serialtest::MapPort(kPort, "sim:kw1281");
    m_port = serialtest::OpenPort(kPort);
    ASSERT_NE(m_port, INVALID_HANDLE_VALUE) << GetLastError();
    m_line = ecusim::AcquireLine("kw1281");
    // Address 0x01 at 5 baud: start bit, bit 0 high, seven low bits, stop bit.
    for (int bit = 0; bit < 10; ++bit) {
        ASSERT_TRUE(bit == 1 || bit == 9 ? ClearCommBreak(m_port) : SetCommBreak(m_port));
        Sleep(200);
    }
    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXCLEAR));
    EXPECT_EQ(Read(3), (std::vector<BYTE>{0x55, 0x01, 0x8A}));
    Sleep(25);
    Write({0x75});
    EXPECT_EQ(Read(2), (std::vector<BYTE>{0x75, 0x0F}));  // the echo, the first block's length
    EXPECT_TRUE(m_line->Traffic().empty());
    EXPECT_TRUE(m_line->Events().empty());
    const auto* ecu = dynamic_cast<const ecusim::EcuSimulator*>(m_line->GetPeer());
    ASSERT_NE(ecu, nullptr);
    EXPECT_TRUE(ecu->Log().empty());
    EXPECT_TRUE(ecu->WakeReports().empty());
}

TEST_F(VirtualPort, EndlessReadWithNothingComingReturnsInsteadOfHanging) {
    SetTimeouts(0, 0, 0);
    Write({0x42});
    EXPECT_EQ(Read(5), (std::vector<BYTE>{0x42}));
}

}  // namespace
