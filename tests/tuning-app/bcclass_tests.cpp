#include <gtest/gtest.h>

#include "dravik/bcClass.h"
#include "dravik/run_time_error.h"
#include "fake_comms.h"

namespace dravik {
namespace {

using testing::Answer;
using testing::Bytes;
using testing::FakeEcu;

// A KW1281 ECU with the usual replies: identification blocks, adaptation reads of `word`.
Answer Kw1281Ecu(const Bytes& request, std::int32_t word = 300) {
    switch (request.at(0)) {
        case 0x09:
            return Answer::Of({0xF6, 'E', 'C', 'U', 0x12, 0x34});
        case 0x21:
            return Answer::Of({0xE6, request.at(1), word >> 8, word & 0xFF});
        default:
            return Answer::Of({0x09});
    }
}

// A KWP2000 ECU: identification, positive answers to every routine, result word 300.
Answer Kwp2000Ecu(const Bytes& request) {
    if (request.at(0) == 0x1A) {
        std::vector<std::int32_t> reply{0x5A, 0x9B};
        for (char c : std::string("0261204")) reply.push_back(c);
        while (reply.size() < 22) reply.push_back(0x20);
        for (std::int32_t w : {1, 2, 3, 4, 5, 6}) reply.push_back(w);
        return Answer::Of(reply);
    }
    if (request.at(0) == 0x31) return Answer::Of({0x71, request.at(1), 1, 3, 0, 0, 0x01, 0x2C});
    return Answer::Of({request.at(0) + 0x40});
}

int ErrorNumber(auto&& call, std::string* description = nullptr) {
    try {
        call();
    } catch (const RunTimeError& e) {
        if (description) *description = e.Description();
        return e.Number();
    }
    return 0;
}

class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        session.SetDisconnectedHandler([this] {
            ++disconnectedEvents;
            EXPECT_FALSE(session.IsConnected());  // already false when raised
        });
    }

    void ConnectKw1281() {
        ecu.protocol = VAG1281;
        ecu.respond = [](const Bytes& r) { return Kw1281Ecu(r); };
        ASSERT_TRUE(session.Connect(2));
        ecu.sent.clear();
    }
    void ConnectKwp2000() {
        ecu.protocol = KWP2000;
        ecu.respond = Kwp2000Ecu;
        ASSERT_TRUE(session.Connect(2));
        ecu.sent.clear();
    }

    FakeEcu ecu;
    bcClass session{ecu.Factory()};
    int disconnectedEvents = 0;
};

const Bytes kReadOpen{0x31, 0xB8, 0x01, 0x03};
const Bytes kReadResult{0x31, 0xBA, 0x01, 0x03};
Bytes ReadChannel(std::uint8_t ch) { return {0x31, 0xB9, 0x01, 0x03, ch}; }
std::vector<Bytes> ReadSequence(std::uint8_t ch) {
    return {kReadOpen, kReadResult, ReadChannel(ch), kReadResult};
}
std::vector<Bytes> operator+(std::vector<Bytes> a, const std::vector<Bytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(SessionTest, Kw1281ConnectWakesAtAddressOneAndReadsIdentification) {
    ecu.answers = {Answer::Of({0xF6, 'A', 0x00, 'B'}), Answer::Of({0xF6, 0, 0, 0, 0xAB, 0xCD}),
                   Answer::Of({0xF6}), Answer::Of({0xF6})};
    ASSERT_TRUE(session.Connect(3));
    EXPECT_EQ(ecu.initializeCalls, (std::vector<std::vector<LONG>>{{3, 10400, 1}}));
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>(4, Bytes{0x09})));
    EXPECT_EQ(session.GetEcuType(), (std::u16string{u'A', 0, u'B'}));  // zero bytes kept
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(SessionTest, Kw1281ShortSecondIdentificationLeavesWorkshopBytesAtZero) {
    ecu.answers = {Answer::Of({0xF6, 'X'}), Answer::Of({0xF6, 1, 2, 3}), Answer::Of({0xF6}),
                   Answer::Of({0xF6})};
    ASSERT_TRUE(session.Connect(1));
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0, 0}));

    ecu.answers = {Answer::Of({0xF6, 'X'}), Answer::Of({0xF6, 1, 2, 3, 0x77}), Answer::Of({0xF6}),
                   Answer::Of({0xF6})};
    ASSERT_TRUE(session.Connect(1));
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x77, 0}));
}

