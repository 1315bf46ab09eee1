// The USB cable port against a recording FTDI driver: the driver codes of every setting, the
// refusals, the timeouts given before each transfer and the reopen after a failed transfer,
// on the simulated clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UsbPort.h"
#include "clock/clock.h"
#include "ftdi/device.h"

namespace {

using ftdi::Status;

// Every driver call as a line of text; statuses to answer are set per call name.
struct Script {
    std::vector<std::string> calls;
    int failedOpensLeft = 0;
    bool failReads = false;
    bool refuseBaud = false;
    bool transmitterEmpty = false;
    platform::SimulatedClock* clock = nullptr;
};

class RecordingDevice final : public ftdi::Device {
public:
    explicit RecordingDevice(Script& s) : m_s(s) {}
    ~RecordingDevice() override { Log("close"); }

    Status Read(BYTE*, DWORD count, DWORD& read) override {
        read = 0;
        Log("read " + std::to_string(count));
        return m_s.failReads ? Status::IoError : Status::Ok;
    }
    Status Write(const BYTE*, DWORD count, DWORD& written) override {
        written = count;
        Log("write " + std::to_string(count));
        return Status::Ok;
    }
    Status SetBaudRate(DWORD baud) override {
        Log("baud " + std::to_string(baud));
        return m_s.refuseBaud ? Status::InvalidBaudRate : Status::Ok;
    }
    Status SetDataCharacteristics(BYTE bits, BYTE stop, BYTE parity) override {
        return Log("data " + std::to_string(bits) + " " + std::to_string(stop) + " " +
                   std::to_string(parity));
    }
    Status SetFlowControl(WORD flow, BYTE, BYTE) override {
        return Log("flow " + std::to_string(flow));
    }
    Status SetLatencyTimer(BYTE ms) override { return Log("latency " + std::to_string(ms)); }
    Status SetDtr(bool on) override { return Log(on ? "dtr on" : "dtr off"); }
    Status SetRts(bool on) override { return Log(on ? "rts on" : "rts off"); }
    Status SetBreak(bool on) override { return Log(on ? "break on" : "break off"); }
    Status Purge(DWORD mask) override { return Log("purge " + std::to_string(mask)); }
    Status SetTransferSizes(DWORD in, DWORD out) override {
        return Log("sizes " + std::to_string(in) + " " + std::to_string(out));
    }
    Status SetTimeouts(DWORD readMs, DWORD writeMs) override {
        return Log("timeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    }
    Status GetQueueStatus(DWORD& n) override {
        n = 7;
        return Log("queue");
    }
    Status GetModemStatus(DWORD& status) override {
        m_s.clock->AdvanceNs(125'000);  // a USB control transfer
        status = m_s.transmitterEmpty ? ftdi::kTransmitterEmpty : 0;
        return Status::Ok;
    }
    Status TakeLineErrors(DWORD& errors) override {
        errors = CE_FRAME;
        return Log("errors");
    }
    Status DeviceIoControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                           DWORD*) override {
        Log("ioctl " + std::to_string(code) + " " + std::to_string(*static_cast<BYTE*>(in)) + " " +
            std::to_string(inSize) + (out == nullptr && outSize == 0 ? " no-out" : ""));
        return Status::NotSupported;
    }

private:
    Status Log(const std::string& call) {
        m_s.calls.push_back(call);
        return Status::Ok;
    }
    Script& m_s;
};

class RecordingDriver final : public ftdi::Driver {
public:
    explicit RecordingDriver(Script& s) : m_s(s) {}
    Status Open(int index, std::unique_ptr<ftdi::Device>& device) override {
        m_s.calls.push_back("open " + std::to_string(index));
        m_s.clock->AdvanceNs(1'000'000);  // a bus lookup takes time
        if (m_s.failedOpensLeft != 0) {
            if (m_s.failedOpensLeft > 0) --m_s.failedOpensLeft;
            return Status::DeviceNotFound;
        }
        device = std::make_unique<RecordingDevice>(m_s);
        return Status::Ok;
    }

private:
    Script& m_s;
};

class UsbPortTest : public ::testing::Test {
protected:
    UsbPortTest() { script.clock = &clock; }
    ~UsbPortTest() override { ftdi::InstallDriver(nullptr); }

    void OpenDefault(CUsbPort& p, std::int32_t portNumber = 3) {
        p.Open(portNumber, 10400, PortParity::None, 8, PortStopBits::One, PortFlowControl::None,
               false);
    }
    // Open with one setting changed; the error code of the throw, 0 when none.
    DWORD OpenWith(CUsbPort& p, PortParity parity, PortStopBits stop, PortFlowControl flow,
                   std::uint8_t bits = 8) {
        try {
            p.Open(1, 10400, parity, bits, stop, flow, false);
        } catch (CSerialException* e) {
            const DWORD code = e->Error();
            e->Delete();
            return code == 0 ? 1 : code;
        }
        return 0;
    }
    std::vector<std::string> Take() { return std::exchange(script.calls, {}); }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    Script script;
    RecordingDriver driver{script};
    struct Installed {
        explicit Installed(ftdi::Driver& d) { ftdi::InstallDriver(&d); }
    } installed{driver};
};

const std::vector<std::string> kOpenSequence{"open 0",     "baud 10400", "flow 0",
                                             "data 8 0 0", "latency 1",  "rts off"};

TEST_F(UsbPortTest, OpenConfiguresTheFirstDeviceWhateverThePortNumber) {
    CUsbPort port;
    COMMTIMEOUTS fresh{};
    ASSERT_TRUE(port.GetTimeouts(fresh));
    EXPECT_EQ(fresh.WriteTotalTimeoutConstant, 1000u);
    EXPECT_EQ(fresh.ReadIntervalTimeout + fresh.ReadTotalTimeoutMultiplier +
                  fresh.ReadTotalTimeoutConstant + fresh.WriteTotalTimeoutMultiplier,
              0u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Read(nullptr, 1), 0u);  // closed: nothing reaches the driver
    EXPECT_TRUE(Take().empty());

    OpenDefault(port, 3);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(Take(), kOpenSequence);
}

TEST_F(UsbPortTest, DriverCodesOfParityStopBitsAndFlowAndTheRefusedValues) {
    struct Case {
        PortParity parity;
        PortStopBits stop;
        PortFlowControl flow;
        const char* data;  // nullptr: refused
        const char* flowCall;
    };
    const Case cases[] = {
        {PortParity::Even, PortStopBits::One, PortFlowControl::None, "data 8 0 2", "flow 0"},
        {PortParity::Mark, PortStopBits::One, PortFlowControl::None, "data 8 0 3", "flow 0"},
        {PortParity::Odd, PortStopBits::Two, PortFlowControl::CtsRts, "data 8 2 1", "flow 256"},
        {PortParity::Space, PortStopBits::One, PortFlowControl::DsrDtr, "data 8 0 4", "flow 512"},
        {PortParity::None, PortStopBits::OnePointFive, PortFlowControl::None, nullptr, nullptr},
        {PortParity::None, PortStopBits::One, PortFlowControl::XonXoff, nullptr, nullptr},
        {PortParity::None, PortStopBits::One, PortFlowControl::CtsDtr, nullptr, nullptr},
        {PortParity::None, PortStopBits::One, PortFlowControl::DsrRts, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        Take();  // the last case's port closing
        CUsbPort port;
        const DWORD error = OpenWith(port, c.parity, c.stop, c.flow);
        const auto calls = Take();
        if (c.data == nullptr) {
            EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
            EXPECT_TRUE(port.IsOpen());  // refused after the device was opened
            EXPECT_EQ(calls, (std::vector<std::string>{"open 0", "baud 10400"}));
        } else {
            EXPECT_EQ(error, 0u);
            EXPECT_EQ(calls, (std::vector<std::string>{"open 0", "baud 10400", c.flowCall, c.data,
                                                       "latency 1", "rts off"}));
        }
    }
    CUsbPort sevenBits;
    EXPECT_EQ(OpenWith(sevenBits, PortParity::Even, PortStopBits::One, PortFlowControl::None, 7),
              0u);
    CUsbPort nineBits;  // nine data bits only between bytes, never at Open
    EXPECT_EQ(OpenWith(nineBits, PortParity::None, PortStopBits::One, PortFlowControl::None, 9),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    Take();
    nineBits.SetDataCharacteristics(9, PortStopBits::Two, PortParity::Space);
    EXPECT_EQ(Take(), (std::vector<std::string>{"data 9 2 4"}));
    EXPECT_THROW(
        try {
            nineBits.SetDataCharacteristics(8, PortStopBits::OnePointFive, PortParity::Space);
        } catch (CSerialException* e) {
            e->Delete();
            throw 1;
        },
        int);
}

TEST_F(UsbPortTest, OpenWhileOpenConfiguresTheCableAgainAndKeepsTheArgumentsForAReopen) {
    CUsbPort port;
    OpenDefault(port);
    port.SetDataCharacteristics(8, PortStopBits::Two, PortParity::Space);  // a ninth-bit session
    Take();
    port.Open(2, 9600, PortParity::None, 8, PortStopBits::One, PortFlowControl::None, false);
    EXPECT_EQ(Take(), (std::vector<std::string>{"baud 9600", "flow 0", "data 8 0 0", "latency 1",
                                                "rts off"}));
    // SetBaudRate leaves the stored rate alone: a reopen goes back to that of the last Open.
    EXPECT_TRUE(port.SetBaudRate(5200));
    script.failReads = true;
    COMMTIMEOUTS t{60, 0, 1500, 0, 0};
    port.SetTimeouts(t);
    Take();
    BYTE b = 0;
    port.Read(&b, 1);
    const auto calls = Take();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[3], "open 0");
    EXPECT_EQ(calls[4], "baud 9600");
}

TEST_F(UsbPortTest, TimeoutsGoToTheDriverBeforeEveryTransfer) {
    CUsbPort port;
    OpenDefault(port);
    Take();
    COMMTIMEOUTS t{60, 0, 1500, 0, 0};
    EXPECT_TRUE(port.SetTimeouts(t));
    EXPECT_TRUE(Take().empty());  // stored only
    BYTE bytes[3] = {1, 2, 3};
    port.Read(bytes, 1);
    port.Write(bytes, 3);
    EXPECT_EQ(Take(), (std::vector<std::string>{"timeouts 1500 0", "read 1", "timeouts 1500 0",
                                                "write 3"}));
    COMMTIMEOUTS m{0, 10, 100, 20, 200};
    port.SetTimeouts(m);
    port.Read(bytes, 3);
    EXPECT_EQ(Take(), (std::vector<std::string>{"timeouts 130 260", "read 3"}));
}

TEST_F(UsbPortTest, FailedReadReopensUntilTheLimitOnTheSimulatedClock) {
    struct Case {
        DWORD readConstant;
        DWORD expectedMs;
    };
    for (const Case c : {Case{1500, 4500}, Case{6000, 6000}}) {
        CUsbPort port;
        OpenDefault(port);
        port.SetTimeouts(COMMTIMEOUTS{60, 0, c.readConstant, 0, 0});
        script.failReads = true;
        script.failedOpensLeft = -1;  // the cable is gone
        Take();
        const std::int64_t start = clock.NowNs();
        BYTE b = 0;
        EXPECT_EQ(port.Read(&b, 1), 0u);
        const std::int64_t tookMs = (clock.NowNs() - start) / 1'000'000;
        EXPECT_GE(tookMs, c.expectedMs);
        EXPECT_LE(tookMs, c.expectedMs + 2);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Read(&b, 1), 0u);  // closed now: returns at once
        const auto calls = Take();
        EXPECT_EQ(calls[0], "timeouts " + std::to_string(c.readConstant) + " 0");
        EXPECT_EQ(calls[2], "close");
        EXPECT_EQ(calls.back(), "open 0");
        script.failedOpensLeft = 0;
        script.failReads = false;
    }

    // The cable comes back on the third try: the port is open and configured again.
    CUsbPort port;
    OpenDefault(port);
    script.failReads = true;
    script.failedOpensLeft = 2;
    Take();
    BYTE b = 0;
    port.Read(&b, 1);
    EXPECT_TRUE(port.IsOpen());
    auto calls = Take();
    calls.erase(calls.begin(), calls.begin() + 5);  // timeouts, read, close, two failed opens
    EXPECT_EQ(calls, kOpenSequence);
}

TEST_F(UsbPortTest, OperationsThatReachTheDriverAndThoseThatDoNot) {
    CUsbPort port;
    DWORD errors = 0;
    EXPECT_FALSE(port.ClearError(errors));  // called even when closed: the driver refuses
    EXPECT_EQ(port.SetInsertChar(0xFF), 0);
    EXPECT_FALSE(port.SetBaudRate(10400));
    EXPECT_EQ(port.BytesWaiting(), 0u);
    EXPECT_EQ(Take(), std::vector<std::string>{});

    OpenDefault(port);
    Take();
    port.Purge(PURGE_TXABORT | PURGE_RXCLEAR);
    port.Purge(0);
    port.Purge(PURGE_RXABORT);
    port.TerminateOutstandingWrites();
    port.ClearReadBuffer();
    port.Setup(3328, 3328);
    port.SetBreak();
    port.ClearBreak();
    port.SetDTR();
    port.ClearDTR();
    port.SetRTS();
    port.ClearRTS();
    port.Flush();
    port.SetMask(0);
    EXPECT_EQ(port.BytesWaiting(), 7u);
    EXPECT_TRUE(port.ClearError(errors));
    EXPECT_EQ(errors, static_cast<DWORD>(CE_FRAME));
    EXPECT_NE(port.SetInsertChar(0xAA), 0);  // the chip has no line-status insertion
    EXPECT_EQ(Take(), (std::vector<std::string>{"purge 3", "purge 0", "purge 1", "purge 2",
                                                "purge 1", "sizes 3328 3328", "break on",
                                                "break off", "dtr on", "dtr off", "queue", "errors",
                                                "queue", "ioctl 1769596 170 1 no-out"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

    // Never before a whole character at the rate in force (4.2 ms at 2400 baud), even where
    // the chip reports its transmitter empty at once; else after a character and the slack.
    port.SetBaudRate(2400);
    Take();
    for (const auto& [empty, ms] : {std::pair{true, 5.125}, {false, 15.0}}) {
        script.transmitterEmpty = empty;
        const std::int64_t start = clock.NowNs();
        port.AwaitTransmitterEmpty();
        EXPECT_NEAR((clock.NowNs() - start) / 1e6, ms, 1.0);
    }

    script.refuseBaud = true;
    EXPECT_FALSE(port.SetBaudRate(5));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(Take(), (std::vector<std::string>{"baud 5", "close"}));
}

}  // namespace
