// Wake-ups and request series against the simulated ECU on the virtual K-line, with the
// replies checked against the wire and the failure rows reached by ECU faults.
#include <gtest/gtest.h>

#include "session_harness.h"

namespace exchange_test {
namespace {

using ecusim::EcuProtocol;
using kline::Side;

std::vector<LONG> Longs(const std::vector<BYTE>& bytes) {
    return std::vector<LONG>(bytes.begin(), bytes.end());
}

class Kw1281Session : public SessionFixture {
protected:
    void SetUp() override { StartEcu(ecusim::DefaultConfig(EcuProtocol::Kw1281)); }

    // The ECU's last block on the wire: length, counter, title and data, block end.
    void ExpectLastEcuBlock(const std::vector<LONG>& reply, BYTE counter) {
        const auto ecuBytes = WireSince(Side::Peer);
        ASSERT_GE(ecuBytes.size(), reply.size() + 3);
        const std::vector<BYTE> block(
            ecuBytes.end() - static_cast<std::ptrdiff_t>(reply.size() + 3), ecuBytes.end());
        EXPECT_EQ(block.front(), reply.size() + 2);
        EXPECT_EQ(block[1], counter);
        EXPECT_EQ(Longs(std::vector<BYTE>(block.begin() + 2, block.end() - 1)), reply);
        EXPECT_EQ(block.back(), 0x03);
    }
    // The tester's block at the start of the last Send (before the complements it sent).
    void ExpectTesterBlock(const std::vector<BYTE>& block) {
        const auto testerBytes = WireSince(Side::Tester);
        ASSERT_GE(testerBytes.size(), block.size());
        EXPECT_EQ(
            std::vector<BYTE>(testerBytes.begin(),
                              testerBytes.begin() + static_cast<std::ptrdiff_t>(block.size())),
            block);
    }
    void WakeAndTakeFirstBlock() {
        ASSERT_EQ(WakeUp(2), S_OK);
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x09}, reply), S_OK);
        sink.statuses.clear();
    }
};

class Kw1281SessionByMethod : public Kw1281Session, public ::testing::WithParamInterface<int> {};

TEST_P(Kw1281SessionByMethod, WakeUpThenRequestSeries) {
    if (GetParam() == 1) comms->put_InitializationAddressingMode(SevenBit);
    ASSERT_EQ(WakeUp(GetParam()), S_OK);
    EXPECT_EQ(keyBytes, (std::vector<LONG>{0x01, 0x8A}));
    ASSERT_FALSE(ecu->WakeReports().empty());
    EXPECT_TRUE(ecu->WakeReports().back().matched);
    EXPECT_EQ(ecu->WakeReports().back().sevenBit, GetParam() == 1);

    // The ECU speaks first: its identification block arrives without a request.
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x09}, reply), S_OK);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0xF6);
    ExpectLastEcuBlock(reply, 0x01);
    EXPECT_EQ(comms->m_bJustInitialized, 0);

    // Then request and answer alternate, the counter going up by one per block.
    BYTE counter = 0x02;
    for (const auto& channelSpec : ecu->Config().channels) {
        const BYTE channel = channelSpec.number;
        ASSERT_EQ(Send({0x21, channel}, reply), S_OK);
        ExpectTesterBlock({0x04, counter, 0x21, channel, 0x03});
        ExpectLastEcuBlock(reply, static_cast<BYTE>(counter + 1));
        ASSERT_GE(reply.size(), 4u);
        EXPECT_EQ(reply[0], 0xE6);
        EXPECT_EQ(reply[2] * 256 + reply[3], ecu->ActiveValue(channel));
        counter = static_cast<BYTE>(counter + 2);
    }
    EXPECT_EQ(sink.Count("Invalid sequence on returned data"), 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, Kw1281SessionByMethod, ::testing::Values(1, 2, 3));

// The client takes its time after the wake-up: the ECU's first byte is already waiting when
// the first exchange starts, and is that exchange's answer, not a stale byte.
TEST_F(Kw1281Session, FirstBlockAlreadyWaitingIsKeptByTheReceiveOnlyExchange) {
    ASSERT_EQ(WakeUp(2), S_OK);
    clock.AdvanceNs(200'000'000);
    sink.statuses.clear();
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x09}, reply), S_OK);
    ExpectLastEcuBlock(reply, 0x01);
    EXPECT_EQ(sink.statuses.size(), 2u) << ::testing::PrintToString(sink.statuses);
    // The next exchange sends, and finds nothing left over to discard.
    ASSERT_EQ(Send({0x09}, reply), S_OK);
    EXPECT_EQ(sink.statuses.size(), 4u) << ::testing::PrintToString(sink.statuses);
}

