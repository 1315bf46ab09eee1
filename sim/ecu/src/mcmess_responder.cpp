#include "mcmess_responder.h"

#include "byte_text.h"

namespace ecusim {

std::vector<std::uint8_t> McMessResponder::Answer(const std::vector<std::uint8_t>& request) const {
    if (request.empty()) return {};
    std::vector<std::uint8_t> payload{
        static_cast<std::uint8_t>(request[0] + mcmess::kAcknowledgeOffset)};
    if (request[0] == mcmess::kIdentification) {
        payload.insert(payload.end(), m_config.kwpIdentification.begin(),
                       m_config.kwpIdentification.end());
    } else {
        payload.insert(payload.end(), request.begin() + 1, request.end());
    }
    return payload;
}

std::vector<kline::NinthBitByte> McMessResponder::Frame(const std::vector<std::uint8_t>& payload) {
    std::vector<kline::NinthBitByte> frame;
    unsigned sum = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        frame.push_back({payload[i], i == 0});
        sum += payload[i];
    }
    frame.push_back({static_cast<std::uint8_t>(sum), false});
    return frame;
}

std::string McMessResponder::Describe(const std::vector<std::uint8_t>& bytes) {
    return HexBytes("MCMESS", bytes);
}

}  // namespace ecusim
