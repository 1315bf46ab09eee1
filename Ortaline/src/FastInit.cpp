// Fast (ISO 14230) wake-up: 25 ms low, 25 ms high shortened by the stored correction,
// then a start request whose positive answer carries the key bytes.
#include <memory>

#include "BoschComms.h"
#include "CorrectionStore.h"
#include "Guarded.h"
#include "KeyBytesOut.h"
#include "RaisedPriority.h"
#include "clock/win_time.h"

using ortaline::Guarded;

namespace {

constexpr LONG kLineBaud = 10400;
constexpr std::int32_t kIdleBeforePatternMs = 350;
constexpr std::int64_t kPhaseMs = 25;
constexpr BYTE kTesterAddress = 0xF1;
constexpr BYTE kStartCommunication = 0x81;
constexpr BYTE kStartNinthBitMode = 0xA0;
// Its low two bits ask for physical addressing in the format byte.
constexpr std::int32_t kStartNinthBitAddressing = 0x82;
constexpr BYTE kPositiveOffset = 0x40;

// The object's protocol for the length of the start exchange: its answer is an ISO 14230
// frame whatever the object spoke before.
class ProtocolForExchange {
public:
    ProtocolForExchange(std::int32_t& protocol, std::int32_t during)
        : m_protocol(protocol), m_saved(protocol) {
        m_protocol = during;
    }
    ~ProtocolForExchange() { m_protocol = m_saved; }
    ProtocolForExchange(const ProtocolForExchange&) = delete;
    ProtocolForExchange& operator=(const ProtocolForExchange&) = delete;

private:
    std::int32_t& m_protocol;
    std::int32_t m_saved;
};

// Polls the counter until it has passed deadline; the last reading. A counter that stops
// answering ends the wait at once rather than never.
std::int64_t PollPast(std::int64_t deadline) {
    LARGE_INTEGER now{};
    for (;;) {
        if (!QueryPerformanceCounter(&now)) return deadline;
        if (now.QuadPart > deadline) return now.QuadPart;
    }
}

// The UART reads the low phase as one 0x00 byte. It is dropped while the high phase is
// still running, so that the exchange finds no byte left to report and the time between the
// end of the high phase and the first request byte stays free of it.
void EndLowPhase(CPort& port) {
    DriveKLine(port, true);
    port.ClearReadBuffer();
}

}  // namespace

HRESULT BoschComms::InitializeFast(LONG SerialPort, LONG EcuAddress, VARIANT* retVal) {
    return InitializeFast2(SerialPort, EcuAddress, 1, 0, retVal);
}

HRESULT BoschComms::InitializeFast2(LONG SerialPort, LONG EcuAddress, LONG kw2000, LONG mode,
                                    VARIANT* retVal) {
    if (retVal == nullptr) return E_POINTER;
    VariantInit(retVal);
    bool entered = false;
    const HRESULT hr = Guarded(*this, [&]() -> HRESULT {
        entered = true;
        m_bEcuInitialized = 1;
        if (const HRESULT created = NewKeyBytesArray(retVal); FAILED(created)) return created;
        ortaline::KeyBytesOut keyBytes(retVal->parray);
        return FastInitialize(SerialPort, EcuAddress, kw2000 != 0, mode, keyBytes.kw1,
                              keyBytes.kw2);
    });
    if (entered && FAILED(hr)) m_bEcuInitialized = 0;
    if (entered) ortaline::DropMissingArray(retVal);
    return hr;
}

