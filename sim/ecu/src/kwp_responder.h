#pragma once
// What a KWP2000 ECU answers to each request (service id and parameters), independent of
// framing and timing. Adaptation runs as local routines: 0xB8 opens it, 0xB9 selects a
// channel (one byte) or tests a value on it (two bytes), 0xBA reports the selected channel
// with its active value, 0xBB stores a value with the workshop code.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel_store.h"
#include "ecusim/config.h"

namespace ecusim {

namespace kwp {
constexpr std::uint8_t kReadIdentification = 0x1A;
constexpr std::uint8_t kIdentificationOption = 0x9B;
constexpr std::uint8_t kStartRoutine = 0x31;
constexpr std::uint8_t kTesterPresent = 0x3E;
constexpr std::uint8_t kStopCommunication = 0x82;
constexpr std::uint8_t kNegative = 0x7F;
constexpr std::uint8_t kPositiveOffset = 0x40;

constexpr std::uint8_t kServiceNotSupported = 0x11;
constexpr std::uint8_t kInvalidFormat = 0x12;
constexpr std::uint8_t kConditionsNotCorrect = 0x22;
constexpr std::uint8_t kRequestOutOfRange = 0x31;
constexpr std::uint8_t kResponsePending = 0x78;

constexpr std::uint8_t kOpenAdaptation = 0xB8;
constexpr std::uint8_t kSelectOrTest = 0xB9;
constexpr std::uint8_t kReportAdaptation = 0xBA;
constexpr std::uint8_t kStoreAdaptation = 0xBB;
}  // namespace kwp

struct KwpAnswer {
    std::vector<std::uint8_t> payload;
    bool endsSession = false;  // stop communication: the ECU goes quiet after this reply
};

class KwpResponder {
public:
    KwpResponder(const EcuConfig& config, ChannelStore& channels);

    void Begin();
    // nullopt: the request is ignored (an empty one).
    std::optional<KwpAnswer> Answer(const std::vector<std::uint8_t>& request);
    const std::vector<std::uint8_t>& LastStoreWorkshopCode() const { return m_lastStoreCode; }
    static std::string Describe(const std::vector<std::uint8_t>& payload);

private:
    KwpAnswer Routine(const std::vector<std::uint8_t>& request);
    std::vector<std::uint8_t> Identification() const;

    const EcuConfig& m_config;
    ChannelStore& m_channels;
    bool m_adaptationOpen = false;
    std::optional<std::uint8_t> m_selected;
    std::vector<std::uint8_t> m_lastStoreCode;
};

}  // namespace ecusim
