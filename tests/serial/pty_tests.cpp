// A COM port on a pseudo-terminal, end to end in real time: the test holds the master
// side as the far end of the cable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "test_support.h"
#include "tty_driver.h"

namespace {

constexpr int kPort = 7;
constexpr std::int64_t kMs = 1'000'000;

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(grantpt(m_master), 0);
        ASSERT_EQ(unlockpt(m_master), 0);
        serialtest::MapPort(kPort, ptsname(m_master));
        m_port = serialtest::OpenPort(kPort);
        ASSERT_NE(m_port, INVALID_HANDLE_VALUE) << GetLastError();
    }

    void TearDown() override {
        if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
        CloseMaster();
    }

    void CloseMaster() {
        if (m_master >= 0) close(m_master);
        m_master = -1;
    }

    void FromFarEnd(const std::vector<BYTE>& bytes) {
        ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    std::vector<BYTE> AtFarEnd(std::size_t count) {
        std::vector<BYTE> got;
        while (got.size() < count) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) break;
            BYTE buf[256];
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
        COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(m_port, &t));
    }

    // Waits (real time, bounded) until the port's receive queue holds count bytes.
    DWORD WaitForQueue(DWORD count) {
        platform::RealClock real;
        COMSTAT stat{};
        for (int i = 0; i < 1000; ++i) {
            DWORD errors = 0;
            if (!ClearCommError(m_port, &errors, &stat)) return 0;
            if (stat.cbInQue >= count) break;
            real.SleepMs(1);
        }
        return stat.cbInQue;
    }

    // Reads and returns the bytes read and the real time the read took.
    std::vector<BYTE> TimedRead(DWORD count, std::int64_t& tookNs) {
        platform::RealClock real;
        std::vector<BYTE> buf(count);
        DWORD n = 12345;
        const std::int64_t t0 = real.NowNs();
        EXPECT_TRUE(ReadFile(m_port, buf.data(), count, &n, nullptr)) << GetLastError();
        tookNs = real.NowNs() - t0;
        buf.resize(n);
        return buf;
    }

    int m_master = -1;
    HANDLE m_port = INVALID_HANDLE_VALUE;
};

TEST_F(PtyPort, IsExclusiveAndItsHandleDiesWithClose) {
    EXPECT_EQ(serialtest::OpenPort(kPort), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        CreateFileA("COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // Another port number naming the same device is the same device.
    serialtest::MapPort(kPort + 1, ptsname(m_master));
    EXPECT_EQ(serialtest::OpenPort(kPort + 1), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    const HANDLE old = m_port;
    ASSERT_TRUE(CloseHandle(m_port));
    m_port = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(CloseHandle(old));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    BYTE b = 0;
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(old, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteFile(old, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    m_port = serialtest::OpenPort(kPort);
    ASSERT_NE(m_port, INVALID_HANDLE_VALUE);
    EXPECT_NE(m_port, old);  // handle values are not reused
}

TEST(PortOpen, MissingDeviceIsFileNotFoundWithItsSystemText) {
    serialtest::MapPort(30, "/nonexistent/ttyX");
    EXPECT_EQ(serialtest::OpenPort(30), INVALID_HANDLE_VALUE);
    const DWORD code = GetLastError();
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
    char* text = nullptr;
    const DWORD len = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0x800, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, len), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(LocalFree(text), nullptr);

    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             0xDEAD, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);

    // Not a tty, and not a COM name at all.
    serialtest::MapPort(31, "/dev/null");
    EXPECT_EQ(serialtest::OpenPort(31), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("\\\\.\\LPT1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Handles, EventsCloseAndBogusHandlesFail) {
    const HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(ev, nullptr);
    ASSERT_NE(ev, INVALID_HANDLE_VALUE);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(ev, &dcb));  // an event is no port
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(ev));
    EXPECT_FALSE(CloseHandle(ev));
    EXPECT_FALSE(PurgeComm(nullptr, PURGE_RXCLEAR));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PtyPort, LineSettingsReadBackAndRefusalsLeaveThemAlone) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_port, &dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.fBinary, 1u);
    dcb.BaudRate = 10400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ASSERT_TRUE(SetCommState(m_port, &dcb)) << GetLastError();

    DCB back{};
    ASSERT_TRUE(GetCommState(m_port, &back));
    EXPECT_EQ(back.BaudRate, 10400u);
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.StopBits, ONESTOPBIT);
    EXPECT_EQ(DcbFlagWord(back), DcbFlagWord(dcb));

    back.BaudRate = 5;  // the 5-baud address byte
    back.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(m_port, &back)) << GetLastError();

    // A pseudo-terminal carries 8 bits without parity only.
    DCB seven = back;
    seven.ByteSize = 7;
    EXPECT_FALSE(SetCommState(m_port, &seven));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DCB invalid = back;
    invalid.BaudRate = 0;
    EXPECT_FALSE(SetCommState(m_port, &invalid));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(GetCommState(m_port, &dcb));
    EXPECT_EQ(dcb.BaudRate, 5u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);

    // The line controls work on a device without modem lines; unknown ones do not.
    for (DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK}) {
        EXPECT_TRUE(EscapeCommFunction(m_port, f)) << f;
    }
    EXPECT_FALSE(EscapeCommFunction(m_port, 77));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(SetupComm(m_port, 3328, 3328));
    EXPECT_TRUE(SetCommMask(m_port, 0));
}

