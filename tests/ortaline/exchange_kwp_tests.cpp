// SendRequest, ExchangeMessage and SendByteWithEcho against a scripted port.
#include <gtest/gtest.h>

#include "exchange_harness.h"

namespace exchange_test {
namespace {

// A KWP2000 reply frame with the length in the format byte and its checksum.
std::vector<BYTE> Kwp(std::initializer_list<BYTE> data) {
    std::vector<BYTE> frame;
    frame.reserve(data.size() + 2);
    frame.push_back(static_cast<BYTE>(data.size()));
    for (BYTE b : data) frame.push_back(b);
    BYTE sum = 0;
    for (BYTE b : frame) sum = static_cast<BYTE>(sum + b);
    frame.push_back(sum);
    return frame;
}

const std::vector<BYTE> kFrame1A9B{0x02, 0x1A, 0x9B, 0xB7};  // 1A 9B with AL0

class KwpExchange : public ExchangeFixture {
protected:
    void SetUp() override {
        ExchangeFixture::SetUp();
        UseProtocol(KWP2000);
    }
    HRESULT Send(const CByteArray& request) { return comms->SendRequest(request, reply); }

    CByteArray reply;
};

TEST_F(KwpExchange, WritesFrameInOnePieceAndDeliversReplyData) {
    port->ScriptBytes(kFrame1A9B);
    port->ScriptBytes({0x83, 0xF1, 0x10, 0xC1, 0xE9, 0x8F, 0xBD});

    ASSERT_EQ(Send(Bytes({0x1A, 0x9B})), S_OK);

    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0xC1, 0xE9, 0x8F}));
    EXPECT_EQ(port->Ops(),
              (std::vector<std::string>{"PurgeRx", "PurgeTx", "W:02 1A 9B B7", "R:02", "R:1A",
                                        "R:9B", "R:B7", "R:83", "R:F1", "R:10", "R:C1", "R:E9",
                                        "R:8F", "R:BD", "GetTimeouts"}));
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("W:02 1A 9B B7"), IndexOf("R:02")), 25.0);
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("R:B7"), IndexOf("R:83")), 25.0);
    EXPECT_EQ(sink.statuses,
              (std::vector<Status>{
                  {"Sending Message: (0x02):(0x1A):(0x9B):(0xB7):", Info},
                  {"Received Response: (0x83):(0xF1):(0x10):(0xC1):(0xE9):(0x8F):(0xBD):", Info}}));
    EXPECT_EQ(comms->m_nMessageCounter, 1);
}

TEST_F(KwpExchange, WritePauseSendsByteByByteAndReadPauseWaitsAfterEveryRead) {
    comms->m_nInterByteWritePause = 5;
    comms->m_nInterByteReadPause = 3;
    port->ScriptBytes(kFrame1A9B);
    port->ScriptBytes(Kwp({0x5A, 0x9B}));

    ASSERT_EQ(Send(Bytes({0x1A, 0x9B})), S_OK);

    const auto w0 = IndexOf("W:02");
    EXPECT_EQ(port->Ops()[w0 + 1], "W:1A");
    EXPECT_EQ(port->Ops()[w0 + 3], "W:B7");
    EXPECT_NEAR(MsBetween(w0, w0 + 1), 5.0, 0.01);
    // The pause follows the last byte too, then the 25 ms settle.
    EXPECT_NEAR(MsBetween(w0 + 3, w0 + 4), 30.0, 0.01);
    const auto first = IndexOf("R:02", w0 + 4);
    EXPECT_NEAR(MsBetween(first, first + 1), 3.0, 0.01);
    // Last echo, its pause, the 25 ms settle, then the reply's format byte.
    EXPECT_NEAR(MsBetween(first + 3, first + 4), 28.0, 0.01);
    EXPECT_NEAR(MsBetween(first + 4, first + 5), 3.0, 0.01);
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x5A, 0x9B}));
}

TEST_F(KwpExchange, FirstEchoRuleSkipsStrayZerosBeforeTheEcho) {
    port->Script({0x00, 0x00});
    port->ScriptBytes(kFrame1A9B);
    port->ScriptBytes(Kwp({0x5A, 0x9B}));

    ASSERT_EQ(Send(Bytes({0x1A, 0x9B})), S_OK);

    const auto r = IndexOf("R:00");
    EXPECT_EQ(port->Ops()[r + 1], "R:00");
    EXPECT_EQ(port->Ops()[r + 2], "R:02");
    EXPECT_DOUBLE_EQ(MsBetween(r + 1, r + 2), 25.0);  // Sleep(25) after each further read
    EXPECT_DOUBLE_EQ(MsBetween(r + 2, r + 3), 25.0);
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x5A, 0x9B}));
}

