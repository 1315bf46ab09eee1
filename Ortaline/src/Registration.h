#pragma once
// Self-registration of the library: ProgIDs, class, AppID and type library keys.
#include "com/com.h"

namespace ortaline {

HRESULT RegisterBoschComms();
HRESULT UnregisterBoschComms();

}  // namespace ortaline
