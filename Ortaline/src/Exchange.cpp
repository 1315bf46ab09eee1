// Request framing and the echo exchange of KWP2000 and KWPtester frames.
#include <algorithm>
#include <memory>

#include "BoschComms.h"
#include "ReplyFrame.h"
#include "Text.h"
#include "clock/win_time.h"

namespace {

constexpr DWORD kEchoSettleMs = 25;
constexpr int kMaxExtraFirstEchoReads = 50;
constexpr BYTE kNegativeResponse = 0x7F;
constexpr BYTE kResponsePending = 0x78;
// Most bytes read off before an exchange: the receive queue's size.
constexpr DWORD kMaxDiscardedBytes = 3328;
// An ECU that keeps announcing a later answer must not hold the caller forever.
constexpr int kMaxPendingReplies = 100;

// Advances the block counter when the request is done, however it ended.
class CounterStep {
public:
    explicit CounterStep(BYTE& counter) : m_counter(counter) {}
    ~CounterStep() { ++m_counter; }
    CounterStep(const CounterStep&) = delete;
    CounterStep& operator=(const CounterStep&) = delete;

private:
    BYTE& m_counter;
};

}  // namespace

HRESULT BoschComms::SendRequest(const CByteArray& request, CByteArray& reply) {
    if (m_bEcuInitialized == 0) {
        Fire_Status("ECU not initialized", Severe);
        return Error("ECU not initialized");
    }
    if (m_pMessage == nullptr || !m_pMessage->IsConfigured()) {
        Fire_Status("No information available on message formats", Severe);
        return Error("No information available on message formats");
    }
    if (request.IsEmpty()) {
        Fire_Status("Empty message", Warning);
        return Error("Empty message");
    }

    CounterStep counterStep(m_nMessageCounter);
    m_pMessage->StartMessage(m_nMessageCounter);
    m_pMessage->SetServiceId(request[0]);
    for (std::ptrdiff_t i = 1; i < request.GetSize(); ++i) m_pMessage->AddDataByte(request[i]);
    // An unframeable request would go out as nothing and then wait for an answer.
    if (!m_pMessage->Build() || m_pMessage->GetFrameSize() == 0) {
        FireStatusF(Severe, "Message could not be built: %i request bytes",
                    static_cast<int>(request.GetSize()));
        return Error("Message could not be built");
    }

    Fire_Status("Sending Message: " + m_pMessage->FormatFrame(), Info);
    CByteArray echo;
    return (this->*m_pfnExchange)(m_pMessage->GetFrameData(),
                                  static_cast<std::int32_t>(m_pMessage->GetFrameSize()), echo,
                                  reply, false);
}

HRESULT BoschComms::ExchangeMessage(const BYTE* frame, std::int32_t size, CByteArray& echo,
                                    CByteArray& reply, bool stamp) {
    echo.RemoveAll();
    reply.RemoveAll();
    BeginExchange(false);

    StampCounterIfAsked(stamp);

    if (m_nInterByteWritePause == 0) {
        m_pPort->Write(frame, static_cast<DWORD>(size));
    } else {
        for (std::int32_t i = 0; i < size; ++i) {
            m_pPort->Write(&frame[i], 1);
            WaitInMS(m_nInterByteWritePause);
        }
    }
    Sleep(kEchoSettleMs);

    for (std::int32_t i = 0; i < size; ++i) {
        BYTE b = 0;
        if (m_pPort->Read(&b, 1) == 0) break;
        if (m_nInterByteReadPause != 0) WaitInMS(m_nInterByteReadPause);
        if (i == 0 && b == 0x00 && frame[0] != 0x00 && !RereadStrayZeros(b)) break;
        echo.Add(b);
    }

    if (const HRESULT hr = CheckEcho(frame, size, echo); FAILED(hr)) return hr;
    Sleep(kEchoSettleMs);

    std::unique_ptr<CReplyFrame> replyFrame(CreateReplyFrame(m_nProtocol));
    if (!replyFrame) {
        Fire_Status("No information available on message formats", Severe);
        return Error("No information available on message formats");
    }

    BYTE first = 0;
    if (m_pPort->Read(&first, 1) == 0) {
        Fire_Status("Response format byte not received", Severe);
        return Error("Response format byte not received");
    }

    for (int pendingReplies = 0;;) {
        if (m_nInterByteReadPause != 0) WaitInMS(m_nInterByteReadPause);
        replyFrame->SetFirstByte(first);
        const auto headerLength = static_cast<int>(replyFrame->GetHeaderLength());
        for (int k = 1; k < headerLength; ++k) {
            BYTE b = 0;
            if (m_pPort->Read(&b, 1) == 0) {
                FireStatusF(Severe, "Message header byte %i of %i not received", k + 1,
                            headerLength);
                return Error("Message header not received");
            }
            if (m_nInterByteReadPause != 0) WaitInMS(m_nInterByteReadPause);
            replyFrame->AddHeaderByte(b);
        }

        const int dataLength = replyFrame->GetDataLength();
        for (int k = 0; k <= dataLength; ++k) {
            BYTE b = 0;
            if (m_pPort->Read(&b, 1) == 0) {
                FireStatusF(Severe, "Message body byte %i of %i not received", k + 1,
                            dataLength + 1);
                return Error("Message body not received correctly");
            }
            if (m_nInterByteReadPause != 0) WaitInMS(m_nInterByteReadPause);
            replyFrame->AddDataByte(b);
            if (k < dataLength) reply.Add(b);
        }

        Fire_Status("Received Response: " + replyFrame->GetTrace(), Info);
        if (!replyFrame->Verify(0)) {
            Fire_Status("Invalid checksum on returned data", Severe);
            return Error("Invalid checksum on returned data");
        }

        EndPendingReadTimeout();

        const bool pending = replyFrame->GetFirstDataByte() == kNegativeResponse &&
                             reply.GetSize() > 2 && reply[2] == kResponsePending;
        if (!pending) return S_OK;

        if (++pendingReplies > kMaxPendingReplies) {
            FireStatusF(Severe, "No final response after %i response pending replies",
                        kMaxPendingReplies);
            return Error("Too many response pending replies");
        }
        Fire_Status("Response Pending... (0x78)", Info);
        COMMTIMEOUTS timeouts{};
        m_pPort->GetTimeouts(timeouts);
        timeouts.ReadTotalTimeoutConstant = kPendingReadTimeoutMs;
        m_pPort->SetTimeouts(timeouts);
        replyFrame->Reset();
        reply.RemoveAll();
        if (m_pPort->Read(&first, 1) == 0) {
            Fire_Status("Response format byte not received", Severe);
            return Error("Response format byte not received");
        }
    }
}

