#include "kwp_frame.h"

namespace ecusim {
namespace {

constexpr std::uint8_t kAddressModeBits = 0xC0;
constexpr std::uint8_t kLengthBits = 0x3F;
constexpr std::uint8_t kPhysicalAddressing = 0x80;
constexpr std::size_t kLongest = 255;

std::uint8_t Sum(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

}  // namespace

void KwpFrameReader::Reset() {
    m_bytes.clear();
    m_request = KwpRequest{};
    m_headerLength = 0;
    m_payloadLength = 0;
    m_lengthKnown = false;
}

KwpFrameReader::Status KwpFrameReader::Add(std::uint8_t b) {
    m_bytes.push_back(b);
    if (m_bytes.size() == 1) {
        m_request.format = b;
        m_request.addressed = (b & kAddressModeBits) != 0;
        const bool lengthFollows = (b & kLengthBits) == 0;
        m_headerLength = 1 + (m_request.addressed ? 2 : 0) + (lengthFollows ? 1 : 0);
        if (!lengthFollows) {
            m_payloadLength = b & kLengthBits;
            m_lengthKnown = true;
        }
    } else if (m_bytes.size() <= m_headerLength) {
        const std::size_t at = m_bytes.size() - 1;
        if (m_request.addressed && at == 1) m_request.target = b;
        if (m_request.addressed && at == 2) m_request.source = b;
        if (at == m_headerLength - 1 && !m_lengthKnown) {
            m_payloadLength = b;
            m_lengthKnown = true;
        }
    }
    if (!m_lengthKnown || m_bytes.size() < m_headerLength + m_payloadLength + 1) {
        return Status::NeedMore;
    }
    if (Sum(m_bytes, m_bytes.size() - 1) != m_bytes.back()) return Status::BadChecksum;
    m_request.payload.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_headerLength),
                             m_bytes.end() - 1);
    return Status::Complete;
}

bool ParseTesterRequest(const std::vector<std::uint8_t>& bytes,
                        std::vector<std::uint8_t>& payload) {
    if (bytes.size() < 2 || Sum(bytes, bytes.size() - 1) != bytes.back()) return false;
    payload.assign(bytes.begin(), bytes.end() - 1);
    return true;
}

std::vector<std::uint8_t> BuildKwpReply(const KwpReplyForm& form,
                                        const std::vector<std::uint8_t>& payload) {
    const std::size_t n = payload.size() > kLongest ? kLongest : payload.size();
    const bool inFormat = n < 64 && (form.lengthInFormat || !form.lengthByte);
    std::vector<std::uint8_t> frame;
    std::uint8_t format = form.addressed ? kPhysicalAddressing : 0;
    if (inFormat) format |= static_cast<std::uint8_t>(n);
    frame.push_back(format);
    if (form.addressed) {
        frame.push_back(form.target);
        frame.push_back(form.source);
    }
    if (!inFormat) frame.push_back(static_cast<std::uint8_t>(n));
    frame.insert(frame.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
    frame.push_back(Sum(frame, frame.size()));
    return frame;
}

std::vector<std::uint8_t> BuildTesterReply(const std::vector<std::uint8_t>& payload) {
    const std::size_t n = payload.size() > kLengthBits ? kLengthBits : payload.size();
    std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(n)};
    frame.insert(frame.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
    frame.push_back(Sum(frame, frame.size()));
    return frame;
}

}  // namespace ecusim
