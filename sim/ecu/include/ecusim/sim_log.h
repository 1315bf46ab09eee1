#pragma once
// The simulator's own account of what it understood and answered, decoded, next to the
// wire's byte log.
#include <cstdint>
#include <string>
#include <vector>

namespace ecusim {

struct LogEntry {
    enum class Kind { Wake, Request, Reply, Event };
    std::int64_t timeNs = 0;
    Kind kind = Kind::Event;
    // Request / Reply: the block title or service id and its data (no framing).
    std::vector<std::uint8_t> bytes;
    std::string text;
};

// One decoded 5-baud address byte (whether or not it matched).
struct WakeReport {
    std::int64_t startNs = 0;  // falling edge of the start bit
    std::int64_t endNs = 0;    // end of the stop bit, from the fitted bit time
    std::int64_t bitNs = 0;    // fitted bit time
    // Measured length of each bit from the start bit up to the last edge (a run of equal
    // bits is shared out evenly).
    std::vector<std::int64_t> bitTimesNs;
    std::vector<int> bits;  // levels of the 10 bits in time order: start, 8 data, stop
    std::uint8_t lineByte = 0;
    bool valid = false;     // a well-formed byte with every bit time inside the window
    bool matched = false;   // it woke this ECU
    bool sevenBit = false;  // matched through the 7-bit form with parity
    std::string reason;     // why it was not valid or did not match
};

// One low pulse on the line that may have been a fast initialisation, measured from the
// line levels: the low phase, and the high phase up to the next falling edge (the start bit
// of the first request byte).
struct FastInitReport {
    std::int64_t startNs = 0;  // falling edge of the low phase
    std::int64_t lowNs = 0;
    std::int64_t highNs = 0;
    bool valid = false;  // both inside ISO 14230's windows
    bool woke = false;   // it woke this ECU (only units that know the fast initialisation)
    std::string reason;  // why it was not valid or did not wake the unit
};

}  // namespace ecusim
