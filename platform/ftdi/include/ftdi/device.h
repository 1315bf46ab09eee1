#pragma once
// What one opened FTDI cable does, behind the driver calls of ftdi/driver.h. Two kinds
// exist (a real chip through libftdi1, a virtual chip on the simulator's K-line); tests may
// install a driver of their own to see every call.
#include <memory>

#include "ftdi/driver.h"

namespace ftdi {

class Device {
public:
    virtual ~Device() = default;  // closing the handle destroys the device

    virtual Status Read(BYTE* buffer, DWORD count, DWORD& read) = 0;
    virtual Status Write(const BYTE* buffer, DWORD count, DWORD& written) = 0;
    virtual Status SetBaudRate(DWORD baud) = 0;
    virtual Status SetDataCharacteristics(BYTE dataBits, BYTE stopBits, BYTE parity) = 0;
    virtual Status SetFlowControl(WORD flow, BYTE xon, BYTE xoff) = 0;
    virtual Status SetLatencyTimer(BYTE ms) = 0;
    virtual Status SetDtr(bool on) = 0;
    virtual Status SetRts(bool on) = 0;
    virtual Status SetBreak(bool on) = 0;
    virtual Status Purge(DWORD mask) = 0;
    virtual Status SetTransferSizes(DWORD inBytes, DWORD outBytes) = 0;
    virtual Status SetTimeouts(DWORD readMs, DWORD writeMs) = 0;
    virtual Status GetQueueStatus(DWORD& receivedBytes) = 0;
    // See ftdi::GetModemStatus; a chip without the status to ask (the virtual one) keeps this.
    virtual Status GetModemStatus(DWORD& status) {
        status = 0;
        return Status::NotSupported;
    }
    // Line errors (CE_ flags) since the last call, cleared by it.
    virtual Status TakeLineErrors(DWORD& errors) = 0;
    virtual Status DeviceIoControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                                   DWORD* returned) = 0;
};

class Driver {
public:
    virtual ~Driver() = default;
    virtual Status Open(int index, std::unique_ptr<Device>& device) = 0;
};

// The driver in force: the installed one, else the one the settings store chooses.
Driver& CurrentDriver();
// nullptr puts the default back. The caller keeps ownership and uninstalls first.
void InstallDriver(Driver* driver);

// The Win32 error code a status stands for.
DWORD Win32ErrorOf(Status status);

}  // namespace ftdi
