#pragma once
// What a KW1281 ECU answers to each block, independent of bytes and timing.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel_store.h"
#include "ecusim/config.h"

namespace ecusim {

struct Kw1281Block {
    std::uint8_t title = 0;
    std::vector<std::uint8_t> data;
};

namespace kw1281 {
constexpr std::uint8_t kIdentify = 0x00;
constexpr std::uint8_t kEndOfCommunication = 0x06;
constexpr std::uint8_t kAck = 0x09;
constexpr std::uint8_t kNak = 0x0A;
constexpr std::uint8_t kReadAdaptation = 0x21;
constexpr std::uint8_t kTestAdaptation = 0x22;
constexpr std::uint8_t kStoreAdaptation = 0x2A;
constexpr std::uint8_t kAdaptationReply = 0xE6;
constexpr std::uint8_t kIdentification = 0xF6;
}  // namespace kw1281

class Kw1281Responder {
public:
    Kw1281Responder(const EcuConfig& config, ChannelStore& channels);

    // A new session: the first identification block, which the ECU sends unasked.
    Kw1281Block Begin();
    // The answer to a tester block; nullopt for end of communication (the ECU goes quiet).
    std::optional<Kw1281Block> Answer(const Kw1281Block& request);
    // The workshop code of the last store request (empty before one).
    const std::vector<std::uint8_t>& LastStoreWorkshopCode() const { return m_lastStoreCode; }
    static std::string Describe(const Kw1281Block& block);

private:
    Kw1281Block NextIdentification();
    Kw1281Block Adaptation(std::uint8_t channel, std::uint16_t value) const;

    ChannelStore& m_channels;
    std::vector<Kw1281Block> m_identification;
    std::size_t m_nextIdentification = 0;
    std::vector<std::uint8_t> m_lastStoreCode;
};

}  // namespace ecusim
