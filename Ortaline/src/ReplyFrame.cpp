#include "ReplyFrame.h"

#include <new>

#include "Text.h"

void CReplyFrame::Reset() {
    m_nFirstByte = 0;
    m_nDataLength = 0;
    m_bLengthFollows = false;
    m_data.RemoveAll();
    m_trace.clear();
}

void CReplyFrame::SetFirstByte(BYTE b) {
    m_header.RemoveAll();
    m_data.RemoveAll();
    m_nFirstByte = b;
    m_header.Add(b);
    m_trace.clear();
    AppendTrace(b);
}

void CReplyFrame::AddHeaderByte(BYTE b) {
    AppendTrace(b);
    m_header.Add(b);
}

void CReplyFrame::AddDataByte(BYTE b) {
    AppendTrace(b);
    m_data.Add(b);
}

void CReplyFrame::AppendTrace(BYTE b) { ortaline::AppendListedByte(m_trace, b); }

void CKwp2000ReplyFrame::SetFirstByte(BYTE b) {
    CReplyFrame::SetFirstByte(b);
    if ((b & 0x3F) != 0) {
        m_nDataLength = static_cast<BYTE>(b & 0x3F);
        m_bLengthFollows = false;
    } else {
        m_nDataLength = 0;
        m_bLengthFollows = true;
    }
}

void CKwp2000ReplyFrame::AddHeaderByte(BYTE b) {
    CReplyFrame::AddHeaderByte(b);
    // Target and source pass through here too; the length byte comes last and stays.
    if (m_bLengthFollows) m_nDataLength = b;
}

std::ptrdiff_t CKwp2000ReplyFrame::GetHeaderLength() const {
    return ((m_nFirstByte & 0x3F) != 0 ? 1 : 2) + (m_nFirstByte >= 0x40 ? 2 : 0);
}

bool CKwp2000ReplyFrame::Verify(std::uint32_t) const {
    if (m_data.IsEmpty()) return false;
    BYTE sum = 0;
    for (BYTE b : m_header.Vector()) sum = static_cast<BYTE>(sum + b);
    const std::ptrdiff_t last = m_data.GetSize() - 1;
    for (std::ptrdiff_t i = 0; i < last; ++i) sum = static_cast<BYTE>(sum + m_data[i]);
    return sum == m_data[last];
}

void CMcMessReplyFrame::SetFirstByte(BYTE b) {
    CReplyFrame::SetFirstByte(b);
    m_nDataLength = static_cast<BYTE>((b - 2) & 0xFF);
    m_bLengthFollows = false;
}

void CVag1281ReplyFrame::SetFirstByte(BYTE b) {
    CReplyFrame::SetFirstByte(b);
    m_nDataLength = static_cast<BYTE>((b - 2) & 0xFF);
    m_bLengthFollows = false;
}

bool CVag1281ReplyFrame::Verify(std::uint32_t counter) const {
    return m_header.GetSize() >= 2 && m_header[1] == static_cast<BYTE>(counter & 0xFF);
}

CReplyFrame* CreateReplyFrame(std::int32_t protocol) {
    try {
        switch (protocol) {
            case KWP2000:
                return new CKwp2000ReplyFrame;
            case VAG1281:
                return new CVag1281ReplyFrame;
            case KWPtester:
                return new CKwpTesterReplyFrame;
            case MCMESS:
                return new CMcMessReplyFrame;
            default:
                return nullptr;
        }
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}
