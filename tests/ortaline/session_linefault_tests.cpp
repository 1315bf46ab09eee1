// Failure rows that need the tester's own echo to go wrong: a faulty interface on the virtual
// K-line drops, changes or precedes with stray zeros the echo of chosen tester bytes, while
// the simulated ECU hears every byte as sent. Each row is reached through SendCommand or
// Initialize, with the status texts in order and the error description.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "session_harness.h"

namespace exchange_test {
namespace {

using ecusim::EcuProtocol;
using Effect = kline::EchoFault::Effect;
using kline::Side;

constexpr std::int64_t kSessionEndNs = 6'000'000'000;  // lets the ECU's session run out

// The receive trace: "%02x " per byte.
std::string Trace(const std::vector<BYTE>& bytes) {
    std::string text;
    for (BYTE b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x ", b);
        text += part;
    }
    return text;
}

// A frame as the "Sending Message: " and "Received Response: " texts list it.
std::string Listed(const std::vector<BYTE>& bytes) {
    std::string text;
    for (BYTE b : bytes) {
        char part[8];
        std::snprintf(part, sizeof part, "(0x%.2X):", b);
        text += part;
    }
    return text;
}

BYTE Complement(BYTE b) { return static_cast<BYTE>(~b); }

kline::EchoFault Fault(Effect effect, std::size_t skip, BYTE replacement = 0x00) {
    kline::EchoFault fault;
    fault.effect = effect;
    fault.skip = skip;
    fault.replacement = replacement;
    return fault;
}

kline::EchoFault FaultOnValue(Effect effect, BYTE value, BYTE replacement = 0x00) {
    kline::EchoFault fault = Fault(effect, 0, replacement);
    fault.value = value;
    return fault;
}

kline::EchoFault StrayZeros(int count) {
    kline::EchoFault fault = Fault(Effect::StrayZeros, 0);
    fault.strayZeros = count;
    return fault;
}

class LineFaultSession : public SessionFixture {
protected:
    void Inject(const kline::EchoFault& fault) {
        line->ClearRecords();
        line->InjectTesterEchoFault(fault);
    }
    // The fault hit exactly one byte, the one given.
    void ExpectHitOn(BYTE sent) {
        ASSERT_EQ(line->EchoFaultHits().size(), 1u);
        EXPECT_EQ(line->EchoFaultHits()[0].sent, sent);
        EXPECT_EQ(line->ArmedTesterEchoFaults(), 0u);
    }
    void ExpectFailure(HRESULT hr, const std::vector<Status>& statuses, const char* error) {
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_EQ(sink.statuses, statuses);
        EXPECT_EQ(TakeErrorText(), error);
    }
    // The connection is dropped and the ECU's session has run out: a new one must start.
    void StartOver() {
        comms->Close();
        line->ClearTesterEchoFaults();
        ecu->SetFaults({});
        clock.AdvanceNs(kSessionEndNs);
    }
    // The statuses from "Sending keyword 2 inverse to ECU..." on.
    std::vector<Status> KeyByte2ComplementStatuses() const {
        for (std::size_t i = 0; i < sink.statuses.size(); ++i) {
            if (sink.statuses[i].text == "Sending keyword 2 inverse to ECU...") {
                return {sink.statuses.begin() + static_cast<std::ptrdiff_t>(i),
                        sink.statuses.end()};
            }
        }
        return {};
    }

    // A fault on the echo of the key byte 2 complement ends the wake-up with the sender's
    // own text, then the step's and the initialisation's; the key bytes still come back.
    struct ComplementEchoCase {
        const char* name;
        kline::EchoFault fault;
        ecusim::Faults ecuFaults;
        const char* status;
    };
    void ExpectComplementEchoFailure(const ComplementEchoCase& c, BYTE complement,
                                     const std::vector<LONG>& expectedKeyBytes) {
        SCOPED_TRACE(c.name);
        sink.statuses.clear();
        ecu->SetFaults(c.ecuFaults);
        Inject(c.fault);
        const HRESULT hr = WakeUp(2);
        ExpectHitOn(complement);
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_EQ(KeyByte2ComplementStatuses(),
                  (std::vector<Status>{{"Sending keyword 2 inverse to ECU...", Info},
                                       {c.status, Severe},
                                       {"Keyword 2 inverse reply not received", Severe},
                                       {"Failed ECU initialization", Severe}}));
        EXPECT_EQ(TakeErrorText(), "Failed ECU initialization");
        EXPECT_EQ(keyBytes, expectedKeyBytes);
        EXPECT_EQ(comms->m_bEcuInitialized, 0);
        StartOver();
    }
};

// ---- KW1281 ----

class Kw1281LineFaults : public LineFaultSession {
protected:
    void SetUp() override { StartEcu(ecusim::DefaultConfig(EcuProtocol::Kw1281)); }