TEST_F(Kw1281Session, BlockCountersWrapPast255) {
    WakeAndTakeFirstBlock();
    std::vector<LONG> reply;
    for (int i = 0; i < 140; ++i) {
        const BYTE counter = comms->m_nMessageCounter;
        ASSERT_EQ(Send({0x09}, reply), S_OK) << i;
        ExpectTesterBlock({0x03, counter, 0x09, 0x03});
        ExpectLastEcuBlock(reply, static_cast<BYTE>(counter + 1));
    }
    EXPECT_EQ(comms->m_nMessageCounter, static_cast<BYTE>(2 + 2 * 140));
    EXPECT_EQ(sink.Count("Invalid sequence on returned data"), 0);
}

TEST_F(Kw1281Session, FailureRowsReachedByEcuFaults) {
    struct Case {
        ecusim::Faults faults;
        const char* status;
        StatusLevel level;
        const char* error;  // nullptr: the call succeeds
    };
    auto fault = [](auto set) {
        ecusim::Faults f;
        set(f);
        return f;
    };
    const std::vector<Case> cases{
        {fault([](auto& f) { f.wrongComplementAt = 1; }),
         "Inverse Bytes are corrupt. Expected checksum:(0x", Severe, "Inverse Bytes are corrupt"},
        {fault([](auto& f) { f.missingComplementAt = 1; }),
         "Expected 4 echo bytes. Received 2 bytes", Severe, "Echo Bytes not received"},
        // A byte pulled low from its start bit on is lost to the receiver.
        {fault([](auto& f) { f.corruptEchoAt = 2; }), "Expected 4 echo bytes. Received 3 bytes",
         Severe, "Echo Bytes not received"},
        {fault([](auto& f) { f.silence = true; }), "Response length byte not received", Severe,
         "Response length byte not received"},
        {fault([](auto& f) { f.missingByteAt = 1; }), "Message header byte 2 of 2 not received",
         Severe, "Message header not received"},
        {fault([](auto& f) { f.missingByteAt = 2; }), "Message body byte 1 of ", Severe,
         "Message body not received correctly"},
        {fault([](auto& f) { f.badBlockCounter = true; }), "Invalid sequence on returned data",
         Warning, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        WakeAndTakeFirstBlock();
        ecu->SetFaults(c.faults);
        std::vector<LONG> reply;
        const HRESULT hr = Send({0x09}, reply);
        if (c.error == nullptr) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_TRUE(sink.Has(c.status, c.level));
        } else {
            EXPECT_EQ(hr, DISP_E_EXCEPTION);
            EXPECT_EQ(TakeErrorText(), c.error);
            // Block numbers and counters vary with the ECU's identification: match the start.
            bool found = false;
            for (const auto& s : sink.statuses) {
                found |= s.level == c.level && s.text.rfind(c.status, 0) == 0;
            }
            EXPECT_TRUE(found);
        }
        comms->Close();
        ecu->SetFaults({});
        clock.AdvanceNs(6'000'000'000);  // let the ECU's session run out
    }
}

TEST_F(Kw1281Session, WakeUpFailureRows) {
    struct Case {
        ecusim::Faults faults;
        std::vector<std::string> texts;  // must all be raised
        const char* error;
        std::vector<LONG> keyBytes;  // what retVal holds afterwards
    };
    auto fault = [](auto set) {
        ecusim::Faults f;
        set(f);
        return f;
    };
    const std::vector<Case> cases{
        // The receiver decodes the address byte's break as 0x00, and says so.
        {fault([](auto& f) { f.noSyncByte = true; }),
         {"Byte: (0x00) received"},
         "Failed ECU initialization",
         {0, 0}},
        // Key byte 2 comes in the place of key byte 1.
        {fault([](auto& f) { f.noKeyByte1 = true; }),
         {"Byte: (0x55) received", "Keyword 1: (0x8A) received"},
         "Failed ECU initialization",
         {0x8A, 0}},
        {fault([](auto& f) { f.noKeyByte2 = true; }),
         {"Keyword 1: (0x01) received"},
         "Failed ECU initialization",
         {0x01, 0}},
        // Nothing after the 0x55: the key byte 1 row.
        {fault([](auto& f) {
             f.noKeyByte1 = true;
             f.noKeyByte2 = true;
         }),
         {"Byte: (0x55) received"},
         "Failed ECU initialization",
         {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.back());
        sink.statuses.clear();
        ecu->SetFaults(c.faults);
        EXPECT_EQ(WakeUp(2), DISP_E_EXCEPTION);
        for (const auto& text : c.texts) EXPECT_TRUE(sink.Has(text, Info)) << text;
        EXPECT_TRUE(sink.Has("Failed ECU initialization", Severe));
        EXPECT_EQ(TakeErrorText(), c.error);
        EXPECT_EQ(comms->m_bEcuInitialized, 0);
        EXPECT_EQ(keyBytes, c.keyBytes);
        for (const auto& s : sink.statuses) EXPECT_NE(s.text.rfind("Keyword 2: (", 0), 0u);
        comms->Close();
        ecu->SetFaults({});
        clock.AdvanceNs(6'000'000'000);
    }

    // Line noise ahead of the 0x55 is listed and does not stop the wake-up.
    sink.statuses.clear();
    ecu->SetFaults(fault([](auto& f) { f.noiseBeforeSync = {0x12}; }));
    EXPECT_EQ(WakeUp(2), S_OK);
    bool listed = false;
    for (const auto& s : sink.statuses) {
        listed |= s.text.size() >= 6 && s.text.compare(s.text.size() - 6, 6, "12 55 ") == 0;
    }
    EXPECT_TRUE(listed);
}

TEST_F(Kw1281Session, PatternsAsTheEcuDecodesThem) {
    struct Case {
        int method;
        LONG mode;
        LONG address;
        std::vector<int> bits;  // start, 8 line bits, stop
        double bitMs;
    };
    const std::vector<Case> cases{
        {1, SevenBit, 0x33, {0, 1, 1, 0, 0, 1, 1, 0, 0, 1}, 198.0},
        {1, EightBit, 0x01, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 198.0},
        {2, EightBit, 0x01, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 200.05},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        comms->put_InitializationAddressingMode(static_cast<_INITIALIZATIONADDRESSINGMODE>(c.mode));
        WakeUp(c.method, c.address);
        ASSERT_FALSE(ecu->WakeReports().empty());
        const auto& report = ecu->WakeReports().back();
        EXPECT_TRUE(report.valid) << report.reason;
        EXPECT_EQ(report.bits, c.bits);
        EXPECT_NEAR(static_cast<double>(report.bitNs) / 1e6, c.bitMs, 0.5);
        comms->Close();
        clock.AdvanceNs(6'000'000'000);
    }
}

TEST_F(Kw1281Session, CableLostMidSessionEndsAsAFailedCall) {
    WakeAndTakeFirstBlock();
    line->SetTesterConnected(false);
    std::vector<LONG> reply;
    EXPECT_EQ(Send({0x09}, reply), DISP_E_EXCEPTION);
    EXPECT_TRUE(reply.empty());
    EXPECT_FALSE(TakeErrorText().empty());
    EXPECT_EQ(sink.statuses.back().level, Severe);
}

class Kwp2000Session : public SessionFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { StartEcu(ecusim::DefaultConfig(EcuProtocol::Kwp2000)); }

    // The data of the ECU's last frame on the wire, just before its checksum.
    void ExpectLastEcuFrameData(const std::vector<LONG>& reply) {
        const auto ecuBytes = WireSince(Side::Peer);
        ASSERT_GT(ecuBytes.size(), reply.size());
        const std::vector<BYTE> data(ecuBytes.end() - static_cast<std::ptrdiff_t>(reply.size() + 1),
                                     ecuBytes.end() - 1);
        EXPECT_EQ(Longs(data), reply);
    }
};

TEST_P(Kwp2000Session, WakeUpThenServiceSeries) {
    ASSERT_EQ(WakeUp(GetParam()), S_OK);
    ASSERT_EQ(keyBytes.size(), 2u);
    EXPECT_EQ(keyBytes[1], 0x8F);
    EXPECT_TRUE(sink.Has("Keyword 2 inverse reply OK", Info));

    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x1A, 0x9B}, reply), S_OK);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0x5A);
    ExpectLastEcuFrameData(reply);

    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(Send({0x3E}, reply), S_OK);
        EXPECT_EQ(reply.front(), 0x7E);
        ExpectLastEcuFrameData(reply);
    }
    ASSERT_EQ(Send({0x31, 0xB8, 0x01, 0x03}, reply), S_OK);
    EXPECT_EQ(reply.front(), 0x71);
    ExpectLastEcuFrameData(reply);
}

