// ExchangeMessageWithInverse (KW1281 blocks) against a scripted port.
#include <gtest/gtest.h>

#include "exchange_harness.h"

namespace exchange_test {
namespace {

BYTE Not(BYTE b) { return static_cast<BYTE>(~b); }

class Kw1281Exchange : public ExchangeFixture {
protected:
    void SetUp() override {
        ExchangeFixture::SetUp();
        UseProtocol(VAG1281);
    }

    // What the tester reads around one block, sent or received alike: each byte (its echo,
    // or the ECU's byte), then its complement (the ECU's, or the echo of the tester's), none
    // after the block end.
    void ScriptBlock(const std::vector<BYTE>& block) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            port->Script({block[i]});
            if (i + 1 < block.size()) port->Script({Not(block[i])});
        }
    }
    HRESULT Send(const CByteArray& request) { return comms->SendRequest(request, reply); }

    CByteArray reply;
};

TEST_F(Kw1281Exchange, FirstExchangeAfterWakeUpOnlyReceives) {
    comms->m_bJustInitialized = 1;
    std::vector<BYTE> block{0x0F, 0x01, 0xF6};
    for (BYTE b = 0x30; b < 0x3C; ++b) block.push_back(b);
    block.push_back(0x03);
    ScriptBlock(block);

    ASSERT_EQ(Send(Bytes({0x09})), S_OK);

    std::vector<BYTE> complements;
    for (std::size_t i = 0; i + 1 < block.size(); ++i) complements.push_back(Not(block[i]));
    EXPECT_EQ(port->Written(), complements);  // 15 complements, nothing of the request
    EXPECT_EQ(Vec(reply), std::vector<BYTE>(block.begin() + 2, block.end() - 1));
    EXPECT_EQ(sink.Count("Invalid sequence on returned data"), 0);
    EXPECT_EQ(sink.statuses.front(),
              (Status{"Sending Message: (0x03):(0x00):(0x09):(0x03):", Info}));
    EXPECT_EQ(comms->m_nMessageCounter, 2);
}

TEST_F(Kw1281Exchange, SendsByteByByteWaitingForEachComplement) {
    comms->m_nMessageCounter = 2;
    ScriptBlock({0x03, 0x02, 0x09, 0x03});
    ScriptBlock({0x03, 0x03, 0x09, 0x03});

    ASSERT_EQ(Send(Bytes({0x09})), S_OK);

    EXPECT_EQ(port->Ops(),
              (std::vector<std::string>{
                  "PurgeRx", "PurgeTx", "W:03", "R:03", "R:FC", "W:02", "R:02", "R:FD",
                  "W:09",    "R:09",    "R:F6", "W:03", "R:03", "R:03", "W:FC", "R:FC",
                  "R:03",    "W:FC",    "R:FC", "R:09", "W:F6", "R:F6", "R:03", "GetTimeouts"}));
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x09}));
    EXPECT_EQ(sink.statuses.back(),
              (Status{"Received Response: (0x03):(0x03):(0x09):(0x03):", Info}));
    EXPECT_EQ(comms->m_nMessageCounter, 4);
}

TEST_F(Kw1281Exchange, BlockCounterWrapsPast255) {
    comms->m_nMessageCounter = 254;
    ScriptBlock({0x03, 0xFE, 0x09, 0x03});
    ScriptBlock({0x03, 0xFF, 0x09, 0x03});
    ASSERT_EQ(Send(Bytes({0x09})), S_OK);
    EXPECT_EQ(comms->m_nMessageCounter, 0);

    ScriptBlock({0x03, 0x00, 0x09, 0x03});
    ScriptBlock({0x03, 0x01, 0x09, 0x03});
    ASSERT_EQ(Send(Bytes({0x09})), S_OK);
    EXPECT_EQ(comms->m_nMessageCounter, 2);
    EXPECT_EQ(sink.Count("Invalid sequence on returned data"), 0);
}

