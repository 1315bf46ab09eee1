#pragma once
// What an MCMESS unit answers, and how its bytes carry the ninth bit. A request is a
// command byte with the ninth bit set followed by parameter bytes without it; the answer
// is an acknowledgement (the command + 0x40, ninth bit set), the data, and an 8-bit sum of
// both (ninth bit clear).
#include <cstdint>
#include <string>
#include <vector>

#include "ecusim/config.h"
#include "kline/kline.h"

namespace ecusim {

namespace mcmess {
constexpr std::uint8_t kStart = 0xA0;
constexpr std::uint8_t kTwoStopBitsMode = 0xA6;
constexpr std::uint8_t kIdentification = 0x1A;
constexpr std::uint8_t kAcknowledgeOffset = 0x40;
}  // namespace mcmess

class McMessResponder {
public:
    explicit McMessResponder(const EcuConfig& config) : m_config(config) {}

    // Acknowledgement and data of the answer to a request (command first).
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request) const;

    // The answer on the wire: the ninth bit on its first byte, the sum after it.
    static std::vector<kline::NinthBitByte> Frame(const std::vector<std::uint8_t>& payload);
    static std::string Describe(const std::vector<std::uint8_t>& bytes);

private:
    const EcuConfig& m_config;
};

}  // namespace ecusim
