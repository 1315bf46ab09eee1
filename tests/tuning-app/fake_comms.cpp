#include "fake_comms.h"

#include <gtest/gtest.h>

#include "dravik/automation.h"

namespace dravik::testing {

namespace {

void SetErrorText(const std::string& text) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return;
    std::u16string wide(text.begin(), text.end());
    create->SetDescription(wide.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

VARIANT LongArray(const std::vector<std::int32_t>& elements) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(elements.size()));
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        LONG value = elements[static_cast<std::size_t>(i)];
        SafeArrayPutElement(array, &i, &value);
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = array;
    return v;
}

class FakeComms final : public IBoschComms {
public:
    explicit FakeComms(FakeEcu& ecu) : m_ecu(ecu) {
        ++m_ecu.created;
        ++m_ecu.alive;
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IBoschComms) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            --m_ecu.alive;
            delete this;
        }
        return left;
    }

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT Initialize(LONG port, LONG baud, LONG address, VARIANT* keyBytes) override {
        m_ecu.initializeCalls.push_back({port, baud, address});
        if (FAILED(m_ecu.initializeResult)) {
            SetErrorText("Could not open port.");
            return m_ecu.initializeResult;
        }
        *keyBytes = LongArray({0x01, 0x8A});
        return S_OK;
    }
    HRESULT GetProtocol(Protocol* protocol) override {
        if (FAILED(m_ecu.protocolResult)) return m_ecu.protocolResult;
        *protocol = static_cast<Protocol>(m_ecu.protocol);
        return S_OK;
    }
    HRESULT SendCommand(VARIANT message, VARIANT* reply) override {
        const Reply request = ReplyFromVariant(message);
        Bytes bytes;
        for (std::int32_t b : request.Elements().value_or(std::vector<std::int32_t>{})) {
            bytes.push_back(static_cast<std::uint8_t>(b));
        }
        m_ecu.sent.push_back(bytes);
        Answer answer;
        if (!m_ecu.answers.empty()) {
            answer = m_ecu.answers.front();
            m_ecu.answers.pop_front();
        } else if (m_ecu.respond) {
            answer = m_ecu.respond(bytes);
        }
        switch (answer.kind) {
            case Answer::Kind::Elements:
                *reply = LongArray(answer.elements);
                return S_OK;
            case Answer::Kind::NotAnArray:
                VariantInit(reply);
                return S_OK;
            case Answer::Kind::Failure:
                if (!answer.errorText.empty()) SetErrorText(answer.errorText);
                return E_FAIL;
        }
        return E_FAIL;
    }
    HRESULT Close() override {
        ++m_ecu.closeCalls;
        return m_ecu.closeResult;
    }

    // Members the session must never call.
    HRESULT InitializeOld(LONG, LONG, LONG, VARIANT*) override { return Unexpected(); }
    HRESULT put_CableType(Cable) override { return Unexpected(); }
    HRESULT get_CableType(Cable*) override { return Unexpected(); }
    HRESULT put_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE) override {
        return Unexpected();
    }
    HRESULT get_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE*) override {
        return Unexpected();
    }
    HRESULT InitializeFast(LONG, LONG, VARIANT*) override { return Unexpected(); }
    HRESULT ChangeBaudRate(LONG, VARIANT_BOOL*) override { return Unexpected(); }
    HRESULT InitializeViaUART(LONG, LONG, LONG, VARIANT*) override { return Unexpected(); }
    HRESULT InitializeFast2(LONG, LONG, LONG, LONG, VARIANT*) override { return Unexpected(); }
    HRESULT get_InterByteReadPause(LONG*) override { return Unexpected(); }
    HRESULT put_InterByteReadPause(LONG) override { return Unexpected(); }
    HRESULT get_InterByteWritePause(LONG*) override { return Unexpected(); }
    HRESULT put_InterByteWritePause(LONG) override { return Unexpected(); }
    HRESULT get_AddressingMode(_ADDRESSINGMODE*) override { return Unexpected(); }
    HRESULT put_AddressingMode(_ADDRESSINGMODE) override { return Unexpected(); }

private:
    ~FakeComms() = default;
    static HRESULT Unexpected() {
        ADD_FAILURE_AT(__FILE__, __LINE__) << "the session called a member it must not use";
        return E_UNEXPECTED;
    }

    FakeEcu& m_ecu;
    ULONG m_refs = 1;
};

}  // namespace

bcClass::CommsFactory FakeEcu::Factory() {
    return [this](IBoschComms** comms) -> HRESULT {
        *comms = nullptr;
        if (FAILED(createResult)) return createResult;
        *comms = new FakeComms(*this);
        return S_OK;
    };
}

}  // namespace dravik::testing
