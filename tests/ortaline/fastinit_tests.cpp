// Fast initialisation end to end: the library registered from its file and created by
// ProgID, COM1 mapped to a virtual K-line with a simulated ECU, on the simulated clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "clock/win_time.h"
#include "ftdi/device_choice.h"
#include "library_client.h"

namespace {

using core_test::StatusEvent;
using ecusim::EcuProtocol;
using Bytes = std::vector<BYTE>;
using Longs = std::vector<LONG>;

constexpr const char* kCorrectionKey =
    "Software\\VB and VBA Program Settings\\GARVOLEX\\CONNECTION";
constexpr double kMs = 1e6;

Longs Elements(const VARIANT& v) { return core_test::ReplyElements(v); }

class FastInitTest : public core_test::EcuClientTest {
protected:
    void SetUp() override { CreateComms(); }

    // An ECU on a fresh line that COM1 (port 0: the USB cable) leads to from now on.
    ecusim::EcuSimulator& StartEcu(ecusim::EcuConfig config) {
        return EcuClientTest::StartEcu(std::move(config),
                                       port == 0 ? ftdi::kUsbDeviceValue : "COM1");
    }
    ecusim::EcuSimulator& StartEcu(EcuProtocol protocol, BYTE address) {
        ecusim::EcuConfig config = ecusim::DefaultConfig(protocol);
        config.address = address;
        return StartEcu(config);
    }

    HRESULT FastInit(LONG address, LONG kw2000 = 1, LONG mode = 0) {
        line->ClearRecords();
        sink.events.clear();
        VARIANT out;
        VariantInit(&out);
        const HRESULT hr = kw2000 == 1 && mode == 0
                               ? comms->InitializeFast(port, address, &out)
                               : comms->InitializeFast2(port, address, kw2000, mode, &out);
        keys = Elements(out);
        VariantClear(&out);
        return hr;
    }
    // With the line's records and the events of this call only.
    HRESULT Send(const std::vector<LONGLONG>& request, Longs& reply) {
        line->ClearRecords();
        sink.events.clear();
        return EcuClientTest::Send(request, reply);
    }
    LONG Protocol() {
        ::Protocol p{};
        comms->GetProtocol(&p);
        return p;
    }

    // The tester's bytes on the wire since the last call began, with their framings.
    std::vector<kline::WireByte> TesterBytes() const {
        std::vector<kline::WireByte> bytes;
        for (const auto& b : line->Traffic()) {
            if (b.sender == kline::Side::Tester) bytes.push_back(b);
        }
        return bytes;
    }
    Bytes TesterValues(std::size_t count) const {
        Bytes values;
        for (const auto& b : TesterBytes()) {
            if (values.size() < count) values.push_back(b.value);
        }
        return values;
    }
    // Low phase, and high phase up to the first start bit, of the last call's pattern (ms).
    std::pair<double, double> Phases() const {
        std::vector<std::int64_t> edges;
        for (const auto& e : line->Events()) {
            if (e.kind == kline::LineEvent::Kind::Level && edges.size() < 3) {
                edges.push_back(e.timeNs);
            }
        }
        if (edges.size() < 3) return {0, 0};
        return {(edges[1] - edges[0]) / kMs, (edges[2] - edges[1]) / kMs};
    }

