#include "libftdi_device.h"

#include <libftdi1/ftdi.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "ftdi/chip.h"

namespace ftdi {
namespace {

constexpr int kVendorId = 0x0403;
// FT232R/FT245R, FT2232, FT4232H, FT232H and the FT-X series.
constexpr int kProductIds[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
// One bulk read waits at most this long, so a read timeout is kept to within a few ms.
constexpr int kUsbReadTimeoutMs = 20;
constexpr int kUsbWriteTimeoutMs = 1000;
// libftdi's "device unavailable" result: the cable was pulled.
constexpr int kDeviceGone = -666;

using Clock = std::chrono::steady_clock;

class LibftdiDevice final : public Device {
public:
    explicit LibftdiDevice(ftdi_context* context) : m_ftdi(context) {}

    ~LibftdiDevice() override {
        // With the reattach mode the kernel's serial driver gets the device back here.
        ftdi_usb_close(m_ftdi);
        ftdi_free(m_ftdi);
    }

    Status Read(BYTE* buffer, DWORD count, DWORD& read) override {
        read = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(m_readMs);
        for (;;) {
            const DWORD fromBuffer = Take(buffer + read, count - read);
            read += fromBuffer;
            if (read >= count) return Status::Ok;
            // Each bulk read returns at the latency timer at the latest.
            const int n = ftdi_read_data(m_ftdi, buffer + read, static_cast<int>(count - read));
            if (n < 0) return Status::IoError;
            read += static_cast<DWORD>(n);
            if (read >= count || Clock::now() >= deadline) return Status::Ok;
        }
    }

    Status Write(const BYTE* buffer, DWORD count, DWORD& written) override {
        written = 0;
        const int n = ftdi_write_data(m_ftdi, buffer, static_cast<int>(count));
        if (n < 0) return Status::IoError;
        written = static_cast<DWORD>(n);
        return Status::Ok;
    }

    Status SetBaudRate(DWORD baud) override {
        if (!BaudRateSupported(baud)) return Status::InvalidBaudRate;
        return Result(ftdi_set_baudrate(m_ftdi, static_cast<int>(baud)), Status::InvalidBaudRate);
    }

    Status SetDataCharacteristics(BYTE dataBits, BYTE stopBits, BYTE parity) override {
        if ((dataBits != 7 && dataBits != 8) || (stopBits != 0 && stopBits != 2) || parity > 4) {
            return Status::InvalidParameter;
        }
        m_bits = dataBits == 7 ? BITS_7 : BITS_8;
        m_stop = stopBits == 2 ? STOP_BIT_2 : STOP_BIT_1;
        m_parity = static_cast<ftdi_parity_type>(parity);  // the same numbering
        return ApplyLine();
    }

    Status SetFlowControl(WORD flow, BYTE, BYTE) override {
        int mode = SIO_DISABLE_FLOW_CTRL;
        if (flow == kFlowRtsCts) {
            mode = SIO_RTS_CTS_HS;
        } else if (flow == kFlowDtrDsr) {
            mode = SIO_DTR_DSR_HS;
        } else if (flow != kFlowNone) {
            return Status::InvalidParameter;
        }
        return Result(ftdi_setflowctrl(m_ftdi, mode));
    }

    Status SetLatencyTimer(BYTE ms) override {
        if (ms == 0) return Status::InvalidParameter;
        return Result(ftdi_set_latency_timer(m_ftdi, ms));
    }

    Status SetDtr(bool on) override { return Result(ftdi_setdtr(m_ftdi, on ? 1 : 0)); }
    Status SetRts(bool on) override { return Result(ftdi_setrts(m_ftdi, on ? 1 : 0)); }

    Status SetBreak(bool on) override {
        m_break = on ? BREAK_ON : BREAK_OFF;
        return ApplyLine();
    }

    Status Purge(DWORD mask) override {
        if (mask & kPurgeReceive) {
            m_received.clear();
            if (ftdi_tciflush(m_ftdi) < 0) return Status::IoError;
        }
        if ((mask & kPurgeTransmit) && ftdi_tcoflush(m_ftdi) < 0) return Status::IoError;
        return Status::Ok;
    }

    Status SetTransferSizes(DWORD inBytes, DWORD outBytes) override {
        if (inBytes < 64 || outBytes < 64) return Status::InvalidParameter;
        if (ftdi_read_data_set_chunksize(m_ftdi, inBytes) < 0 ||
            ftdi_write_data_set_chunksize(m_ftdi, outBytes) < 0) {
            return Status::IoError;
        }
        return Status::Ok;
    }

    Status SetTimeouts(DWORD readMs, DWORD writeMs) override {
        m_readMs = readMs;
        m_ftdi->usb_write_timeout =
            writeMs == 0 ? kUsbWriteTimeoutMs : static_cast<int>(std::min<DWORD>(writeMs, 60000));
        return Status::Ok;
    }

    // libftdi has no queue count: whatever the chip has sent is fetched into our buffer.
    Status GetQueueStatus(DWORD& receivedBytes) override {
        receivedBytes = 0;
        BYTE chunk[512];
        const int n = ftdi_read_data(m_ftdi, chunk, sizeof chunk);
        if (n < 0) return Status::IoError;
        m_received.insert(m_received.end(), chunk, chunk + n);
        receivedBytes = static_cast<DWORD>(m_received.size());
        return Status::Ok;
    }

    Status GetModemStatus(DWORD& status) override {
        status = 0;
        unsigned short value = 0;
        if (ftdi_poll_modem_status(m_ftdi, &value) < 0) return Status::IoError;
        status = value;
        return Status::Ok;
    }

    // The line status of the chip's last packet header.
    Status TakeLineErrors(DWORD& errors) override {
        errors = 0;
        DWORD status = 0;
        if (const Status s = GetModemStatus(status); s != Status::Ok) return s;
        const unsigned line = status >> 8;
        if (line & 0x02) errors |= CE_OVERRUN;
        if (line & 0x04) errors |= CE_RXPARITY;
        if (line & 0x08) errors |= CE_FRAME;
        if (line & 0x10) errors |= CE_BREAK;
        return Status::Ok;
    }

    Status DeviceIoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*) override {
        return Status::NotSupported;
    }

private:
    Status Result(int rc, Status failure = Status::IoError) {
        if (rc >= 0) return Status::Ok;
        return rc == kDeviceGone ? Status::IoError : failure;
    }

    Status ApplyLine() {
        return Result(ftdi_set_line_property2(m_ftdi, m_bits, m_stop, m_parity, m_break),
                      Status::InvalidParameter);
    }

    DWORD Take(BYTE* out, DWORD max) {
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(max, m_received.size()));
        std::copy_n(m_received.begin(), n, out);
        m_received.erase(m_received.begin(), m_received.begin() + n);
        return n;
    }

