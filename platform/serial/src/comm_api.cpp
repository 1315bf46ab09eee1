// The Win32 communications calls over the handle table and CommPort.
#include <cstring>
#include <memory>

#include "comm_port.h"
#include "handle_table.h"
#include "serial/comm.h"
#include "serial/device_map.h"
#include "termios_backend.h"
#include "virtual_backend.h"

namespace {

using serial::CommPort;

// Events are only created and closed here; nothing waits on them.
class EventObject final : public serial::HandleObject {};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL Result(DWORD error) { return error == ERROR_SUCCESS ? TRUE : Fail(error); }

std::shared_ptr<CommPort> PortOf(HANDLE handle) { return serial::FindHandleAs<CommPort>(handle); }

DWORD OpenDevice(const std::string& path, std::unique_ptr<serial::SerialBackend>& backend) {
    const std::string prefix = serial::kVirtualDevicePrefix;
    if (path.compare(0, prefix.size(), prefix) == 0) {
        return serial::OpenVirtualBackend(path.substr(prefix.size()), backend);
    }
    return serial::OpenTermiosBackend(path, backend);
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    const int port = serial::PortNumberFromName(fileName);
    if (port == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    std::unique_ptr<serial::SerialBackend> backend;
    DWORD err = serial::DevicePathForPort(port, path);
    if (err == ERROR_SUCCESS) err = OpenDevice(path, backend);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<CommPort> commPort;
    if (DWORD err = CommPort::Open(std::move(backend), commPort); err != ERROR_SUCCESS) {
        SetLastError(err);
        return INVALID_HANDLE_VALUE;
    }
    return serial::AddHandle(std::move(commPort));
}

BOOL CloseHandle(HANDLE handle) {
    auto object = serial::RemoveHandle(handle);
    if (!object) {
        // The current-process and current-thread pseudo handles close without effect.
        const auto value = reinterpret_cast<std::intptr_t>(handle);
        if (value == -1 || value == -2) return TRUE;
        return Fail(ERROR_INVALID_HANDLE);
    }
    object->Close();
    return TRUE;
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL, BOOL, LPCSTR) {
    return serial::AddHandle(std::make_shared<EventObject>());
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if ((buffer == nullptr && bytesToRead != 0) ||
        (bytesRead == nullptr && overlapped == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD n = 0;
    const DWORD err = port->Read(static_cast<BYTE*>(buffer), bytesToRead, n);
    if (bytesRead != nullptr) *bytesRead = n;
    return Result(err);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if ((buffer == nullptr && bytesToWrite != 0) ||
        (bytesWritten == nullptr && overlapped == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD n = 0;
    const DWORD err = port->Write(static_cast<const BYTE*>(buffer), bytesToWrite, n);
    if (bytesWritten != nullptr) *bytesWritten = n;
    return Result(err);
}

BOOL FlushFileBuffers(HANDLE file) {
    auto port = PortOf(file);
    return port ? Result(port->Flush()) : Fail(ERROR_INVALID_HANDLE);
}

DWORD DcbFlagWord(const DCB& d) {
    return d.fBinary | d.fParity << 1 | d.fOutxCtsFlow << 2 | d.fOutxDsrFlow << 3 |
           d.fDtrControl << 4 | d.fDsrSensitivity << 6 | d.fTXContinueOnXoff << 7 | d.fOutX << 8 |
           d.fInX << 9 | d.fErrorChar << 10 | d.fNull << 11 | d.fRtsControl << 12 |
           d.fAbortOnError << 14 | d.fDummy2 << 15;
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return Result(port->GetState(*dcb));
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return Result(port->SetState(*dcb));
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return Result(port->GetTimeouts(*timeouts));
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    auto port = PortOf(file);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return Result(port->SetTimeouts(*timeouts));
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    auto port = PortOf(file);
    return port ? Result(port->Purge(flags)) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    auto port = PortOf(file);
    return port ? Result(port->Setup(inQueue, outQueue)) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    auto port = PortOf(file);
    return port ? Result(port->SetMask(eventMask)) : Fail(ERROR_INVALID_HANDLE);
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    auto port = PortOf(file);
    return port ? Result(port->ClearError(errors, stat)) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetCommBreak(HANDLE file) { return EscapeCommFunction(file, SETBREAK); }

BOOL ClearCommBreak(HANDLE file) { return EscapeCommFunction(file, CLRBREAK); }

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
    auto port = PortOf(file);
    return port ? Result(port->Escape(function)) : Fail(ERROR_INVALID_HANDLE);
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID, DWORD, DWORD* bytesReturned, OVERLAPPED*) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    auto port = PortOf(device);
    if (!port) return Fail(ERROR_INVALID_HANDLE);
    constexpr DWORD kSerialDeviceType = 0x1B;
    if (ioControlCode != IOCTL_SERIAL_LSRMST_INSERT) {
        return Fail((ioControlCode >> 16) == kSerialDeviceType ? ERROR_INVALID_PARAMETER
                                                               : ERROR_NOT_SUPPORTED);
    }
    if (inBuffer == nullptr || inBufferSize < 1) return Fail(ERROR_INVALID_PARAMETER);
    return Result(port->SetInsertion(*static_cast<const BYTE*>(inBuffer)));
}
