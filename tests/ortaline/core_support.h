#pragma once
// Shared pieces of the core tests: a Status sink, an owning pointer for COM objects, the
// thread's error information, a programmable port and a private settings store.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/bstr.h"
#include "com/com.h"
#include "ortaline/IBoschComms.h"

namespace core_test {

struct StatusEvent {
    std::string text;
    LONG level;
    bool operator==(const StatusEvent&) const = default;
};

inline void PrintTo(const StatusEvent& e, std::ostream* os) {
    *os << "{\"" << e.text << "\", " << e.level << "}";
}

// Records every Status event; answers Invoke the way a sink of _IBoschCommsEvents must.
class StatusSink final : public IDispatch {
public:
    std::vector<StatusEvent> events;
    int invokeCalls = 0;
    bool argumentsAsExpected = true;
    // Runs inside the event, after it is recorded: a sink calling back into the object.
    std::function<void(const StatusEvent&)> onEvent;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IBoschCommsEvents) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*,
                   EXCEPINFO*, UINT*) override {
        ++invokeCalls;
        if (dispid != DISPID_IBoschCommsEvents_Status || riid != IID_NULL ||
            lcid != LOCALE_USER_DEFAULT || flags != DISPATCH_METHOD || params == nullptr ||
            params->cArgs != 2 || params->cNamedArgs != 0 || params->rgvarg[0].vt != VT_I4 ||
            params->rgvarg[1].vt != VT_BSTR) {
            argumentsAsExpected = false;
            return DISP_E_BADPARAMCOUNT;
        }
        events.push_back({com::FromBstr(params->rgvarg[1].bstrVal), params->rgvarg[0].lVal});
        if (onEvent) onEvent(StatusEvent(events.back()));  // a copy: the callback may add more
        return S_OK;
    }

    ULONG refs = 1;
};

// Advises sink on the object's _IBoschCommsEvents connection point; returns the cookie.
inline DWORD Advise(IUnknown* object, IUnknown* sink) {
    void* raw = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, &raw), S_OK);
    auto* container = static_cast<IConnectionPointContainer*>(raw);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IBoschCommsEvents, &point), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    point->Release();
    container->Release();
    return cookie;
}

inline void Unadvise(IUnknown* object, DWORD cookie) {
    void* raw = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, &raw), S_OK);
    auto* container = static_cast<IConnectionPointContainer*>(raw);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IBoschCommsEvents, &point), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    point->Release();
    container->Release();
}

struct ErrorText {
    std::string description;
    std::string source;
    bool present = false;
};

// Takes the thread's error information (and clears it).
inline ErrorText TakeError() {
    ErrorText out;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return out;
    out.present = true;
    com::Bstr description;
    com::Bstr source;
    info->GetDescription(description.out());
    info->GetSource(source.out());
    out.description = description.str();
    out.source = source.str();
    info->Release();
    return out;
}

// The elements of a reply array (VT_ARRAY | VT_I4); empty for anything else.
inline std::vector<LONG> ReplyElements(const VARIANT& v) {
    std::vector<LONG> values;
    if (v.vt != (VT_ARRAY | VT_I4) || v.parray == nullptr) return values;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v.parray, 1, &lower);
    SafeArrayGetUBound(v.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        LONG value = 0;
        SafeArrayGetElement(v.parray, &i, &value);
        values.push_back(value);
    }
    return values;
}

// Registers the library from its file and creates BoschComms by ProgID, as a client does.
inline IBoschComms* CreateByProgId(const char* libraryPath) {
    EXPECT_EQ(RegisterServerLibrary(libraryPath), S_OK);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Ortaline.BoschComms", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_BoschComms);
    void* raw = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBoschComms, &raw), S_OK);
    return static_cast<IBoschComms*>(raw);
}

// Points the settings store at a fresh folder for the test's lifetime.
class TempConfigHome {
public:
    TempConfigHome() {
        char pattern[] = "/tmp/ortaline-core-XXXXXX";
        m_dir = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    }
    ~TempConfigHome() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        unsetenv("XDG_CONFIG_HOME");
    }
    const std::string& Path() const { return m_dir; }

private:
    std::string m_dir;
};

inline VARIANT ArrayVariant(VARTYPE vt, LONG lowerBound, const std::vector<LONGLONG>& values) {
    VARIANT v;
    VariantInit(&v);
    SAFEARRAY* array = SafeArrayCreateVector(vt, lowerBound, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        LONG index = lowerBound + static_cast<LONG>(i);
        LONGLONG value = values[i];
        double real = static_cast<double>(values[i]);
        void* element = vt == VT_R8 ? static_cast<void*>(&real) : static_cast<void*>(&value);
        SafeArrayPutElement(array, &index, element);
    }
    v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v.parray = array;
    return v;
}

}  // namespace core_test
