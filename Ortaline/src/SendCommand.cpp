// SendCommand: validate the request, hand it to the exchange, return the reply bytes.
#include "BoschComms.h"
#include "Guarded.h"
#include "RequestBytes.h"

using ortaline::Guarded;

HRESULT BoschComms::SendCommand(VARIANT Message, VARIANT* retVal) {
    if (retVal == nullptr) return E_POINTER;
    VariantInit(retVal);
    return Guarded(*this, [&]() -> HRESULT {
        if (m_pPort == nullptr) return Error("No Port Specified");
        if (!m_bEcuInitialized) {
            const char* text = "Cannot send Command. ECU not initialized";
            Fire_Status(text, Severe);
            return Error(text);
        }

        CByteArray request;
        if (auto refusal = ortaline::ReadRequestBytes(Message, request)) {
            Fire_Status(refusal->status, Severe);
            return Error(refusal->error);
        }
        if (request.IsEmpty()) {
            Fire_Status("Empty message", Warning);
            return Error("Empty message");
        }

        CByteArray reply;
        const HRESULT hr = SendRequest(request, reply);
        if (FAILED(hr)) return hr;

        SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(reply.GetSize()));
        if (array == nullptr) {
            Fire_Status("Out of memory", Severe);
            return Error("Out of memory");
        }
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            Fire_Status("Out of memory", Severe);
            return Error("Out of memory");
        }
        auto* elements = static_cast<LONG*>(data);
        for (std::ptrdiff_t i = 0; i < reply.GetSize(); ++i) elements[i] = reply[i];
        SafeArrayUnaccessData(array);

        retVal->vt = VT_ARRAY | VT_I4;
        retVal->parray = array;
        m_bJustInitialized = 0;
        return S_OK;
    });
}