    // The ECU's first block after the wake-up: its first identification text.
    std::vector<BYTE> FirstBlock() const {
        const std::string& text = ecu->Config().kw1281Texts.at(0);
        std::vector<BYTE> block{static_cast<BYTE>(text.size() + 3), 0x01, 0xF6};
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0x03);
        return block;
    }
    void WakeAndTakeFirstBlock() {
        ASSERT_EQ(WakeUp(2), S_OK);
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x09}, reply), S_OK);
        sink.statuses.clear();
    }
    void ExpectSessionWorks() {
        ASSERT_EQ(WakeUp(2), S_OK);
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x09}, reply), S_OK);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[0], 0xF6);
        ASSERT_EQ(Send({0x09}, reply), S_OK);
    }
};

// The tester's block 03 02 09 03, its bytes acknowledged one by one.
TEST_F(Kw1281LineFaults, SendPhaseEchoRows) {
    const Status sending{"Sending Message: (0x03):(0x02):(0x09):(0x03):", Info};
    struct Case {
        const char* name;
        kline::EchoFault fault;
        BYTE hit;
        const char* status;  // nullptr: the call succeeds
        const char* error;
    };
    const std::vector<Case> cases{
        {"changed echo", FaultOnValue(Effect::Replace, 0x09, 0x19), 0x09,
         "Echo Bytes are corrupt. Expected checksum:(0x09). Received checksum :(0x19).",
         "Echo Bytes are corrupt"},
        // The ECU's complement takes the lost echo's place; the read for the complement then
        // finds nothing, since the ECU waits for the next block byte.
        {"lost echo of the counter", Fault(Effect::Drop, 1), 0x02,
         "Expected 4 echo bytes. Received 2 bytes", "Echo Bytes not received"},
        {"lost echo of the length", Fault(Effect::Drop, 0), 0x03,
         "Expected 4 echo bytes. Received 1 bytes", "Echo Bytes not received"},
        // Nothing answers the block end but the ECU's next block, whose length is read instead.
        {"lost echo of the block end", Fault(Effect::Drop, 3), 0x03,
         "Echo Bytes are corrupt. Expected checksum:(0x03). Received checksum :(0x08).",
         "Echo Bytes are corrupt"},
        // First-echo rule: a stray 0x00 is read past; 51 of them outlast its 50 extra reads.
        {"one stray zero", StrayZeros(1), 0x03, nullptr, nullptr},
        {"51 stray zeros", StrayZeros(51), 0x03, "Expected 4 echo bytes. Received 0 bytes",
         "Echo Bytes not received"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WakeAndTakeFirstBlock();
        Inject(c.fault);
        std::vector<LONG> reply;
        const HRESULT hr = Send({0x09}, reply);
        ExpectHitOn(c.hit);
        // What went out, the ECU heard as sent (the send phase may end early).
        const std::vector<BYTE> block{0x03, 0x02, 0x09, 0x03};
        auto sent = WireSince(Side::Tester);
        sent.resize(std::min(sent.size(), block.size()));
        EXPECT_EQ(sent, std::vector<BYTE>(block.begin(), block.begin() + sent.size()));
        if (c.status == nullptr) {
            EXPECT_EQ(hr, S_OK);
            ASSERT_EQ(sink.statuses.size(), 2u);
            EXPECT_EQ(sink.statuses[0], sending);
            EXPECT_EQ(sink.statuses[1].text.rfind("Received Response: (0x08):(0x03):(0xF6):", 0),
                      0u);
        } else {
            EXPECT_TRUE(reply.empty());
            ExpectFailure(hr, {sending, {c.status, Severe}}, c.error);
        }
        StartOver();
    }
    ExpectSessionWorks();
}

// The first block after the wake-up, received with a complement after each of its first 15
// bytes: tester byte k is the complement of block byte k.
TEST_F(Kw1281LineFaults, ReceivePhaseComplementEchoRows) {
    const std::vector<BYTE> block = FirstBlock();
    ASSERT_EQ(block.size(), 16u);
    const Status sending{"Sending Message: (0x03):(0x00):(0x09):(0x03):", Info};
    struct Case {
        std::size_t at;  // block byte whose complement's echo goes wrong
        const char* corrupt;
        const char* corruptError;
        const char* missing;
        const char* missingError;
    };
    const std::vector<Case> cases{
        {0, "Length inverse byte corrupt", "Length byte corrupt",
         "Length inverse byte not received", "Length byte not received correctly"},
        {1, "Message header inverse byte 2 of 3 corrupt", "Message header corrupt",
         "Message header inverse byte 2 of 3 not received", "Message header not received"},
        {2, "Message inverse byte 1 of 14 corrupt", "Message body corrupt",
         "Message inverse byte 1 of 14 not received", "Message body not received correctly"},
        {8, "Message inverse byte 7 of 14 corrupt", "Message body corrupt",
         "Message inverse byte 7 of 14 not received", "Message body not received correctly"},
        // The last acknowledged byte: the block end after it gets no complement.
        {14, "Message inverse byte 13 of 14 corrupt", "Message body corrupt",
         "Message inverse byte 13 of 14 not received", "Message body not received correctly"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        // Block bytes and the echoes of their complements, up to block byte c.at.
        std::vector<BYTE> heard;
        for (std::size_t i = 0; i < c.at; ++i) {
            heard.push_back(block[i]);
            heard.push_back(Complement(block[i]));
        }
        heard.push_back(block[c.at]);
        const BYTE complement = Complement(block[c.at]);
        const BYTE changed = static_cast<BYTE>(complement ^ 0x10);

        {
            SCOPED_TRACE("changed echo");
            ASSERT_EQ(WakeUp(2), S_OK);
            sink.statuses.clear();
            Inject(Fault(Effect::Replace, c.at, changed));
            std::vector<LONG> reply;
            const HRESULT hr = Send({0x09}, reply);
            ExpectHitOn(complement);
            std::vector<BYTE> traced = heard;
            traced.push_back(changed);
            ExpectFailure(hr, {sending, {Trace(traced), Info}, {c.corrupt, Severe}},
                          c.corruptError);
            StartOver();
        }
        {
            // The ECU breaks its block off after hearing the complement, so nothing comes
            // in place of the lost echo.
            SCOPED_TRACE("lost echo");
            ecusim::Faults brokenOff;
            brokenOff.missingByteAt = static_cast<int>(c.at) + 1;
            ecu->SetFaults(brokenOff);
            ASSERT_EQ(WakeUp(2), S_OK);
            sink.statuses.clear();
            Inject(Fault(Effect::Drop, c.at));
            std::vector<LONG> reply;
            const HRESULT hr = Send({0x09}, reply);
            ExpectHitOn(complement);
            ExpectFailure(hr, {sending, {Trace(heard), Info}, {c.missing, Severe}}, c.missingError);
            // The failed first exchange leaves the next one receive-only.
            EXPECT_EQ(comms->m_bJustInitialized, 1);
            StartOver();
        }
    }
    ExpectSessionWorks();
}

TEST_F(Kw1281LineFaults, LostComplementEchoWithTheEcuGoingOnReadsItsNextByte) {
    ASSERT_EQ(WakeUp(2), S_OK);
    sink.statuses.clear();
    Inject(Fault(Effect::Drop, 0));
    std::vector<LONG> reply;
    const HRESULT hr = Send({0x09}, reply);
    // The block counter 0x01 is taken for the echo of the length's complement.
    ExpectFailure(hr,
                  {{"Sending Message: (0x03):(0x00):(0x09):(0x03):", Info},
                   {"0f 01 ", Info},
                   {"Length inverse byte corrupt", Severe}},
                  "Length byte corrupt");
    StartOver();
    ExpectSessionWorks();
}

// The wake-up's complement of key byte 2 (0x8A): 0x75, no answer expected.
TEST_F(Kw1281LineFaults, KeyByte2ComplementEchoRows) {
    ecusim::Faults noFirstBlock;
    noFirstBlock.missingByteAt = 0;
    const std::vector<ComplementEchoCase> cases{
        {"changed echo",
         FaultOnValue(Effect::Replace, 0x75, 0x74),
         {},
         "Incorrect byte echo: (0x75) != (0x74)"},
        {"lost echo, silent ECU", FaultOnValue(Effect::Drop, 0x75), noFirstBlock,
         "Error receiving byte echo: (0x75)"},
        // The length byte of the ECU's first block arrives in the echo's place.
        {"lost echo, ECU goes on",
         FaultOnValue(Effect::Drop, 0x75),
         {},
         "Incorrect byte echo: (0x75) != (0x0F)"},
    };
    for (const ComplementEchoCase& c : cases) ExpectComplementEchoFailure(c, 0x75, {0x01, 0x8A});
    ExpectSessionWorks();
}

// ---- KWP2000 ----

class Kwp2000LineFaults : public LineFaultSession {
protected:
    void SetUp() override {
        StartEcu(ecusim::DefaultConfig(EcuProtocol::Kwp2000));
        ASSERT_EQ(WakeUp(2), S_OK);
        // The tester-present frame and the ECU's answer, as they go over the wire.
        std::vector<LONG> reply;
        ASSERT_EQ(Send({0x3E}, reply), S_OK);
        request = WireSince(Side::Tester);
        answer = WireSince(Side::Peer);
        ASSERT_GE(request.size(), 3u);
        ASSERT_FALSE(answer.empty());
        ASSERT_EQ(reply.front(), 0x7E);
    }
    Status Sending() const { return {"Sending Message: " + Listed(request), Info}; }
    Status Received() const { return {"Received Response: " + Listed(answer), Info}; }
    static Status Discarded(const std::vector<BYTE>& bytes) {
        return {"Discarded bytes received earlier: " + Listed(bytes), Info};
    }

    std::vector<BYTE> request;
    std::vector<BYTE> answer;
};

TEST_F(Kwp2000LineFaults, EchoRows) {
    auto corrupt = [](BYTE expected, BYTE received) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Echo Bytes are corrupt. Expected checksum:(0x%.2x). Received checksum "
                      ":(0x%.2x).",
                      expected, received);
        return std::string(text);
    };
    const std::size_t last = request.size() - 1;
    ecusim::Faults silence;
    silence.silence = true;
    struct Case {
        std::string name;
        kline::EchoFault fault;
        ecusim::Faults ecuFaults;
        BYTE hit;
        std::string status;  // empty: the call succeeds
        const char* error;
        // The ECU answered a request the tester gave up on: its answer is left unread.
        bool answerLeft = false;
    };
    const std::vector<Case> cases{
        // First-echo rule: up to 50 extra reads go past stray zeros before the format byte's
        // echo; with 51 the 0x00 stands.
        {"one stray zero", StrayZeros(1), {}, request[0], "", nullptr},
        {"50 stray zeros", StrayZeros(50), {}, request[0], "", nullptr},
        {"51 stray zeros",
         StrayZeros(51),
         {},
         request[0],
         corrupt(request[0], 0x00),
         "Echo Bytes are corrupt",
         true},
        {"changed echo",
         FaultOnValue(Effect::Replace, 0x3E, 0x3F),
         {},
         0x3E,
         corrupt(0x3E, 0x3F),
         "Echo Bytes are corrupt",
         true},
        {"lost echo, ECU silent", Fault(Effect::Drop, last), silence, request[last],
         "Expected " + std::to_string(request.size()) + " echo bytes. Received " +
             std::to_string(last) + " bytes",
         "Echo Bytes not received"},
        // The ECU's format byte arrives in the place of the checksum's echo.
        {"lost echo, ECU answers",
         Fault(Effect::Drop, last),
         {},
         request[last],
         corrupt(request[last], answer[0]),
         "Echo Bytes are corrupt",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ecu->SetFaults(c.ecuFaults);
        Inject(c.fault);
        sink.statuses.clear();
        std::vector<LONG> reply;
        const HRESULT hr = Send({0x3E}, reply);
        ExpectHitOn(c.hit);
        EXPECT_EQ(WireSince(Side::Tester), request);
        if (c.status.empty()) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(sink.statuses, (std::vector<Status>{Sending(), Received()}));
            ASSERT_FALSE(reply.empty());
            EXPECT_EQ(reply.front(), 0x7E);
        } else {
            EXPECT_TRUE(reply.empty());
            ExpectFailure(hr, {Sending(), {c.status, Severe}}, c.error);
        }
        // The session goes on; an answer left unread is discarded before the next request.
        clock.AdvanceNs(100'000'000);
        sink.statuses.clear();
        ASSERT_EQ(Send({0x3E}, reply), S_OK) << ::testing::PrintToString(sink.statuses);
        if (c.answerLeft) {
            ASSERT_EQ(sink.statuses.size(), 3u);
            EXPECT_EQ(sink.statuses[1].text.rfind("Discarded bytes received earlier: (0x", 0), 0u);
            EXPECT_EQ(sink.statuses[1].level, Info);
            sink.statuses.erase(sink.statuses.begin() + 1);
        }
        EXPECT_EQ(sink.statuses, (std::vector<Status>{Sending(), Received()}));
    }
}