HRESULT BoschComms::FastInitialize(LONG SerialPort, LONG EcuAddress, bool kw2000, LONG mode,
                                   LONG& kw1Out, LONG& kw2Out) {
    m_pfnExchange = &BoschComms::ExchangeMessage;
    m_nFastInitMode = mode;
    m_nFastInitSerialPort = SerialPort;

    if (m_pPort == nullptr || !m_pPort->IsOpen()) {
        put_CableType(SerialPort == 0 ? USBPortConnection : SerialPortConnection);
    }
    if (m_pPort == nullptr) return Error("No Port Specified");

    std::unique_ptr<CMessage> request(CreateMessage(KWP2000));
    if (!OpenPort(SerialPort, kLineBaud)) {
        const char* text = "Failed serial port initialization";
        Fire_Status(text, Severe);
        return Error(text);
    }
    PrepareLineForWakeUp();
    Fire_Status("Fast Initializing Ortaline", Info);

    const BYTE startService = kw2000 ? kStartCommunication : kStartNinthBitMode;
    request->SetOptions(true, false, true, true, true);
    request->StartMessage(0);
    if (kw2000) {
        request->SetAddressingMode(m_pMessage != nullptr ? m_pMessage->GetAddressingMode()
                                                         : BYTE{PhysicalAddressing});
    } else {
        request->SetAddressingMode(kStartNinthBitAddressing);
    }
    request->SetServiceId(startService);
    request->SetSourceAddress(kTesterAddress);
    request->SetTargetAddress(static_cast<BYTE>(EcuAddress));
    if (!kw2000) request->AddDataByte(static_cast<BYTE>(mode));
    request->Build();

    RaisedPriority priority;
    DriveKLine(*m_pPort, true);
    WaitInMS(kIdleBeforePatternMs);
    Fire_Status("Sending Fast Initialization Message: " + request->FormatFrame(), Info);

    ortaline::CorrectionStore store;
    const std::string valueName = ortaline::CorrectionStore::ValueName(m_pPort->GetPortName());
    store.Load(valueName, m_nCorrectionFactor);

    const std::int64_t tEnd = SendWakeUpPattern();

    Fire_Status("A", Info);
    DWORD errors = 0;
    m_pPort->ClearError(errors);
    m_pPort->SetDTR();
    Fire_Status("B", Info);

    CByteArray echo;
    CByteArray reply;
    // Stays at the end of the high phase (a gap of 0) unless the exchange stamps the start
    // of its first byte.
    m_nCorrectionFactor = tEnd;
    HRESULT result = S_OK;
    try {
        ProtocolForExchange asIso14230(m_nProtocol, KWP2000);
        result =
            ExchangeMessage(request->GetFrameData(),
                            static_cast<std::int32_t>(request->GetFrameSize()), echo, reply, true);
    } catch (...) {
        m_nCorrectionFactor = 0;  // it may hold a raw counter reading
        throw;
    }
    m_nCorrectionFactor -= tEnd;
    if (!store.Store(valueName, m_nCorrectionFactor)) m_nCorrectionFactor = 0;

    if (FAILED(result)) return result;
    const BYTE positive = static_cast<BYTE>(startService + kPositiveOffset);
    if (!reply.IsEmpty() && reply[0] != positive) {
        const char* text =
            "Negative response received to StartComms request after Fast "
            "Initialization";
        Fire_Status(text, Severe);
        return Error(text);
    }
    if (reply.GetSize() < 3) {
        const char* text =
            "Incomplete response received to StartComms request after Fast "
            "Initialization";
        FireStatusF(Severe, "%s: %i of 3 bytes", text, static_cast<int>(reply.GetSize()));
        return Error(text);
    }
    const BYTE kw1 = reply[1];
    const BYTE kw2 = reply[2];
    kw1Out = kw1;
    kw2Out = kw2;

    if (kw2000) {
        m_nProtocol = KWP2000;
        m_pfnExchange = &BoschComms::ExchangeMessage;
    } else {
        m_nProtocol = MCMESS;
        m_pfnExchange = &BoschComms::ExchangeMessageNinthBit;
        // The serial port keeps its parity until the first exchange sets one per byte; the
        // cable is given space parity.
        SetMcMessLine(std::nullopt);
    }
    if (m_pMessage == nullptr || m_pMessage->GetProtocolId() != m_nProtocol) {
        CMessage* message = CreateMessage(m_nProtocol);
        delete m_pMessage;
        m_pMessage = message;
    }
    Fire_Status(DecodeKeywords(kw1, kw2), Info);
    Fire_Status("ECU Fast Initialization successful", Info);
    return S_OK;
}

std::int64_t BoschComms::SendWakeUpPattern() {
    m_pPort->ClearDTR();
    const std::int64_t ticksPerMs = m_nCounterFrequency / 1000;
    LARGE_INTEGER start{};
    if (ticksPerMs <= 0 || !QueryPerformanceCounter(&start)) {
        // No counter to time the phases on: the millisecond sleep times them, uncorrected.
        DriveKLine(*m_pPort, false);
        Sleep(kPhaseMs);
        EndLowPhase(*m_pPort);
        Sleep(kPhaseMs);
        LARGE_INTEGER now{};
        return QueryPerformanceCounter(&now) ? now.QuadPart : 0;
    }
    const std::int64_t ticks25 = ticksPerMs * kPhaseMs;
    // Anything outside one phase (negative, huge, measured on a counter of another
    // frequency) would turn the high phase into an unbounded wait or drop it: it counts as 0.
    const std::int64_t correction =
        m_nCorrectionFactor >= 0 && m_nCorrectionFactor <= ticks25 ? m_nCorrectionFactor : 0;
    const std::int64_t lowEnd = start.QuadPart + ticks25;
    DriveKLine(*m_pPort, false);
    PollPast(lowEnd);
    const std::int64_t highEnd = lowEnd + ticks25 - correction;
    EndLowPhase(*m_pPort);
    return PollPast(highEnd);
}
