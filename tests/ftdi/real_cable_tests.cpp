// A real FTDI K-line cable, opt-in: set ORTALINE_TEST_FTDI=1 with a cable plugged in (and
// the udev rule of scripts/setup-cable-access.sh, or as root). The cable's K-line must be
// left unconnected, so that the K-line interface echoes what it sends.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

#include "ftdi/driver.h"

namespace {

TEST(RealFtdiCable, OpensConfiguresAndEchoesBytes) {
    if (getenv("ORTALINE_TEST_FTDI") == nullptr) GTEST_SKIP() << "set ORTALINE_TEST_FTDI=1";
    ftdi::Handle h = 0;
    ASSERT_EQ(ftdi::OpenByIndex(0, h), ftdi::Status::Ok);
    EXPECT_EQ(ftdi::SetBaudRate(h, 5), ftdi::Status::InvalidBaudRate);
    ASSERT_EQ(ftdi::SetBaudRate(h, 10400), ftdi::Status::Ok);
    ASSERT_EQ(ftdi::SetDataCharacteristics(h, 8, 0, 0), ftdi::Status::Ok);
    ASSERT_EQ(ftdi::SetLatencyTimer(h, 1), ftdi::Status::Ok);
    ASSERT_EQ(ftdi::Purge(h, ftdi::kPurgeReceive | ftdi::kPurgeTransmit), ftdi::Status::Ok);
    ASSERT_EQ(ftdi::SetTimeouts(h, 200, 200), ftdi::Status::Ok);
    const BYTE sent[3] = {0x81, 0x33, 0xF1};
    DWORD written = 0;
    ASSERT_EQ(ftdi::Write(h, sent, 3, written), ftdi::Status::Ok);
    EXPECT_EQ(written, 3u);
    BYTE echo[3] = {};
    DWORD read = 0;
    ASSERT_EQ(ftdi::Read(h, echo, 3, read), ftdi::Status::Ok);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(std::vector<BYTE>(echo, echo + 3), std::vector<BYTE>(sent, sent + 3));
    EXPECT_EQ(ftdi::Close(h), ftdi::Status::Ok);
}

}  // namespace
