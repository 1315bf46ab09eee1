// Request frames and reply parsing of the four protocols.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Message.h"
#include "ReplyFrame.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Frame(const CMessage& m) {
    return Bytes(m.GetFrameData(), m.GetFrameData() + m.GetFrameSize());
}

// StartMessage, service id, data, Build, as a request is framed before sending.
bool BuildRequest(CMessage& m, const Bytes& request, std::uint32_t counter = 0) {
    if (!m.StartMessage(counter)) return false;
    if (!m.SetServiceId(request.at(0))) return false;
    for (std::size_t i = 1; i < request.size(); ++i) {
        if (!m.AddDataByte(request[i])) return false;
    }
    return m.Build();
}

std::unique_ptr<CMessage> Configured(Protocol p, bool al1, bool al0, bool hb1 = false) {
    std::unique_ptr<CMessage> m(CreateMessage(p));
    m->SetOptions(al1, false, al0, hb1, true);
    return m;
}

TEST(CoreMessage, WorkedExamplesByteForByte) {
    auto kwpAl0 = Configured(KWP2000, false, true);
    ASSERT_TRUE(BuildRequest(*kwpAl0, {0x1A, 0x9B}));
    EXPECT_EQ(Frame(*kwpAl0), (Bytes{0x02, 0x1A, 0x9B, 0xB7}));

    auto kwpAl1 = Configured(KWP2000, true, false);
    ASSERT_TRUE(BuildRequest(*kwpAl1, {0x1A, 0x9B}));
    EXPECT_EQ(Frame(*kwpAl1), (Bytes{0x00, 0x02, 0x1A, 0x9B, 0xB7}));

    auto kwpAddr = Configured(KWP2000, true, true, true);
    kwpAddr->SetAddressingMode(PhysicalAddressing);
    kwpAddr->SetSourceAddress(0xF1);
    kwpAddr->SetTargetAddress(0x10);
    ASSERT_TRUE(BuildRequest(*kwpAddr, {0x81}));
    EXPECT_EQ(Frame(*kwpAddr), (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03}));

    std::unique_ptr<CMessage> tester(CreateMessage(KWPtester));
    tester->SetOptions(false, false, true, false, true);
    ASSERT_TRUE(BuildRequest(*tester, {0x1A, 0x9B}));
    EXPECT_EQ(Frame(*tester), (Bytes{0x1A, 0x9B, 0xB5}));

    auto mcmess = Configured(MCMESS, false, false);
    ASSERT_TRUE(BuildRequest(*mcmess, {0x1A, 0x9B}));
    EXPECT_EQ(Frame(*mcmess), (Bytes{0x1A, 0x9B}));

    auto vag = Configured(VAG1281, false, false);
    ASSERT_TRUE(BuildRequest(*vag, {0x09}, 0x01));
    EXPECT_EQ(Frame(*vag), (Bytes{0x03, 0x01, 0x09, 0x03}));
    ASSERT_TRUE(BuildRequest(*vag, {0x21, 0x05}, 0x05));
    EXPECT_EQ(Frame(*vag), (Bytes{0x04, 0x05, 0x21, 0x05, 0x03}));
    EXPECT_EQ(vag->FormatFrame(), "(0x04):(0x05):(0x21):(0x05):(0x03):");
}

TEST(CoreMessage, Kwp2000LengthLimits) {
    auto al0Only = Configured(KWP2000, false, true);
    ASSERT_TRUE(BuildRequest(*al0Only, Bytes(63, 0x11)));  // n = 63 fits the format byte
    EXPECT_EQ(Frame(*al0Only).front(), 0x3F);
    EXPECT_EQ(al0Only->GetFrameSize(), 1 + 63 + 1);
    EXPECT_FALSE(BuildRequest(*al0Only, Bytes(64, 0x11)));  // n = 64 needs AL1

    auto both = Configured(KWP2000, true, true);
    ASSERT_TRUE(BuildRequest(*both, Bytes(64, 0x11)));
    Bytes f = Frame(*both);
    EXPECT_EQ(f[0], 0x00);
    EXPECT_EQ(f[1], 0x40);
    EXPECT_EQ(f.size(), 2u + 64 + 1);
    EXPECT_TRUE(BuildRequest(*both, Bytes(255, 0x01)));
    EXPECT_FALSE(BuildRequest(*both, Bytes(256, 0x01)));  // n = 256

    auto neither = Configured(KWP2000, false, false);
    ASSERT_TRUE(BuildRequest(*neither, {0x3E}));
    EXPECT_EQ(Frame(*neither), (Bytes{0x00, 0x3E, 0x3E}));
}