INSTANTIATE_TEST_SUITE_P(Methods, Kwp2000Session, ::testing::Values(1, 2, 3));

TEST_F(Kwp2000Session, ResponsePendingAndFailureRows) {
    ASSERT_EQ(WakeUp(2), S_OK);
    std::vector<LONG> reply;

    ecusim::Faults pending;
    pending.pendingCount = 2;
    ecu->SetFaults(pending);
    sink.statuses.clear();
    ASSERT_EQ(Send({0x31, 0xB8, 0x01, 0x03}, reply), S_OK);
    EXPECT_EQ(reply.front(), 0x71);
    EXPECT_EQ(sink.Count("Response Pending... (0x78)"), 2);
    COMMTIMEOUTS timeouts{};
    comms->m_pPort->GetTimeouts(timeouts);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 1500u);

    struct Case {
        ecusim::Faults faults;
        const char* status;
        const char* error;
    };
    auto fault = [](auto set) {
        ecusim::Faults f;
        set(f);
        return f;
    };
    const std::vector<Case> cases{
        {fault([](auto& f) { f.badChecksum = true; }), "Invalid checksum on returned data",
         "Invalid checksum on returned data"},
        {fault([](auto& f) { f.silence = true; }), "Response format byte not received",
         "Response format byte not received"},
        // Without addresses the answer is format byte 0x01, 0x7E and the checksum.
        {fault([](auto& f) { f.missingByteAt = 1; }), "Message body byte 1 of 2 not received",
         "Message body not received correctly"},
        {fault([](auto& f) { f.missingByteAt = 2; }), "Message body byte 2 of 2 not received",
         "Message body not received correctly"},
        {fault([](auto& f) { f.corruptEchoAt = 1; }),
         "Echo Bytes are corrupt. Expected checksum:(0x3e). Received checksum :(0x00).",
         "Echo Bytes are corrupt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        ecu->SetFaults(c.faults);
        sink.statuses.clear();
        EXPECT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION);
        EXPECT_TRUE(sink.Has(c.status, Severe));
        EXPECT_EQ(TakeErrorText(), c.error);
        // The session goes on after the failure.
        ecu->SetFaults({});
        clock.AdvanceNs(100'000'000);
        ASSERT_EQ(Send({0x3E}, reply), S_OK);
    }
}

