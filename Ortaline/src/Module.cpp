// The library as an in-process server: the class factory of BoschComms and the four
// exported entry points.
#include "Module.h"

#include <atomic>
#include <new>

#include "BoschComms.h"
#include "Registration.h"
#include "TypeLibrary.h"

#define ORTALINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace ortaline::module {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }
void Lock() { ++g_locks; }
void Unlock() { --g_locks; }
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace ortaline::module

namespace {

// Lives for the whole process; its reference count only keeps the server locked while a
// client holds it.
class BoschCommsFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override {
        ortaline::module::Lock();
        return 2;
    }
    ULONG Release() override {
        ortaline::module::Unlock();
        return 1;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        BoschComms* comms = nullptr;
        try {
            comms = new BoschComms;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = comms->QueryInterface(riid, object);
        comms->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock) {
            ortaline::module::Lock();
        } else {
            ortaline::module::Unlock();
        }
        return S_OK;
    }
};

BoschCommsFactory g_factory;

}  // namespace

ORTALINE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_BoschComms) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

ORTALINE_EXPORT HRESULT DllCanUnloadNow() { return ortaline::module::CanUnload() ? S_OK : S_FALSE; }

ORTALINE_EXPORT HRESULT DllRegisterServer() { return ortaline::RegisterBoschComms(); }

ORTALINE_EXPORT HRESULT DllUnregisterServer() { return ortaline::UnregisterBoschComms(); }

ORTALINE_EXPORT const com::LibraryDesc* DllGetTypeLibrary() { return &ortaline::OrtalineLibrary(); }