TEST_F(SessionTest, Kw1281MissingFirstIdentificationLosesTheLinkDuringConnect) {
    ecu.answers = {Answer::NotArray()};
    EXPECT_FALSE(session.Connect(1));
    EXPECT_EQ(session.GetEcuType(), u"");
    EXPECT_EQ(ecu.sent.size(), 1u);  // nothing more once the link is lost
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0, 0}));
}

TEST_F(SessionTest, Kwp2000ConnectReadsIdentificationAndSixWorkshopBytes) {
    ecu.protocol = KWP2000;
    ecu.respond = Kwp2000Ecu;
    ASSERT_TRUE(session.Connect(0));
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x1A, 0x9B}}));
    EXPECT_EQ(session.GetEcuType().substr(0, 7), u"0261204");
    EXPECT_EQ(session.GetEcuType().size(), 26u);
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

    // A reply too short for the workshop code leaves the missing bytes at zero.
    ecu.answers = {Answer::Of(
        {0x5A, 0x9B, 'Q', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22})};
    ASSERT_TRUE(session.Connect(0));
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x11, 0x22, 0, 0, 0, 0}));
}

TEST_F(SessionTest, FailedWakeUpOrCreationReportsNoConnectionAndSendsNothing) {
    ConnectKw1281();
    ASSERT_FALSE(session.GetEcuType().empty());
    ecu.initializeResult = E_FAIL;
    EXPECT_FALSE(session.Connect(1));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(session.GetEcuType(), u"");
    EXPECT_TRUE(ecu.sent.empty());
    EXPECT_EQ(disconnectedEvents, 0);
    // The new object stays; the workshop code of the last identification too.
    EXPECT_EQ(ecu.created, 2);
    EXPECT_EQ(ecu.alive, 1);
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x12, 0x34}));

    ecu.createResult = REGDB_E_CLASSNOTREG;
    EXPECT_FALSE(session.Connect(1));
    EXPECT_EQ(ecu.alive, 0);
    EXPECT_EQ(session.ReadAdaptationValue(5), 0);  // no object: default, no error
}

TEST_F(SessionTest, WakeUpOnAnUnspokenProtocolClosesTheLinkAndFails) {
    for (LONG protocol : {LONG{KWPtester}, LONG{MCMESS}, LONG{42}}) {
        ecu.protocol = protocol;
        const int closes = ecu.closeCalls;
        EXPECT_FALSE(session.Connect(1)) << protocol;
        EXPECT_FALSE(session.IsConnected());
        EXPECT_EQ(ecu.closeCalls, closes + 1);
        EXPECT_TRUE(ecu.sent.empty());
        EXPECT_EQ(session.GetEcuType(), u"");
        EXPECT_EQ(session.ReadAdaptationValue(1), 0);
        EXPECT_EQ(session.TestAdaptationValue(1, 5), 0);
        EXPECT_EQ(disconnectedEvents, 0);
    }
}