TEST(CoreMessage, Kwp2000AddressesNeedModeAndBothAddresses) {
    auto m = Configured(KWP2000, false, true, true);
    m->SetSourceAddress(0xF1);
    m->SetTargetAddress(0x10);
    m->SetAddressingMode(NoAddressing);
    ASSERT_TRUE(BuildRequest(*m, {0x81}));
    EXPECT_EQ(Frame(*m), (Bytes{0x01, 0x81, 0x82}));

    m->SetAddressingMode(FunctionalAddressing);
    m->SetTargetAddress(0);
    ASSERT_TRUE(BuildRequest(*m, {0x81}));
    EXPECT_EQ(Frame(*m), (Bytes{0x01, 0x81, 0x82}));
}

TEST(CoreMessage, UnconfiguredAndResetRefuse) {
    std::unique_ptr<CMessage> m(CreateMessage(KWP2000));
    EXPECT_FALSE(m->IsConfigured());
    EXPECT_FALSE(m->StartMessage(0));
    EXPECT_FALSE(m->SetServiceId(0x10));
    EXPECT_FALSE(m->AddDataByte(0x10));
    EXPECT_FALSE(m->Build());
    EXPECT_EQ(m->FormatFrame(), "");

    m->SetOptions(true, true, true, true, false);
    m->SetAddressingMode(FunctionalAddressing);
    m->SetSourceAddress(0xF1);
    EXPECT_TRUE(m->IsConfigured());
    EXPECT_TRUE(m->ExtendedTiming());
    EXPECT_EQ(m->GetAddressingMode(), FunctionalAddressing);
    m->Reset();
    EXPECT_FALSE(m->IsConfigured());
    EXPECT_FALSE(m->AdditionalLengthByteSupported());
    EXPECT_EQ(m->GetAddressingMode(), PhysicalAddressing);
    EXPECT_EQ(m->GetSourceAddress(), 0);

    // The tester frame needs no configuration.
    std::unique_ptr<CMessage> tester(CreateMessage(KWPtester));
    EXPECT_TRUE(tester->Build());
}

TEST(CoreMessage, VagBlockThatWouldWrapIsRefused) {
    auto vag = Configured(VAG1281, false, false);
    EXPECT_TRUE(BuildRequest(*vag, Bytes(1 + 252, 0x01)));
    EXPECT_EQ(Frame(*vag).front(), 0xFF);
    EXPECT_FALSE(BuildRequest(*vag, Bytes(1 + 253, 0x01)));
}

TEST(CoreMessage, FactoriesKnowFourProtocols) {
    for (Protocol p : {KWP2000, VAG1281, KWPtester, MCMESS}) {
        std::unique_ptr<CMessage> m(CreateMessage(p));
        std::unique_ptr<CReplyFrame> r(CreateReplyFrame(p));
        ASSERT_NE(m, nullptr);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(m->GetProtocolId(), p);
        EXPECT_EQ(r->GetProtocolId(), p);
        EXPECT_EQ(m->ExpectsAddressInverse(), p == KWP2000 || p == KWPtester);
    }
    EXPECT_EQ(CreateMessage(0), nullptr);
    EXPECT_EQ(CreateReplyFrame(0), nullptr);
}