TEST_F(Kw1281Exchange, WrongCounterAndOddBlockEndAreOnlyNoted) {
    comms->m_nMessageCounter = 2;
    ScriptBlock({0x03, 0x02, 0x09, 0x03});
    ScriptBlock({0x03, 0x07, 0x09, 0x55});
    port->timeouts.ReadTotalTimeoutConstant = 4500;

    ASSERT_EQ(Send(Bytes({0x09})), S_OK);
    EXPECT_TRUE(sink.Has("Invalid sequence on returned data", Warning));
    EXPECT_EQ(Vec(reply), (std::vector<BYTE>{0x09}));
    EXPECT_EQ(port->timeouts.ReadTotalTimeoutConstant, 1500u);
}

TEST_F(Kw1281Exchange, EveryWaitUsesTheLargerPause) {
    comms->m_nInterByteReadPause = 2;
    comms->m_nInterByteWritePause = 7;
    comms->m_nMessageCounter = 2;
    ScriptBlock({0x03, 0x02, 0x09, 0x03});
    ScriptBlock({0x03, 0x03, 0x09, 0x03});

    ASSERT_EQ(Send(Bytes({0x09})), S_OK);
    const auto w = IndexOf("W:03");
    EXPECT_NEAR(MsBetween(w, w + 1), 7.0, 0.01);      // write, wait, echo
    EXPECT_NEAR(MsBetween(w + 1, w + 2), 7.0, 0.01);  // echo, wait, complement
    EXPECT_NEAR(MsBetween(w + 2, w + 3), 7.0, 0.01);  // complement, wait, next write
    const auto l = IndexOf("W:FC");                   // complement of the answer's length
    EXPECT_NEAR(MsBetween(l - 1, l), 7.0, 0.01);
    EXPECT_NEAR(MsBetween(l, l + 1), 7.0, 0.01);
}

TEST_F(Kw1281Exchange, SendPhaseFailures) {
    struct Case {
        std::vector<int> script;
        const char* status;
        const char* error;
    };
    const std::vector<Case> cases{
        {{0x03, 0xFC, 0x02, FakePort::kTimeout},
         "Expected 4 echo bytes. Received 2 bytes",
         "Echo Bytes not received"},
        {{0x03, 0xFC, 0x12, 0xFD, 0x09, 0xF6, 0x03},
         "Echo Bytes are corrupt. Expected checksum:(0x02). Received checksum :(0x12).",
         "Echo Bytes are corrupt"},
        {{0x03, 0xFC, 0x02, 0xFE, 0x09, 0xF6, 0x03},
         "Inverse Bytes are corrupt. Expected checksum:(0x02). Received checksum :(0x01).",
         "Inverse Bytes are corrupt"},
        // Stray zeros before the first echo: a silent read, or fifty more zeros, end the
        // send phase without that echo.
        {{0x00, FakePort::kTimeout},
         "Expected 4 echo bytes. Received 0 bytes",
         "Echo Bytes not received"},
        {std::vector<int>(51, 0x00), "Expected 4 echo bytes. Received 0 bytes",
         "Echo Bytes not received"},
    };
    for (const auto& c : cases) {
        sink.statuses.clear();
        comms->m_nMessageCounter = 2;
        for (int b : c.script) port->Script({b});
        EXPECT_EQ(Send(Bytes({0x09})), DISP_E_EXCEPTION) << c.status;
        EXPECT_EQ(sink.statuses.back(), (Status{c.status, Severe}));
        EXPECT_EQ(TakeErrorText(), c.error);
        EXPECT_EQ(port->ScriptLeft(), 0u) << c.status;
    }

    // Zeros then the real echo: the exchange goes on.
    sink.statuses.clear();
    comms->m_nMessageCounter = 2;
    port->Script({0x00, 0x00});
    ScriptBlock({0x03, 0x02, 0x09, 0x03});
    ScriptBlock({0x03, 0x03, 0x09, 0x03});
    EXPECT_EQ(Send(Bytes({0x09})), S_OK);
}

