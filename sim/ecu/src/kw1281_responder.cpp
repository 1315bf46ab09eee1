#include "kw1281_responder.h"

#include <cstdio>

namespace ecusim {
namespace {

Kw1281Block TextBlock(const std::string& text) {
    return {kw1281::kIdentification, std::vector<std::uint8_t>(text.begin(), text.end())};
}

std::uint16_t Word(std::uint8_t hi, std::uint8_t lo) {
    return static_cast<std::uint16_t>((hi << 8) | lo);
}

}  // namespace

Kw1281Responder::Kw1281Responder(const EcuConfig& config, ChannelStore& channels)
    : m_channels(channels) {
    const auto& texts = config.kw1281Texts;
    if (!texts.empty()) m_identification.push_back(TextBlock(texts[0]));
    std::uint8_t w0 = config.workshopCode.size() > 0 ? config.workshopCode[0] : 0;
    std::uint8_t w1 = config.workshopCode.size() > 1 ? config.workshopCode[1] : 0;
    m_identification.push_back({kw1281::kIdentification,
                                {0x00, static_cast<std::uint8_t>(config.kw1281Coding >> 8),
                                 static_cast<std::uint8_t>(config.kw1281Coding & 0xFF), w0, w1}});
    for (std::size_t i = 1; i < texts.size(); ++i) m_identification.push_back(TextBlock(texts[i]));
}

Kw1281Block Kw1281Responder::Begin() {
    m_nextIdentification = 0;
    return NextIdentification();
}

Kw1281Block Kw1281Responder::NextIdentification() {
    if (m_nextIdentification < m_identification.size()) {
        return m_identification[m_nextIdentification++];
    }
    return {kw1281::kAck, {}};
}

Kw1281Block Kw1281Responder::Adaptation(std::uint8_t channel, std::uint16_t value) const {
    return {kw1281::kAdaptationReply,
            {channel, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}};
}

std::optional<Kw1281Block> Kw1281Responder::Answer(const Kw1281Block& request) {
    const Kw1281Block nak{kw1281::kNak, {}};
    const auto& d = request.data;
    if (request.title != kw1281::kAck) {
        m_nextIdentification = m_identification.size();  // any request ends the listing
    }
    switch (request.title) {
        case kw1281::kAck:
            return NextIdentification();
        case kw1281::kIdentify:
            m_nextIdentification = 0;
            return NextIdentification();
        case kw1281::kEndOfCommunication:
            return std::nullopt;
        case kw1281::kReadAdaptation:
            if (d.size() != 1 || !m_channels.Has(d[0])) return nak;
            return Adaptation(d[0], m_channels.Active(d[0]));
        case kw1281::kTestAdaptation: {
            if (d.size() != 3) return nak;
            const auto r = m_channels.Test(d[0], Word(d[1], d[2]));
            if (r == ChannelStore::Result::Unknown || r == ChannelStore::Result::Denied) return nak;
            return Adaptation(d[0], m_channels.Active(d[0]));
        }
        case kw1281::kStoreAdaptation: {
            // channel, value, then the workshop code behind a zero byte
            if (d.size() != 6) return nak;
            const auto r = m_channels.Store(d[0], Word(d[1], d[2]));
            if (r == ChannelStore::Result::Unknown || r == ChannelStore::Result::Denied) return nak;
            m_lastStoreCode.assign(d.begin() + 4, d.end());
            return Adaptation(d[0], m_channels.Stored(d[0]));
        }
        default:
            return nak;
    }
}

std::string Kw1281Responder::Describe(const Kw1281Block& block) {
    char head[32];
    std::snprintf(head, sizeof head, "KW1281 title 0x%02X", block.title);
    std::string text = head;
    for (std::uint8_t b : block.data) {
        char part[8];
        std::snprintf(part, sizeof part, " %02X", b);
        text += part;
    }
    return text;
}

}  // namespace ecusim
