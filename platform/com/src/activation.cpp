// Creating objects of registered in-process servers, and registering servers by path.
#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "com/bstr.h"
#include "com/com.h"
#include "com/guid_text.h"
#include "com/registration.h"
#include "com/typelib.h"
#include "registry/registry.h"

namespace com {

std::string GuidToString(const GUID& guid) {
    OLECHAR text[40];
    StringFromGUID2(guid, text, 40);
    return ToUtf8(text);
}

bool GuidFromString(const std::string& text, GUID& guid) {
    if (text.empty() || text.front() != '{') return false;
    std::u16string wide = ToUtf16(text);
    return CLSIDFromString(wide.c_str(), &guid) == S_OK;
}

}  // namespace com

namespace {

constexpr int kMaxCurVerHops = 8;

thread_local int t_initializeCount = 0;

// Libraries loaded for activation or registration, by path; they stay loaded, since
// objects and factories from them may be alive anywhere in the process.
struct LoadedLibraries {
    std::mutex mutex;
    std::map<std::string, void*> byPath;
};

LoadedLibraries& Libraries() {
    static LoadedLibraries* libraries = new LoadedLibraries;
    return *libraries;
}

void* LoadServerLibrary(const std::string& path) {
    // Only an absolute path: a bare name would be searched for, and load something else.
    if (path.empty() || path.front() != '/') return nullptr;
    auto& libs = Libraries();
    std::lock_guard<std::mutex> guard(libs.mutex);
    auto it = libs.byPath.find(path);
    if (it != libs.byPath.end()) return it->second;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) libs.byPath[path] = handle;
    return handle;
}

HRESULT CallServerExport(const char* path, const char* name) {
    if (!path) return E_INVALIDARG;
    void* library = LoadServerLibrary(path);
    if (!library) return CO_E_DLLNOTFOUND;
    void* symbol = dlsym(library, name);
    if (!symbol) return CO_E_ERRORINDLL;
    return reinterpret_cast<PfnDllRegisterServer>(symbol)();
}

}  // namespace

HRESULT CoInitialize(void*) { return t_initializeCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (t_initializeCount > 0) --t_initializeCount;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    std::string name = com::ToUtf8(progId);
    if (name.empty()) return CO_E_CLASSSTRING;
    // A version-independent ProgID names its current version in "CurVer".
    for (int hop = 0; hop < kMaxCurVerHops; ++hop) {
        std::string next;
        if (!registry::ReadString(HKEY_CLASSES_ROOT, name + "\\CurVer", "", next) || next.empty() ||
            next == name) {
            break;
        }
        std::string probe;
        if (!registry::ReadString(HKEY_CLASSES_ROOT, next + "\\CLSID", "", probe)) break;
        name = next;
    }
    std::string text;
    if (!registry::ReadString(HKEY_CLASSES_ROOT, name + "\\CLSID", "", text)) {
        return CO_E_CLASSSTRING;
    }
    return com::GuidFromString(text, *clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::string path;
    if (!registry::ReadString(HKEY_CLASSES_ROOT,
                              "CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32", "",
                              path) ||
        path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    void* library = LoadServerLibrary(path);
    if (!library) return CO_E_DLLNOTFOUND;
    auto getClassObject =
        reinterpret_cast<PfnDllGetClassObject>(dlsym(library, "DllGetClassObject"));
    if (!getClassObject) return CO_E_ERRORINDLL;
    void* factoryPointer = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, &factoryPointer);
    if (FAILED(hr)) return hr;
    if (!factoryPointer) return E_UNEXPECTED;
    auto* factory = static_cast<IClassFactory*>(factoryPointer);
    hr = factory->CreateInstance(outer, riid, object);
    factory->Release();
    return hr;
}

HRESULT RegisterServerLibrary(const char* path) {
    return CallServerExport(path, "DllRegisterServer");
}

HRESULT UnregisterServerLibrary(const char* path) {
    return CallServerExport(path, "DllUnregisterServer");
}

namespace com {

std::string TypeLibraryFileKey(const std::string& libId, const std::string& version) {
    return "TypeLib\\" + libId + "\\" + version + "\\0\\linux64";
}

HRESULT LoadTypeLibrary(const char* path, const LibraryDesc** library) {
    if (!path || !library) return E_INVALIDARG;
    *library = nullptr;
    void* handle = LoadServerLibrary(path);
    if (!handle) return CO_E_DLLNOTFOUND;
    void* symbol = dlsym(handle, kTypeLibraryExport);
    if (!symbol) return TYPE_E_CANTLOADLIBRARY;
    *library = reinterpret_cast<PfnDllGetTypeLibrary>(symbol)();
    return *library ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT LoadRegisteredTypeLibrary(REFGUID libid, WORD major, WORD minor,
                                  const LibraryDesc** library) {
    if (!library) return E_INVALIDARG;
    *library = nullptr;
    const std::string version = std::to_string(major) + "." + std::to_string(minor);
    std::string path;
    if (!registry::ReadString(HKEY_CLASSES_ROOT, TypeLibraryFileKey(GuidToString(libid), version),
                              "", path)) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    return LoadTypeLibrary(path.c_str(), library);
}

}  // namespace com
