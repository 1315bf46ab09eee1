// The driver calls on the virtual cable: the settings store's "USB" value chooses the line,
// received bytes reach the host by the chip's latency timer, and what the chip cannot do is
// refused, not faked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "clock/clock.h"
#include "ecusim/line_directory.h"
#include "ftdi/device_choice.h"
#include "ftdi/driver.h"
#include "ftdi/virtual_cable.h"
#include "kline/kline.h"
#include "registry/registry.h"
#include "serial/device_map.h"
#include "win32/last_error.h"

namespace {

using ftdi::Status;

class VirtualCable : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ortaline-ftdi-XXXXXX";
        m_home = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey,
                                          ftdi::kUsbDeviceValue, "sim:ftdi-test"));
        line = std::make_shared<kline::KLine>();
        ecusim::RegisterLine("ftdi-test", line);
    }
    void TearDown() override {
        ftdi::ForceVirtualLatencyMs(0);
        ecusim::UnregisterLine("ftdi-test");
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
        unsetenv("XDG_CONFIG_HOME");
    }

    // Sends one byte and reads its echo; the time from the echo's arrival at the UART to
    // the host having it, in ns.
    std::int64_t EchoDelayNs(ftdi::Handle h) {
        const BYTE b = 0x55;
        DWORD n = 0;
        EXPECT_EQ(ftdi::Write(h, &b, 1, n), Status::Ok);
        BYTE echo = 0;
        EXPECT_EQ(ftdi::Read(h, &echo, 1, n), Status::Ok);
        EXPECT_EQ(n, 1u);
        EXPECT_EQ(echo, 0x55);
        return clock.NowNs() - line->Traffic().back().endNs;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    std::shared_ptr<kline::KLine> line;

private:
    std::string m_home;
};

TEST_F(VirtualCable, EchoReachesTheHostWithinTheLatencyTimer) {
    EXPECT_EQ(ftdi::ConfiguredUsbDevice(), "sim:ftdi-test");
    ftdi::Handle h = 0;
    ASSERT_EQ(ftdi::OpenByIndex(0, h), Status::Ok);
    ASSERT_EQ(ftdi::SetBaudRate(h, 10400), Status::Ok);
    ASSERT_EQ(ftdi::SetTimeouts(h, 100, 0), Status::Ok);
    // The chip's 16 ms default until the host sets the timer.
    std::int64_t longest = 0;
    for (int i = 0; i < 20; ++i) longest = std::max(longest, EchoDelayNs(h));
    EXPECT_GT(longest, 10'000'000);
    EXPECT_LE(longest, 16'000'000);

    ASSERT_EQ(ftdi::SetLatencyTimer(h, 1), Status::Ok);
    for (int i = 0; i < 20; ++i) EXPECT_LE(EchoDelayNs(h), 1'000'000);

    // Forced to 16 ms (to try a cable that keeps its default), the host's 1 ms is ignored.
    ftdi::ForceVirtualLatencyMs(16);
    ASSERT_EQ(ftdi::SetLatencyTimer(h, 1), Status::Ok);
    longest = 0;
    for (int i = 0; i < 20; ++i) longest = std::max(longest, EchoDelayNs(h));
    EXPECT_GT(longest, 10'000'000);

    // An empty read waits out its timeout and returns nothing.
    const std::int64_t start = clock.NowNs();
    BYTE b = 0;
    DWORD n = 7;
    EXPECT_EQ(ftdi::Read(h, &b, 1, n), Status::Ok);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(clock.NowNs() - start, 100'000'000);
    EXPECT_EQ(ftdi::Close(h), Status::Ok);
    EXPECT_EQ(ftdi::Close(h), Status::InvalidHandle);  // a stale handle reaches nothing
}

TEST_F(VirtualCable, WhatTheChipCannotDoIsRefused) {
    ftdi::Handle h = 0;
    ASSERT_EQ(ftdi::OpenByIndex(0, h), Status::Ok);
    EXPECT_EQ(ftdi::SetBaudRate(h, 5), Status::InvalidBaudRate);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ftdi::SetBaudRate(h, 182), Status::InvalidBaudRate);
    EXPECT_EQ(ftdi::SetBaudRate(h, 183), Status::Ok);
    EXPECT_EQ(ftdi::SetDataCharacteristics(h, 9, 0, 0), Status::InvalidParameter);
    EXPECT_EQ(ftdi::SetDataCharacteristics(h, 8, 1, 0), Status::InvalidParameter);
    EXPECT_EQ(ftdi::SetDataCharacteristics(h, 8, 2, 4), Status::Ok);
    EXPECT_EQ(line->TesterFraming().parity, kline::Parity::Space);
    EXPECT_EQ(line->TesterFraming().stopBits, kline::StopBits::Two);
    BYTE escape = 0xFF;
    EXPECT_EQ(ftdi::DeviceIoControl(h, IOCTL_SERIAL_LSRMST_INSERT, &escape, 1, nullptr, 0, nullptr),
              Status::NotSupported);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

    // A second open of the one cable on the line finds it busy; index 1 finds nothing.
    ftdi::Handle second = 0;
    EXPECT_EQ(ftdi::OpenByIndex(0, second), Status::DeviceBusy);
    EXPECT_EQ(ftdi::OpenByIndex(1, second), Status::DeviceNotFound);

    // The break drives the line low and reads back as a break.
    ASSERT_EQ(ftdi::SetBaudRate(h, 10400), Status::Ok);
    ASSERT_EQ(ftdi::SetDataCharacteristics(h, 8, 0, 0), Status::Ok);
    ASSERT_EQ(ftdi::SetBreakOn(h), Status::Ok);
    EXPECT_FALSE(line->LineHigh());
    clock.AdvanceNs(5'000'000);
    ASSERT_EQ(ftdi::SetBreakOff(h), Status::Ok);
    clock.AdvanceNs(20'000'000);
    DWORD errors = 0;
    COMSTAT stat{};
    EXPECT_TRUE(ftdi::ClearCommError(h, &errors, &stat));
    EXPECT_NE(errors & CE_BREAK, 0u);
    EXPECT_EQ(stat.cbInQue, 1u);
    ASSERT_EQ(ftdi::Purge(h, ftdi::kPurgeReceive), Status::Ok);
    DWORD queued = 9;
    EXPECT_EQ(ftdi::GetQueueStatus(h, queued), Status::Ok);
    EXPECT_EQ(queued, 0u);

    // Pulled out: transfers fail, and it cannot be opened again until it is back.
    line->SetTesterConnected(false);
    DWORD n = 0;
    BYTE b = 0;
    EXPECT_EQ(ftdi::Read(h, &b, 1, n), Status::IoError);
    EXPECT_EQ(ftdi::Write(h, &b, 1, n), Status::IoError);
    EXPECT_EQ(ftdi::Close(h), Status::Ok);
    EXPECT_EQ(ftdi::OpenByIndex(0, h), Status::DeviceNotFound);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    line->SetTesterConnected(true);
    ASSERT_EQ(ftdi::OpenByIndex(0, h), Status::Ok);
    EXPECT_EQ(ftdi::Close(h), Status::Ok);
    EXPECT_FALSE(line->TesterClaimed());
}

}  // namespace
