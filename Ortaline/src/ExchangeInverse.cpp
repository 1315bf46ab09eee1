// KW1281 block exchange: every byte but a block's last is acknowledged by its complement.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "BoschComms.h"
#include "ReplyFrame.h"
#include "clock/win_time.h"

namespace {

// Block counter, title and block end: anything shorter is not a block.
constexpr BYTE kMinimumBlockLength = 3;

void AppendHex(std::string& trace, BYTE b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x ", b);
    trace += text;
}

}  // namespace

HRESULT BoschComms::ExchangeMessageWithInverse(const BYTE* frame, std::int32_t size,
                                               CByteArray& echo, CByteArray& reply, bool stamp) {
    echo.RemoveAll();
    reply.RemoveAll();
    BeginExchange(m_bJustInitialized != 0);

    const std::int32_t pause = std::max(m_nInterByteReadPause, m_nInterByteWritePause);
    auto wait = [&] {
        if (pause != 0) WaitInMS(pause);
    };

    StampCounterIfAsked(stamp);

    // Right after a wake-up the ECU speaks first; the built request is dropped.
    if (m_bJustInitialized == 0) {
        CByteArray complements;
        for (std::int32_t i = 0; i < size; ++i) {
            m_pPort->Write(&frame[i], 1);
            wait();
            BYTE b = 0;
            if (m_pPort->Read(&b, 1) == 0) break;
            // Here an echo still 0x00 after the re-reads ends the send phase unrecorded.
            if (i == 0 && b == 0x00 && frame[0] != 0x00 && (!RereadStrayZeros(b) || b == 0x00)) {
                break;
            }
            wait();
            echo.Add(b);
            if (i == size - 1) break;  // the block end is not acknowledged
            if (m_pPort->Read(&b, 1) == 0) break;
            wait();
            complements.Add(b);
        }

        if (const HRESULT hr = CheckEcho(frame, size, echo); FAILED(hr)) return hr;
        if (complements.GetSize() != size - 1) {
            FireStatusF(Severe, "Expected %i inverse bytes. Received %i bytes", size - 1,
                        static_cast<int>(complements.GetSize()));
            return Error("Inverse Bytes not received");
        }
        for (std::int32_t i = 0; i < size - 1; ++i) {
            if (static_cast<BYTE>(frame[i] + complements[i]) != 0xFF) {
                FireStatusF(Severe,
                            "Inverse Bytes are corrupt. Expected checksum:(0x%.2x). Received "
                            "checksum :(0x%.2x).",
                            frame[i], static_cast<BYTE>(~complements[i]));
                return Error("Inverse Bytes are corrupt");
            }
        }
    }

    std::unique_ptr<CReplyFrame> replyFrame(CreateReplyFrame(m_nProtocol));
    if (!replyFrame) {
        Fire_Status("No information available on message formats", Severe);
        return Error("No information available on message formats");
    }
    std::string trace;

    BYTE length = 0;
    if (m_pPort->Read(&length, 1) == 0) {
        Fire_Status("Response length byte not received", Severe);
        return Error("Response length byte not received");
    }
    AppendHex(trace, length);
    if (length < kMinimumBlockLength) {
        Fire_Status(trace, Info);
        FireStatusF(Severe, "Response length byte corrupt: block length (0x%.2X) is too short",
                    length);
        return Error("Response length byte corrupt");
    }

    // Sends the complement of b and checks that it came back; false when it did not arrive
    // (missing = true) or arrived changed.
    auto acknowledge = [&](BYTE b, bool& missing) {
        const BYTE complement = static_cast<BYTE>(~b);
        m_pPort->Write(&complement, 1);
        wait();
        BYTE complementEcho = 0;
        missing = m_pPort->Read(&complementEcho, 1) == 0;
        if (missing) {
            Fire_Status(trace, Info);
            return false;
        }
        wait();
        AppendHex(trace, complementEcho);
        if (complementEcho != complement) {
            Fire_Status(trace, Info);
            return false;
        }
        return true;
    };

    wait();
    bool missing = false;
    if (!acknowledge(length, missing)) {
        if (missing) {
            Fire_Status("Length inverse byte not received", Severe);
            return Error("Length byte not received correctly");
        }
        Fire_Status("Length inverse byte corrupt", Severe);
        return Error("Length byte corrupt");
    }

    replyFrame->SetFirstByte(length);
    const auto headerLength = static_cast<int>(replyFrame->GetHeaderLength());
    for (int k = 1; k < headerLength; ++k) {
        BYTE b = 0;
        if (m_pPort->Read(&b, 1) == 0) {
            Fire_Status(trace, Info);
            FireStatusF(Severe, "Message header byte %i of %i not received", k + 1, headerLength);
            return Error("Message header not received");
        }
        wait();
        AppendHex(trace, b);
        if (!acknowledge(b, missing)) {
            if (missing) {
                FireStatusF(Severe, "Message header inverse byte %i of %i not received", k + 1,
                            headerLength + 1);
                return Error("Message header not received");
            }
            FireStatusF(Severe, "Message header inverse byte %i of %i corrupt", k + 1,
                        headerLength + 1);
            return Error("Message header corrupt");
        }
        replyFrame->AddHeaderByte(b);
    }

    const int dataLength = replyFrame->GetDataLength();
    for (int k = 0; k <= dataLength; ++k) {
        BYTE b = 0;
        if (m_pPort->Read(&b, 1) == 0) {
            Fire_Status(trace, Info);
            FireStatusF(Severe, "Message body byte %i of %i not received", k + 1, dataLength + 1);
            return Error("Message body not received correctly");
        }
        wait();
        AppendHex(trace, b);
        replyFrame->AddDataByte(b);
        if (k == dataLength) break;  // the block end is neither acknowledged nor delivered
        if (!acknowledge(b, missing)) {
            if (missing) {
                FireStatusF(Severe, "Message inverse byte %i of %i not received", k + 1,
                            dataLength + 1);
                return Error("Message body not received correctly");
            }
            FireStatusF(Severe, "Message inverse byte %i of %i corrupt", k + 1, dataLength + 1);
            return Error("Message body corrupt");
        }
        reply.Add(b);
    }

    Fire_Status("Received Response: " + replyFrame->GetTrace(), Info);
    ++m_nMessageCounter;
    if (!replyFrame->Verify(m_nMessageCounter)) {
        Fire_Status("Invalid sequence on returned data", Warning);
    }

    EndPendingReadTimeout();
    return S_OK;
}