    // The request 0x12 (ninth bit set), 0x34 (clear) went out with mark and space parity,
    // and the ECU answered 0x52 0x34.
    void ExpectNinthBitRequestAnswered() const {
        const auto sent = TesterBytes();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].framing.parity, kline::Parity::Mark);
        EXPECT_EQ(sent[1].framing.parity, kline::Parity::Space);
        EXPECT_EQ(ecu->Log().back().bytes, (Bytes{0x52, 0x34}));
    }

    void ExpectFailed(const std::string& error) {
        EXPECT_EQ(core_test::TakeError().description, error);
        EXPECT_EQ(keys, (Longs{0, 0}));
        Longs reply;
        EXPECT_EQ(Send({0x3E}, reply), DISP_E_EXCEPTION);
        EXPECT_EQ(core_test::TakeError().description, "Cannot send Command. ECU not initialized");
    }
    void ExpectPriorityRestored() {
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    }

    // The stored correction: type and value; REG_NONE when there is none.
    std::pair<DWORD, std::int64_t> StoredCorrection(const char* name = "SER_CorrectionFactor") {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kCorrectionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return {REG_NONE, 0};
        }
        std::int64_t value = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS) {
            type = REG_NONE;
        }
        RegCloseKey(key);
        return {type, value};
    }
    void StoreCorrection(DWORD type, std::int64_t value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kCorrectionKey, 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD size = type == REG_DWORD ? 4 : 8;
        ASSERT_EQ(RegSetValueExA(key, "SER_CorrectionFactor", 0, type,
                                 reinterpret_cast<const BYTE*>(&value), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    Longs keys;
    LONG port = 1;
};

TEST_F(FastInitTest, StartCommunicationThenKwp2000Requests) {
    StartEcu(EcuProtocol::Kwp2000, 0x33);
    ASSERT_EQ(FastInit(0x33), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(keys, (Longs{0xE9, 0x8F}));
    EXPECT_EQ(Protocol(), KWP2000);
    EXPECT_EQ(TesterValues(5), (Bytes{0x81, 0x33, 0xF1, 0x81, 0x26}));
    const auto [low, high] = Phases();
    EXPECT_NEAR(low, 25.0, 0.01);
    EXPECT_NEAR(high, 25.0, 0.01);
    ASSERT_EQ(ecu->FastInitReports().size(), 1u);
    EXPECT_TRUE(ecu->FastInitReports()[0].woke);
    EXPECT_TRUE(HasStatus("Fast Initializing Ortaline"));
    EXPECT_TRUE(
        HasStatus("Sending Fast Initialization Message: (0x81):(0x33):(0xF1):(0x81):(0x26):"));
    EXPECT_TRUE(HasStatus("ECU Fast Initialization successful"));
    // The UART's reading of the low phase is no byte received earlier.
    EXPECT_FALSE(HasStatus("Discarded bytes received earlier: ", Info, true));
    ExpectPriorityRestored();

    Longs reply;
    ASSERT_EQ(Send({0x1A, 0x9B}, reply), S_OK);
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_EQ(reply[0], 0x5A);

    // Functional addressing chosen on the same object goes into the next start request.
    ASSERT_EQ(comms->put_AddressingMode(FunctionalAddressing), S_OK);
    ASSERT_EQ(FastInit(0x33), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(TesterValues(5), (Bytes{0xC1, 0x33, 0xF1, 0x81, 0x66}));
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(reply, Longs{0x7E});
}

TEST_F(FastInitTest, McMessStartThenNinthBitExchange) {
    StartEcu(EcuProtocol::McMess, 0x10);
    ASSERT_EQ(FastInit(0x10, 0, 0xA6), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(TesterValues(6), (Bytes{0x82, 0x10, 0xF1, 0xA0, 0xA6, 0xC9}));
    EXPECT_EQ(keys, (Longs{0xE9, 0x8F}));
    EXPECT_EQ(Protocol(), MCMESS);
    EXPECT_EQ(line->TesterFraming().stopBits, kline::StopBits::Two);
    EXPECT_EQ(line->TesterFraming().dataBits, 8);

    // Two bytes out (0x12 with its ninth bit, 0x34 without); back come their echoes and the
    // answer 0x52 (ninth bit: four bytes in the insertion stream), 0x34 and the sum 0x86.
    Longs reply;
    ASSERT_EQ(Send({8, 0x12, 1, 0x34, 0}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x12, 0, 0x34, 0, 0x52, 0x64, 0x34, 0, 0x86, 0}));
    ExpectNinthBitRequestAnswered();
    EXPECT_TRUE(HasStatus("Received Response: 012 034  => 152 034 086 "));

    // An ECU that keeps quiet: the echo alone, then the missing byte is reported.
    ecusim::Faults quiet;
    quiet.silence = true;
    ecu->SetFaults(quiet);
    ASSERT_EQ(Send({4, 0x12, 1}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x12, 0}));
    EXPECT_TRUE(HasStatus("Byte not received (buffer: 12)", Warning));
    EXPECT_TRUE(HasStatus("Received Response: 012 "));

    // A new start from the middle of the session finds both sides back at 8N1.
    ASSERT_EQ(FastInit(0x10, 0, 0x01), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(line->TesterFraming().stopBits, kline::StopBits::One);
    ASSERT_EQ(Send({6, 0x12, 1, 0x34, 0}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x12, 0, 0x34, 0, 0x52, 0x64, 0x34, 0, 0x86, 0}));

    // A late answer whose escape the read count ends on: the rest, queued by then, is read.
    ecusim::Faults late;
    late.lateMs = 50;
    ecu->SetFaults(late);
    ASSERT_EQ(Send({3, 0x12, 1, 0x34, 0}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x12, 0, 0x34, 0, 0x52, 0x64}));
}

TEST_F(FastInitTest, CorrectionStoredByOneCallShortensTheNextHighPhase) {
    StartEcu(EcuProtocol::Kwp2000, 0x01);
    // A slow sink stretches the time from the end of the high phase to the first byte.
    sink.onEvent = [this](const StatusEvent& e) {
        if (e.text == "A") clock.AdvanceNs(3'000'000);
    };
    EXPECT_EQ(StoredCorrection().first, static_cast<DWORD>(REG_NONE));
    // 25 ms + 3 ms high is outside the ECU's window: no answer, but the gap is measured.
    EXPECT_EQ(FastInit(0x01), DISP_E_EXCEPTION);
    EXPECT_NEAR(Phases().second, 28.0, 0.01);
    const auto [type, ticks] = StoredCorrection();
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    EXPECT_NEAR(static_cast<double>(ticks), 30'000.0, 20.0);  // 3 ms of 10 MHz ticks
    ExpectFailed("Response format byte not received");

    ASSERT_EQ(FastInit(0x01), S_OK) << core_test::TakeError().description;
    EXPECT_NEAR(Phases().second, 25.0, 0.01);
    ExpectPriorityRestored();

    // Stored values that are no correction count as 0, and are replaced by a measured one.
    sink.onEvent = nullptr;
    for (auto [storedType, value] : {std::pair<DWORD, std::int64_t>{REG_QWORD, -20'000},
                                     {REG_QWORD, 1'000'000'000'000},
                                     {REG_DWORD, 30'000}}) {
        StoreCorrection(storedType, value);
        ASSERT_EQ(FastInit(0x01), S_OK) << value << ": " << core_test::TakeError().description;
        EXPECT_NEAR(Phases().second, 25.0, 0.01) << value;
        const auto [newType, newTicks] = StoredCorrection();
        EXPECT_EQ(newType, static_cast<DWORD>(REG_QWORD));
        EXPECT_GE(newTicks, 0);
        EXPECT_LT(newTicks, 100);
    }
}

TEST_F(FastInitTest, FailedStartsLeaveTheObjectUninitialisedAtNormalPriority) {
    auto& unit = StartEcu(EcuProtocol::Kwp2000, 0x01);
    const std::string negative =
        "Negative response received to StartComms request after Fast Initialization";
    const std::string incomplete =
        "Incomplete response received to StartComms request after Fast Initialization";
    struct Case {
        ecusim::Faults faults;
        std::string error;
    };
    std::vector<Case> cases(5);
    cases[0].faults.negativeCode = 0x10;
    cases[0].error = negative;
    cases[1].faults.shortAnswerBytes = 2;
    cases[1].error = incomplete;
    cases[2].faults.silence = true;
    cases[2].error = "Response format byte not received";
    cases[3].faults.badChecksum = true;
    cases[3].error = "Invalid checksum on returned data";
    cases[4].faults.lateMs = 2000;  // last: its answer comes after the call has ended
    cases[4].error = "Response format byte not received";
    for (const Case& c : cases) {
        unit.SetFaults(c.faults);
        EXPECT_EQ(FastInit(0x01), DISP_E_EXCEPTION) << c.error;
        ASSERT_FALSE(sink.events.empty());
        EXPECT_EQ(sink.events.back().level, Severe);
        EXPECT_EQ(sink.events.back().text.rfind(c.error, 0), 0u) << sink.events.back().text;
        ExpectFailed(c.error);
        ExpectPriorityRestored();
        EXPECT_EQ(StoredCorrection().first, static_cast<DWORD>(REG_QWORD)) << c.error;
    }

    // The cable pulled out between the pattern and the request: a port failure at raised
    // priority still ends as a failed wake-up, at normal priority.
    unit.SetFaults({});
    sink.onEvent = [this](const StatusEvent& e) {
        if (e.text == "B") line->SetTesterConnected(false);
    };
    EXPECT_EQ(FastInit(0x01), DISP_E_EXCEPTION);
    ExpectPriorityRestored();
    line->SetTesterConnected(true);
    ASSERT_FALSE(sink.events.empty());
    const std::string portError = sink.events.back().text;
    EXPECT_EQ(portError.rfind("Serial port error: ", 0), 0u) << portError;
    ExpectFailed(portError);
}

TEST_F(FastInitTest, StartAnswerIsReadAsKwp2000AfterAKw1281Session) {
    StartEcu(EcuProtocol::Kw1281, 0x01);
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(comms->Initialize(1, 10400, 0x01, &out), S_OK);
    VariantClear(&out);
    EXPECT_EQ(Protocol(), VAG1281);
    ASSERT_EQ(comms->Close(), S_OK);

    StartEcu(EcuProtocol::Kwp2000, 0x01);
    ASSERT_EQ(FastInit(0x01), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(Protocol(), KWP2000);
    Longs reply;
    ASSERT_EQ(Send({0x3E}, reply), S_OK);
    EXPECT_EQ(reply, Longs{0x7E});
}

// The same over the USB cable (port 0), through the virtual FTDI chip.
TEST_F(FastInitTest, UsbCableStartCommunicationThenKwp2000Requests) {
    port = 0;
    StartEcu(EcuProtocol::Kwp2000, 0x33);
    ASSERT_EQ(FastInit(0x33), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(TesterValues(5), (Bytes{0x81, 0x33, 0xF1, 0x81, 0x26}));
    EXPECT_NEAR(Phases().first, 25.0, 0.01);
    EXPECT_NEAR(Phases().second, 25.0, 0.01);
    EXPECT_FALSE(HasStatus("Discarded bytes received earlier: ", Info, true));
    Longs reply;
    ASSERT_EQ(Send({0x1A, 0x9B}, reply), S_OK);
    ASSERT_EQ(reply.size(), 32u);
    // The cable keeps its own correction.
    EXPECT_EQ(StoredCorrection("USB_CorrectionFactor").first, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(StoredCorrection("SER_CorrectionFactor").first, static_cast<DWORD>(REG_NONE));
}

TEST_F(FastInitTest, UsbCableMcMessExchangeWithoutLineStatusInsertion) {
    port = 0;
    StartEcu(EcuProtocol::McMess, 0x10);
    ASSERT_EQ(FastInit(0x10, 0, 0xA6), S_OK) << core_test::TakeError().description;
    EXPECT_EQ(TesterValues(6), (Bytes{0x82, 0x10, 0xF1, 0xA0, 0xA6, 0xC9}));
    const kline::Framing ninth{10400, 8, kline::Parity::Space, kline::StopBits::Two};
    EXPECT_EQ(line->TesterFraming(), ninth);

    // The chip cannot insert line statuses: every byte comes with status 0.
    Longs reply;
    ASSERT_EQ(Send({5, 0x12, 1, 0x34, 0}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x12, 0, 0x34, 0, 0x52, 0, 0x34, 0, 0x86, 0}));
    EXPECT_TRUE(HasStatus("SetInsertChar() failed. W32 error code: ", Info, true));
    ExpectNinthBitRequestAnswered();

    // At a rate changed since the opening, space parity once the mark byte has left the wire.
    VARIANT_BOOL changed = VARIANT_FALSE;
    ASSERT_EQ(comms->ChangeBaudRate(2400, &changed), S_OK);
    ASSERT_EQ(Send({2, 0x12, 1, 0x34, 0}, reply), S_OK);
    const std::int64_t markEndNs = TesterBytes().at(0).endNs;
    const auto& events = line->Events();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const kline::LineEvent& e) {
        return e.framing.parity == kline::Parity::Space && e.timeNs >= markEndNs;
    }));
}

// Bytes that arrive after an exchange (a late answer) are not the next exchange's echo.
TEST_F(FastInitTest, McMessExchangeDiscardsBytesLeftFromEarlier) {
    StartEcu(EcuProtocol::McMess, 0x10);
    ASSERT_EQ(FastInit(0x10, 0, 0xA6), S_OK) << core_test::TakeError().description;
    Longs reply;
    ASSERT_EQ(Send({8, 0x12, 1, 0x34, 0}, reply), S_OK);
    const Longs clean = reply;
    const Bytes late{0x52, 0x34, 0x86};
    line->PeerTransmit(late.data(), late.size(), clock.NowNs());
    clock.AdvanceNs(100'000'000);
    ASSERT_EQ(Send({8, 0x12, 1, 0x34, 0}, reply), S_OK);
    EXPECT_EQ(reply, clean);
    EXPECT_TRUE(HasStatus("Discarded bytes received earlier: ", Info, true));

    // A request of the read count alone sends nothing and collects what is waiting...
    line->PeerTransmit(late.data(), late.size(), clock.NowNs());
    clock.AdvanceNs(100'000'000);
    ASSERT_EQ(Send({3}, reply), S_OK);
    EXPECT_EQ(reply, (Longs{0x52, 0, 0x34, 0, 0x86, 0}));
    EXPECT_TRUE(TesterBytes().empty());
    // ...and with nothing waiting ends with the missing byte and an empty reply.
    ASSERT_EQ(Send({2}, reply), S_OK);
    EXPECT_TRUE(reply.empty());
    EXPECT_TRUE(HasStatus("Byte not received (buffer: 00)", Warning));
    EXPECT_TRUE(HasStatus("Received Response: "));
}

}  // namespace