// Key byte 1 0xEA announces a length byte after the format byte instead of the length in it.
class Kwp2000LengthByteSession : public SessionFixture {
protected:
    void SetUp() override {
        ecusim::EcuConfig config = ecusim::DefaultConfig(EcuProtocol::Kwp2000);
        config.kw1 = 0xEA;
        StartEcu(config);
    }
};

TEST_F(Kwp2000LengthByteSession, MissingLengthByteIsTheHeaderRow) {
    ASSERT_EQ(WakeUp(2), S_OK);
    std::vector<LONG> reply;
    sink.statuses.clear();
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(reply, (std::vector<LONG>{0x7E}));
    EXPECT_TRUE(sink.Has("Sending Message: (0x00):(0x01):(0x3E):(0x3F):", Info));
    EXPECT_TRUE(sink.Has("Received Response: (0x00):(0x01):(0x7E):(0x7F):", Info));

    ecusim::Faults lengthByteLost;
    lengthByteLost.missingByteAt = 1;
    ecu->SetFaults(lengthByteLost);
    sink.statuses.clear();
    EXPECT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has("Message header byte 2 of 2 not received", Severe));
    EXPECT_EQ(TakeErrorText(), "Message header not received");
}

TEST_F(Kwp2000Session, WakeUpFailureRows) {
    ecusim::Faults noAnswer;
    noAnswer.noAddressComplement = true;
    ecu->SetFaults(noAnswer);
    EXPECT_EQ(WakeUp(2), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.Has("No reply for byte: (0x70)", Severe));
    EXPECT_TRUE(sink.Has("Keyword 2 inverse reply not received", Severe));
    EXPECT_EQ(TakeErrorText(), "Failed ECU initialization");
    comms->Close();
    clock.AdvanceNs(6'000'000'000);

    ecusim::Faults wrong;
    wrong.addressComplement = 0x00;
    ecu->SetFaults(wrong);
    sink.statuses.clear();
    EXPECT_EQ(WakeUp(2), DISP_E_EXCEPTION);
    EXPECT_TRUE(
        sink.Has("Keyword 2 response incorrect - expected: (0xFE) received (0x00)", Severe));
    EXPECT_EQ(TakeErrorText(), "Failed ECU initialization");
}

}  // namespace
}  // namespace exchange_test
