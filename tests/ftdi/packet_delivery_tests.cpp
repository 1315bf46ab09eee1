// When received bytes reach the host: at the latency timer's expiry, or at once when a
// 62-byte packet is full.
#include <gtest/gtest.h>

#include "packet_delivery.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;

TEST(PacketDelivery, BytesWaitForTheLatencyTimerUnlessAPacketFills) {
    ftdi::PacketDelivery chip(0, 16);
    EXPECT_EQ(chip.NextPacketNs(), ftdi::kNeverNs);
    chip.Arrive(0x55, 3 * kMs);
    chip.Arrive(0x01, 5 * kMs);
    EXPECT_EQ(chip.NextPacketNs(), 16 * kMs);  // the timer runs from the open, not the byte
    chip.Advance(15 * kMs);
    EXPECT_EQ(chip.HostBytes(), 0u);
    chip.Advance(16 * kMs);
    ASSERT_EQ(chip.HostBytes(), 2u);
    BYTE out[2] = {};
    EXPECT_EQ(chip.Take(out, 2), 2u);
    EXPECT_EQ(out[0], 0x55);
    EXPECT_EQ(out[1], 0x01);

    // Idle periods keep the grid: a byte at 40 ms goes at 48 ms.
    chip.Arrive(0x8A, 40 * kMs);
    EXPECT_EQ(chip.NextPacketNs(), 48 * kMs);

    // The 62nd waiting byte sends a full packet at once and restarts the timer there.
    chip.PurgeReceive();
    for (int i = 0; i < 70; ++i) chip.Arrive(static_cast<BYTE>(i), 50 * kMs + i * 100'000);
    const std::int64_t full = 50 * kMs + 61 * 100'000;
    EXPECT_EQ(chip.NextPacketNs(), full);
    chip.Advance(full);
    EXPECT_EQ(chip.HostBytes(), 62u);
    EXPECT_EQ(chip.NextPacketNs(), full + 16 * kMs);
    chip.Advance(full + 16 * kMs);
    EXPECT_EQ(chip.HostBytes(), 70u);

    // A new latency restarts the timer.
    chip.SetLatencyMs(1, 100 * kMs);
    chip.Arrive(0x01, 100 * kMs + 300'000);
    EXPECT_EQ(chip.NextPacketNs(), 101 * kMs);
}

}  // namespace
