// The driver calls over a table of open devices. A closed or unknown handle is refused, so a
// stale handle never reaches a destroyed device.
#include "ftdi/driver.h"

#include <atomic>
#include <map>
#include <mutex>

#include "default_driver.h"
#include "ftdi/device.h"
#include "registry/registry.h"
#include "win32/last_error.h"

namespace ftdi {
namespace {

struct Table {
    std::mutex mutex;
    std::map<Handle, std::shared_ptr<Device>> devices;
    Handle next = 1;
};

Table& TheTable() {
    static Table table;
    return table;
}

std::atomic<Driver*> g_installed{nullptr};

std::shared_ptr<Device> Find(Handle handle) {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    auto it = t.devices.find(handle);
    return it == t.devices.end() ? nullptr : it->second;
}

Status Report(Status status) {
    if (status != Status::Ok) SetLastError(Win32ErrorOf(status));
    return status;
}

// Runs call on the handle's device.
template <class Call>
Status On(Handle handle, Call&& call) {
    std::shared_ptr<Device> device = Find(handle);
    if (!device) return Report(Status::InvalidHandle);
    return Report(call(*device));
}

}  // namespace

Driver& CurrentDriver() {
    Driver* installed = g_installed.load();
    return installed != nullptr ? *installed : DefaultDriver();
}

void InstallDriver(Driver* driver) { g_installed.store(driver); }

DWORD Win32ErrorOf(Status status) {
    switch (status) {
        case Status::Ok:
            return ERROR_SUCCESS;
        case Status::InvalidHandle:
            return ERROR_INVALID_HANDLE;
        case Status::DeviceNotFound:
            return ERROR_DEVICE_NOT_CONNECTED;
        case Status::DeviceBusy:
            return ERROR_SHARING_VIOLATION;
        case Status::AccessDenied:
            return ERROR_ACCESS_DENIED;
        case Status::IoError:
            return ERROR_IO_DEVICE;
        case Status::InvalidParameter:
        case Status::InvalidBaudRate:
            return ERROR_INVALID_PARAMETER;
        case Status::NotSupported:
            return ERROR_NOT_SUPPORTED;
        case Status::SettingsStoreDamaged:
            return static_cast<DWORD>(ERROR_REGISTRY_CORRUPT);
    }
    return ERROR_GEN_FAILURE;
}

Status OpenByIndex(int index, Handle& handle) {
    handle = 0;
    if (index < 0) return Report(Status::DeviceNotFound);
    std::unique_ptr<Device> device;
    const Status status = CurrentDriver().Open(index, device);
    if (status != Status::Ok) return Report(status);
    if (!device) return Report(Status::DeviceNotFound);
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    handle = t.next++;
    t.devices.emplace(handle, std::move(device));
    return Status::Ok;
}

Status Close(Handle handle) {
    std::shared_ptr<Device> device;
    {
        Table& t = TheTable();
        std::lock_guard lock(t.mutex);
        auto it = t.devices.find(handle);
        if (it == t.devices.end()) return Report(Status::InvalidHandle);
        device = std::move(it->second);
        t.devices.erase(it);
    }
    device.reset();  // outside the lock: closing a real cable talks to the USB bus
    return Status::Ok;
}

Status Read(Handle handle, void* buffer, DWORD count, DWORD& read) {
    read = 0;
    if (buffer == nullptr && count != 0) return Report(Status::InvalidParameter);
    return On(handle, [&](Device& d) { return d.Read(static_cast<BYTE*>(buffer), count, read); });
}

Status Write(Handle handle, const void* buffer, DWORD count, DWORD& written) {
    written = 0;
    if (buffer == nullptr && count != 0) return Report(Status::InvalidParameter);
    return On(handle,
              [&](Device& d) { return d.Write(static_cast<const BYTE*>(buffer), count, written); });
}

Status SetBaudRate(Handle handle, DWORD baud) {
    return On(handle, [&](Device& d) { return d.SetBaudRate(baud); });
}

Status SetDataCharacteristics(Handle handle, BYTE dataBits, BYTE stopBits, BYTE parity) {
    return On(handle,
              [&](Device& d) { return d.SetDataCharacteristics(dataBits, stopBits, parity); });
}

Status SetFlowControl(Handle handle, WORD flow, BYTE xon, BYTE xoff) {
    return On(handle, [&](Device& d) { return d.SetFlowControl(flow, xon, xoff); });
}

Status SetLatencyTimer(Handle handle, BYTE ms) {
    return On(handle, [&](Device& d) { return d.SetLatencyTimer(ms); });
}

Status SetDtr(Handle handle) {
    return On(handle, [](Device& d) { return d.SetDtr(true); });
}
Status ClearDtr(Handle handle) {
    return On(handle, [](Device& d) { return d.SetDtr(false); });
}
Status SetRts(Handle handle) {
    return On(handle, [](Device& d) { return d.SetRts(true); });
}
Status ClearRts(Handle handle) {
    return On(handle, [](Device& d) { return d.SetRts(false); });
}
Status SetBreakOn(Handle handle) {
    return On(handle, [](Device& d) { return d.SetBreak(true); });
}
Status SetBreakOff(Handle handle) {
    return On(handle, [](Device& d) { return d.SetBreak(false); });
}

Status Purge(Handle handle, DWORD mask) {
    return On(handle, [&](Device& d) { return d.Purge(mask); });
}

Status SetTransferSizes(Handle handle, DWORD inBytes, DWORD outBytes) {
    return On(handle, [&](Device& d) { return d.SetTransferSizes(inBytes, outBytes); });
}

Status SetTimeouts(Handle handle, DWORD readMs, DWORD writeMs) {
    return On(handle, [&](Device& d) { return d.SetTimeouts(readMs, writeMs); });
}

Status GetQueueStatus(Handle handle, DWORD& receivedBytes) {
    receivedBytes = 0;
    return On(handle, [&](Device& d) { return d.GetQueueStatus(receivedBytes); });
}

Status GetModemStatus(Handle handle, DWORD& status) {
    status = 0;
    return On(handle, [&](Device& d) { return d.GetModemStatus(status); });
}

BOOL ClearCommError(Handle handle, DWORD* errors, COMSTAT* status) {
    DWORD taken = 0;
    DWORD queued = 0;
    const Status result = On(handle, [&](Device& d) {
        const Status s = d.TakeLineErrors(taken);
        return s != Status::Ok ? s : d.GetQueueStatus(queued);
    });
    if (errors != nullptr) *errors = taken;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = queued;
    }
    return result == Status::Ok ? TRUE : FALSE;
}

Status DeviceIoControl(Handle handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) {
    if (returned != nullptr) *returned = 0;
    return On(handle, [&](Device& d) {
        return d.DeviceIoControl(code, in, inSize, out, outSize, returned);
    });
}

}  // namespace ftdi
