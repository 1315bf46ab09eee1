// The 5-baud senders, InitializeSlow and DecodeKeywords against a scripted port.
#include <gtest/gtest.h>

#include "exchange_harness.h"

namespace exchange_test {
namespace {

struct Edge {
    int level;  // 0 = line held low (break), 1 = released
    std::int64_t ns;
};

class SlowInit : public ExchangeFixture {
protected:
    void SetUp() override {
        ExchangeFixture::SetUp();
        VariantInit(&keys);
    }
    void TearDown() override {
        VariantClear(&keys);
        ExchangeFixture::TearDown();
    }

    // The bit levels driven while DTR is cleared, without the final release of the line.
    std::vector<Edge> AddressBits() const {
        std::vector<Edge> edges;
        bool sending = false;
        for (const auto& c : port->Calls()) {
            if (c.op == "ClearDTR") sending = true;
            if (c.op == "SetDTR" && sending) break;
            if (!sending) continue;
            if (c.op == "SetBreak") edges.push_back({0, c.ns});
            if (c.op == "ClearBreak") edges.push_back({1, c.ns});
        }
        if (!edges.empty()) edges.pop_back();
        return edges;
    }
    static std::vector<int> Levels(const std::vector<Edge>& edges) {
        std::vector<int> levels;
        for (const auto& e : edges) levels.push_back(e.level);
        return levels;
    }
    std::vector<LONG> KeyBytes() {
        std::vector<LONG> values;
        if (keys.vt != (VT_ARRAY | VT_I4)) return values;
        LONG upper = -1;
        SafeArrayGetUBound(keys.parray, 1, &upper);
        for (LONG i = 0; i <= upper; ++i) {
            LONG v = 0;
            SafeArrayGetElement(keys.parray, &i, &v);
            values.push_back(v);
        }
        return values;
    }
    void ExpectNormalPriority() const {
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    }
    void ExpectRaisedWhileDriving() const {
        for (const auto& c : port->Calls()) {
            if (c.op == "SetBreak" || c.op == "ClearBreak") {
                EXPECT_EQ(c.priorityClass, REALTIME_PRIORITY_CLASS) << c.op;
                EXPECT_EQ(c.threadPriority, THREAD_PRIORITY_TIME_CRITICAL) << c.op;
            }
        }
    }
    HRESULT Init(LONG address, int method = 1) {
        return comms->InitializeSlow(address, &keys, method);
    }

    VARIANT keys;
};

TEST_F(SlowInit, BasicSenderSevenBitAddsParityAndDropsBitSeven) {
    comms->m_nInitializationAddressingMode = SevenBit;
    comms->SendFiveBaudByte(0x33);
    const auto edges = AddressBits();
    // start, 1 1 0 0 1 1 0, parity 0, stop
    EXPECT_EQ(Levels(edges), (std::vector<int>{0, 1, 1, 0, 0, 1, 1, 0, 0, 1}));
    for (std::size_t i = 1; i < edges.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(edges[i].ns - edges[i - 1].ns) / 1e6, 198.0, 0.01);
    }
    EXPECT_TRUE(sink.Has("Sending 5-baud Initialization byte: (0x33)", Info));
    EXPECT_TRUE(sink.Has("7 BIT ADDRESSING: Sent:0:1100110:0:1", Info));
    // 310 ms of released line before the start bit.
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("ClearBreak"), IndexOf("ClearDTR")), 310.0);
    ExpectRaisedWhileDriving();
    ExpectNormalPriority();

    port->ClearCalls();
    comms->SendFiveBaudByte(0xB3);
    EXPECT_EQ(Levels(AddressBits()), Levels(edges));
}

