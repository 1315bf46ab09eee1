#pragma once
// How long a ReadFile may wait, from COMMTIMEOUTS and the number of bytes asked for.
#include <cstdint>

#include "serial/comm.h"

namespace serial {

struct ReadPlan {
    // MAXDWORD interval with zero total: return at once with what is buffered.
    bool returnAtOnce = false;
    // MAXDWORD interval and multiplier with 0 < constant < MAXDWORD: return as soon as
    // anything is there, waiting for the first byte up to the constant.
    bool returnOnFirstByte = false;
    // Total time allowed for the read; negative for none.
    std::int64_t totalNs = -1;
    // Longest gap allowed between bytes once the first has arrived; negative for none.
    std::int64_t intervalNs = -1;
};

ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD bytesToRead);

// Total time for a write of count bytes, negative for none (both write fields 0).
std::int64_t WriteTotalNs(const COMMTIMEOUTS& timeouts, DWORD count);

}  // namespace serial
