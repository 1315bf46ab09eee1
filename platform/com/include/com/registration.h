#pragma once
// Self-registration of an in-process server class in HKEY_CLASSES_ROOT (the body of
// DllRegisterServer / DllUnregisterServer).
#include <string>

#include "com/com.h"

namespace com {

struct ServerRegistration {
    CLSID clsid;
    const char* progId;                    // "Vendor.Class.1"
    const char* versionIndependentProgId;  // "Vendor.Class"
    const char* description;               // "Class Class"
    GUID appId;
    const char* appIdName;   // default value of AppID\{...}
    const char* moduleName;  // AppID\<moduleName>, e.g. "Vendor.DLL"
    GUID libId;
    const char* libraryName;  // default value of TypeLib\{LIBID}\<version>
    const char* libraryVersion = "1.0";
    const char* threadingModel = "Apartment";
};

// Writes the class's keys, with InprocServer32 = `modulePath`. SELFREG_E_CLASS when the
// store refuses a write.
HRESULT RegisterServer(const ServerRegistration& server, const std::string& modulePath);
// Removes what RegisterServer wrote; a ProgID that now names another class is kept.
HRESULT UnregisterServer(const ServerRegistration& server);

// The key whose default value names the file of a registered type library version.
std::string TypeLibraryFileKey(const std::string& libId, const std::string& version);

// Absolute path of the shared library (or program) that contains `address`; empty when it
// cannot be told.
std::string ModulePathOf(const void* address);

}  // namespace com