TEST_F(SlowInit, BasicSenderEightBit) {
    comms->SendFiveBaudByte(0x01);
    EXPECT_EQ(Levels(AddressBits()), (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(sink.Has("8 BIT ADDRESSING: Sent:0:10000000:1", Info));
    EXPECT_EQ(port->Ops().front(), "ClearRTS");
    EXPECT_EQ(port->Ops()[1], "SetDTR");
    EXPECT_EQ(port->Ops().back(), "SetDTR");
    ExpectNormalPriority();
}

TEST_F(SlowInit, AccurateSenderPutsEdgesOnTheAbsoluteGrid) {
    const std::int64_t start = clock.NowNs();
    comms->SendFiveBaudByteAccurate(0x01);
    const auto edges = AddressBits();
    // idle, start, address bits 0-7, stop
    ASSERT_EQ(Levels(edges), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
    const std::int64_t t0 = edges[0].ns;
    for (std::size_t j = 1; j < edges.size(); ++j) {
        const double ideal = static_cast<double>(j) * 200.05 - 1.0;  // first bit 1 ms short
        EXPECT_NEAR(static_cast<double>(edges[j].ns - t0) / 1e6, ideal, 0.005) << j;
    }
    EXPECT_EQ(sink.Texts(),
              (std::vector<std::string>{"Sending 5-baud Initialization byte (accurate): (0x01)",
                                        "Hardware Counter Frequency: 10000000",
                                        "8 BIT ADDRESSING: Sent:0:10000000:1"}));
    // The lead-in wait comes before DTR is cleared.
    EXPECT_GE(static_cast<double>(port->Calls()[IndexOf("ClearDTR")].ns - start) / 1e6, 320.0);
    ExpectRaisedWhileDriving();
    ExpectNormalPriority();
}

TEST_F(SlowInit, AccurateSenderBitTimeFollowsTheCounterFrequency) {
    clock.SetFrequency(3'579'545);
    comms->SendFiveBaudByteAccurate(0x01);
    const auto edges = AddressBits();
    ASSERT_EQ(edges.size(), 11u);
    const double bitMs = 715'978.0 / 3'579'545.0 * 1000.0;  // msTicks 3579, bitTicks 715978
    for (std::size_t j = 2; j < edges.size(); ++j) {
        EXPECT_NEAR(static_cast<double>(edges[j].ns - edges[j - 1].ns) / 1e6, bitMs, 0.002);
    }
    EXPECT_TRUE(sink.Has("Hardware Counter Frequency: 3579545", Info));
}

TEST_F(SlowInit, AccurateSenderWithoutCounterFallsBackToTheTickCount) {
    clock.SetFrequencyAvailable(false);
    clock.SetCounterAvailable(false);
    comms->SendFiveBaudByteAccurate(0x01);
    const auto edges = AddressBits();
    ASSERT_EQ(Levels(edges), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
    for (std::size_t j = 2; j < edges.size(); ++j) {
        EXPECT_NEAR(static_cast<double>(edges[j].ns - edges[j - 1].ns) / 1e6, 200.0, 1.0);
    }
    EXPECT_TRUE(sink.Has(
        "Hardware counter not available: timing the address bits on the tick count", Warning));
    ExpectNormalPriority();
}

TEST_F(SlowInit, UartSenderWritesTheAddressAtFiveBaud) {
    comms->SendFiveBaudByteViaUart(0x101);
    EXPECT_EQ(port->Ops(), (std::vector<std::string>{"SetBaud:5", "SetDTR", "ClearRTS", "PurgeRx",
                                                     "PurgeTx", "W:01", "SetBaud:10400", "Flush",
                                                     "PurgeRx", "PurgeTx", "SetDTR"}));
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("W:01"), IndexOf("SetBaud:10400")), 2100.0);
    EXPECT_EQ(sink.statuses.front(), (Status{"K line initialisation using UART", Info}));
    for (const auto& c : port->Calls()) EXPECT_EQ(c.priorityClass, NORMAL_PRIORITY_CLASS);
}

TEST_F(SlowInit, PortFailureWhileDrivingRestoresPriority) {
    // The port throws its exception as a pointer that the catcher deletes.
    auto expectPortException = [](auto&& send) {
        try {
            send();
            ADD_FAILURE() << "the port failure did not leave the sender";
        } catch (CSerialException* e) {
            e->Delete();
        }
    };
    port->FailOn("SetBreak", 3);
    expectPortException([&] { comms->SendFiveBaudByte(0x01); });
    ExpectNormalPriority();

    port->FailOn("SetBreak", 3);
    expectPortException([&] { comms->SendFiveBaudByteAccurate(0x01); });
    ExpectNormalPriority();

    // Through the interface the failure ends as a failed call.
    port->FailOn("SetBreak", 2);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(comms->Initialize(1, 10400, 1, &result), DISP_E_EXCEPTION);
    VariantClear(&result);
    EXPECT_FALSE(TakeErrorText().empty());
    EXPECT_EQ(comms->m_bEcuInitialized, 0);
    ExpectNormalPriority();
}

TEST_F(SlowInit, Kwp2000WakeUp) {
    port->Script({0x55, 0x6B, 0x8F, 0x70, 0xFE});
    ASSERT_EQ(Init(0x01), S_OK);

    EXPECT_EQ(KeyBytes(), (std::vector<LONG>{0x6B, 0x8F}));
    EXPECT_EQ(
        sink.Texts(),
        (std::vector<std::string>{
            "Sending 5-baud Initialization byte: (0x01)", "8 BIT ADDRESSING: Sent:0:10000000:1",
            "Waiting for response...", "55 ", "Byte: (0x55) received", "Keyword 1: (0x6B) received",
            "Keyword 2: (0x8F) received", "Sending keyword 2 inverse to ECU...",
            "Keyword 2 inverse reply OK",
            "Decoding keywords: [ AL0:Length inf. in format byte supported. AL1:Additional "
            "Length byte supported. HB0:One byte header NOT supported. HB1:Tgt/Src address "
            "in header supported. TP0,TP1:Normal timing parameter set.  ]",
            "ECU Initialization successful"}));
    EXPECT_EQ(comms->m_nProtocol, KWP2000);
    EXPECT_TRUE(comms->m_pfnExchange == &BoschComms::ExchangeMessage);
    EXPECT_TRUE(comms->m_pMessage->IsConfigured());
    EXPECT_TRUE(comms->m_pMessage->AdditionalLengthByteSupported());
    EXPECT_TRUE(comms->m_pMessage->NormalTiming());
    EXPECT_EQ(comms->m_bJustInitialized, 1);

    const auto ops = port->Ops();
    EXPECT_EQ((std::vector<std::string>(ops.begin(), ops.begin() + 3)),
              (std::vector<std::string>{"PurgeRx", "PurgeTx", "SetTimeouts:1500"}));
    EXPECT_EQ(port->timeouts.ReadIntervalTimeout, 60u);
    EXPECT_EQ(port->timeouts.WriteTotalTimeoutConstant, 0u);
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("SetDTR", IndexOf("ClearDTR")), IndexOf("R:55")), 30.0);
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("R:8F"), IndexOf("W:70")), 25.0);
    EXPECT_DOUBLE_EQ(MsBetween(IndexOf("R:70"), IndexOf("R:FE")), 25.0);
}

