#include "CorrectionStore.h"

namespace ortaline {

namespace {
constexpr const char* kKeyPath = "Software\\VB and VBA Program Settings\\GARVOLEX\\CONNECTION";
}

CorrectionStore::CorrectionStore() {
    HKEY created = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &created, &disposition) == ERROR_SUCCESS) {
        RegCloseKey(created);
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ | KEY_WRITE, &key) ==
        ERROR_SUCCESS) {
        m_key = key;
    }
}

CorrectionStore::~CorrectionStore() {
    if (m_key != nullptr) RegCloseKey(m_key);
}

std::string CorrectionStore::ValueName(const char* portName) {
    return std::string(portName != nullptr ? portName : "") + "_CorrectionFactor";
}

bool CorrectionStore::Load(const std::string& name, std::int64_t& ticks) const {
    if (m_key == nullptr) return false;
    std::int64_t value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof value;
    const LSTATUS status = RegQueryValueExA(m_key, name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
    ticks = status == ERROR_SUCCESS && type == REG_QWORD && size == sizeof value ? value : 0;
    return true;
}

bool CorrectionStore::Store(const std::string& name, std::int64_t ticks) const {
    return m_key != nullptr &&
           RegSetValueExA(m_key, name.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&ticks),
                          sizeof ticks) == ERROR_SUCCESS;
}

}  // namespace ortaline
