// A real serial port, opt-in: ORTALINE_TEST_SERIAL_DEVICE names the tty (e.g. /dev/ttyUSB0).
// With a K-line interface plugged in, written bytes come back as echo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "test_support.h"

namespace {

constexpr int kPort = 40;

class Cable : public ::testing::Test {
protected:
    void SetUp() override {
        const char* device = std::getenv("ORTALINE_TEST_SERIAL_DEVICE");
        if (device == nullptr || *device == '\0') {
            GTEST_SKIP() << "set ORTALINE_TEST_SERIAL_DEVICE to a tty to run real cable tests";
        }
        serialtest::MapPort(kPort, device);
        m_port = serialtest::OpenPort(kPort);
        ASSERT_NE(m_port, INVALID_HANDLE_VALUE) << GetLastError();
    }
    void TearDown() override {
        if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
    }
    HANDLE m_port = INVALID_HANDLE_VALUE;
};

TEST_F(Cable, TakesKLineSettingsAndEchoesBytes) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(m_port, &dcb));
    dcb.BaudRate = 10400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ASSERT_TRUE(SetCommState(m_port, &dcb)) << GetLastError();
    COMMTIMEOUTS t{60, 0, 1500, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(m_port, &t));
    ASSERT_TRUE(PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR));

    const BYTE out[] = {0x81, 0x01, 0xF1};
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(m_port, out, sizeof out, &n, nullptr));
    ASSERT_TRUE(FlushFileBuffers(m_port));
    BYTE echo[3] = {};
    ASSERT_TRUE(ReadFile(m_port, echo, sizeof echo, &n, nullptr));
    ASSERT_EQ(n, 3u) << "no echo: is a K-line interface connected?";
    EXPECT_EQ(0, std::memcmp(echo, out, sizeof out));
}

}  // namespace