TEST_F(SlowInit, Kw1281WakeUpExpectsNoReplyToTheComplement) {
    comms->m_nMessageCounter = 9;
    port->Script({0x55, 0x01, 0x8A, 0x75});
    ASSERT_EQ(Init(0x01, 3), S_OK);
    EXPECT_EQ(port->Written().back(), 0x75);
    EXPECT_TRUE(sink.Has("Keyword 2 inverse N/A", Info));
    EXPECT_EQ(comms->m_nProtocol, VAG1281);
    EXPECT_TRUE(comms->m_pfnExchange == &BoschComms::ExchangeMessageWithInverse);
    EXPECT_EQ(comms->m_pMessage->GetProtocolId(), VAG1281);
    EXPECT_EQ(comms->m_nMessageCounter, 0);
    EXPECT_EQ(port->ScriptLeft(), 0u);
}

TEST_F(SlowInit, NoiseBeforeTheSyncByteIsListed) {
    port->Script({0x12, 0x34, 0x55, 0x01, 0x8A, 0x75});
    ASSERT_EQ(Init(0x01), S_OK);
    EXPECT_TRUE(sink.Has("12 34 55 ", Info));
}

TEST_F(SlowInit, FailureTable) {
    const int T = FakePort::kTimeout;
    struct Case {
        LONG address;
        std::vector<int> script;
        std::vector<std::string> lastTexts;  // the statuses at the end, in order
        const char* error;
        std::vector<LONG> keys;
    };
    const std::vector<Case> cases{
        {1,
         {T},
         {"00 ", "Nothing received"},
         "Initialization failed: Did not received synchronization byte 0x55",
         {0, 0}},
        {1,
         {0x12, T},
         {"12 12 ", "Byte: (0x12) received"},
         "Initialization failed: Did not received synchronization byte 0x55",
         {0, 0}},
        {1, {0x55, T}, {"Byte: (0x55) received"}, "Keyword 1 not received....", {0, 0}},
        {1,
         {0x55, 0x6B, T},
         {"Keyword 1: (0x6B) received"},
         "Keyword 2 not received....",
         {0x6B, 0}},
        {1,
         {0x55, 0x6B, 0x8F, T},
         {"Sending keyword 2 inverse to ECU...", "Error receiving byte echo: (0x70)",
          "Keyword 2 inverse reply not received"},
         "Keyword 2 inverse reply not received",
         {0x6B, 0x8F}},
        {1,
         {0x55, 0x6B, 0x8F, 0x70, 0xFD},
         {"Keyword 2 response incorrect - expected: (0xFE) received (0xFD)"},
         "Keyword 2 response incorrect",
         {0x6B, 0x8F}},
        {0x101,
         {0x55, 0x6B, 0x8F, 0x70, 0xFE},
         {"Keyword 2 response incorrect - expected: (0x1FE) received (0xFE)"},
         "Keyword 2 response incorrect",
         {0x6B, 0x8F}},
    };
    for (const auto& c : cases) {
        sink.statuses.clear();
        VariantClear(&keys);
        for (int b : c.script) port->Script({b});
        EXPECT_EQ(Init(c.address), DISP_E_EXCEPTION) << c.error;
        const auto texts = sink.Texts();
        ASSERT_GE(texts.size(), c.lastTexts.size());
        EXPECT_EQ(std::vector<std::string>(
                      texts.end() - static_cast<std::ptrdiff_t>(c.lastTexts.size()), texts.end()),
                  c.lastTexts);
        EXPECT_EQ(TakeErrorText(), c.error);
        EXPECT_EQ(KeyBytes(), c.keys) << c.error;
        EXPECT_EQ(port->ScriptLeft(), 0u) << c.error;
    }
    EXPECT_EQ(comms->m_bJustInitialized, 0);
}