TEST_F(SessionTest, UnreadableProtocolAtConnectIsRefusedLikeAnUnspokenOne) {
    ConnectKwp2000();
    ecu.protocolResult = E_FAIL;
    EXPECT_FALSE(session.Connect(1));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(ecu.closeCalls, 1);
    EXPECT_TRUE(ecu.sent.empty());
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));  // kept
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(SessionTest, ConnectedSessionSendsNothingWhileAnotherProtocolIsReported) {
    ConnectKw1281();
    ecu.protocol = MCMESS;
    EXPECT_EQ(session.ReadAdaptationValue(1), 0);
    EXPECT_EQ(session.TestAdaptationValue(1, 5), 0);
    EXPECT_EQ(session.SetAdaptationValue(1, 5, {}), 0);
    EXPECT_NO_THROW(session.ResetAdaptationValues({}));
    session.SendKeepalive();
    EXPECT_TRUE(session.IsConnected());
    session.Disconnect();
    EXPECT_TRUE(ecu.sent.empty());
    EXPECT_EQ(ecu.closeCalls, 1);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
}

TEST_F(SessionTest, Kwp2000MissingIdentificationLosesTheLinkDuringConnect) {
    ecu.protocol = KWP2000;
    ecu.answers = {Answer::Fail()};
    EXPECT_FALSE(session.Connect(1));
    EXPECT_EQ(session.GetEcuType(), u"");
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>(6, 0)));
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(SessionTest, EveryConnectReplacesTheObjectAndDisconnectKeepsIt) {
    ConnectKw1281();
    ConnectKw1281();
    EXPECT_EQ(ecu.created, 2);
    EXPECT_EQ(ecu.alive, 1);
    session.Disconnect();
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x06}}));
    EXPECT_EQ(ecu.closeCalls, 1);
    EXPECT_EQ(ecu.alive, 1);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x12, 0x34}));  // kept
    {
        bcClass other{ecu.Factory()};
        ecu.sent.clear();
        ASSERT_TRUE(other.Connect(1));
        EXPECT_EQ(ecu.alive, 2);
    }
    EXPECT_EQ(ecu.alive, 1);  // destroying the session releases its object
}

TEST_F(SessionTest, Kw1281ReadTestAndStoreRequests) {
    ConnectKw1281();
    EXPECT_EQ(session.ReadAdaptationValue(12), 300);
    EXPECT_EQ(session.TestAdaptationValue(9, 0x12345), 300);
    EXPECT_EQ(session.TestAdaptationValue(9, -1), 300);
    EXPECT_EQ(session.SetAdaptationValue(5, 0x0102, {0xAB, 0xCD}), 300);
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x21, 12},
                                            {0x22, 9, 0x23, 0x45},
                                            {0x21, 9},
                                            {0x22, 9, 0xFF, 0xFF},
                                            {0x21, 9},
                                            {0x2A, 5, 0x01, 0x02, 0x00, 0xAB, 0xCD},
                                            {0x21, 5}}));
}

TEST_F(SessionTest, Kw1281WordsOf32768AndMoreStayPositive) {
    ConnectKw1281();
    ecu.respond = [](const Bytes& r) { return Kw1281Ecu(r, 0xFFFF); };
    EXPECT_EQ(session.ReadAdaptationValue(12), 65535);
    ecu.respond = [](const Bytes& r) { return Kw1281Ecu(r, 0x8000); };
    EXPECT_EQ(session.ReadAdaptationValue(12), 32768);
}