TEST_F(PtyPort, BytesTravelBothWaysUnchanged) {
    SetTimeouts(60, 0, 1500);
    const std::vector<BYTE> out{0x81, 0x01, 0xF1, 0x81, 0xF4, 0x0A, 0xFF};
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(m_port, out.data(), static_cast<DWORD>(out.size()), &n, nullptr));
    EXPECT_EQ(n, out.size());
    ASSERT_TRUE(FlushFileBuffers(m_port));
    EXPECT_EQ(AtFarEnd(out.size()), out);

    // 0xFF, 0x00 and line ends arrive as they were sent.
    const std::vector<BYTE> in{0xFF, 0x00, 0x0D, 0x0A, 0xFF, 0xFF, 0x03, 0x7F};
    FromFarEnd(in);
    std::int64_t took = 0;
    EXPECT_EQ(TimedRead(static_cast<DWORD>(in.size()), took), in);

    // With insertion on, a received escape byte is doubled as escape, 0.
    BYTE escape = 0xFF;
    ASSERT_TRUE(
        DeviceIoControl(m_port, IOCTL_SERIAL_LSRMST_INSERT, &escape, 1, nullptr, 0, &n, nullptr));
    FromFarEnd({0x12, 0xFF});
    EXPECT_EQ(WaitForQueue(3), 3u);
    EXPECT_EQ(TimedRead(3, took), (std::vector<BYTE>{0x12, 0xFF, 0x00}));

    EXPECT_FALSE(DeviceIoControl(m_port, 0x1B0001, &escape, 1, nullptr, 0, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(DeviceIoControl(m_port, 0x90000, &escape, 1, nullptr, 0, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(
        DeviceIoControl(m_port, IOCTL_SERIAL_LSRMST_INSERT, nullptr, 0, nullptr, 0, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Read timeouts on the real clock, within a few milliseconds (upper slack for a busy host).
constexpr std::int64_t kSlackNs = 40 * kMs;

TEST_F(PtyPort, TotalTimeoutEndsAnEmptyReadWithoutError) {
    SetTimeouts(60, 0, 150);  // the library's 60/0/1500 rule, shortened
    std::int64_t took = 0;
    EXPECT_TRUE(TimedRead(1, took).empty());
    EXPECT_GE(took, 150 * kMs);
    EXPECT_LT(took, 150 * kMs + kSlackNs);

    SetTimeouts(0, 20, 30);  // 20 per byte asked + 30
    EXPECT_TRUE(TimedRead(4, took).empty());
    EXPECT_GE(took, 110 * kMs);
    EXPECT_LT(took, 110 * kMs + kSlackNs);
}

TEST_F(PtyPort, IntervalTimeoutEndsAMultiByteRead) {
    SetTimeouts(50, 0, 0);
    FromFarEnd({1, 2, 3});
    ASSERT_EQ(WaitForQueue(3), 3u);
    std::int64_t took = 0;
    EXPECT_EQ(TimedRead(10, took), (std::vector<BYTE>{1, 2, 3}));
    EXPECT_GE(took, 50 * kMs);
    EXPECT_LT(took, 50 * kMs + kSlackNs);

    // The interval timer does not run before the first byte: the total ends this one.
    SetTimeouts(20, 0, 120);
    EXPECT_TRUE(TimedRead(10, took).empty());
    EXPECT_GE(took, 120 * kMs);
}

TEST_F(PtyPort, MaxdwordIntervalRules) {
    SetTimeouts(MAXDWORD, 0, 0);
    std::int64_t took = 0;
    EXPECT_TRUE(TimedRead(5, took).empty());
    EXPECT_LT(took, 10 * kMs);
    FromFarEnd({7, 8});
    ASSERT_EQ(WaitForQueue(2), 2u);
    EXPECT_EQ(TimedRead(5, took), (std::vector<BYTE>{7, 8}));
    EXPECT_LT(took, 10 * kMs);

    // Wait for the first byte up to the constant, then return what is there.
    SetTimeouts(MAXDWORD, MAXDWORD, 100);
    EXPECT_TRUE(TimedRead(5, took).empty());
    EXPECT_GE(took, 100 * kMs);
    EXPECT_LT(took, 100 * kMs + kSlackNs);
    FromFarEnd({9});
    EXPECT_EQ(TimedRead(5, took), (std::vector<BYTE>{9}));
    EXPECT_LT(took, 50 * kMs);

    COMMTIMEOUTS bad{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(m_port, &bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PtyPort, RxAbortKeepsReceivedBytesRxClearDropsThem) {
    FromFarEnd({1, 2, 3, 4});
    ASSERT_EQ(WaitForQueue(4), 4u);
    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXABORT | PURGE_TXABORT));
    EXPECT_EQ(WaitForQueue(4), 4u);
    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR));
    COMSTAT stat{};
    DWORD errors = 99;
    ASSERT_TRUE(ClearCommError(m_port, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(errors, 0u);
    SetTimeouts(MAXDWORD, 0, 0);
    std::int64_t took = 0;
    EXPECT_TRUE(TimedRead(4, took).empty());

    EXPECT_FALSE(PurgeComm(m_port, 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PtyPort, PulledCableFailsReadsAndWritesWithoutHanging) {
    CloseMaster();
    BYTE b = 0;
    DWORD n = 0;
    SetTimeouts(0, 0, 0);  // a read that would otherwise wait for ever
    platform::RealClock real;
    const std::int64_t t0 = real.NowNs();
    EXPECT_FALSE(ReadFile(m_port, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(n, 0u);
    EXPECT_LT(real.NowNs() - t0, 500 * kMs);
    EXPECT_FALSE(WriteFile(m_port, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(CloseHandle(m_port));
    m_port = INVALID_HANDLE_VALUE;
}

}  // namespace

namespace {

// A tty whose sysfs entry names the FTDI kernel driver (a fake sysfs tree for the pty):
// 5 baud is refused before it reaches the driver, which would take it and program another
// rate; the chip's real rates still go through.
TEST(UsbSerialTty, FtdiDriverRefusesRatesTheChipCannotMake) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pts = ptsname(master);
    char pattern[] = "/tmp/ortaline-sysfs-XXXXXX";
    const std::filesystem::path root = mkdtemp(pattern);
    const auto device = root / "class" / "tty" / std::filesystem::path(pts).filename() / "device";
    std::filesystem::create_directories(device);
    std::filesystem::create_symlink("../../../bus/usb-serial/drivers/ftdi_sio", device / "driver");
    serial::SetSysfsRoot(root.string());
    EXPECT_EQ(serial::TtyDriverName(pts), "ftdi_sio");

    serialtest::MapPort(kPort, pts);
    HANDLE port = serialtest::OpenPort(kPort);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    const DWORD before = dcb.BaudRate;
    dcb.BaudRate = 5;
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DCB after{};
    ASSERT_TRUE(GetCommState(port, &after));
    EXPECT_EQ(after.BaudRate, before);
    dcb.BaudRate = 10400;
    EXPECT_TRUE(SetCommState(port, &dcb)) << GetLastError();
    CloseHandle(port);

    // Another driver's tty keeps every rate it accepts.
    serial::SetSysfsRoot("/nonexistent");
    EXPECT_EQ(serial::TtyDriverName(pts), "");
    port = serialtest::OpenPort(kPort);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    dcb.BaudRate = 5;
    EXPECT_TRUE(SetCommState(port, &dcb)) << GetLastError();
    CloseHandle(port);
    serial::SetSysfsRoot("/sys");
    close(master);
    std::filesystem::remove_all(root);
}

}  // namespace