TEST_F(SlowInit, RefusalsBeforeTheWakeUp) {
    port->open = false;
    EXPECT_EQ(Init(1), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.statuses.back(), (Status{"Serial port is not open", Severe}));
    EXPECT_EQ(TakeErrorText(), "Serial port is not open");
    EXPECT_EQ(KeyBytes(), (std::vector<LONG>{0, 0}));
    EXPECT_TRUE(port->Ops().empty());

    port->open = true;
    sink.statuses.clear();
    VariantClear(&keys);
    EXPECT_EQ(Init(1, 4), DISP_E_EXCEPTION);
    EXPECT_TRUE(sink.statuses.empty());
    EXPECT_EQ(TakeErrorText(), "Invalid Initialization Method");
    EXPECT_EQ(KeyBytes(), (std::vector<LONG>{0, 0}));
}

TEST_F(SlowInit, PortFailureWhileAnsweringTheKeyBytesIsCaught) {
    port->Script({0x55, 0x6B, 0x8F});
    port->FailOn("Write");
    EXPECT_EQ(Init(1), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.statuses.back(), (Status{"Keyword 2 inverse reply not received", Severe}));
    EXPECT_EQ(TakeErrorText(), "Keyword 2 inverse reply not received");
}

TEST_F(SlowInit, UnknownKeyByteTwoKeepsTheProtocol) {
    comms->m_nProtocol = VAG1281;
    comms->m_pfnExchange = &BoschComms::ExchangeMessageWithInverse;
    port->Script({0x55, 0x01, 0x0D, 0xF2});
    ASSERT_EQ(Init(1), S_OK);
    EXPECT_EQ(comms->m_nProtocol, VAG1281);
    EXPECT_EQ(comms->m_pMessage->GetProtocolId(), VAG1281);
    EXPECT_TRUE(comms->m_pMessage->IsConfigured());

    // Not a known key byte at all: success, but the fresh message stays unconfigured.
    delete comms->m_pMessage;
    comms->m_pMessage = CreateMessage(VAG1281);
    comms->m_nMessageCounter = 7;
    sink.statuses.clear();
    VariantClear(&keys);
    port->Script({0x55, 0x01, 0x00, 0xFF});
    ASSERT_EQ(Init(1), S_OK);
    EXPECT_TRUE(sink.Has("Expected keyword 2 to be 0x8F or 0x8A or etc", Info));
    EXPECT_FALSE(comms->m_pMessage->IsConfigured());
    EXPECT_EQ(comms->m_nMessageCounter, 7);
}

TEST_F(SlowInit, DecodeKeywordsTexts) {
    EXPECT_EQ(comms->DecodeKeywords(0x00, 0x94),
              "Decoding keywords: [ AL0:Length inf. in format byte supported. AL1:Additional "
              "Length byte NOT supported. HB0:One byte header NOT supported. HB1:Tgt/Src address "
              "in header NOT supported. INVALID values for TP0 and TP1.  ]");
    EXPECT_TRUE(comms->m_pMessage->LengthInFormatByteSupported());

    EXPECT_EQ(comms->DecodeKeywords(0xDE, 0x8F),
              "Decoding keywords: [ AL0:Length inf. in format byte NOT supported. AL1:Additional "
              "Length byte supported. HB0:One byte header supported. HB1:Tgt/Src address in "
              "header supported. TP0,TP1:Extended timing parameter set. ]");
    EXPECT_TRUE(comms->m_pMessage->OneByteHeaderSupported());
    EXPECT_FALSE(comms->m_pMessage->NormalTiming());

    EXPECT_NE(comms->DecodeKeywords(0x30, 0x8F).find("INVALID values for TP0 and TP1.  ]"),
              std::string::npos);
}

}  // namespace
}  // namespace exchange_test
