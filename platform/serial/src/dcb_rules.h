#pragma once
// The DCB checks and conversions a Windows serial driver applies in SetCommState.
#include "serial/comm.h"
#include "serial_backend.h"

namespace serial {

// ERROR_SUCCESS, or ERROR_INVALID_PARAMETER for a DCB the driver refuses.
DWORD ValidateDcb(const DCB& dcb);
LineSettings SettingsFromDcb(const DCB& dcb);
// The DCB a freshly opened port reports: the device's line settings, binary mode,
// DTR and RTS enabled.
DCB InitialDcb(const LineSettings& settings);

// The level DTR / RTS take when a DCB with these control modes is set.
bool DtrLevelFor(const DCB& dcb);
bool RtsLevelFor(const DCB& dcb);

}  // namespace serial
