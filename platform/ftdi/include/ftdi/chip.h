#pragma once
// What an FTDI USB-serial chip can and cannot do, for its backends and for the serial layer
// that meets the same chips under the kernel's driver.
#include <cstddef>
#include <cstdint>

namespace ftdi {

// The chip divides 3 MHz by at most 16383.875: about 183 baud is its slowest rate, so a
// 5-baud wake-up cannot go through its UART.
inline constexpr std::uint32_t kLowestBaud = 183;
inline constexpr std::uint32_t kHighestBaud = 3'000'000;
// Received bytes go to the host in USB packets of 64 bytes, two of them status: a packet
// leaves when 62 data bytes are waiting or when the latency timer expires.
inline constexpr std::size_t kPacketDataBytes = 62;
inline constexpr std::uint8_t kDefaultLatencyMs = 16;

inline bool BaudRateSupported(std::uint32_t baud) {
    return baud >= kLowestBaud && baud <= kHighestBaud;
}

}  // namespace ftdi
