#pragma once
// What a COM port needs from the device behind it. The Windows semantics (DCB, read
// timeouts, receive queue, error flags, line-status insertion) live above this in CommPort;
// a backend only moves bytes and drives the line. Every result is a Win32 error code,
// ERROR_SUCCESS on success.
#include <cstdint>
#include <limits>
#include <vector>

#include "win32/types.h"

namespace serial {

inline constexpr std::int64_t kNoDeadline = std::numeric_limits<std::int64_t>::max();

// One byte as the receiver's UART delivered it.
struct RxByte {
    BYTE value = 0;
    bool parityError = false;
    bool framingError = false;
    bool breakCondition = false;
    bool overrun = false;
    bool transmitterIdle = true;  // nothing of ours was still being sent when it arrived
    std::int64_t timeNs = 0;      // arrival, on the backend's time base
};

struct LineSettings {
    DWORD baud = 9600;
    BYTE byteSize = 8;
    BYTE parity = 0;    // NOPARITY .. SPACEPARITY
    BYTE stopBits = 0;  // ONESTOPBIT .. TWOSTOPBITS
    bool ctsOutputFlow = false;
    bool rtsHandshake = false;
    bool xonXoffOutput = false;
    bool xonXoffInput = false;
    char xonChar = 0x11;
    char xoffChar = 0x13;
};

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // The device's time base in nanoseconds; all deadlines below are on it.
    virtual std::int64_t NowNs() = 0;

    virtual LineSettings CurrentSettings() = 0;
    virtual DWORD ApplySettings(const LineSettings& settings) = 0;
    virtual DWORD SetBreak(bool on) = 0;
    virtual DWORD SetDtr(bool on) = 0;
    virtual DWORD SetRts(bool on) = 0;

    // Appends every byte received so far, without waiting. Bytes received before a failure
    // are appended before the failure is returned.
    virtual DWORD Receive(std::vector<RxByte>& out) = 0;
    // Waits until input may have arrived or the deadline passed. Sets nothingCanArrive when
    // no byte can come before the deadline whatever the wait (so an endless read ends).
    virtual DWORD WaitForInput(std::int64_t deadlineNs, bool& nothingCanArrive) = 0;

    // Hands bytes to the device; stops at the deadline with fewer written.
    virtual DWORD Write(const BYTE* bytes, DWORD count, std::int64_t deadlineNs,
                        DWORD& written) = 0;
    // Waits until every written byte has left the transmitter.
    virtual DWORD DrainOutput() = 0;
    virtual DWORD OutputQueued(DWORD& count) = 0;
    virtual DWORD PurgeReceive() = 0;
    virtual DWORD PurgeTransmit() = 0;
};

}  // namespace serial