TEST_F(SessionTest, Kw1281ReadFailures) {
    ConnectKw1281();
    std::string text;
    ecu.answers = {Answer::Of({0x0A, 12, 0, 0})};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }, &text), 1);
    EXPECT_EQ(text, "Channel could not be read.");
    EXPECT_TRUE(session.IsConnected());

    ecu.answers = {Answer::Of({0xE6, 12, 1})};  // too short for the value
    EXPECT_NE(ErrorNumber([&] { session.ReadAdaptationValue(12); }), 0);
    EXPECT_TRUE(session.IsConnected());

    ecu.answers = {Answer::Fail()};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }, &text), 1);
    EXPECT_EQ(text, errors::kSessionDefaultText);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(SessionTest, Kw1281TestAndStoreWithoutAnArrayReplyFailWithErrorOne) {
    ConnectKw1281();
    ecu.answers = {Answer::NotArray()};
    EXPECT_EQ(ErrorNumber([&] { session.TestAdaptationValue(9, 1); }), 1);
    EXPECT_EQ(disconnectedEvents, 1);
    // Down: nothing is sent, and the store fails the same way.
    ecu.sent.clear();
    EXPECT_EQ(ErrorNumber([&] { session.SetAdaptationValue(9, 1, {1, 2}); }), 1);
    EXPECT_TRUE(ecu.sent.empty());
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(SessionTest, ShortWorkshopCodeFailsBeforeTheStoreRequest) {
    ConnectKw1281();
    EXPECT_EQ(ErrorNumber([&] { session.SetAdaptationValue(5, 1, {0xAB}); }),
              errors::kSubscriptOutOfRange);
    EXPECT_TRUE(ecu.sent.empty());

    ConnectKwp2000();
    EXPECT_EQ(ErrorNumber([&] {
                  session.SetAdaptationValue(5, 1, {1, 2, 3, 4, 5});
              }),
              errors::kSubscriptOutOfRange);
    EXPECT_EQ(ecu.sent, ReadSequence(5));
}

TEST_F(SessionTest, Kwp2000ReadTestAndStoreSequences) {
    ConnectKwp2000();
    EXPECT_EQ(session.ReadAdaptationValue(12), 300);
    EXPECT_EQ(ecu.sent, ReadSequence(12));

    ecu.sent.clear();
    EXPECT_EQ(session.TestAdaptationValue(9, 0x12345), 300);
    const auto test = ReadSequence(9) +
                      std::vector<Bytes>{{0x31, 0xB9, 0x01, 0x03, 0x23, 0x45}, kReadResult} +
                      ReadSequence(9);
    EXPECT_EQ(ecu.sent, test);

    ecu.sent.clear();
    EXPECT_EQ(session.SetAdaptationValue(8, 0x0180, {1, 2, 3, 4, 5, 6}), 300);
    const auto store =
        ReadSequence(8) +
        std::vector<Bytes>{{0x31, 0xBB, 0x01, 0x03, 0x01, 0x80, 1, 2, 3, 4, 5, 6}, kReadResult} +
        ReadSequence(8);
    EXPECT_EQ(ecu.sent, store);
}

TEST_F(SessionTest, Kwp2000NegativeOrFailedRoutineKeepsTheLinkUp) {
    ConnectKwp2000();
    std::string text;
    ecu.answers = {Answer::Of({0x7F, 0x31, 0x22})};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }, &text), 1);
    EXPECT_EQ(text, "Failed Request.");
    EXPECT_EQ(ecu.sent.size(), 1u);

    ecu.answers = {Answer::Fail("Timeout waiting for response.")};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }, &text), E_FAIL);
    EXPECT_EQ(text, "Timeout waiting for response.");

    ecu.answers = {Answer::Fail("")};  // no error information: the failure still reads sanely
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }, &text), E_FAIL);
    EXPECT_EQ(text, "Automation error");

    ecu.answers = {Answer::Empty()};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }), errors::kSubscriptOutOfRange);

    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 0);
    // The next keep-alive finds the loss.
    ecu.answers = {Answer::Fail()};
    session.SendKeepalive();
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(SessionTest, ResetRequestsOfBothProtocols) {
    ConnectKw1281();
    session.ResetAdaptationValues({0xAB, 0xCD});
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x2A, 0, 0, 0, 0, 0xAB, 0xCD}, {0x21, 0}}));

    ConnectKwp2000();
    session.ResetAdaptationValues({1, 2, 3, 4, 5, 6});
    const auto reset =
        ReadSequence(0) + std::vector<Bytes>{{0x31, 0xB9, 0x01, 0x03, 0, 0}, kReadResult} +
        ReadSequence(0) +
        std::vector<Bytes>{{0x31, 0xBB, 0x01, 0x03, 0, 0, 1, 2, 3, 4, 5, 6}, kReadResult};
    EXPECT_EQ(ecu.sent, reset);
}