// An ECU that heard the request answers it even when the tester gives up on the echo. The
// next exchange must not take that stale answer for its own echo: it is discarded, and shown.
TEST_F(Kwp2000LineFaults, StaleAnswerOfAFailedExchangeIsNotReadAsTheNextEcho) {
    Inject(FaultOnValue(Effect::Replace, 0x3E, 0x3F));
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION);
    TakeErrorText();
    clock.AdvanceNs(100'000'000);
    sink.statuses.clear();
    EXPECT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(sink.statuses, (std::vector<Status>{Sending(), Discarded(answer), Received()}));
    EXPECT_EQ(reply.front(), 0x7E);
}

// A frame that is no answer to the request (another unit's, a repeat) arrives right after
// its echo and is taken as the reply; the ECU's real answer follows and is left waiting.
// Rounds in which the ECU then sends nothing must fail, never return the tester's own echo
// (a well-formed frame) as the ECU's reply.
TEST_F(Kwp2000LineFaults, SilentRoundsAfterAnExtraAnswerNeverTakeTheOwnEchoForTheReply) {
    clock.AdvanceNs(100'000'000);
    line->PeerTransmit(answer.data(), answer.size(), platform::CurrentClock().NowNs() + 3'000'000);
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(reply, (std::vector<LONG>{0x7E}));
    ecusim::Faults silence;
    silence.silence = true;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        clock.AdvanceNs(100'000'000);
        ecu->SetFaults(silence);
        sink.statuses.clear();
        EXPECT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION) << ::testing::PrintToString(reply);
        EXPECT_EQ(sink.statuses.back(), (Status{"Response format byte not received", Severe}));
        EXPECT_EQ(TakeErrorText(), "Response format byte not received");
    }
    clock.AdvanceNs(100'000'000);
    sink.statuses.clear();
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(sink.statuses, (std::vector<Status>{Sending(), Received()}));
}

// The wake-up's complement of key byte 2 (0x8F): 0x70, answered by the address's complement.
TEST_F(Kwp2000LineFaults, KeyByte2ComplementEchoRows) {
    StartOver();
    ecusim::Faults noAnswer;
    noAnswer.noAddressComplement = true;
    const std::vector<ComplementEchoCase> cases{
        {"changed echo",
         FaultOnValue(Effect::Replace, 0x70, 0x71),
         {},
         "Incorrect byte echo: (0x70) != (0x71)"},
        {"lost echo, no answer", FaultOnValue(Effect::Drop, 0x70), noAnswer,
         "Error receiving byte echo: (0x70)"},
        // The ECU's answer 0xFE arrives in the echo's place.
        {"lost echo, ECU answers",
         FaultOnValue(Effect::Drop, 0x70),
         {},
         "Incorrect byte echo: (0x70) != (0xFE)"},
    };
    for (const ComplementEchoCase& c : cases) ExpectComplementEchoFailure(c, 0x70, {0xE9, 0x8F});
    ASSERT_EQ(WakeUp(2), S_OK);
    EXPECT_TRUE(sink.Has("Keyword 2 inverse reply OK", Info));
    std::vector<LONG> reply;
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
}

}  // namespace
}  // namespace exchange_test
