#pragma once
// How a simulated ECU identifies itself, which protocol it speaks, its adaptation channels
// and its timing. All times are milliseconds on the line (from the end of one byte to the
// start bit of the next unless said otherwise).
#include <cstdint>
#include <string>
#include <vector>

namespace ecusim {

// Kw1281 and KwpTester units wake up on a 5-baud address only; Kwp2000 units also on the
// fast initialisation (answering StartCommunication); McMess units only on the fast
// initialisation, answering its 0xA0 start and then speaking bytes with a ninth bit.
enum class EcuProtocol { Kw1281, Kwp2000, KwpTester, McMess };

// One adaptation channel, in raw ECU units (signed channels carry their offset of 128).
struct ChannelSpec {
    std::uint8_t number = 0;
    std::uint16_t min = 0;
    std::uint16_t max = 0xFFFF;
    std::uint16_t defaultValue = 0;
};

// What the ECU does with a test or store value outside a channel's limits.
enum class OutOfLimit { Clamp, Deny };

struct WakeTiming {
    // Accepted length of one 5-baud bit; the fit prefers the bit time nearest the nominal one.
    double bitMinMs = 180.0;
    double bitMaxMs = 220.0;
    double bitNominalMs = 200.0;
    double w1Ms = 200.0;  // end of the address byte to the 0x55 (60-300)
    double w2Ms = 10.0;   // 0x55 to key byte 1 (5-20)
    double w3Ms = 10.0;   // key byte 1 to key byte 2 (0-20)
    // The tester's complement of key byte 2 must start within this window after key byte 2.
    double kw2ComplementMinMs = 20.0;
    double kw2ComplementMaxMs = 50.0;
    double w4Ms = 30.0;  // tester's complement to the ECU's complement of its address (25-50)
};

// The fast initialisation as ISO 14230 allows it: the line low for 25 +- 1 ms, and from
// that falling edge to the start bit of the first request byte 50 +- 1 ms.
struct FastInitTiming {
    double lowMinMs = 24.0;
    double lowMaxMs = 26.0;
    double patternMinMs = 49.0;
    double patternMaxMs = 51.0;
};

struct Timing {
    WakeTiming wake;
    FastInitTiming fastInit;
    // ISO 14230 (KWP2000 and KWPtester).
    double p1Ms = 0.0;              // between the ECU's reply bytes (0-20)
    double p2Ms = 30.0;             // end of the request to the reply (25-50)
    double p4MaxMs = 20.0;          // longest gap between two tester bytes of one request
    double testerFrameGapMs = 5.0;  // KWPtester requests carry no length: a gap ends them
    // KW1281.
    double complementDelayMs = 2.0;   // tester byte to the ECU's complement
    double byteDelayMs = 2.0;         // tester's complement to the ECU's next block byte
    double blockDelayMs = 30.0;       // end of the tester's block to the ECU's answer
    double firstBlockDelayMs = 30.0;  // complement of key byte 2 to the first block
    double byteTimeoutMs = 200.0;     // longest wait for the tester's next byte or complement
    // MCMESS: a gap this long after a tester byte ends the request; the answer follows
    // the end of the request after mcmessReplyMs.
    double mcmessFrameGapMs = 5.0;
    double mcmessReplyMs = 10.0;
    // All: a session with no request for this long ends (ISO 14230 P3max).
    double sessionTimeoutMs = 5000.0;
};

struct EcuConfig {
    std::uint8_t address = 0x01;
    EcuProtocol protocol = EcuProtocol::Kw1281;
    std::uint8_t kw1 = 0x01;
    std::uint8_t kw2 = 0x8A;
    // Also wake up on the 7-bit form of the address (its even-parity bit in bit 7).
    bool acceptSevenBitAddress = true;

    // KW1281 identification: the first text is the first block after the wake-up, the
    // coding and workshop block comes second, the other texts follow (all title 0xF6).
    std::vector<std::string> kw1281Texts;
    std::uint16_t kw1281Coding = 0x0010;
    // KWP2000 identification (0x1A 0x9B): 20 text bytes, the 6 workshop code bytes, a tail.
    std::string kwpIdentification;
    std::string kwpIdentificationTail;
    // Six bytes; KW1281 uses the first two.
    std::vector<std::uint8_t> workshopCode;

    std::vector<ChannelSpec> channels;
    OutOfLimit outOfLimit = OutOfLimit::Clamp;
    Timing timing;
};

// The twelve tuning channels with the limits and defaults the tuning program expects.
std::vector<ChannelSpec> DefaultChannels();
// A complete ECU of the given protocol at address 0x01.
EcuConfig DefaultConfig(EcuProtocol protocol);

}  // namespace ecusim
