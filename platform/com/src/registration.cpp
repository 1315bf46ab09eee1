#include "com/registration.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "com/guid_text.h"
#include "registry/registry.h"

namespace com {
namespace {

bool Write(const std::string& key, const std::string& name, const std::string& value) {
    return registry::WriteString(HKEY_CLASSES_ROOT, key, name, value);
}

bool CreateEmptyKey(const std::string& key) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

// Deletes a ProgID key only while it still names this class.
void RemoveProgId(const std::string& progId, const std::string& clsid) {
    std::string named;
    if (registry::ReadString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", named)) {
        GUID a{}, b{};
        if (!GuidFromString(named, a) || !GuidFromString(clsid, b) || a != b) return;
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, progId.c_str());
}

// RegDeleteKeyA refuses a key that still has subkeys.
void DeleteKeyWithoutSubkeys(const std::string& key) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

}  // namespace

HRESULT RegisterServer(const ServerRegistration& s, const std::string& modulePath) {
    const std::string clsid = GuidToString(s.clsid);
    const std::string appId = GuidToString(s.appId);
    const std::string libId = GuidToString(s.libId);
    const std::string classKey = "CLSID\\" + clsid;
    const std::string progId = s.progId;
    const std::string indepId = s.versionIndependentProgId;

    bool ok = Write(progId, "", s.description) && Write(progId + "\\CLSID", "", clsid) &&
              Write(indepId, "", s.description) && Write(indepId + "\\CLSID", "", clsid) &&
              Write(indepId + "\\CurVer", "", progId) && Write(classKey, "", s.description) &&
              Write(classKey, "AppID", appId) && Write(classKey + "\\ProgID", "", progId) &&
              Write(classKey + "\\VersionIndependentProgID", "", indepId) &&
              CreateEmptyKey(classKey + "\\Programmable") &&
              Write(classKey + "\\InprocServer32", "", modulePath) &&
              Write(classKey + "\\InprocServer32", "ThreadingModel", s.threadingModel) &&
              Write(classKey + "\\TypeLib", "", libId) &&
              Write("AppID\\" + appId, "", s.appIdName) &&
              Write(std::string("AppID\\") + s.moduleName, "AppID", appId) &&
              Write("TypeLib\\" + libId + "\\" + s.libraryVersion, "", s.libraryName) &&
              Write(TypeLibraryFileKey(libId, s.libraryVersion), "", modulePath);
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer(const ServerRegistration& s) {
    const std::string clsid = GuidToString(s.clsid);
    const std::string libId = GuidToString(s.libId);
    RemoveProgId(s.progId, clsid);
    RemoveProgId(s.versionIndependentProgId, clsid);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("AppID\\" + GuidToString(s.appId)).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("AppID\\") + s.moduleName).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("TypeLib\\" + libId + "\\" + s.libraryVersion).c_str());
    DeleteKeyWithoutSubkeys("TypeLib\\" + libId);  // kept while another version is registered
    return S_OK;
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return {};
    return resolved;
}

}  // namespace com