TEST_F(Kw1281Exchange, ReceivePhaseFailuresRaiseTheTraceFirst) {
    struct Case {
        std::vector<int> script;
        const char* trace;  // nullptr: no trace status
        const char* status;
        const char* error;
    };
    const int T = FakePort::kTimeout;
    const std::vector<Case> cases{
        {{T}, nullptr, "Response length byte not received", "Response length byte not received"},
        {{0x04, T},
         "04 ",
         "Length inverse byte not received",
         "Length byte not received correctly"},
        {{0x04, 0xFA}, "04 fa ", "Length inverse byte corrupt", "Length byte corrupt"},
        {{0x04, 0xFB, T},
         "04 fb ",
         "Message header byte 2 of 2 not received",
         "Message header not received"},
        {{0x04, 0xFB, 0x01, T},
         "04 fb 01 ",
         "Message header inverse byte 2 of 3 not received",
         "Message header not received"},
        {{0x04, 0xFB, 0x01, 0xFF},
         "04 fb 01 ff ",
         "Message header inverse byte 2 of 3 corrupt",
         "Message header corrupt"},
        {{0x04, 0xFB, 0x01, 0xFE, 0xF6, T},
         "04 fb 01 fe f6 ",
         "Message inverse byte 1 of 3 not received",
         "Message body not received correctly"},
        {{0x04, 0xFB, 0x01, 0xFE, 0xF6, 0x08},
         "04 fb 01 fe f6 08 ",
         "Message inverse byte 1 of 3 corrupt",
         "Message body corrupt"},
        {{0x04, 0xFB, 0x01, 0xFE, 0xF6, 0x09, 0xAA, 0x55, T},
         "04 fb 01 fe f6 09 aa 55 ",
         "Message body byte 3 of 3 not received",
         "Message body not received correctly"},
        // Too short to be a block: refused before it is acknowledged.
        {{0x00},
         "00 ",
         "Response length byte corrupt: block length (0x00) is too short",
         "Response length byte corrupt"},
        {{0x01},
         "01 ",
         "Response length byte corrupt: block length (0x01) is too short",
         "Response length byte corrupt"},
        {{0x02},
         "02 ",
         "Response length byte corrupt: block length (0x02) is too short",
         "Response length byte corrupt"},
    };
    for (const auto& c : cases) {
        comms->m_bJustInitialized = 1;
        sink.statuses.clear();
        for (int b : c.script) port->Script({b});
        EXPECT_EQ(Send(Bytes({0x09})), DISP_E_EXCEPTION) << c.status;
        ASSERT_GE(sink.statuses.size(), 2u);
        EXPECT_EQ(sink.statuses.back(), (Status{c.status, Severe}));
        const Status& before = sink.statuses[sink.statuses.size() - 2];
        if (c.trace != nullptr) {
            EXPECT_EQ(before, (Status{c.trace, Info}));
        } else {
            EXPECT_EQ(before.text.rfind("Sending Message: ", 0), 0u);
        }
        EXPECT_EQ(TakeErrorText(), c.error);
        EXPECT_EQ(port->ScriptLeft(), 0u) << c.status;
    }
    // A failed first exchange leaves the next one receive-only too.
    EXPECT_EQ(comms->m_bJustInitialized, 1);
}

TEST_F(Kw1281Exchange, ShortBlockIsNotAcknowledged) {
    comms->m_bJustInitialized = 1;
    port->Script({0x01});
    EXPECT_EQ(Send(Bytes({0x09})), DISP_E_EXCEPTION);
    EXPECT_TRUE(port->Written().empty());
}

TEST_F(Kw1281Exchange, PortFailureMidBlockLeavesTheRoutine) {
    comms->m_bJustInitialized = 1;
    ScriptBlock({0x03, 0x01, 0x09, 0x03});
    port->FailOn("Write", 2);  // the complement of the block counter
    bool thrown = false;
    try {
        Send(Bytes({0x09}));
    } catch (CSerialException* e) {
        thrown = true;
        e->Delete();
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(comms->m_nMessageCounter, 1);
}

}  // namespace
}  // namespace exchange_test