TEST_F(KwpExchange, FirstEchoRuleGivesUpAfterFiftyMoreZerosOrASilentRead) {
    port->ScriptBytes(std::vector<BYTE>(51, 0x00));
    port->ScriptBytes({0x1A, 0x9B, 0xB7});
    EXPECT_EQ(Send(Bytes({0x1A, 0x9B})), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has(
        "Echo Bytes are corrupt. Expected checksum:(0x02). Received checksum :(0x00).", Severe));
    EXPECT_EQ(TakeErrorText(), "Echo Bytes are corrupt");
    EXPECT_EQ(port->ScriptLeft(), 0u);

    sink.statuses.clear();
    port->Script({0x00, FakePort::kTimeout, 0x02, 0x1A, 0x9B, 0xB7});
    EXPECT_EQ(Send(Bytes({0x1A, 0x9B})), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has("Expected 4 echo bytes. Received 0 bytes", Severe));
    EXPECT_EQ(TakeErrorText(), "Echo Bytes not received");
}

TEST_F(KwpExchange, ZeroFirstFrameByteAcceptsZeroEchoAtOnce) {
    UseProtocol(KWP2000, 0x00);  // no length information: format byte 0x00
    port->ScriptBytes({0x00, 0x1A, 0x9B, 0xB5});
    port->ScriptBytes(Kwp({0x5A}));

    ASSERT_EQ(Send(Bytes({0x1A, 0x9B})), S_OK);
    EXPECT_EQ(port->Written(), (std::vector<BYTE>{0x00, 0x1A, 0x9B, 0xB5}));
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x5A}));
}

TEST_F(KwpExchange, EchoFailures) {
    port->Script({0x02, 0x1A, FakePort::kTimeout});
    EXPECT_EQ(Send(Bytes({0x1A, 0x9B})), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has("Expected 4 echo bytes. Received 2 bytes", Severe));
    EXPECT_EQ(TakeErrorText(), "Echo Bytes not received");
    EXPECT_TRUE(reply.IsEmpty());

    port->Script({0x02, 0x1B, 0x9B, 0xB7});
    EXPECT_EQ(Send(Bytes({0x1A, 0x9B})), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has(
        "Echo Bytes are corrupt. Expected checksum:(0x1a). Received checksum :(0x1b).", Severe));
    EXPECT_EQ(TakeErrorText(), "Echo Bytes are corrupt");
    // Failed exchanges still advance the counter.
    EXPECT_EQ(comms->m_nMessageCounter, 2);
}

TEST_F(KwpExchange, ReplyFailures) {
    struct Case {
        std::vector<int> reply;
        const char* status;
        const char* error;
        std::vector<BYTE> delivered;
    };
    const std::vector<Case> cases{
        {{}, "Response format byte not received", "Response format byte not received", {}},
        {{0x83, 0xF1},
         "Message header byte 3 of 3 not received",
         "Message header not received",
         {}},
        {{0x83, 0xF1, 0x10, 0xC1},
         "Message body byte 2 of 4 not received",
         "Message body not received correctly",
         {0xC1}},
        {{0x83, 0xF1, 0x10, 0xC1, 0xE9, 0x8F, 0xBE},
         "Invalid checksum on returned data",
         "Invalid checksum on returned data",
         {0xC1, 0xE9, 0x8F}},
    };
    for (const auto& c : cases) {
        sink.statuses.clear();
        port->ScriptBytes(kFrame1A9B);
        for (int b : c.reply) port->Script({b});
        port->Script({FakePort::kTimeout});
        EXPECT_EQ(Send(Bytes({0x1A, 0x9B})), DISP_E_EXCEPTION) << c.status;
        ASSERT_FALSE(sink.statuses.empty());
        EXPECT_EQ(sink.statuses.back(), (Status{c.status, Severe}));
        EXPECT_EQ(TakeErrorText(), c.error);
        EXPECT_EQ(Vec(reply), c.delivered) << c.status;
        while (port->ScriptLeft() > 0) {
            BYTE b;
            port->Read(&b, 1);
        }
    }
}

