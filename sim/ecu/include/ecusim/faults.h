#pragma once
// Faults a test can order from the simulated ECU. Each applies once, to the next occasion
// it names, and is then cleared; only dieAfterRequests and pendingEveryRequest persist
// until the next SetFaults.
#include <cstdint>
#include <optional>
#include <vector>

namespace ecusim {

struct Faults {
    // ---- next wake-up at this ECU's address ----
    bool noSyncByte = false;
    std::vector<std::uint8_t> noiseBeforeSync;  // sent just before the 0x55
    double lateSyncMs = 0.0;                    // added to W1
    bool noKeyByte1 = false;
    bool noKeyByte2 = false;
    bool noAddressComplement = false;               // KWP2000 / KWPtester
    std::optional<std::uint8_t> addressComplement;  // sent instead of the right one

    // ---- line faults on the tester's next request (index of the byte in it) ----
    // The ECU pulls the line low from the start bit of that byte: the echo reads 0x00.
    int corruptEchoAt = -1;
    // The ECU holds the line low through that byte's stop bit: the echo is a framing error.
    int dropEchoAt = -1;

    // ---- KW1281: complements of the tester's next block ----
    int wrongComplementAt = -1;
    int missingComplementAt = -1;

    // ---- the ECU's next reply (block or frame; the answer to a fast initialisation's start
    // request included) ----
    bool badBlockCounter = false;  // KW1281
    bool badChecksum = false;      // KWP2000 / KWPtester / MCMESS
    int missingByteAt = -1;        // the reply stops before this byte (0 = length / format byte)
    bool silence = false;          // the next request is not answered; the session stays
    std::optional<std::uint8_t> negativeCode;  // answered 0x7F, its service id, this code
    int shortAnswerBytes = -1;    // the answer's data cut to this many bytes, framed as whole
    double lateMs = 0.0;          // added to the delay before the next answer
    int pendingCount = 0;         // KWP2000: 0x7F sid 0x78 replies before the real one
    double pendingGapMs = 100.0;  // from one pending reply to the next reply
    bool pendingEveryRequest = false;

    // The link dies after this many more requests have been answered: the ECU then ignores
    // everything, wake-ups included, until the next SetFaults. -1 = never.
    int dieAfterRequests = -1;
};

}  // namespace ecusim
