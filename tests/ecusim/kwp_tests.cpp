#include "tester.h"

namespace ecusim::testing {
namespace {

using State = EcuSimulator::State;
using Bytes = std::vector<std::uint8_t>;

class KwpTest : public EcuTest {
public:
    void Connect() {
        Make(EcuProtocol::Kwp2000);
        KwpSession();
    }
    // The tuning program's read sequence; returns the value of the last report.
    int ReadChannel(std::uint8_t channel) {
        EXPECT_EQ(Request({0x31, 0xB8, 0x01, 0x03}), (Bytes{0x71, 0xB8}));
        EXPECT_EQ(Request({0x31, 0xBA, 0x01, 0x03}).at(0), 0x71);
        EXPECT_EQ(Request({0x31, 0xB9, 0x01, 0x03, channel}), (Bytes{0x71, 0xB9}));
        const Bytes report = Request({0x31, 0xBA, 0x01, 0x03});
        if (report.size() < 8) return -1;
        return report[6] * 256 + report[7];
    }
};

TEST_F(KwpTest, IdentificationCarriesTheWorkshopCode) {
    Connect();
    const Bytes id = Request({0x1A, 0x9B});
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id[0], 0x5A);
    EXPECT_EQ(id[1], 0x9B);
    EXPECT_EQ(std::string(id.begin() + 2, id.begin() + 22), "DK0906032AB 1.8L R4 ");
    EXPECT_EQ(Bytes(id.begin() + 22, id.begin() + 28), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ(Request({0x1A, 0x80}), (Bytes{0x7F, 0x1A, 0x12}));
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});
    EXPECT_EQ(Request({0x10, 0x89}), (Bytes{0x7F, 0x10, 0x11}));
}

TEST_F(KwpTest, RoutineSequencesReadTestStoreAndReset) {
    Connect();
    // Routines before the adaptation is opened are refused.
    EXPECT_EQ(Request({0x31, 0xBA, 0x01, 0x03}), (Bytes{0x7F, 0x31, 0x22}));
    EXPECT_EQ(ReadChannel(12), 255);
    // Test: read, value, report, read.
    EXPECT_EQ(Request({0x31, 0xB9, 0x01, 0x03, 0x01, 0x2C}), (Bytes{0x71, 0xB9}));
    EXPECT_EQ(Request({0x31, 0xBA, 0x01, 0x03}).at(7), 0x2C);
    EXPECT_EQ(ReadChannel(12), 300);
    EXPECT_EQ(ecu->StoredValue(12), 255);
    // Store with the six workshop bytes.
    EXPECT_EQ(ReadChannel(8), 128);
    EXPECT_EQ(Request({0x31, 0xBB, 0x01, 0x03, 0x00, 0x90, 1, 2, 3, 4, 5, 6}), (Bytes{0x71, 0xBB}));
    EXPECT_EQ(ReadChannel(8), 0x90);
    EXPECT_EQ(ecu->StoredValue(8), 0x90);
    EXPECT_EQ(ecu->LastStoreWorkshopCode(), (Bytes{1, 2, 3, 4, 5, 6}));
    // Out of range: unknown channel, malformed request.
    EXPECT_EQ(Request({0x31, 0xB9, 0x01, 0x03, 99}), (Bytes{0x7F, 0x31, 0x31}));
    EXPECT_EQ(Request({0x31, 0xB9, 0x02, 0x03, 8}), (Bytes{0x7F, 0x31, 0x12}));
    EXPECT_EQ(Request({0x31, 0xBC, 0x01, 0x03}), (Bytes{0x7F, 0x31, 0x31}));
    // Reset as the tuning program does it: test 0 on channel 0, then store channel 0.
    EXPECT_EQ(ReadChannel(0), 0);
    EXPECT_EQ(Request({0x31, 0xB9, 0x01, 0x03, 0, 0}), (Bytes{0x71, 0xB9}));
    EXPECT_EQ(Request({0x31, 0xBA, 0x01, 0x03}).at(0), 0x71);
    EXPECT_EQ(ReadChannel(0), 0);
    EXPECT_EQ(Request({0x31, 0xBB, 0x01, 0x03, 0, 0, 1, 2, 3, 4, 5, 6}), (Bytes{0x71, 0xBB}));
    EXPECT_EQ(ReadChannel(8), 128);
    EXPECT_EQ(ReadChannel(12), 255);
}

TEST_F(KwpTest, TimingStopAndSessionEnd) {
    Connect();
    SendFrame(KwpFrame({0x3E}));
    const std::size_t sent = line.Traffic().size();
    ReadFrame();
    const std::int64_t requestEnd = line.Traffic().at(sent - 1).endNs;
    EXPECT_NEAR((line.Traffic().at(sent).startNs - requestEnd) / 1e6, 30.0, 0.01);  // P2
    EXPECT_EQ(Request({0x82}), Bytes{0xC2});
    EXPECT_EQ(ecu->GetState(), State::Asleep);
    SendFrame(KwpFrame({0x3E}));
    EXPECT_TRUE(ReadFrame(300).empty());
    // Without requests a session ends after five seconds.
    KwpSession();
    WaitMs(5100);
    EXPECT_EQ(ecu->GetState(), State::Asleep);
}