TEST_F(SessionTest, ResetIgnoresFailuresAndAttemptsEveryStep) {
    ConnectKwp2000();
    ecu.respond = [](const Bytes& r) {
        return r.at(0) == 0x31 ? Answer::Of({0x7F, 0x31}) : Kwp2000Ecu(r);
    };
    EXPECT_NO_THROW(session.ResetAdaptationValues({}));  // workshop too short as well
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{kReadOpen, kReadResult}));
    EXPECT_TRUE(session.IsConnected());

    bcClass fresh{ecu.Factory()};
    EXPECT_NO_THROW(fresh.ResetAdaptationValues({}));  // before any connect
}

TEST_F(SessionTest, KeepaliveLosesTheLinkOnceOnAnEmptyReply) {
    ConnectKw1281();
    session.SendKeepalive();
    ConnectKwp2000();
    session.SendKeepalive();
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x3E}}));
    ecu.answers = {Answer::Empty()};
    session.SendKeepalive();
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(disconnectedEvents, 1);
    session.SendKeepalive();
    EXPECT_EQ(ecu.sent.size(), 2u);
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(SessionTest, DisconnectClosesEvenWhenTheEndRequestFails) {
    ConnectKwp2000();
    ecu.answers = {Answer::Fail()};
    session.Disconnect();
    EXPECT_EQ(ecu.sent, (std::vector<Bytes>{{0x82}}));
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(ecu.closeCalls, 1);
    EXPECT_FALSE(session.IsConnected());

    ecu.closeResult = E_FAIL;
    EXPECT_EQ(ErrorNumber([&] { session.Disconnect(); }), E_FAIL);
}

TEST_F(SessionTest, CallsBeforeTheFirstConnect) {
    EXPECT_EQ(session.ReadAdaptationValue(1), 0);
    EXPECT_FALSE(session.GetWorkShopCode().has_value());
    EXPECT_EQ(session.GetEcuType(), u"");
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(ErrorNumber([&] { session.Disconnect(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { session.SendKeepalive(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { session.TestAdaptationValue(1, 1); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] {
                  session.SetAdaptationValue(1, 1, {1, 2});
              }),
              errors::kObjectNotSet);
    EXPECT_EQ(ecu.created, 0);
}

TEST_F(SessionTest, HandlerMayDisconnectOrReconnectInsideTheFailingOperation) {
    ConnectKw1281();
    session.SetDisconnectedHandler([&] { session.Disconnect(); });
    ecu.answers = {Answer::Fail()};
    EXPECT_EQ(ErrorNumber([&] { session.ReadAdaptationValue(12); }), 1);
    EXPECT_EQ(ecu.closeCalls, 1);
    EXPECT_EQ(ecu.sent.size(), 1u);  // the end request is not sent on a lost link

    // A handler that reconnects to another ECU while an identification is in progress.
    ecu.protocol = KWP2000;
    ecu.respond = Kwp2000Ecu;
    ecu.answers = {Answer::Empty()};
    int reconnects = 0;
    session.SetDisconnectedHandler([&] {
        if (reconnects++ == 0) {
            ecu.protocol = VAG1281;
            ecu.respond = [](const Bytes& r) { return Kw1281Ecu(r); };
            session.Connect(1);
        }
    });
    session.Connect(1);
    EXPECT_EQ(reconnects, 1);
    EXPECT_TRUE(session.IsConnected());
    EXPECT_EQ(session.GetWorkShopCode(), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(ecu.alive, 1);

    session.SetDisconnectedHandler([] { throw std::runtime_error("handler failed"); });
    ecu.answers = {Answer::Fail()};
    EXPECT_NO_THROW(session.SendKeepalive());
    EXPECT_FALSE(session.IsConnected());
}

}  // namespace
}  // namespace dravik
