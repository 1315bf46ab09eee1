#include "virtual_backend.h"

#include <algorithm>

#include "clock/clock.h"
#include "ecusim/line_directory.h"
#include "kline/kline.h"
#include "serial/comm.h"

namespace serial {

namespace {

kline::Parity ToLineParity(BYTE parity) {
    switch (parity) {
        case ODDPARITY:
            return kline::Parity::Odd;
        case EVENPARITY:
            return kline::Parity::Even;
        case MARKPARITY:
            return kline::Parity::Mark;
        case SPACEPARITY:
            return kline::Parity::Space;
        default:
            return kline::Parity::None;
    }
}

BYTE FromLineParity(kline::Parity parity) {
    switch (parity) {
        case kline::Parity::Odd:
            return ODDPARITY;
        case kline::Parity::Even:
            return EVENPARITY;
        case kline::Parity::Mark:
            return MARKPARITY;
        case kline::Parity::Space:
            return SPACEPARITY;
        default:
            return NOPARITY;
    }
}

kline::StopBits ToLineStopBits(BYTE stopBits) {
    switch (stopBits) {
        case ONE5STOPBITS:
            return kline::StopBits::OnePointFive;
        case TWOSTOPBITS:
            return kline::StopBits::Two;
        default:
            return kline::StopBits::One;
    }
}

BYTE FromLineStopBits(kline::StopBits stopBits) {
    switch (stopBits) {
        case kline::StopBits::OnePointFive:
            return ONE5STOPBITS;
        case kline::StopBits::Two:
            return TWOSTOPBITS;
        default:
            return ONESTOPBIT;
    }
}

class VirtualBackend final : public SerialBackend {
public:
    explicit VirtualBackend(std::shared_ptr<kline::KLine> line) : m_line(std::move(line)) {}

    ~VirtualBackend() override {
        // Closing a port releases the line and drops the modem lines, as a driver does.
        m_line->SetTesterBreak(false);
        m_line->SetTesterDtr(false);
        m_line->SetTesterRts(false);
        m_line->ReleaseTester();
    }

    std::int64_t NowNs() override { return platform::CurrentClock().NowNs(); }

    LineSettings CurrentSettings() override {
        const kline::Framing f = m_line->TesterFraming();
        LineSettings s;
        s.baud = f.baud;
        s.byteSize = static_cast<BYTE>(f.dataBits);
        s.parity = FromLineParity(f.parity);
        s.stopBits = FromLineStopBits(f.stopBits);
        return s;
    }

    DWORD ApplySettings(const LineSettings& s) override {
        kline::Framing f;
        f.baud = s.baud;
        f.dataBits = s.byteSize;
        f.parity = ToLineParity(s.parity);
        f.stopBits = ToLineStopBits(s.stopBits);
        m_line->SetTesterFraming(f);
        return ERROR_SUCCESS;
    }

    DWORD SetBreak(bool on) override {
        m_line->SetTesterBreak(on);
        return ERROR_SUCCESS;
    }
    DWORD SetDtr(bool on) override {
        m_line->SetTesterDtr(on);
        return ERROR_SUCCESS;
    }
    DWORD SetRts(bool on) override {
        m_line->SetTesterRts(on);
        return ERROR_SUCCESS;
    }

    DWORD Receive(std::vector<RxByte>& out) override {
        if (!m_line->TesterConnected()) return ERROR_DEVICE_NOT_CONNECTED;
        m_line->TesterAvailable();
        const std::int64_t busyUntil = TransmitterBusyUntilNs();
        kline::ReceivedByte r;
        while (m_line->TesterRead(r)) {
            RxByte b;
            b.value = r.value;
            b.parityError = r.parityError;
            b.framingError = r.framingError;
            b.breakCondition = r.breakCondition;
            b.transmitterIdle = r.timeNs >= busyUntil;
            b.timeNs = r.timeNs;
            out.push_back(b);
        }
        return ERROR_SUCCESS;
    }

    DWORD WaitForInput(std::int64_t deadlineNs, bool& nothingCanArrive) override {
        nothingCanArrive = false;
        if (!m_line->TesterConnected()) return ERROR_DEVICE_NOT_CONNECTED;
        const std::int64_t next = m_line->NextEventNs();
        if (next == kNoDeadline && deadlineNs == kNoDeadline) {
            // Only this thread moves the wire: with nothing pending nothing will ever come.
            nothingCanArrive = true;
            return ERROR_SUCCESS;
        }
        platform::Clock& clock = platform::CurrentClock();
        clock.SleepUntilNs(std::max(std::min(next, deadlineNs), clock.NowNs() + 1));
        return ERROR_SUCCESS;
    }

    DWORD Write(const BYTE* bytes, DWORD count, std::int64_t, DWORD& written) override {
        written = 0;
        if (!m_line->TesterConnected()) return ERROR_DEVICE_NOT_CONNECTED;
        written = static_cast<DWORD>(m_line->TesterWrite(bytes, count));
        return ERROR_SUCCESS;
    }

    DWORD DrainOutput() override {
        if (!m_line->TesterConnected()) return ERROR_DEVICE_NOT_CONNECTED;
        platform::CurrentClock().SleepUntilNs(m_line->TesterTransmitDoneNs());
        return ERROR_SUCCESS;
    }

    DWORD OutputQueued(DWORD& count) override {
        const std::int64_t left = m_line->TesterTransmitDoneNs() - NowNs();
        const std::int64_t perByte =
            std::max<std::int64_t>(m_line->TesterFraming().CharacterNs(), 1);
        count = left <= 0 ? 0 : static_cast<DWORD>((left + perByte - 1) / perByte);
        return ERROR_SUCCESS;
    }

    // The wire is brought up to now first, so that what has arrived or started by now
    // is what the purge sees.
    DWORD PurgeReceive() override {
        m_line->TesterAvailable();
        m_line->TesterPurgeReceive();
        return ERROR_SUCCESS;
    }

    DWORD PurgeTransmit() override {
        m_line->TesterAvailable();
        m_line->TesterAbortTransmit();
        return ERROR_SUCCESS;
    }

private:
    // When our own last byte leaves (or left) the wire, for the LSR's transmitter bits.
    std::int64_t TransmitterBusyUntilNs() {
        const std::int64_t done = m_line->TesterTransmitDoneNs();
        if (done > NowNs()) return done;
        return m_line->TesterLastByteEndNs();
    }

    std::shared_ptr<kline::KLine> m_line;
};

}  // namespace

DWORD OpenVirtualBackend(const std::string& lineName, std::unique_ptr<SerialBackend>& backend) {
    std::shared_ptr<kline::KLine> line = ecusim::AcquireLine(lineName);
    if (!line) return ERROR_FILE_NOT_FOUND;
    if (!line->ClaimTester()) return ERROR_ACCESS_DENIED;
    backend = std::make_unique<VirtualBackend>(std::move(line));
    return ERROR_SUCCESS;
}

}  // namespace serial
