#include "win32/last_error.h"

#include <cerrno>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

namespace win32 {

DWORD ErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTTY:
        case ENOSYS:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        case EINTR:
            return ERROR_OPERATION_ABORTED;
        case ENODEV:
        case ENXIO:
            return ERROR_DEVICE_NOT_CONNECTED;
        case EIO:
            return ERROR_IO_DEVICE;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// The settings store's codes (registry/registry.h names them).
constexpr DWORD kErrorBadKey = 1010;
constexpr DWORD kErrorRegistryCorrupt = 1015;

bool SystemMessage(DWORD code, std::string& text) {
    const char* msg = nullptr;
    switch (code) {
        case ERROR_SUCCESS:
            msg = "The operation completed successfully.";
            break;
        case ERROR_FILE_NOT_FOUND:
            msg = "The system cannot find the file specified.";
            break;
        case ERROR_PATH_NOT_FOUND:
            msg = "The system cannot find the path specified.";
            break;
        case ERROR_ACCESS_DENIED:
            msg = "Access is denied.";
            break;
        case ERROR_INVALID_HANDLE:
            msg = "The handle is invalid.";
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
            msg = "Not enough memory resources are available to process this command.";
            break;
        case ERROR_BAD_COMMAND:
            msg = "The device does not recognize the command.";
            break;
        case ERROR_GEN_FAILURE:
            msg = "A device attached to the system is not functioning.";
            break;
        case ERROR_SHARING_VIOLATION:
            msg =
                "The process cannot access the file because it is being used by another "
                "process.";
            break;
        case ERROR_NOT_SUPPORTED:
            msg = "The request is not supported.";
            break;
        case ERROR_INVALID_PARAMETER:
            msg = "The parameter is incorrect.";
            break;
        case ERROR_INSUFFICIENT_BUFFER:
            msg = "The data area passed to a system call is too small.";
            break;
        case ERROR_MOD_NOT_FOUND:
            msg = "The specified module could not be found.";
            break;
        case ERROR_PROC_NOT_FOUND:
            msg = "The specified procedure could not be found.";
            break;
        case ERROR_OPERATION_ABORTED:
            msg =
                "The I/O operation has been aborted because of either a thread exit or an "
                "application request.";
            break;
        case ERROR_IO_DEVICE:
            msg = "The request could not be performed because of an I/O device error.";
            break;
        case ERROR_DEVICE_NOT_CONNECTED:
            msg = "The device is not connected.";
            break;
        case kErrorBadKey:
            msg = "The configuration registry key is invalid.";
            break;
        case kErrorRegistryCorrupt:
            msg = "The configuration registry database is corrupt.";
            break;
        default:
            break;
    }
    if (msg == nullptr) {
        text.clear();
        return false;
    }
    text = std::string(msg) + "\r\n";
    return true;
}

}  // namespace win32
