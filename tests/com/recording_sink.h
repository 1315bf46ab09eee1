#pragma once
// An event sink that records what it receives and can act while an event runs.
#include <functional>
#include <string>
#include <vector>

#include "com/bstr.h"
#include "com/com.h"

namespace testing_support {

class RecordingSink final : public IDispatch {
public:
    explicit RecordingSink(const IID& eventIid = IID_NULL) : eventIid_(eventIid) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch ||
            (eventIid_ != IID_NULL && riid == eventIid_)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                   EXCEPINFO*, UINT*) override {
        std::string call = std::to_string(dispid) + ":";
        // Arguments arrive last first; record them first first.
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& arg = params->rgvarg[i];
            if (arg.vt == VT_BSTR) {
                call += com::FromBstr(arg.bstrVal);
            } else if (arg.vt == VT_I4) {
                call += std::to_string(arg.lVal);
            } else {
                call += "vt" + std::to_string(arg.vt);
            }
            if (i > 0) call += ",";
        }
        if (flags != DISPATCH_METHOD) call += "(not a method)";
        calls.push_back(call);
        if (onEvent) onEvent();
        return S_OK;
    }

    int refs = 0;
    std::vector<std::string> calls;
    std::function<void()> onEvent;

private:
    IID eventIid_;
};

}  // namespace testing_support
