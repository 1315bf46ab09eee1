#pragma once
// ISO 14230 frames as the ECU sees them: requests taken apart byte by byte, replies built
// in the form the ECU's key byte 1 announced. KWPtester requests carry no length (service
// id, data, an 8-bit sum); a gap on the line ends them.
#include <cstdint>
#include <vector>

namespace ecusim {

struct KwpRequest {
    bool addressed = false;  // target and source in the header
    std::uint8_t format = 0;
    std::uint8_t target = 0;
    std::uint8_t source = 0;
    std::vector<std::uint8_t> payload;  // service id and parameters
};

class KwpFrameReader {
public:
    enum class Status { NeedMore, Complete, BadChecksum };
    Status Add(std::uint8_t b);
    std::size_t Size() const { return m_bytes.size(); }
    const KwpRequest& Request() const { return m_request; }
    void Reset();

private:
    std::vector<std::uint8_t> m_bytes;
    KwpRequest m_request;
    std::size_t m_headerLength = 0;
    std::size_t m_payloadLength = 0;
    bool m_lengthKnown = false;
};

// The whole KWPtester request once the gap has ended it; false when the sum is wrong or
// there is no service id.
bool ParseTesterRequest(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& payload);

struct KwpReplyForm {
    bool lengthInFormat = true;  // key byte 1, AL0
    bool lengthByte = false;     // key byte 1, AL1
    bool addressed = false;      // answer with target and source (when the request had them)
    std::uint8_t target = 0;     // the tester
    std::uint8_t source = 0;     // this ECU
};

std::vector<std::uint8_t> BuildKwpReply(const KwpReplyForm& form,
                                        const std::vector<std::uint8_t>& payload);
// First byte: the data count in its low six bits; last byte: the 8-bit sum.
std::vector<std::uint8_t> BuildTesterReply(const std::vector<std::uint8_t>& payload);

}  // namespace ecusim
