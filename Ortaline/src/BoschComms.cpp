// COM identity of BoschComms: reference count, interfaces, events and error information.
#include "BoschComms.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "Module.h"
#include "Text.h"
#include "TypeLibrary.h"
#include "com/connection_point.h"

namespace {

class ErrorInfoSupport final : public ISupportErrorInfo {
public:
    explicit ErrorInfoSupport(IUnknown& owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return m_owner.QueryInterface(riid, object);
    }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_IBoschComms ? S_OK : S_FALSE;
    }

private:
    IUnknown& m_owner;
};

class PointContainer final : public IConnectionPointContainer {
public:
    explicit PointContainer(IUnknown& owner)
        : m_owner(owner), m_events(&owner, this, DIID__IBoschCommsEvents) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return m_owner.QueryInterface(riid, object);
    }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
        IConnectionPoint* const only[] = {&m_events};
        return com::CreateConnectionPointEnumerator(only, 1, points);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (point == nullptr) return E_POINTER;
        *point = nullptr;
        if (riid != DIID__IBoschCommsEvents) return CONNECT_E_NOCONNECTION;
        *point = &m_events;
        m_events.AddRef();
        return S_OK;
    }
    com::ConnectionPoint& Events() { return m_events; }

private:
    IUnknown& m_owner;
    com::ConnectionPoint m_events;
};

}  // namespace

// Far above any real count, so that references taken during destruction never reach 0.
constexpr ULONG kDestroying = 0x40000000;

struct BoschComms::ComParts {
    explicit ComParts(IUnknown& owner) : support(owner), container(owner) {}
    std::atomic<ULONG> references{1};
    int statusDepth = 0;  // Status events being raised right now
    bool refusing = false;
    ErrorInfoSupport support;
    PointContainer container;
};

BoschComms::BoschComms() {
    m_pMessage = CreateMessage(KWP2000);
    m_com = new ComParts(*static_cast<IBoschComms*>(this));
    ortaline::module::ObjectCreated();
}

BoschComms::~BoschComms() {
    Close();
    delete m_pMessage;
    m_pMessage = nullptr;
    delete m_com;
    ortaline::module::ObjectDestroyed();
}

HRESULT BoschComms::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IBoschComms) {
        *object = static_cast<IBoschComms*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(&m_com->support);
    } else if (riid == IID_IConnectionPointContainer) {
        *object = static_cast<IConnectionPointContainer*>(&m_com->container);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG BoschComms::AddRef() { return ++m_com->references; }

ULONG BoschComms::Release() {
    const ULONG left = --m_com->references;
    if (left == 0) {
        // The destructor's Close still raises its text: a sink that takes and drops a
        // reference meanwhile must not start a second destruction.
        m_com->references = kDestroying;
        delete this;
    }
    return left;
}

HRESULT BoschComms::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT BoschComms::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT BoschComms::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                  DISPID* dispids) {
    return ortaline::BoschCommsIDsOfNames(riid, names, count, lcid, dispids);
}

HRESULT BoschComms::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    return ortaline::InvokeBoschComms(*this, dispid, riid, lcid, flags, params, result, excepInfo,
                                      argErr);
}

HRESULT BoschComms::Fire_Status(const std::string& text, StatusLevel level) {
    com::ConnectionPoint& events = m_com->container.Events();
    if (events.SinkCount() == 0) return S_OK;

    // In natural order; the connection point hands them to Invoke reversed (level first).
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    if (BSTR message = ortaline::AllocBstr(text)) {
        args[0].vt = VT_BSTR;
        args[0].bstrVal = message;
    } else {
        args[0].vt = VT_ERROR;
        args[0].scode = E_OUTOFMEMORY;
    }
    args[1].vt = VT_I4;
    args[1].lVal = level;
    struct Raising {
        int& depth;
        explicit Raising(int& d) : depth(d) { ++depth; }
        ~Raising() { --depth; }
    } raising(m_com->statusDepth);
    const HRESULT last = events.Fire(DISPID_IBoschCommsEvents_Status, args, 2);
    VariantClear(&args[0]);
    return last;
}

HRESULT BoschComms::FireStatusF(StatusLevel level, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return E_FAIL;
    if (static_cast<std::size_t>(length) < sizeof buffer) return Fire_Status(buffer, level);

    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(large.data(), large.size(), format, args);
    va_end(args);
    return Fire_Status(std::string(large.data(), static_cast<std::size_t>(length)), level);
}

HRESULT BoschComms::Error(const std::string& text) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create)) && create != nullptr) {
        std::u16string source(kBoschCommsProgIdVersioned);
        std::u16string description = ortaline::Widen(text);
        create->SetGUID(IID_NULL);
        create->SetSource(source.data());
        create->SetDescription(description.data());
        create->SetHelpFile(nullptr);
        create->SetHelpContext(0);
        void* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, &info)) && info != nullptr) {
            SetErrorInfo(0, static_cast<IErrorInfo*>(info));
            static_cast<IErrorInfo*>(info)->Release();
        }
        create->Release();
    }
    return DISP_E_EXCEPTION;
}

bool BoschComms::IsRaisingStatus() const { return m_com->statusDepth > 0; }

HRESULT BoschComms::RefuseCallFromStatusHandler() {
    const char* text = "Another call is in progress";
    // A handler that calls again on this very warning is refused without a further one.
    if (!m_com->refusing) {
        m_com->refusing = true;
        try {
            Fire_Status(text, Warning);
        } catch (...) {
        }
        m_com->refusing = false;
    }
    return Error(text);
}