// Feeds a reply the way the exchange reads it; returns the data bytes before the last.
Bytes Parse(CReplyFrame& r, const Bytes& wire) {
    std::size_t i = 0;
    r.SetFirstByte(wire.at(i++));
    for (std::ptrdiff_t k = 1; k < r.GetHeaderLength(); ++k) r.AddHeaderByte(wire.at(i++));
    Bytes data;
    const int m = r.GetDataLength();
    for (int k = 0; k <= m; ++k) {
        r.AddDataByte(wire.at(i));
        if (k < m) data.push_back(wire[i]);
        ++i;
    }
    EXPECT_EQ(i, wire.size());
    return data;
}

TEST(CoreReplyFrame, Kwp2000WorkedExample) {
    CKwp2000ReplyFrame r;
    const Bytes data = Parse(r, {0x83, 0xF1, 0x10, 0xC1, 0xE9, 0x8F, 0xBD});
    EXPECT_EQ(r.GetHeaderLength(), 3);
    EXPECT_EQ(data, (Bytes{0xC1, 0xE9, 0x8F}));
    EXPECT_TRUE(r.Verify(0));
    EXPECT_EQ(r.GetFirstDataByte(), 0xC1);
    EXPECT_EQ(r.GetTrace(), "(0x83):(0xF1):(0x10):(0xC1):(0xE9):(0x8F):(0xBD):");

    Parse(r, {0x83, 0xF1, 0x10, 0xC1, 0xE9, 0x8F, 0xBE});
    EXPECT_FALSE(r.Verify(0));
}

TEST(CoreReplyFrame, Kwp2000LengthByteForms) {
    CKwp2000ReplyFrame r;
    r.SetFirstByte(0x80);  // addresses and a length byte follow
    EXPECT_EQ(r.GetHeaderLength(), 4);
    r.AddHeaderByte(0xF1);
    r.AddHeaderByte(0x10);
    r.AddHeaderByte(0x02);
    EXPECT_EQ(r.GetDataLength(), 2);

    const Bytes data = Parse(r, {0x00, 0x01, 0x7E, 0x7F});  // no addresses, length byte 1
    EXPECT_EQ(r.GetHeaderLength(), 2);
    EXPECT_EQ(data, (Bytes{0x7E}));
    EXPECT_TRUE(r.Verify(0));

    EXPECT_EQ(r.GetFirstDataByte(), 0x7E);
    r.Reset();
    EXPECT_EQ(r.GetFirstDataByte(), 0);
    EXPECT_EQ(r.GetTrace(), "");
    EXPECT_FALSE(r.Verify(0));  // no checksum byte at all
}

TEST(CoreReplyFrame, TesterAndMcMessNeverFailVerify) {
    CKwpTesterReplyFrame tester;
    const Bytes data = Parse(tester, {0x02, 0x5A, 0x11, 0x00});
    EXPECT_EQ(tester.GetHeaderLength(), 0);
    EXPECT_EQ(data, (Bytes{0x5A, 0x11}));
    EXPECT_TRUE(tester.Verify(0));

    CMcMessReplyFrame mc;
    mc.SetFirstByte(0x05);
    EXPECT_EQ(mc.GetDataLength(), 3);
    EXPECT_EQ(mc.GetHeaderLength(), 0);
    EXPECT_TRUE(mc.Verify(99));
}

TEST(CoreReplyFrame, Vag1281BlockAndCounter) {
    CVag1281ReplyFrame r;
    Bytes wire{0x0F, 0x01, 0xF6};
    for (int i = 0; i < 12; ++i) wire.push_back(static_cast<BYTE>(0x30 + i));
    wire.push_back(0x03);
    const Bytes data = Parse(r, wire);
    EXPECT_EQ(r.GetDataLength(), 13);
    EXPECT_EQ(data.size(), 13u);
    EXPECT_EQ(data.front(), 0xF6);
    EXPECT_TRUE(r.Verify(1));
    EXPECT_TRUE(r.Verify(0x101));  // low 8 bits of the counter
    EXPECT_FALSE(r.Verify(2));

    r.SetFirstByte(0x01);  // too short: wraps, awaits 255 bytes
    EXPECT_EQ(r.GetDataLength(), 255);
    EXPECT_FALSE(r.Verify(1));  // only one header byte
}

}  // namespace
