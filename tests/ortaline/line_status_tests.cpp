// The MCMESS receive stream with line-status insertion taken apart, and its trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineStatusStream.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Decoded {
    Bytes pairs;
    std::vector<std::string> warnings;
};

Decoded Decode(const Bytes& raw) {
    CByteArray pairs;
    Decoded out;
    ortaline::DecodeLineStatusStream(raw.data(), raw.size(), pairs, out.warnings);
    out.pairs = pairs.Vector();
    return out;
}

TEST(LineStatusStream, EscapeSequencesOfEveryKind) {
    // A byte with its ninth bit arrives with the line status in front of it.
    Decoded d = Decode({0x12, 0xFF, 0x01, 0x64, 0x56, 0xAA});
    EXPECT_EQ(d.pairs, (Bytes{0x12, 0, 0x56, 0x64, 0xAA, 0}));
    EXPECT_TRUE(d.warnings.empty());

    EXPECT_EQ(Decode({0xFF, 0x00}).pairs, (Bytes{0xFF, 0}));

    d = Decode({0xFF, 0x02, 0x04, 0x21});
    EXPECT_EQ(d.pairs, (Bytes{0x21, 0}));
    EXPECT_EQ(d.warnings, std::vector<std::string>{"LSR_NODATA received: lsr 04"});

    EXPECT_EQ(Decode({0xFF, 0x03, 0x10, 0x22}).pairs, (Bytes{0x22, 0}));

    // An unknown value takes two bytes; the next one is decoded as usual.
    d = Decode({0xFF, 0x07, 0x33});
    EXPECT_EQ(d.pairs, (Bytes{0x33, 0}));
    EXPECT_EQ(d.warnings, std::vector<std::string>{"Unknown LSRMST_INSERT value: 07"});
}

TEST(LineStatusStream, CutOffSequencesAreKeptAsData) {
    EXPECT_EQ(Decode({0x11, 0xFF}).pairs, (Bytes{0x11, 0, 0xFF, 0}));
    EXPECT_EQ(Decode({0xFF, 0x01, 0x64}).pairs, (Bytes{0xFF, 0, 0x01, 0, 0x64, 0}));
    EXPECT_EQ(Decode({0xFF, 0x01}).pairs, (Bytes{0xFF, 0, 0x01, 0}));
    EXPECT_EQ(Decode({0xFF, 0x02}).pairs, (Bytes{0xFF, 0, 0x02, 0}));
    const Decoded d = Decode({0xFF, 0x03});
    EXPECT_EQ(d.pairs, (Bytes{0xFF, 0, 0x03, 0}));
    EXPECT_TRUE(d.warnings.empty());

    // What a tail still misses; escape values inside a sequence are its status and data.
    const Bytes raw{0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x01};
    const std::size_t missing[] = {1, 0, 1, 2};  // of its first 3, 4, 5 and 6 bytes
    for (std::size_t n = 3; n <= 6; ++n) {
        EXPECT_EQ(ortaline::MissingSequenceBytes(raw.data(), n), missing[n - 3]) << n;
    }
}

TEST(LineStatusStream, TraceMarksTheEndOfTheEcho) {
    CByteArray pairs;
    for (BYTE b : {0x12, 0, 0x56, 0x64, 0xAA, 0}) pairs.Add(b);
    EXPECT_EQ(ortaline::FormatNinthBitTrace(pairs, 5), "012 156  => 0aa ");
    // Statuses with either transmitter bit count as a ninth bit; an even size has no marker.
    pairs.RemoveAll();
    for (BYTE b : {0x01, 0x20, 0x02, 0x40, 0x03, 0x04}) pairs.Add(b);
    EXPECT_EQ(ortaline::FormatNinthBitTrace(pairs, 4), "101 102 003 ");
    EXPECT_EQ(ortaline::FormatNinthBitTrace(CByteArray{}, 3), "");
}

}  // namespace
