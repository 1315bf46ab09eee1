// A client whose Status handler calls back into the object while a method runs: every such
// call is refused with a warning, and the running method finishes with its own bytes.
#include <gtest/gtest.h>

#include <functional>

#include "session_harness.h"

namespace exchange_test {
namespace {

constexpr const char* kRefusal = "Another call is in progress";

class ReentrantHandlerSession : public SessionFixture {
protected:
    void SetUp() override { StartEcu(ecusim::DefaultConfig(ecusim::EcuProtocol::Kwp2000)); }

    // Makes every call that changes the object or uses the line, early-bound and through
    // Invoke, as a handler would; each must be refused with the warning and error text.
    void CallEverythingAndExpectRefusals() {
        VARIANT out;
        VariantInit(&out);
        VARIANT request;
        VariantInit(&request);
        request.vt = VT_I4;
        request.lVal = 0x3E;
        VARIANT_BOOL changed = VARIANT_FALSE;
        _ADDRESSINGMODE mode{};
        const std::vector<std::function<HRESULT()>> calls = {
            [&] { return comms->Close(); },
            [&] { return comms->SendCommand(request, &out); },
            [&] { return comms->Initialize(kSessionPort, 10400, 0x01, &out); },
            [&] { return comms->InitializeOld(kSessionPort, 10400, 0x01, &out); },
            [&] { return comms->InitializeViaUART(kSessionPort, 10400, 0x01, &out); },
            [&] { return comms->InitializeFast(kSessionPort, 0x33, &out); },
            [&] { return comms->InitializeFast2(kSessionPort, 0x33, 1, 0, &out); },
            [&] { return comms->ChangeBaudRate(9600, &changed); },
            [&] { return comms->put_CableType(USBPortConnection); },
            [&] { return comms->put_InitializationAddressingMode(SevenBit); },
            [&] { return comms->put_InterByteReadPause(7); },
            [&] { return comms->put_InterByteWritePause(7); },
            [&] { return comms->put_AddressingMode(NoAddressing); },
            [&] { return comms->get_AddressingMode(&mode); },
            [&] {
                DISPPARAMS none{nullptr, nullptr, 0, 0};
                return comms->Invoke(2 /* Close */, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                     &none, nullptr, nullptr, nullptr);
            },
        };
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const std::size_t statusesBefore = sink.statuses.size();
            EXPECT_EQ(calls[i](), DISP_E_EXCEPTION) << "call " << i;
            EXPECT_EQ(TakeErrorText(), kRefusal) << "call " << i;
            ASSERT_EQ(sink.statuses.size(), statusesBefore + 1) << "call " << i;
            EXPECT_EQ(sink.statuses.back(), (Status{kRefusal, Warning})) << "call " << i;
            VariantClear(&out);
        }
        // Plain property getters stay available to a handler.
        Cable cable{};
        Protocol protocol{};
        LONG pause = -1;
        EXPECT_EQ(comms->get_CableType(&cable), S_OK);
        EXPECT_EQ(comms->GetProtocol(&protocol), S_OK);
        EXPECT_EQ(comms->get_InterByteWritePause(&pause), S_OK);
        EXPECT_EQ(pause, 0);
        ++handled;
    }

    void CallEverythingOn(const std::string& textStart) {
        sink.onStatus = [this, textStart](const Status& s) {
            if (s.text.rfind(textStart, 0) == 0) CallEverythingAndExpectRefusals();
        };
    }

    int handled = 0;
};

TEST_F(ReentrantHandlerSession, CallsFromHandlersAreRefusedAndTheRunningMethodFinishes) {
    // During the wake-up, while the address byte waits for its answer.
    CallEverythingOn("Waiting for response...");
    ASSERT_EQ(WakeUp(2), S_OK);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(keyBytes.size(), 2u);
    EXPECT_EQ(comms->m_bEcuInitialized, 1);
    EXPECT_EQ(comms->m_nCableType, SerialPortConnection);

    // A request as it goes out without a handler, as the reference for the wire.
    sink.onStatus = nullptr;
    std::vector<LONG> plainReply;
    ASSERT_EQ(Send({0x1A, 0x9B}, plainReply), S_OK);
    const auto plainFrame = WireSince(kline::Side::Tester);

    // During a request, right as its frame is announced.
    CallEverythingOn("Sending Message: ");
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x1A, 0x9B}, reply), S_OK);
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(reply, plainReply);
    EXPECT_EQ(WireSince(kline::Side::Tester), plainFrame);  // the outer call's frame only

    // The link is as the methods left it: the next request needs no new wake-up.
    sink.onStatus = nullptr;
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(reply.front(), 0x7E);
    EXPECT_EQ(comms->Close(), S_OK);
}

}  // namespace
}  // namespace exchange_test
