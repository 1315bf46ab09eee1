// CSerialPort over the serial layer, on a pseudo-terminal mapped to COM3 through the
// settings store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "SerialPort.h"
#include "UsbPort.h"
#include "clock/clock.h"
#include "core_support.h"
#include "registry/registry.h"
#include "serial/device_map.h"

namespace {

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        MapCom3(ptsname(master));
    }
    void TearDown() override {
        port.Close();
        if (master >= 0) close(master);
    }
    void MapCom3(const std::string& device) {
        ASSERT_TRUE(
            registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey, "COM3", device));
    }

    // Open that reports a refusal as a test failure naming the driver's error.
    bool OpenAs(PortParity parity, std::uint8_t dataBits, PortStopBits stopBits,
                PortFlowControl flow) {
        try {
            port.Open(3, 9600, parity, dataBits, stopBits, flow, false);
            return true;
        } catch (CSerialException* e) {
            ADD_FAILURE() << "Open refused with error " << e->Error() << " (parity "
                          << static_cast<int>(parity) << ", stop bits "
                          << static_cast<int>(stopBits) << ", flow " << static_cast<int>(flow)
                          << ")";
            e->Delete();
            return false;
        }
    }

    core_test::TempConfigHome home;
    int master = -1;
    CSerialPort port;
};

