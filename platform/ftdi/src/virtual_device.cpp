#include "virtual_device.h"

#include <algorithm>
#include <atomic>

#include "clock/clock.h"
#include "ecusim/line_directory.h"
#include "ftdi/chip.h"
#include "ftdi/virtual_cable.h"
#include "kline/kline.h"
#include "packet_delivery.h"

namespace ftdi {
namespace {

std::atomic<std::uint8_t> g_forcedLatencyMs{0};

// Finding and opening a device on the bus takes time, so a retry loop moves the clock.
constexpr std::uint32_t kBusLookupMs = 1;

std::int64_t NowNs() { return platform::CurrentClock().NowNs(); }

BYTE EffectiveLatency(BYTE asked) {
    const std::uint8_t forced = g_forcedLatencyMs.load();
    return forced != 0 ? forced : asked;
}

class VirtualDevice final : public Device {
public:
    explicit VirtualDevice(std::shared_ptr<kline::KLine> line)
        : m_line(std::move(line)), m_delivery(NowNs(), EffectiveLatency(kDefaultLatencyMs)) {}

    ~VirtualDevice() override {
        // Closing the device releases the line and drops the modem lines.
        m_line->SetTesterBreak(false);
        m_line->SetTesterDtr(false);
        m_line->SetTesterRts(false);
        m_line->ReleaseTester();
    }

    Status Read(BYTE* buffer, DWORD count, DWORD& read) override {
        read = 0;
        if (!m_line->TesterConnected()) return Status::IoError;
        platform::Clock& clock = platform::CurrentClock();
        const std::int64_t deadline =
            clock.NowNs() + static_cast<std::int64_t>(m_readMs) * 1'000'000;
        for (;;) {
            Pump();
            const std::int64_t now = clock.NowNs();
            if (m_delivery.HostBytes() >= count || now >= deadline) break;
            const std::int64_t next =
                std::min({m_line->NextEventNs(), m_delivery.NextPacketNs(), deadline});
            clock.SleepUntilNs(std::max(next, now + 1));
            if (!m_line->TesterConnected()) return Status::IoError;
        }
        read = static_cast<DWORD>(m_delivery.Take(buffer, count));
        return Status::Ok;
    }

    Status Write(const BYTE* buffer, DWORD count, DWORD& written) override {
        written = 0;
        if (!m_line->TesterConnected()) return Status::IoError;
        written = static_cast<DWORD>(m_line->TesterWrite(buffer, count));
        return Status::Ok;
    }

    Status SetBaudRate(DWORD baud) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        if (!BaudRateSupported(baud)) return Status::InvalidBaudRate;
        kline::Framing f = m_line->TesterFraming();
        f.baud = baud;
        m_line->SetTesterFraming(f);
        return Status::Ok;
    }

    Status SetDataCharacteristics(BYTE dataBits, BYTE stopBits, BYTE parity) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        if ((dataBits != 7 && dataBits != 8) || (stopBits != 0 && stopBits != 2) || parity > 4) {
            return Status::InvalidParameter;
        }
        static constexpr kline::Parity kParity[] = {kline::Parity::None, kline::Parity::Odd,
                                                    kline::Parity::Even, kline::Parity::Mark,
                                                    kline::Parity::Space};
        kline::Framing f = m_line->TesterFraming();
        f.dataBits = dataBits;
        f.stopBits = stopBits == 2 ? kline::StopBits::Two : kline::StopBits::One;
        f.parity = kParity[parity];
        m_line->SetTesterFraming(f);
        return Status::Ok;
    }

    // The K-line interface has no handshake lines to obey; the modes the chip knows are taken.
    Status SetFlowControl(WORD flow, BYTE, BYTE) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        if (flow != kFlowNone && flow != kFlowRtsCts && flow != kFlowDtrDsr) {
            return Status::InvalidParameter;
        }
        return Status::Ok;
    }

    Status SetLatencyTimer(BYTE ms) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        if (ms == 0) return Status::InvalidParameter;
        Pump();
        m_delivery.SetLatencyMs(EffectiveLatency(ms), NowNs());
        return Status::Ok;
    }

    Status SetDtr(bool on) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        m_line->SetTesterDtr(on);
        return Status::Ok;
    }
    Status SetRts(bool on) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        m_line->SetTesterRts(on);
        return Status::Ok;
    }
    Status SetBreak(bool on) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        m_line->SetTesterBreak(on);
        return Status::Ok;
    }

    // What has arrived or started by now is what the purge sees.
    Status Purge(DWORD mask) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        m_line->TesterAvailable();
        if (mask & kPurgeReceive) {
            m_line->TesterPurgeReceive();
            m_delivery.PurgeReceive();
        }
        if (mask & kPurgeTransmit) m_line->TesterAbortTransmit();
        return Status::Ok;
    }

    Status SetTransferSizes(DWORD inBytes, DWORD outBytes) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        if (inBytes < 64 || outBytes < 64) return Status::InvalidParameter;
        return Status::Ok;
    }

    // Writes go into the chip's buffer at once; only reads wait.
    Status SetTimeouts(DWORD readMs, DWORD) override {
        if (!m_line->TesterConnected()) return Status::IoError;
        m_readMs = readMs;
        return Status::Ok;
    }

    Status GetQueueStatus(DWORD& receivedBytes) override {
        receivedBytes = 0;
        if (!m_line->TesterConnected()) return Status::IoError;
        Pump();
        receivedBytes = static_cast<DWORD>(m_delivery.HostBytes());
        return Status::Ok;
    }

    Status TakeLineErrors(DWORD& errors) override {
        errors = 0;
        if (!m_line->TesterConnected()) return Status::IoError;
        Pump();
        errors = m_errors;
        m_errors = 0;
        return Status::Ok;
    }

    // The chip reports line status in its packet headers, not in the data: no insertion.
    Status DeviceIoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*) override {
        return Status::NotSupported;
    }

private:
    // Moves what the UART has received into the chip and the due packets to the host.
    void Pump() {
        m_line->TesterAvailable();
        kline::ReceivedByte r;
        while (m_line->TesterRead(r)) {
            if (r.framingError) m_errors |= CE_FRAME;
            if (r.parityError) m_errors |= CE_RXPARITY;
            if (r.breakCondition) m_errors |= CE_BREAK;
            m_delivery.Arrive(r.value, r.timeNs);
        }
        m_delivery.Advance(NowNs());
    }

    std::shared_ptr<kline::KLine> m_line;
    PacketDelivery m_delivery;
    DWORD m_readMs = 0;
    DWORD m_errors = 0;
};

}  // namespace

void ForceVirtualLatencyMs(std::uint8_t ms) { g_forcedLatencyMs.store(ms); }

Status OpenVirtualDevice(const std::string& lineName, std::unique_ptr<Device>& device) {
    platform::CurrentClock().SleepMs(kBusLookupMs);
    std::shared_ptr<kline::KLine> line = ecusim::AcquireLine(lineName);
    if (!line || !line->TesterConnected()) return Status::DeviceNotFound;
    if (!line->ClaimTester()) return Status::DeviceBusy;
    device = std::make_unique<VirtualDevice>(std::move(line));
    return Status::Ok;
}

}  // namespace ftdi
