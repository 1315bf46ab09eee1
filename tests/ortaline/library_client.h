#pragma once
// The library as a client meets it: BoschComms registered from libOrtaline.so and created
// by ProgID, with a Status sink advised on it, on the simulated clock and a private
// settings store.
#include <gtest/gtest.h>

#include "clock/clock.h"
#include "core_support.h"
#include "ortaline/IBoschComms.h"

#ifndef ORTALINE_LIBRARY_PATH
#error "ORTALINE_LIBRARY_PATH must name libOrtaline.so"
#endif

namespace core_test {

class LibraryClientTest : public ::testing::Test {
protected:
    // Fixtures that map a port before the object exists call it themselves.
    void CreateComms() {
        comms = CreateByProgId(ORTALINE_LIBRARY_PATH);
        ASSERT_NE(comms, nullptr);
        Advise(comms, &sink);
    }
    void TearDown() override {
        sink.onEvent = nullptr;
        if (comms != nullptr) comms->Release();
        comms = nullptr;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    TempConfigHome home;
    StatusSink sink;
    IBoschComms* comms = nullptr;
};

}  // namespace core_test
