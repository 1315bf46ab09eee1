#include <atomic>
#include <new>
#include <string>

#include "com/com.h"

namespace {

// One object answers both sides: the server fills it through ICreateErrorInfo, the client
// reads it through IErrorInfo.
class ErrorInfo final : public ICreateErrorInfo, public IErrorInfo {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICreateErrorInfo) {
            *object = static_cast<ICreateErrorInfo*>(this);
        } else if (riid == IID_IErrorInfo) {
            *object = static_cast<IErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT SetGUID(REFIID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR source) override { return Keep(source_, source); }
    HRESULT SetDescription(LPOLESTR description) override {
        return Keep(description_, description);
    }
    HRESULT SetHelpFile(LPOLESTR helpFile) override { return Keep(helpFile_, helpFile); }
    HRESULT SetHelpContext(DWORD helpContext) override {
        helpContext_ = helpContext;
        return S_OK;
    }

    HRESULT GetGUID(GUID* guid) override {
        if (!guid) return E_INVALIDARG;
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return Hand(source_, source); }
    HRESULT GetDescription(BSTR* description) override { return Hand(description_, description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return Hand(helpFile_, helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override {
        if (!helpContext) return E_INVALIDARG;
        *helpContext = helpContext_;
        return S_OK;
    }

private:
    static HRESULT Keep(std::u16string& field, LPOLESTR text) {
        try {
            field = text ? std::u16string(text) : std::u16string();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    static HRESULT Hand(const std::u16string& field, BSTR* out) {
        if (!out) return E_INVALIDARG;
        *out = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_ = IID_NULL;
    std::u16string source_, description_, helpFile_;
    DWORD helpContext_ = 0;
};

// The thread's current error object; released when the thread ends.
struct ThreadSlot {
    IErrorInfo* info = nullptr;
    ~ThreadSlot() {
        if (info) info->Release();
    }
};
thread_local ThreadSlot t_errorInfo;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = new (std::nothrow) ErrorInfo;
    return *info ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
    if (info) info->AddRef();
    IErrorInfo* old = t_errorInfo.info;
    t_errorInfo.info = info;
    if (old) old->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = t_errorInfo.info;
    t_errorInfo.info = nullptr;
    return *info ? S_OK : S_FALSE;
}
