#pragma once
// The FTDI USB cable's driver calls, one per role, over a handle: open the n-th cable, move
// bytes, set the line and the modem lines, and the chip's own knobs (latency timer, USB
// transfer sizes, per-transfer timeouts). A status of Status::Ok is success; every other
// status also sets the thread's last Win32 error to the nearest Win32 code, so a caller that
// reports GetLastError() says why.
//
// The cable behind index 0 is chosen by the settings store (see ftdi/device_choice.h): a
// virtual K-line of the simulator, or the first real FTDI device on the USB bus (libftdi1).
#include <cstdint>

#include "serial/comm.h"
#include "win32/types.h"

namespace ftdi {

using Handle = std::uintptr_t;  // 0 is never a valid handle

enum class Status : std::uint32_t {
    Ok = 0,
    InvalidHandle,
    DeviceNotFound,
    DeviceBusy,    // held by another program
    AccessDenied,  // no permission to open the USB device
    IoError,       // the device failed or went away in the middle of a transfer
    InvalidParameter,
    InvalidBaudRate,
    NotSupported,          // the chip cannot do it
    SettingsStoreDamaged,  // which cable index 0 is cannot be known
};

// Modem control codes of SetFlowControl.
inline constexpr WORD kFlowNone = 0x0000;
inline constexpr WORD kFlowRtsCts = 0x0100;
inline constexpr WORD kFlowDtrDsr = 0x0200;

// GetModemStatus: the line status's "transmitter empty" bit, set once every byte written
// has left the wire.
inline constexpr DWORD kTransmitterEmpty = 0x4000;

// Purge masks.
inline constexpr DWORD kPurgeReceive = 1;
inline constexpr DWORD kPurgeTransmit = 2;

Status OpenByIndex(int index, Handle& handle);
Status Close(Handle handle);
// Waits up to the read timeout for count bytes; fewer (no error) when it expired.
Status Read(Handle handle, void* buffer, DWORD count, DWORD& read);
Status Write(Handle handle, const void* buffer, DWORD count, DWORD& written);
Status SetBaudRate(Handle handle, DWORD baud);
// dataBits as a number; stopBits 0 one, 1 one and a half, 2 two; parity 0 none, 1 odd,
// 2 even, 3 mark, 4 space.
Status SetDataCharacteristics(Handle handle, BYTE dataBits, BYTE stopBits, BYTE parity);
Status SetFlowControl(Handle handle, WORD flow, BYTE xon, BYTE xoff);
Status SetLatencyTimer(Handle handle, BYTE ms);
Status SetDtr(Handle handle);
Status ClearDtr(Handle handle);
Status SetRts(Handle handle);
Status ClearRts(Handle handle);
Status SetBreakOn(Handle handle);
Status SetBreakOff(Handle handle);
Status Purge(Handle handle, DWORD mask);
Status SetTransferSizes(Handle handle, DWORD inBytes, DWORD outBytes);
// Milliseconds for the next transfers; 0 means "do not wait" (never "wait for ever").
Status SetTimeouts(Handle handle, DWORD readMs, DWORD writeMs);
Status GetQueueStatus(Handle handle, DWORD& receivedBytes);
// The chip's modem status in bits 0-7 and its line status in bits 8-15, as it reports them
// now; NotSupported where the driver cannot ask the chip.
Status GetModemStatus(Handle handle, DWORD& status);
// The Win32-style call: TRUE on success. Takes the line errors seen since the last call
// (CE_ flags) and the queue counts.
BOOL ClearCommError(Handle handle, DWORD* errors, COMSTAT* status);
// Device I/O control; the chip has no line-status insertion, so that control is refused.
Status DeviceIoControl(Handle handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned);

}  // namespace ftdi