TEST_F(KwpExchange, KwpTesterReplyHasNoHeaderAndAnUncheckedLastByte) {
    UseProtocol(KWPtester);
    port->ScriptBytes({0x1A, 0x9B, 0xB5});
    port->ScriptBytes({0x02, 0x5A, 0x9B, 0x00});

    ASSERT_EQ(Send(Bytes({0x1A, 0x9B})), S_OK);
    EXPECT_EQ(port->Written(), (std::vector<BYTE>{0x1A, 0x9B, 0xB5}));
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x5A, 0x9B}));
}

class KwpResponsePending : public KwpExchange {
protected:
    const std::vector<BYTE> request{0x04, 0x31, 0xB8, 0x01, 0x03, 0xF1};
    const std::vector<BYTE> pending = Kwp({0x7F, 0x31, 0x78});
    HRESULT SendRoutine() { return Send(Bytes({0x31, 0xB8, 0x01, 0x03})); }
    std::vector<std::string> TimeoutChanges() const {
        std::vector<std::string> changes;
        for (const auto& op : port->Ops()) {
            if (op.rfind("SetTimeouts", 0) == 0) changes.push_back(op);
        }
        return changes;
    }
};

TEST_F(KwpResponsePending, FollowsPendingRepliesUntilTheRealOne) {
    port->ScriptBytes(request);
    port->ScriptBytes(pending);
    port->ScriptBytes(pending);
    port->ScriptBytes(Kwp({0x71, 0xB8}));

    ASSERT_EQ(SendRoutine(), S_OK);

    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x71, 0xB8}));
    int received = 0;
    for (const auto& s : sink.statuses) received += s.text.rfind("Received Response: ", 0) == 0;
    EXPECT_EQ(received, 3);
    EXPECT_EQ(sink.Count("Response Pending... (0x78)"), 2);
    EXPECT_EQ(TimeoutChanges(), (std::vector<std::string>{"SetTimeouts:4500", "SetTimeouts:1500",
                                                          "SetTimeouts:4500", "SetTimeouts:1500"}));
    EXPECT_EQ(port->timeouts.ReadTotalTimeoutConstant, 1500u);
}

TEST_F(KwpResponsePending, OtherNegativeAnswersAndShortOnesAreData) {
    port->ScriptBytes(request);
    port->ScriptBytes(Kwp({0x7F, 0x31, 0x31}));
    ASSERT_EQ(SendRoutine(), S_OK);
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x7F, 0x31, 0x31}));

    port->ScriptBytes(request);
    port->ScriptBytes(Kwp({0x7F, 0x78}));
    ASSERT_EQ(SendRoutine(), S_OK);
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x7F, 0x78}));
    EXPECT_EQ(sink.Count("Response Pending... (0x78)"), 0);
}

TEST_F(KwpResponsePending, FailedPassAfterPendingKeepsTheLongTimeout) {
    port->ScriptBytes(request);
    port->ScriptBytes(pending);
    port->Script({FakePort::kTimeout});

    EXPECT_EQ(SendRoutine(), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeErrorText(), "Response format byte not received");
    EXPECT_EQ(port->timeouts.ReadTotalTimeoutConstant, 4500u);
    // The empty read waited the long timeout.
    const auto last = port->Calls().size() - 1;
    EXPECT_DOUBLE_EQ(MsBetween(last - 1, last), 4500.0);
}

TEST_F(KwpResponsePending, EndlessPendingRepliesEndAfterTheCap) {
    port->ScriptBytes(request);
    for (int i = 0; i < 101; ++i) port->ScriptBytes(pending);
    port->ScriptBytes(Kwp({0x71, 0xB8}));

    EXPECT_EQ(SendRoutine(), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.Count("Response Pending... (0x78)"), 100);
    EXPECT_TRUE(sink.Has("No final response after 100 response pending replies", Severe));
    EXPECT_EQ(TakeErrorText(), "Too many response pending replies");
    EXPECT_EQ(port->ScriptLeft(), 4u);  // the final answer was never awaited
}

TEST_F(KwpExchange, StampTakesTheCounterJustBeforeTheFirstWrite) {
    comms->m_nCorrectionFactor = 0;
    port->ScriptBytes({0x81, 0x81});
    port->ScriptBytes(Kwp({0xC1}));
    const BYTE frame[] = {0x81, 0x81};
    CByteArray echo;
    ASSERT_EQ(comms->ExchangeMessage(frame, 2, echo, reply, true), S_OK);
    EXPECT_EQ(Vec(echo), (std::vector<BYTE>{0x81, 0x81}));

    const auto purge = port->Calls()[IndexOf("PurgeTx")].ns;
    const auto write = port->Calls()[IndexOf("W:81 81")].ns;
    const std::int64_t ticksPerNs100 = 100;  // the simulated counter runs at 10 MHz
    EXPECT_GE(comms->m_nCorrectionFactor, purge / ticksPerNs100);
    EXPECT_LE(comms->m_nCorrectionFactor, write / ticksPerNs100);
}

