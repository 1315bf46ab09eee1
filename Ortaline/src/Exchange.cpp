// Placeholder until the echo exchange lands.
#include "BoschComms.h"

HRESULT BoschComms::SendRequest(const CByteArray&, CByteArray&) { return E_NOTIMPL; }
HRESULT BoschComms::ExchangeMessage(const BYTE*, std::int32_t, CByteArray&, CByteArray&, bool) {
    return E_NOTIMPL;
}
BYTE BoschComms::SendByteWithEcho(BYTE, bool) { AfxThrowUserException(); }
