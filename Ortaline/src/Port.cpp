#include "Port.h"

#include <algorithm>
#include <cstring>

BOOL CSerialException::GetErrorMessage(char* text, UINT maxChars, UINT* helpContext) const {
    if (helpContext != nullptr) *helpContext = 0;
    if (text == nullptr || maxChars == 0) return FALSE;

    char* message = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                       m_error, 0x800, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) {
        text[0] = '\0';
        if (message != nullptr) LocalFree(message);
        return FALSE;
    }
    const std::size_t copied = std::min<std::size_t>(length, maxChars - 1);
    std::memcpy(text, message, copied);
    text[copied] = '\0';
    LocalFree(message);
    return TRUE;
}

void ThrowSerialException(DWORD error) {
    if (error == 0) error = GetLastError();
    throw new CSerialException(error);
}