TEST_F(SerialPortTest, OpenLeavesTheLineSettingsTheLibraryNeeds) {
    port.Open(3, 10400, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
    ASSERT_TRUE(port.IsOpen());
    DCB dcb{};
    ASSERT_TRUE(port.GetState(dcb));
    EXPECT_EQ(dcb.BaudRate, 10400u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(DcbFlagWord(dcb) & 0x0091u, 0x0091u);
    EXPECT_EQ(DcbFlagWord(dcb) & 0x3C60u, 0u);

    // Baud-rate changes keep the rest of the line settings.
    ASSERT_TRUE(port.SetBaudRate(9600));
    DCB after{};
    port.GetState(after);
    EXPECT_EQ(after.BaudRate, 9600u);
    EXPECT_EQ(after.ByteSize, 8);

    // Open on an open port reopens it with the new settings.
    port.Open(3, 4800, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
    ASSERT_TRUE(port.IsOpen());
    port.GetState(after);
    EXPECT_EQ(after.BaudRate, 4800u);

    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
}

TEST_F(SerialPortTest, ParityStopBitsAndFlowControlTables) {
    // A pseudo-terminal keeps 8N1 whatever it is told; the simulator's K-line takes every
    // framing, as a UART does.
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    MapCom3(std::string(serial::kVirtualDevicePrefix) + "kwp2000");

    // The port's enumerations are not the driver's codes: each maps through its table.
    const std::pair<PortParity, BYTE> parities[] = {{PortParity::Even, EVENPARITY},
                                                    {PortParity::Mark, MARKPARITY},
                                                    {PortParity::None, NOPARITY},
                                                    {PortParity::Odd, ODDPARITY},
                                                    {PortParity::Space, SPACEPARITY}};
    DCB dcb{};
    for (auto [parity, expected] : parities) {
        if (!OpenAs(parity, 8, PortStopBits::Two, PortFlowControl::None)) continue;
        ASSERT_TRUE(port.GetState(dcb));
        EXPECT_EQ(dcb.Parity, expected) << static_cast<int>(parity);
        EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    }
    ASSERT_TRUE(OpenAs(PortParity::None, 5, PortStopBits::OnePointFive, PortFlowControl::None));
    ASSERT_TRUE(port.GetState(dcb));
    EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
    EXPECT_EQ(dcb.ByteSize, 5);

    struct FlowRow {
        PortFlowControl flow;
        DWORD cts, dsr, outX, inX, dtr, rts;
    };
    const FlowRow rows[] = {
        {PortFlowControl::None, 0, 0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
        {PortFlowControl::CtsRts, 1, 0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE},
        {PortFlowControl::CtsDtr, 1, 0, 0, 0, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_DISABLE},
        {PortFlowControl::DsrRts, 0, 1, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE},
        {PortFlowControl::DsrDtr, 0, 1, 0, 0, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_DISABLE},
        {PortFlowControl::XonXoff, 0, 0, 1, 1, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
    };
    for (const FlowRow& row : rows) {
        // Each Open starts from the previous row's settings: nothing may linger.
        if (!OpenAs(PortParity::None, 8, PortStopBits::One, row.flow)) continue;
        ASSERT_TRUE(port.GetState(dcb));
        const int flow = static_cast<int>(row.flow);
        EXPECT_EQ(dcb.fOutxCtsFlow, row.cts) << flow;
        EXPECT_EQ(dcb.fOutxDsrFlow, row.dsr) << flow;
        EXPECT_EQ(dcb.fOutX, row.outX) << flow;
        EXPECT_EQ(dcb.fInX, row.inX) << flow;
        EXPECT_EQ(dcb.fDtrControl, row.dtr) << flow;
        EXPECT_EQ(dcb.fRtsControl, row.rts) << flow;
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
        EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    }
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.XonLim, 100);
    EXPECT_EQ(dcb.XoffLim, 100);
}

TEST_F(SerialPortTest, ReadTimesOutQuietlyAndQueuedBytesAreCounted) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    port.Open(3, 10400, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
    ASSERT_TRUE(port.IsOpen());
    COMMTIMEOUTS timeouts{0, 0, 2, 0, 0};
    ASSERT_TRUE(port.SetTimeouts(timeouts));
    COMMTIMEOUTS back{};
    ASSERT_TRUE(port.GetTimeouts(back));
    EXPECT_EQ(back.ReadTotalTimeoutConstant, 2u);

    BYTE buffer[4] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(port.BytesWaiting(), 0u);

    const BYTE sent[] = {0x55, 0x01, 0x8A};
    ASSERT_EQ(write(master, sent, sizeof sent), static_cast<ssize_t>(sizeof sent));
    for (int i = 0; i < 1000 && port.BytesWaiting() < sizeof sent; ++i) clock.SleepMs(1);
    EXPECT_EQ(port.BytesWaiting(), sizeof sent);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), sizeof sent);  // fewer than asked
    EXPECT_EQ(buffer[2], 0x8A);

    EXPECT_EQ(port.SetInsertChar(0xFF), 0);
}

TEST_F(SerialPortTest, MissingDeviceThrowsCreateFilesCode) {
    MapCom3("/nonexistent/ortaline-tty");
    HANDLE direct = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(direct, INVALID_HANDLE_VALUE);
    const DWORD expected = GetLastError();
    ASSERT_NE(expected, 0u);

    try {
        port.Open(3, 10400, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
        FAIL() << "Open of a missing device did not throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->Error(), expected);
        char text[256];
        UINT help = 7;
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof text, &help));
        EXPECT_GT(std::strlen(text), 0u);
        EXPECT_EQ(help, 0u);
        char tiny[5];
        EXPECT_TRUE(e->GetErrorMessage(tiny, sizeof tiny));
        EXPECT_EQ(std::strlen(tiny), 4u);
        e->Delete();
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
}

TEST(CoreSerialException, UnknownCodeGivesEmptyMessage) {
    CSerialException e(0x7FFF1234);
    char text[32] = "stale";
    EXPECT_FALSE(e.GetErrorMessage(text, sizeof text));
    EXPECT_STREQ(text, "");

    SetLastError(ERROR_ACCESS_DENIED);
    try {
        ThrowSerialException(0);
    } catch (CSerialException* thrown) {
        EXPECT_EQ(thrown->Error(), ERROR_ACCESS_DENIED);
        thrown->Delete();
    }
}

TEST(CoreSerialPortClosed, OperationsOnAClosedPortThrowInsteadOfTouchingAHandle) {
    CSerialPort port;
    BYTE b = 0;
    try {
        port.Read(&b, 1);
        ADD_FAILURE() << "Read on a closed port did not throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->Error(), ERROR_INVALID_HANDLE);
        e->Delete();
    }
    EXPECT_NE(port.SetInsertChar(0xFF), 0);
    EXPECT_STREQ(port.GetPortName(), "SER");
    try {
        port.TerminateOutstandingReads();
        ADD_FAILURE() << "purge on a closed port did not throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->Error(), ERROR_INVALID_HANDLE);
        e->Delete();
    }
}

TEST(CoreUsbPort, NotYetConnectedCable) {
    CUsbPort port;
    EXPECT_STREQ(port.GetPortName(), "USB");
    try {
        port.Open(0, 10400, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
        FAIL() << "no throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->Error(), ERROR_DEVICE_NOT_CONNECTED);
        e->Delete();
    }
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
