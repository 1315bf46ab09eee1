// Slow (5-baud) wake-up at an ECU address, and the key bytes that tell the protocol.
#include <cstdio>
#include <string>

#include "BoschComms.h"
#include "KeyBytesOut.h"
#include "clock/win_time.h"

namespace {

constexpr DWORD kSyncSettleMs = 30;
constexpr DWORD kSyncWindowMs = 300;
constexpr DWORD kKeyword2InverseDelayMs = 25;
constexpr BYTE kSyncByte = 0x55;

void AppendHex(std::string& trace, BYTE b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x ", b);
    trace += text;
}

}  // namespace

HRESULT BoschComms::InitializeSlow(LONG EcuAddress, VARIANT* retVal, int method) {
    if (retVal == nullptr) return E_POINTER;
    if (const HRESULT hr = NewKeyBytesArray(retVal); FAILED(hr)) return hr;
    ortaline::KeyBytesOut keyBytes(retVal->parray);

    if (m_pPort == nullptr || !m_pPort->IsOpen()) {
        Fire_Status("Serial port is not open", Severe);
        return Error("Serial port is not open");
    }

    PrepareLineForWakeUp();

    switch (method) {
        case 1:
            SendFiveBaudByte(EcuAddress);
            break;
        case 2:
            SendFiveBaudByteAccurate(EcuAddress);
            break;
        case 3:
            if (SendFiveBaudByteViaUart(EcuAddress) != 0) {
                return Error("Initialization failed: the port cannot send at 5 baud");
            }
            break;
        default:
            return Error("Invalid Initialization Method");
    }

    Fire_Status("Waiting for response...", Info);
    Sleep(kSyncSettleMs);
    const DWORD t0 = GetTickCount();
    BYTE b = 0;
    bool received = false;
    std::string trace;
    for (;;) {
        if (m_pPort->Read(&b, 1) != 0) received = true;
        DWORD errors = 0;
        m_pPort->ClearError(errors);
        AppendHex(trace, b);
        if (b == kSyncByte || GetTickCount() - t0 >= kSyncWindowMs) break;
    }
    Fire_Status(trace, Info);

    if (b != kSyncByte) {
        const HRESULT result =
            Error("Initialization failed: Did not received synchronization byte 0x55");
        if (received) {
            FireStatusF(Info, "Byte: (0x%.2X) received", b);
        } else {
            Fire_Status("Nothing received", Info);
        }
        return result;
    }
    FireStatusF(Info, "Byte: (0x%.2X) received", kSyncByte);

    BYTE kw1 = 0;
    if (m_pPort->Read(&kw1, 1) != 1) return Error("Keyword 1 not received....");
    keyBytes.kw1 = kw1;
    FireStatusF(Info, "Keyword 1: (0x%.2X) received", kw1);

    if (m_nInterByteReadPause != 0) WaitInMS(m_nInterByteReadPause);

    BYTE kw2 = 0;
    if (m_pPort->Read(&kw2, 1) != 1) return Error("Keyword 2 not received....");
    keyBytes.kw2 = kw2;
    FireStatusF(Info, "Keyword 2: (0x%.2X) received", kw2);

    switch (kw2) {
        case 0x8F:
            m_nProtocol = KWP2000;
            m_pfnExchange = &BoschComms::ExchangeMessage;
            break;
        case 0x8A:
        case 0x1A:
            m_nProtocol = VAG1281;
            m_pfnExchange = &BoschComms::ExchangeMessageWithInverse;
            break;
        case 0x08:
        case 0x94:
            m_nProtocol = KWPtester;
            m_pfnExchange = &BoschComms::ExchangeMessage;
            break;
        default:
            break;
    }
    if (m_pMessage == nullptr || m_pMessage->GetProtocolId() != m_nProtocol) {
        CMessage* message = CreateMessage(m_nProtocol);
        delete m_pMessage;
        m_pMessage = message;
    }

    BYTE inverseReply = 0;
    const bool expectReply = m_pMessage != nullptr && m_pMessage->ExpectsAddressInverse();
    try {
        Sleep(kKeyword2InverseDelayMs);
        Fire_Status("Sending keyword 2 inverse to ECU...", Info);
        inverseReply = SendByteWithEcho(static_cast<BYTE>(kw2 ^ 0xFF), expectReply);
    } catch (CException* e) {
        e->Delete();
        Fire_Status("Keyword 2 inverse reply not received", Severe);
        return Error("Keyword 2 inverse reply not received");
    }

    if (expectReply) {
        if (static_cast<LONG>(inverseReply) == (EcuAddress ^ 0xFF)) {
            Fire_Status("Keyword 2 inverse reply OK", Info);
        } else {
            FireStatusF(Severe,
                        "Keyword 2 response incorrect - expected: (0x%.2X) received (0x%.2X)",
                        static_cast<unsigned>(EcuAddress ^ 0xFF), inverseReply);
            return Error("Keyword 2 response incorrect");
        }
    } else {
        Fire_Status("Keyword 2 inverse N/A", Info);
    }

    Fire_Status(DecodeKeywords(kw1, kw2), Info);
    Fire_Status("ECU Initialization successful", Info);
    m_bJustInitialized = 1;
    return S_OK;
}

std::string BoschComms::DecodeKeywords(BYTE kw1, BYTE kw2) {
    if (kw2 == 0x08 || kw2 == 0x94) kw1 |= 0x01;  // these ECUs always carry the length
    switch (kw2) {
        case 0x08:
        case 0x94:
        case 0x0D:
        case 0x1A:
        case 0x8A:
        case 0x8F:
            break;
        default:
            return "Expected keyword 2 to be 0x8F or 0x8A or etc";
    }

    m_nMessageCounter = 0;
    const bool al0 = (kw1 & 0x01) != 0;
    const bool al1 = (kw1 & 0x02) != 0;
    const bool hb0 = (kw1 & 0x04) != 0;
    const bool hb1 = (kw1 & 0x08) != 0;
    const bool tp0 = (kw1 & 0x10) != 0;
    const bool tp1 = (kw1 & 0x20) != 0;

    std::string text = "Decoding keywords: [ ";
    text += al0 ? "AL0:Length inf. in format byte supported. "
                : "AL0:Length inf. in format byte NOT supported. ";
    text += al1 ? "AL1:Additional Length byte supported. "
                : "AL1:Additional Length byte NOT supported. ";
    text += hb0 ? "HB0:One byte header supported. " : "HB0:One byte header NOT supported. ";
    text += hb1 ? "HB1:Tgt/Src address in header supported. "
                : "HB1:Tgt/Src address in header NOT supported. ";
    bool normalTiming = false;
    if (tp0 && !tp1) {
        text += "TP0,TP1:Extended timing parameter set. ";
    } else if (!tp0 && tp1) {
        text += "TP0,TP1:Normal timing parameter set.  ";
        normalTiming = true;
    } else {
        text += "INVALID values for TP0 and TP1.  ";
    }
    text += "]";

    if (m_pMessage != nullptr) m_pMessage->SetOptions(al1, hb0, al0, hb1, normalTiming);
    return text;
}

HRESULT BoschComms::NewKeyBytesArray(VARIANT* retVal) {
    VariantInit(retVal);
    retVal->vt = VT_ARRAY | VT_I4;
    retVal->parray = SafeArrayCreateVector(VT_I4, 0, 2);
    if (retVal->parray != nullptr) return S_OK;
    Fire_Status("Out of memory", Severe);
    return Error("Out of memory");
}