    ftdi_context* m_ftdi;
    std::vector<BYTE> m_received;
    DWORD m_readMs = 0;
    ftdi_bits_type m_bits = BITS_8;
    ftdi_stopbits_type m_stop = STOP_BIT_1;
    ftdi_parity_type m_parity = NONE;
    ftdi_break_type m_break = BREAK_OFF;
};

// The index-th device of the known product ids, in that order.
Status FindAndOpen(ftdi_context* context, int index) {
    int seen = 0;
    for (int product : kProductIds) {
        ftdi_device_list* list = nullptr;
        const int found = ftdi_usb_find_all(context, &list, kVendorId, product);
        if (found < 0) return Status::DeviceNotFound;  // no USB access at all
        for (ftdi_device_list* d = list; d != nullptr; d = d->next, ++seen) {
            if (seen != index) continue;
            const int rc = ftdi_usb_open_dev(context, d->dev);
            ftdi_list_free(&list);
            if (rc == 0) return Status::Ok;
            // -4: the device node could not be opened (no permission: see the udev rule);
            // -5: another program holds the interface; -11: the kernel driver would not
            // let go of it.
            if (rc == -4) return Status::AccessDenied;
            if (rc == -5 || rc == -11) return Status::DeviceBusy;
            return Status::IoError;
        }
        ftdi_list_free(&list);
    }
    return Status::DeviceNotFound;
}

}  // namespace

Status OpenLibftdiDevice(int index, std::unique_ptr<Device>& device) {
    ftdi_context* context = ftdi_new();
    if (context == nullptr) return Status::DeviceNotFound;
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    const Status status = FindAndOpen(context, index);
    if (status != Status::Ok) {
        ftdi_free(context);
        return status;
    }
    context->usb_read_timeout = kUsbReadTimeoutMs;
    context->usb_write_timeout = kUsbWriteTimeoutMs;
    ftdi_tciflush(context);
    ftdi_tcoflush(context);
    device = std::make_unique<LibftdiDevice>(context);
    return Status::Ok;
}

}  // namespace ftdi
