#include "Message.h"

#include <new>

#include "Text.h"

void CMessage::SetOptions(bool al1, bool hb0, bool al0, bool hb1, bool normalTiming) {
    Reset();
    m_bAL1 = al1;
    m_bHB0 = hb0;
    m_bAL0 = al0;
    m_bHB1 = hb1;
    m_bNormalTiming = normalTiming;
    m_bConfigured = true;
}

void CMessage::Reset() {
    m_bAL1 = m_bHB0 = m_bAL0 = m_bHB1 = m_bNormalTiming = false;
    m_bConfigured = false;
    m_nAddressingMode = PhysicalAddressing;
    m_nSource = 0;
    m_nTarget = 0;
    m_data.RemoveAll();
    m_frame.RemoveAll();
}

bool CMessage::StartMessage(std::uint32_t) {
    if (!m_bConfigured) return false;
    m_nServiceId = 0;
    m_data.RemoveAll();
    m_frame.RemoveAll();
    return true;
}

bool CMessage::AddDataByte(BYTE b) {
    if (!m_bConfigured) return false;
    m_data.Add(b);
    return true;
}

bool CMessage::SetServiceId(BYTE b) {
    if (!m_bConfigured) return false;
    m_nServiceId = b;
    return true;
}

bool CMessage::SetSourceAddress(BYTE b) {
    m_nSource = b;
    return true;
}

bool CMessage::SetTargetAddress(BYTE b) {
    m_nTarget = b;
    return true;
}

bool CMessage::SetAddressingMode(std::int32_t mode) {
    m_nAddressingMode = mode;
    return true;
}

std::string CMessage::FormatFrame() const {
    std::string text;
    text.reserve(static_cast<std::size_t>(m_frame.GetSize()) * 7);
    for (BYTE b : m_frame.Vector()) ortaline::AppendListedByte(text, b);
    return text;
}

bool CKwp2000Message::Build() {
    if (!m_bConfigured) return false;
    const std::ptrdiff_t n = 1 + m_data.GetSize();
    if (n > 255) return false;

    BYTE lengthBits = 0;
    bool lengthByte = false;
    if (n >= 64) {
        if (!m_bAL1) return false;
        lengthByte = true;
    } else if (m_bAL0) {
        lengthBits = static_cast<BYTE>(n);
    } else if (m_bAL1) {
        lengthByte = true;
    }

    const bool bothAddresses = m_nSource != 0 && m_nTarget != 0;
    const BYTE modeBits = bothAddresses ? static_cast<BYTE>((m_nAddressingMode & 0x03) << 6) : 0;
    const bool addressBytes = m_bHB1 && bothAddresses && m_nAddressingMode != 0;

    const std::ptrdiff_t start = m_frame.GetSize();
    m_frame.Add(static_cast<BYTE>(modeBits | lengthBits));
    if (addressBytes) {
        m_frame.Add(m_nTarget);
        m_frame.Add(m_nSource);
    }
    if (lengthByte) m_frame.Add(static_cast<BYTE>(n));
    m_frame.Add(m_nServiceId);
    for (BYTE b : m_data.Vector()) m_frame.Add(b);

    BYTE sum = 0;
    for (std::ptrdiff_t i = start; i < m_frame.GetSize(); ++i)
        sum = static_cast<BYTE>(sum + m_frame[i]);
    m_frame.Add(sum);
    return true;
}

bool CKwpTesterMessage::Build() {
    m_frame.RemoveAll();
    m_frame.Add(m_nServiceId);
    BYTE sum = m_nServiceId;
    for (BYTE b : m_data.Vector()) {
        m_frame.Add(b);
        sum = static_cast<BYTE>(sum + b);
    }
    m_frame.Add(sum);
    return true;
}

bool CMcMessMessage::Build() {
    if (!m_bConfigured) return false;
    m_frame.Add(m_nServiceId);
    for (BYTE b : m_data.Vector()) m_frame.Add(b);
    return true;
}

bool CVag1281Message::StartMessage(std::uint32_t counter) {
    m_nBlockCounter = counter;
    return CMessage::StartMessage(counter);
}

bool CVag1281Message::Build() {
    if (!m_bConfigured) return false;
    // The block length byte counts counter, title, data and end byte; beyond 255 it would
    // wrap and the ECU would read a different block than the one sent.
    if (m_data.GetSize() > kMaxDataBytes) return false;
    m_frame.Add(static_cast<BYTE>((m_data.GetSize() + 3) & 0xFF));
    m_frame.Add(static_cast<BYTE>(m_nBlockCounter & 0xFF));
    m_frame.Add(m_nServiceId);
    for (BYTE b : m_data.Vector()) m_frame.Add(b);
    m_frame.Add(0x03);
    return true;
}

CMessage* CreateMessage(std::int32_t protocol) {
    try {
        switch (protocol) {
            case KWP2000:
                return new CKwp2000Message;
            case VAG1281:
                return new CVag1281Message;
            case KWPtester:
                return new CKwpTesterMessage;
            case MCMESS:
                return new CMcMessMessage;
            default:
                return nullptr;
        }
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}
