// Placeholder until the KW1281 block exchange lands.
#include "BoschComms.h"

HRESULT BoschComms::ExchangeMessageWithInverse(const BYTE*, std::int32_t, CByteArray&,
                                               CByteArray&, bool) {
    return E_NOTIMPL;
}
