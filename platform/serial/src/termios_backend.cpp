#include "termios_backend.h"

// The kernel's termios2 (any baud rate through BOTHER) is not in the C library's
// <termios.h>, which cannot be included next to it; every tty call here is an ioctl.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "clock/clock.h"
#include "parmrk_decoder.h"
#include "serial/comm.h"
#include "tty_driver.h"
#include "win32/last_error.h"

namespace serial {

namespace {

// Longest single poll, so that a deadline or a lost device is seen promptly.
constexpr std::int64_t kPollSliceNs = 20'000'000;
constexpr int kTcInputFlush = 0;   // TCIFLUSH
constexpr int kTcOutputFlush = 1;  // TCOFLUSH

DWORD DeviceError(int err) {
    switch (err) {
        case EIO:
        case ENXIO:
        case ENODEV:
            return ERROR_DEVICE_NOT_CONNECTED;
        default:
            return win32::ErrorFromErrno(err);
    }
}

DWORD OpenError(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EBUSY:
        case EWOULDBLOCK:
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        default:
            return win32::ErrorFromErrno(err);
    }
}

timespec ToTimespec(std::int64_t ns) {
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

tcflag_t SizeFlag(BYTE byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

BYTE ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t ParityFlags(BYTE parity) {
    switch (parity) {
        case ODDPARITY:
            return PARENB | PARODD;
        case EVENPARITY:
            return PARENB;
        case MARKPARITY:
            return PARENB | CMSPAR | PARODD;
        case SPACEPARITY:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

BYTE ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) return NOPARITY;
    if (cflag & CMSPAR) return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

class TermiosBackend final : public SerialBackend {
public:
    TermiosBackend(int fd, DWORD lowestBaud) : m_fd(fd), m_lowestBaud(lowestBaud) {
        int bits = 0;
        m_hasModemLines = ioctl(m_fd, TIOCMGET, &bits) == 0;
        m_hasCounters = ioctl(m_fd, TIOCGICOUNT, &m_counters) == 0;
    }

    ~TermiosBackend() override {
        ioctl(m_fd, TIOCCBRK);
        ioctl(m_fd, TIOCNXCL);
        close(m_fd);  // also releases the lock; HUPCL drops DTR and RTS
    }

    DWORD MakeRaw() {
        termios2 t{};
        if (ioctl(m_fd, TCGETS2, &t) != 0) return OpenError(errno);
        t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
        // Errors marked in the stream (parity, framing, break), checked even without parity
        // so that framing errors are seen.
        t.c_iflag |= PARMRK | INPCK;
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 1;  // with O_NONBLOCK: no data is EAGAIN, 0 bytes is a hang-up
        t.c_cc[VTIME] = 0;
        if (ioctl(m_fd, TCSETS2, &t) != 0) return OpenError(errno);
        return ERROR_SUCCESS;
    }

    std::int64_t NowNs() override { return m_clock.NowNs(); }

    LineSettings CurrentSettings() override {
        LineSettings s;
        termios2 t{};
        if (ioctl(m_fd, TCGETS2, &t) != 0) return s;
        s.baud = t.c_ospeed != 0 ? t.c_ospeed : 9600;
        s.byteSize = ByteSizeOf(t.c_cflag);
        s.parity = ParityOf(t.c_cflag);
        s.stopBits =
            (t.c_cflag & CSTOPB) ? (s.byteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS) : ONESTOPBIT;
        s.ctsOutputFlow = s.rtsHandshake = (t.c_cflag & CRTSCTS) != 0;
        s.xonXoffOutput = (t.c_iflag & IXON) != 0;
        s.xonXoffInput = (t.c_iflag & IXOFF) != 0;
        s.xonChar = static_cast<char>(t.c_cc[VSTART]);
        s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
        m_parity = s.parity;
        return s;
    }

    DWORD ApplySettings(const LineSettings& s) override {
        if (s.baud < m_lowestBaud) return ERROR_INVALID_PARAMETER;
        termios2 before{};
        if (ioctl(m_fd, TCGETS2, &before) != 0) return DeviceError(errno);
        termios2 t = before;
        t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        t.c_cflag |= BOTHER | SizeFlag(s.byteSize) | ParityFlags(s.parity);
        if (s.stopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;  // 1.5 with 5 data bits
        if (s.ctsOutputFlow || s.rtsHandshake) t.c_cflag |= CRTSCTS;
        t.c_ispeed = t.c_ospeed = s.baud;
        t.c_iflag &= ~(IXON | IXOFF);
        if (s.xonXoffOutput) t.c_iflag |= IXON;
        if (s.xonXoffInput) t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
        if (ioctl(m_fd, TCSETS2, &t) != 0) return DeviceError(errno);

        // A driver takes what it can; a setting it did not take is refused.
        termios2 now{};
        if (ioctl(m_fd, TCGETS2, &now) != 0) return DeviceError(errno);
        const tcflag_t checked = CSIZE | PARENB | CSTOPB | ((s.parity > EVENPARITY) ? CMSPAR : 0) |
                                 ((s.parity != NOPARITY) ? PARODD : 0);
        const bool baudTaken =
            now.c_ospeed != 0 && std::llabs(static_cast<long long>(now.c_ospeed) - s.baud) * 100 <=
                                     static_cast<long long>(s.baud) * 3;
        if (!baudTaken || (now.c_cflag & checked) != (t.c_cflag & checked)) {
            ioctl(m_fd, TCSETS2, &before);
            return ERROR_INVALID_PARAMETER;
        }
        m_parity = s.parity;
        return ERROR_SUCCESS;
    }

    DWORD SetBreak(bool on) override {
        if (ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK) != 0) return DeviceError(errno);
        return ERROR_SUCCESS;
    }

    DWORD SetDtr(bool on) override { return SetModemLine(TIOCM_DTR, on); }
    DWORD SetRts(bool on) override { return SetModemLine(TIOCM_RTS, on); }

    DWORD Receive(std::vector<RxByte>& out) override {
        std::vector<MarkedByte> marked;
        DWORD err = ERROR_SUCCESS;
        BYTE chunk[4096];
        for (;;) {
            const ssize_t n = read(m_fd, chunk, sizeof chunk);
            if (n > 0) {
                m_decoder.Feed(chunk, static_cast<std::size_t>(n), marked);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            m_gone = true;  // 0 bytes with VMIN 1, or a read error: the device went away
            err = n == 0 ? ERROR_DEVICE_NOT_CONNECTED : DeviceError(errno);
            break;
        }
        if (!marked.empty()) Deliver(marked, out);
        if (err == ERROR_SUCCESS && m_gone) err = ERROR_DEVICE_NOT_CONNECTED;
        return err;
    }

    DWORD WaitForInput(std::int64_t deadlineNs, bool& nothingCanArrive) override {
        nothingCanArrive = false;
        if (m_gone) return ERROR_DEVICE_NOT_CONNECTED;
        const std::int64_t left = deadlineNs - NowNs();
        if (left <= 0) return ERROR_SUCCESS;
        pollfd p{m_fd, POLLIN, 0};
        const timespec slice = ToTimespec(std::min(left, kPollSliceNs));
        if (ppoll(&p, 1, &slice, nullptr) < 0) {
            return errno == EINTR ? ERROR_SUCCESS : DeviceError(errno);
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
            m_gone = true;
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        return ERROR_SUCCESS;
    }

    DWORD Write(const BYTE* bytes, DWORD count, std::int64_t deadlineNs, DWORD& written) override {
        written = 0;
        if (m_gone) return ERROR_DEVICE_NOT_CONNECTED;
        while (written < count) {
            const ssize_t n = write(m_fd, bytes + written, count - written);
            if (n > 0) {
                written += static_cast<DWORD>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                if (errno == EIO || errno == ENXIO || errno == ENODEV) m_gone = true;
                return DeviceError(errno);
            }
            // Output buffer full: wait for room, up to the write timeout.
            const std::int64_t left = deadlineNs - NowNs();
            if (left <= 0) return ERROR_SUCCESS;
            pollfd p{m_fd, POLLOUT, 0};
            const timespec slice = ToTimespec(std::min(left, kPollSliceNs));
            if (ppoll(&p, 1, &slice, nullptr) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                m_gone = true;
                return ERROR_DEVICE_NOT_CONNECTED;
            }
        }
        return ERROR_SUCCESS;
    }

    DWORD DrainOutput() override {
        if (m_gone) return ERROR_DEVICE_NOT_CONNECTED;
        // Waits while the queue moves; a queue held still (flow control, a dead device)
        // ends the wait with an error instead of a hang.
        int last = -1;
        std::int64_t lastMoveNs = NowNs();
        for (;;) {
            int queued = 0;
            if (ioctl(m_fd, TIOCOUTQ, &queued) != 0) return DeviceError(errno);
            if (queued == 0) break;
            const std::int64_t now = NowNs();
            if (queued != last) {
                last = queued;
                lastMoveNs = now;
            } else if (now - lastMoveNs > StallLimitNs()) {
                return ERROR_IO_DEVICE;
            }
            pollfd p{m_fd, 0, 0};
            const timespec pause = ToTimespec(2'000'000);
            if (ppoll(&p, 1, &pause, nullptr) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                m_gone = true;
                return ERROR_DEVICE_NOT_CONNECTED;
            }
        }
        // The driver's buffer is empty; let the UART finish its last characters.
        if (ioctl(m_fd, TCSBRK, 1) != 0) return DeviceError(errno);
        return ERROR_SUCCESS;
    }

    DWORD OutputQueued(DWORD& count) override {
        int queued = 0;
        if (ioctl(m_fd, TIOCOUTQ, &queued) != 0) return DeviceError(errno);
        count = static_cast<DWORD>(std::max(queued, 0));
        return ERROR_SUCCESS;
    }

    DWORD PurgeReceive() override {
        if (ioctl(m_fd, TCFLSH, kTcInputFlush) != 0) return DeviceError(errno);
        m_decoder.Reset();
        return ERROR_SUCCESS;
    }

    DWORD PurgeTransmit() override {
        if (ioctl(m_fd, TCFLSH, kTcOutputFlush) != 0) return DeviceError(errno);
        return ERROR_SUCCESS;
    }

private:
    DWORD SetModemLine(int line, bool on) {
        // A device without modem lines (a pseudo-terminal) has nothing to drive.
        if (!m_hasModemLines) return ERROR_SUCCESS;
        if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) != 0) return DeviceError(errno);
        return ERROR_SUCCESS;
    }

    std::int64_t StallLimitNs() {
        termios2 t{};
        const std::int64_t baud =
            (ioctl(m_fd, TCGETS2, &t) == 0 && t.c_ospeed > 0) ? t.c_ospeed : 1;
        return std::max<std::int64_t>(2'000'000'000, 3 * 12 * 1'000'000'000LL / baud);
    }

    // PARMRK says that a byte had an error, not which; the driver's error counters do.
    void Deliver(const std::vector<MarkedByte>& marked, std::vector<RxByte>& out) {
        serial_icounter_struct now{};
        int brk = 0, parity = 0, frame = 0, overrun = 0;
        if (m_hasCounters && ioctl(m_fd, TIOCGICOUNT, &now) == 0) {
            brk = now.brk - m_counters.brk;
            parity = now.parity - m_counters.parity;
            frame = now.frame - m_counters.frame;
            overrun =
                (now.overrun - m_counters.overrun) + (now.buf_overrun - m_counters.buf_overrun);
            m_counters = now;
        }
        if (overrun > 0) m_pendingOverrun = true;
        int queued = 0;
        const bool idle = ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued == 0;
        const std::int64_t t = NowNs();
        for (const MarkedByte& m : marked) {
            RxByte b;
            b.value = m.value;
            b.transmitterIdle = idle;
            b.timeNs = t;
            b.overrun = m_pendingOverrun;
            m_pendingOverrun = false;
            if (m.errorMarked) {
                if (m.value == 0 && brk > 0) {
                    b.breakCondition = true;
                    --brk;
                } else if (parity > 0) {
                    b.parityError = true;
                    --parity;
                } else if (frame > 0) {
                    b.framingError = true;
                    --frame;
                } else if (m_parity != NOPARITY) {
                    b.parityError = true;
                } else if (m.value == 0) {
                    b.breakCondition = true;
                } else {
                    b.framingError = true;
                }
            }
            out.push_back(b);
        }
    }

    int m_fd;
    DWORD m_lowestBaud;
    bool m_hasModemLines = false;
    bool m_hasCounters = false;
    bool m_gone = false;
    bool m_pendingOverrun = false;
    BYTE m_parity = NOPARITY;
    serial_icounter_struct m_counters{};
    ParmrkDecoder m_decoder;
    platform::RealClock m_clock;
};

}  // namespace

DWORD OpenTermiosBackend(const std::string& path, std::unique_ptr<SerialBackend>& backend) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OpenError(errno);
    if (!isatty(fd)) {
        close(fd);
        return ERROR_FILE_NOT_FOUND;
    }
    // TIOCEXCL keeps other processes out (not root); the lock keeps out a second open in
    // this process, or a second COM number mapped to the same device.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        return OpenError(err);
    }
    ioctl(fd, TIOCEXCL);
    auto tty = std::make_unique<TermiosBackend>(fd, LowestBaudOfDriver(TtyDriverName(path)));
    if (DWORD err = tty->MakeRaw(); err != ERROR_SUCCESS) return err;
    // A USB-serial chip holds received bytes back for up to its latency timer (16 ms on an
    // FTDI chip) unless asked for low latency; drivers that have no such knob refuse it.
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &info);
    }
    backend = std::move(tty);
    return ERROR_SUCCESS;
}

}  // namespace serial
