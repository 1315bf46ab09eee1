#include "kwp_responder.h"

#include <cstdio>

#include "byte_text.h"

namespace ecusim {
namespace {

constexpr std::size_t kIdentificationTextLength = 20;
constexpr std::size_t kWorkshopCodeLength = 6;
// Every routine request carries these two bytes after its local identifier.
constexpr std::uint8_t kRoutineOption0 = 0x01;
constexpr std::uint8_t kRoutineOption1 = 0x03;

KwpAnswer Negative(std::uint8_t sid, std::uint8_t code) {
    return {{kwp::kNegative, sid, code}, false};
}

KwpAnswer Positive(std::uint8_t sid, std::vector<std::uint8_t> rest = {}) {
    std::vector<std::uint8_t> p{static_cast<std::uint8_t>(sid + kwp::kPositiveOffset)};
    p.insert(p.end(), rest.begin(), rest.end());
    return {p, false};
}

}  // namespace

KwpResponder::KwpResponder(const EcuConfig& config, ChannelStore& channels)
    : m_config(config), m_channels(channels) {}

void KwpResponder::Begin() {
    m_adaptationOpen = false;
    m_selected.reset();
}

std::vector<std::uint8_t> KwpResponder::Identification() const {
    std::vector<std::uint8_t> p{kwp::kReadIdentification + kwp::kPositiveOffset,
                                kwp::kIdentificationOption};
    std::string text = m_config.kwpIdentification;
    text.resize(kIdentificationTextLength, ' ');
    p.insert(p.end(), text.begin(), text.end());
    for (std::size_t i = 0; i < kWorkshopCodeLength; ++i) {
        p.push_back(i < m_config.workshopCode.size() ? m_config.workshopCode[i] : 0);
    }
    p.insert(p.end(), m_config.kwpIdentificationTail.begin(), m_config.kwpIdentificationTail.end());
    return p;
}

std::optional<KwpAnswer> KwpResponder::Answer(const std::vector<std::uint8_t>& request) {
    if (request.empty()) return std::nullopt;
    const std::uint8_t sid = request[0];
    switch (sid) {
        case kwp::kReadIdentification:
            if (request.size() != 2 || request[1] != kwp::kIdentificationOption) {
                return Negative(sid, kwp::kInvalidFormat);
            }
            return KwpAnswer{Identification(), false};
        case kwp::kTesterPresent:
            return Positive(sid);
        case kwp::kStopCommunication:
            return KwpAnswer{{static_cast<std::uint8_t>(sid + kwp::kPositiveOffset)}, true};
        case kwp::kStartRoutine:
            return Routine(request);
        default:
            return Negative(sid, kwp::kServiceNotSupported);
    }
}

KwpAnswer KwpResponder::Routine(const std::vector<std::uint8_t>& r) {
    const std::uint8_t sid = kwp::kStartRoutine;
    if (r.size() < 4 || r[2] != kRoutineOption0 || r[3] != kRoutineOption1) {
        return Negative(sid, kwp::kInvalidFormat);
    }
    const std::uint8_t lid = r[1];
    const std::size_t extra = r.size() - 4;
    auto limited = [&](ChannelStore::Result result) {
        return result == ChannelStore::Result::Denied || result == ChannelStore::Result::Unknown
                   ? Negative(sid, kwp::kRequestOutOfRange)
                   : Positive(sid, {lid});
    };
    switch (lid) {
        case kwp::kOpenAdaptation:
            if (extra != 0) return Negative(sid, kwp::kInvalidFormat);
            m_adaptationOpen = true;
            return Positive(sid, {lid});
        case kwp::kSelectOrTest:
            if (!m_adaptationOpen) return Negative(sid, kwp::kConditionsNotCorrect);
            if (extra == 1) {
                if (!m_channels.Has(r[4])) return Negative(sid, kwp::kRequestOutOfRange);
                m_selected = r[4];
                return Positive(sid, {lid});
            }
            if (extra == 2) {
                if (!m_selected) return Negative(sid, kwp::kConditionsNotCorrect);
                return limited(
                    m_channels.Test(*m_selected, static_cast<std::uint16_t>((r[4] << 8) | r[5])));
            }
            return Negative(sid, kwp::kInvalidFormat);
        case kwp::kReportAdaptation: {
            if (!m_adaptationOpen) return Negative(sid, kwp::kConditionsNotCorrect);
            if (extra != 0) return Negative(sid, kwp::kInvalidFormat);
            const std::uint8_t channel = m_selected.value_or(0);
            const std::uint16_t value = m_channels.Active(channel);
            return Positive(sid, {lid, kRoutineOption0, kRoutineOption1, channel, 0x00,
                                  static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value & 0xFF)});
        }
        case kwp::kStoreAdaptation: {
            if (!m_adaptationOpen || !m_selected) {
                return Negative(sid, kwp::kConditionsNotCorrect);
            }
            if (extra != 2 + kWorkshopCodeLength) return Negative(sid, kwp::kInvalidFormat);
            const auto result =
                m_channels.Store(*m_selected, static_cast<std::uint16_t>((r[4] << 8) | r[5]));
            if (result != ChannelStore::Result::Denied)
                m_lastStoreCode.assign(r.begin() + 6, r.end());
            return limited(result);
        }
        default:
            return Negative(sid, kwp::kRequestOutOfRange);
    }
}

std::string KwpResponder::Describe(const std::vector<std::uint8_t>& payload) {
    return HexBytes("KWP", payload);
}

}  // namespace ecusim
