#include "ecusim/config.h"

namespace ecusim {
namespace {

// Signed channels travel with an offset of 128.
constexpr std::uint16_t kSignedOffset = 128;

ChannelSpec Signed(std::uint8_t number, int min, int max) {
    return {number, static_cast<std::uint16_t>(min + kSignedOffset),
            static_cast<std::uint16_t>(max + kSignedOffset), kSignedOffset};
}

}  // namespace

std::vector<ChannelSpec> DefaultChannels() {
    return {
        {12, 128, 333, 255},   // boost
        Signed(6, -10, 10),    // lambda regulation
        {14, 0, 31, 0},        // idle torque offset
        Signed(9, -7, 16),     // timing
        Signed(7, -128, 127),  // speed limiter
        Signed(1, -20, 80),    // idle speed
        {8, 64, 192, 128},     // fuel scalings
        {2, 64, 192, 128},    {4, 64, 192, 128}, {10, 64, 192, 128},
        {3, 64, 192, 128},    {5, 64, 192, 128},
    };
}

EcuConfig DefaultConfig(EcuProtocol protocol) {
    EcuConfig c;
    c.protocol = protocol;
    switch (protocol) {
        case EcuProtocol::Kw1281:
            c.kw1 = 0x01;
            c.kw2 = 0x8A;
            break;
        case EcuProtocol::Kwp2000:
            c.kw1 = 0xE9;  // length in the format byte, addresses in the header, normal timing
            c.kw2 = 0x8F;
            break;
        case EcuProtocol::KwpTester:
            c.kw1 = 0x6B;
            c.kw2 = 0x94;
            break;
        case EcuProtocol::McMess:
            c.kw1 = 0xE9;
            c.kw2 = 0x8F;
            break;
    }
    c.kw1281Texts = {"DK0906032AB ", "1.8L R4/5VT 0002"};
    c.kwpIdentification = "DK0906032AB 1.8L R4 ";
    c.kwpIdentificationTail = "0002";
    c.workshopCode = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    c.channels = DefaultChannels();
    return c;
}

}  // namespace ecusim
