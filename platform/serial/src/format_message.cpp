// FormatMessageA for system error texts, and LocalFree for the buffers it allocates.
#include <cstdlib>
#include <cstring>
#include <string>

#include "registry/registry.h"
#include "serial/comm.h"

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string text;
    // Which store, and what is wrong with it, is known here and nowhere else.
    const std::string storeProblem =
        messageId == ERROR_REGISTRY_CORRUPT ? registry::StoreProblem() : std::string();
    if (!storeProblem.empty()) {
        text = storeProblem + ".\r\n";
    } else if (!win32::SystemMessage(messageId, text)) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(text.size());
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // The buffer argument is really where the address of the new buffer goes.
        auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (copy == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return length;
    }
    if (size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return length;
}

void* LocalFree(void* memory) {
    std::free(memory);
    return nullptr;
}
