#pragma once
// The registry's replacement: a per-user settings store kept in one human-readable file,
// $XDG_CONFIG_HOME/ortaline/registry.ini (else ~/.config/ortaline/registry.ini), created
// 0600. Every change is written atomically (temporary file + rename). A file that cannot be
// read or parsed is reported (ERROR_REGISTRY_CORRUPT) and never overwritten. Keys deeper
// than 512 levels are refused (ERROR_BADKEY), key and value names longer than 255
// characters too (ERROR_INVALID_PARAMETER).
//
// HKEY_CLASSES_ROOT is kept as HKEY_CURRENT_USER\Software\Classes, as a per-user
// registration is on Windows.
#include <string>

#include "win32/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
using LSTATUS = LONG;

extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                        REGSAM desired, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, HKEY* result);
LSTATUS RegCloseKey(HKEY key);
// type may be nullptr; data nullptr asks for the size only. REG_SZ data include the zero.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
// Deletes the key and everything below it.
LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);

namespace registry {

// Where the store lives for this process (the XDG rule above); tests point XDG_CONFIG_HOME
// at a temporary folder.
std::string StorePath();

// Why the store cannot be used, naming its file ("The settings store <path> is damaged:
// line 3 is not understood"); empty while it is sound.
std::string StoreProblem();

// Convenience for platform code: a string value, or false when absent or unreadable.
bool ReadString(HKEY root, const std::string& subKey, const std::string& name, std::string& value);
bool WriteString(HKEY root, const std::string& subKey, const std::string& name,
                 const std::string& value);

}  // namespace registry