BYTE BoschComms::SendByteWithEcho(BYTE byte, bool expectReply) {
    if (m_pPort->Write(&byte, 1) != 1) {
        FireStatusF(Severe, "Error sending byte: (0x%.2X)", byte);
        AfxThrowUserException();
    }
    BYTE echo = 0;
    if (m_pPort->Read(&echo, 1) == 0) {
        FireStatusF(Severe, "Error receiving byte echo: (0x%.2X)", byte);
        AfxThrowUserException();
    }
    if (echo != byte) {
        FireStatusF(Severe, "Incorrect byte echo: (0x%.2X) != (0x%.2X)", byte, echo);
        AfxThrowUserException();
    }
    if (!expectReply) return 0;

    Sleep(kEchoSettleMs);
    BYTE answer = 0;
    if (m_pPort->Read(&answer, 1) == 0) {
        FireStatusF(Severe, "No reply for byte: (0x%.2X)", byte);
        AfxThrowUserException();
    }
    return answer;
}

// Bytes waiting before a request (an answer that came after its exchange had failed, the
// tail of a collision) would be read as this request's echo and shift every later reply
// by as many bytes, until the tester's own echo passes for an answer. The block that the
// ECU sends on its own after a wake-up may already be waiting: a receive-only exchange
// keeps everything received.
void BoschComms::BeginExchange(bool receiveOnly) {
    if (!receiveOnly) {
        std::string discarded;
        DWORD total = 0;
        BYTE buffer[64];
        while (total < kMaxDiscardedBytes) {
            const DWORD waiting = std::min<DWORD>(m_pPort->BytesWaiting(), sizeof buffer);
            if (waiting == 0) break;
            const DWORD got = m_pPort->Read(buffer, waiting);
            if (got == 0) break;
            for (DWORD i = 0; i < got; ++i) ortaline::AppendListedByte(discarded, buffer[i]);
            total += got;
        }
        if (!discarded.empty()) Fire_Status("Discarded bytes received earlier: " + discarded, Info);
        m_pPort->TerminateOutstandingReads();
    }
    m_pPort->TerminateOutstandingWrites();
}

void BoschComms::StampCounterIfAsked(bool stamp) {
    if (!stamp) return;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    m_nCorrectionFactor = now.QuadPart;
}

// Some interfaces deliver stray 0x00 bytes before the first echo.
bool BoschComms::RereadStrayZeros(BYTE& b) {
    for (int extra = 0; extra < kMaxExtraFirstEchoReads && b == 0x00; ++extra) {
        if (m_pPort->Read(&b, 1) == 0) return false;
        Sleep(kEchoSettleMs);
    }
    return true;
}

HRESULT BoschComms::CheckEcho(const BYTE* frame, std::int32_t size, const CByteArray& echo) {
    if (echo.GetSize() != size) {
        FireStatusF(Severe, "Expected %i echo bytes. Received %i bytes", size,
                    static_cast<int>(echo.GetSize()));
        return Error("Echo Bytes not received");
    }
    for (std::int32_t i = 0; i < size; ++i) {
        if (echo[i] != frame[i]) {
            FireStatusF(Severe,
                        "Echo Bytes are corrupt. Expected checksum:(0x%.2x). Received checksum "
                        ":(0x%.2x).",
                        frame[i], echo[i]);
            return Error("Echo Bytes are corrupt");
        }
    }
    return S_OK;
}
