// The raised priority of a hand-driven line pattern, on the real clock: a thread's own
// scheduling (realtime ones included) is exactly what it has again afterwards.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <thread>

#include "RaisedPriority.h"

namespace {

struct Scheduling {
    int policy = SCHED_OTHER;
    int priority = 0;
    bool operator==(const Scheduling&) const = default;
};

Scheduling Current() {
    Scheduling s;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &s.policy, &param);
    s.priority = param.sched_priority;
    return s;
}

TEST(RaisedPriority, PutsBackTheThreadsOwnPolicyAndPriority) {
    const int raisedLevel = sched_get_priority_max(SCHED_FIFO) / 2;
    const Scheduling cases[] = {
        {SCHED_OTHER, 0},
        {SCHED_BATCH, 0},
        {SCHED_FIFO, 10},
        {SCHED_RR, raisedLevel + 20},  // already above the raised level: never lowered
    };
    for (const Scheduling& original : cases) {
        SCOPED_TRACE(original.policy);
        bool permitted = true;
        Scheduling during, after;
        std::thread([&] {
            sched_param param{};
            param.sched_priority = original.priority;
            if (pthread_setschedparam(pthread_self(), original.policy, &param) != 0) {
                permitted = false;
                return;
            }
            {
                RaisedPriority raised;
                during = Current();
            }
            after = Current();
        }).join();
        if (!permitted) GTEST_SKIP() << "this user may not choose realtime scheduling";
        EXPECT_TRUE(during.policy == SCHED_FIFO || during.policy == SCHED_RR);
        EXPECT_GE(during.priority, std::max(original.priority, raisedLevel));
        EXPECT_EQ(after, original);
    }
}

}  // namespace
