// Placeholder until the 5-baud wake-up lands.
#include "BoschComms.h"

HRESULT BoschComms::InitializeSlow(LONG, VARIANT*, int) { return E_NOTIMPL; }
std::int32_t BoschComms::SendFiveBaudByte(std::int32_t) { return 0; }
std::int32_t BoschComms::SendFiveBaudByteAccurate(std::int32_t) { return 0; }
std::int32_t BoschComms::SendFiveBaudByteViaUart(std::int32_t) { return 0; }
std::string BoschComms::DecodeKeywords(BYTE, BYTE) { return {}; }
