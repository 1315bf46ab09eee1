#pragma once
// A stack object that counts its references, for ownership checks.
#include "com/com.h"

namespace testing_support {

struct CountedObject final : IUnknown {
    int refs = 0;
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
};

}  // namespace testing_support
