#include "read_plan.h"

namespace serial {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
// Beyond this a timeout is as good as endless and its nanoseconds would overflow.
constexpr std::uint64_t kEndlessMs = std::uint64_t{1} << 40;

std::int64_t TotalNs(DWORD multiplier, DWORD constant, DWORD count) {
    if (multiplier == 0 && constant == 0) return -1;
    const std::uint64_t ms = std::uint64_t{multiplier} * count + constant;
    if (ms >= kEndlessMs) return -1;
    return static_cast<std::int64_t>(ms) * kNsPerMs;
}

}  // namespace

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD bytesToRead) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
            plan.returnAtOnce = true;
            return plan;
        }
        if (t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != 0 &&
            t.ReadTotalTimeoutConstant != MAXDWORD) {
            plan.returnOnFirstByte = true;
            plan.totalNs = std::int64_t{t.ReadTotalTimeoutConstant} * kNsPerMs;
            return plan;
        }
    } else if (t.ReadIntervalTimeout != 0) {
        plan.intervalNs = std::int64_t{t.ReadIntervalTimeout} * kNsPerMs;
    }
    plan.totalNs = TotalNs(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, bytesToRead);
    return plan;
}

std::int64_t WriteTotalNs(const COMMTIMEOUTS& t, DWORD count) {
    return TotalNs(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

}  // namespace serial
