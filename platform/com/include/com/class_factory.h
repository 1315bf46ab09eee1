#pragma once
// What an in-process server needs for DllGetClassObject and DllCanUnloadNow: a count of its
// live objects and server locks, and a class factory for its creatable class.
#include <atomic>
#include <new>

#include "com/com.h"

namespace com {

// One per server library (define it in the server, not in a header shared between
// libraries): objects Lock() while they live, LockServer(TRUE) too.
class ModuleCount {
public:
    void Lock() { ++count_; }
    void Unlock() { --count_; }
    long Count() const { return count_; }
    HRESULT CanUnloadNow() const { return count_ == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<long> count_{0};
};

// Creates objects of class T, which derives from IUnknown (unambiguously, through
// `Primary`), is default-constructible and starts with a reference count of 0.
template <class T, class Primary = IUnknown>
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(ModuleCount& module) : module_(module) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        T* instance = nullptr;
        try {
            instance = new T();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        auto* unknown = static_cast<Primary*>(instance);
        unknown->AddRef();
        HRESULT hr = unknown->QueryInterface(riid, object);
        unknown->Release();  // destroys the object when the interface was refused
        return hr;
    }

    HRESULT LockServer(BOOL lock) override {
        if (lock) {
            module_.Lock();
        } else {
            module_.Unlock();
        }
        return S_OK;
    }

private:
    ModuleCount& module_;
    std::atomic<ULONG> refs_{1};
};

// The body of DllGetClassObject for a server with one creatable class.
template <class T, class Primary = IUnknown>
HRESULT GetClassObject(ModuleCount& module, REFCLSID served, REFCLSID requested, REFIID riid,
                       void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (requested != served) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory<T, Primary>(module);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

}  // namespace com
