#pragma once
// The virtual FTDI cable on a simulator K-line ("sim:<name>" under the "USB" device value).
#include <cstdint>

namespace ftdi {

// Makes every virtual cable keep this latency timer whatever the host sets (0: obey the
// host, as a real chip does), to try the library against the chip's 16 ms default.
void ForceVirtualLatencyMs(std::uint8_t ms);

}  // namespace ftdi