TEST_F(KwpExchange, RequestsAreRefusedBeforeTheWire) {
    comms->m_bEcuInitialized = 0;
    EXPECT_EQ(Send(Bytes({0x3E})), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.statuses.back(), (Status{"ECU not initialized", Severe}));
    EXPECT_EQ(TakeErrorText(), "ECU not initialized");

    comms->m_bEcuInitialized = 1;
    comms->m_pMessage->Reset();
    EXPECT_EQ(Send(Bytes({0x3E})), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.statuses.back(),
              (Status{"No information available on message formats", Severe}));
    EXPECT_EQ(TakeErrorText(), "No information available on message formats");
    EXPECT_TRUE(port->Ops().empty());
    EXPECT_EQ(comms->m_nMessageCounter, 0);
}

TEST_F(KwpExchange, UnframeableRequestIsRefusedAndStillCounts) {
    UseProtocol(KWP2000, 0x01);  // length in the format byte only: at most 63 bytes
    CByteArray request;
    for (int i = 0; i < 64; ++i) request.Add(static_cast<BYTE>(i));

    EXPECT_EQ(Send(request), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeErrorText(), "Message could not be built");
    EXPECT_EQ(sink.statuses.back().level, Severe);
    EXPECT_EQ(sink.Count("Sending Message: "), 0);
    EXPECT_TRUE(port->Ops().empty());
    EXPECT_EQ(comms->m_nMessageCounter, 1);
}

TEST_F(KwpExchange, PortFailureMidExchangeEndsAsAFailedCommand) {
    port->ScriptBytes({0x01, 0x3E, 0x3F});
    port->FailOn("Read", 4);  // the reply's format byte
    VARIANT request;
    VariantInit(&request);
    request.vt = VT_I4;
    request.lVal = 0x3E;
    VARIANT result;
    VariantInit(&result);

    EXPECT_EQ(comms->SendCommand(request, &result), DISP_E_EXCEPTION);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_FALSE(TakeErrorText().empty());
    EXPECT_EQ(sink.statuses.back().level, Severe);
    EXPECT_EQ(comms->m_nMessageCounter, 1);
    EXPECT_EQ(comms->m_bEcuInitialized, 1);
}

class SendByteWithEchoTest : public ExchangeFixture {
protected:
    // The status text of the failure, or "" when it did not throw.
    std::string Failure(BYTE b, bool expectReply) {
        try {
            comms->SendByteWithEcho(b, expectReply);
        } catch (CUserException* e) {
            e->Delete();
            return sink.statuses.empty() ? "?" : sink.statuses.back().text;
        }
        return "";
    }
};

TEST_F(SendByteWithEchoTest, ReturnsTheAnswerAfterEchoAndSettle) {
    port->Script({0x70, 0xEE});
    EXPECT_EQ(comms->SendByteWithEcho(0x70, true), 0xEE);
    EXPECT_EQ(port->Ops(), (std::vector<std::string>{"W:70", "R:70", "R:EE"}));
    EXPECT_DOUBLE_EQ(MsBetween(1, 2), 25.0);

    port->ClearCalls();
    port->Script({0x75});
    EXPECT_EQ(comms->SendByteWithEcho(0x75, false), 0);
    EXPECT_EQ(port->Ops(), (std::vector<std::string>{"W:75", "R:75"}));
}

TEST_F(SendByteWithEchoTest, EachFailureThrowsAfterItsSevereText) {
    port->Script({0x70, FakePort::kTimeout});
    EXPECT_EQ(Failure(0x70, true), "No reply for byte: (0x70)");
    port->Script({FakePort::kTimeout});
    EXPECT_EQ(Failure(0x70, false), "Error receiving byte echo: (0x70)");
    port->Script({0x71});
    EXPECT_EQ(Failure(0x70, false), "Incorrect byte echo: (0x70) != (0x71)");
    port->shortWrites = true;
    EXPECT_EQ(Failure(0x70, false), "Error sending byte: (0x70)");
    for (const auto& s : sink.statuses) EXPECT_EQ(s.level, Severe);
}

}  // namespace
}  // namespace exchange_test