TEST_F(KwpTest, FramesWithAddressesAndLengthBytes) {
    Connect();
    // Physical addressing to this ECU: answered with addresses swapped.
    SendFrame({0x81, 0x01, 0xF1, 0x3E, 0xB1});
    EXPECT_EQ(ReadFrame(), (Bytes{0x81, 0xF1, 0x01, 0x7E, 0xF1}));
    // To another ECU: ignored.
    SendFrame({0x81, 0x10, 0xF1, 0x3E, 0xC0});
    EXPECT_TRUE(ReadFrame(300).empty());
    // Length in a separate byte.
    SendFrame({0x00, 0x01, 0x3E, 0x3F});
    EXPECT_EQ(Payload(ReadFrame()), Bytes{0x7E});
    // A wrong checksum gets no answer.
    SendFrame({0x01, 0x3E, 0x00});
    EXPECT_TRUE(ReadFrame(300).empty());
    EXPECT_EQ(ecu->GetState(), State::Session);
}

TEST_F(KwpTest, ResponsePendingChains) {
    Connect();
    Faults f;
    f.pendingCount = 3;
    f.pendingGapMs = 1000;
    ecu->SetFaults(f);
    SendFrame(KwpFrame({0x1A, 0x9B}));
    std::int64_t last = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Payload(ReadFrame()), (Bytes{0x7F, 0x1A, 0x78}));
        const auto& w = line.Traffic().back();
        if (last != 0) {
            EXPECT_NEAR((w.endNs - last) / 1e6, 1000.0 + 5 * 0.961530, 0.01);
        }
        last = w.endNs;
    }
    EXPECT_EQ(Payload(ReadFrame()).at(0), 0x5A);
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});  // one-shot
    f.pendingCount = 1;
    f.pendingGapMs = 10;
    f.pendingEveryRequest = true;
    ecu->SetFaults(f);
    for (int i = 0; i < 2; ++i) {
        SendFrame(KwpFrame({0x3E}));
        EXPECT_EQ(Payload(ReadFrame()), (Bytes{0x7F, 0x3E, 0x78}));
        EXPECT_EQ(Payload(ReadFrame()), Bytes{0x7E});
    }
}

TEST_F(KwpTest, ReplyFaults) {
    Connect();
    Faults f;
    f.badChecksum = true;
    ecu->SetFaults(f);
    SendFrame(KwpFrame({0x3E}));
    Bytes frame = ReadFrame();
    ASSERT_EQ(frame.size(), 3u);
    EXPECT_NE(frame[2], static_cast<std::uint8_t>(frame[0] + frame[1]));

    f = {};
    f.missingByteAt = 2;
    ecu->SetFaults(f);
    SendFrame(KwpFrame({0x3E}));
    EXPECT_EQ(ReadFrame(300).size(), 2u);

    f = {};
    f.silence = true;
    ecu->SetFaults(f);
    SendFrame(KwpFrame({0x3E}));
    EXPECT_TRUE(ReadFrame(300).empty());
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});

    f = {};
    f.corruptEchoAt = 1;
    ecu->SetFaults(f);
    WaitMs(1);
    Write(KwpFrame({0x3E}));
    EXPECT_EQ(ReadValue(50), 0x01);
    EXPECT_EQ(ReadValue(50), 0x00);  // pulled low by the ECU
    ReadValue(50);
    EXPECT_TRUE(ReadFrame(300).empty());  // the ECU heard a bad checksum

    f = {};
    f.dieAfterRequests = 2;
    ecu->SetFaults(f);
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});
    EXPECT_EQ(Request({0x3E}), Bytes{0x7E});
    SendFrame(KwpFrame({0x3E}));
    EXPECT_TRUE(ReadFrame(300).empty());
    EXPECT_EQ(ecu->GetState(), State::Dead);
}

TEST_F(KwpTest, TesterFraming) {
    Make(EcuProtocol::KwpTester);
    BitBang8(0x01);
    const KeyBytes k = Handshake(true);
    EXPECT_EQ(k.kw2, 0x94);
    EXPECT_EQ(k.addressComplement, 0xFE);
    // Service id, data and an 8-bit sum; the reply's first byte gives its data count.
    SendFrame({0x1A, 0x9B, 0xB5});
    const Bytes head = {*ReadValue(), *ReadValue(), *ReadValue()};
    EXPECT_EQ(head, (Bytes{32, 0x5A, 0x9B}));
    for (int i = 0; i < 31; ++i) ASSERT_TRUE(ReadValue(50));  // the rest and the sum
    SendFrame({0x3E, 0x3E});
    EXPECT_EQ((Bytes{*ReadValue(), *ReadValue(), *ReadValue()}), (Bytes{0x01, 0x7E, 0x7F}));
    SendFrame({0x3E, 0x00});
    EXPECT_FALSE(ReadValue(300));
}

}  // namespace
}  // namespace ecusim::testing
