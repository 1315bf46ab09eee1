#include "LineStatusStream.h"

#include <cstdio>

#include "serial/comm.h"

namespace ortaline {

namespace {

void AddPair(CByteArray& pairs, BYTE value, BYTE status) {
    pairs.Add(value);
    pairs.Add(status);
}

// Bytes that an escape sequence starting with this value takes in all; 2 for values
// outside the table, whose meaning is unknown.
std::size_t SequenceLength(BYTE kind) {
    switch (kind) {
        case SERIAL_LSRMST_LSR_DATA:
            return 4;
        case SERIAL_LSRMST_LSR_NODATA:
        case SERIAL_LSRMST_MST:
            return 3;
        default:
            return 2;
    }
}

// Bytes the escape sequence at raw[i] takes, as far as raw shows; a lone escape at the very
// end has no kind byte yet.
std::size_t EscapeLength(const BYTE* raw, std::size_t i, std::size_t count) {
    return i + 1 < count ? SequenceLength(raw[i + 1]) : 2;
}

std::string Warning(const char* format, BYTE value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void DecodeLineStatusStream(const BYTE* raw, std::size_t count, CByteArray& pairs,
                            std::vector<std::string>& warnings) {
    std::size_t i = 0;
    while (i < count) {
        if (raw[i] != kLineStatusEscape) {
            AddPair(pairs, raw[i++], 0);
            continue;
        }
        const std::size_t length = EscapeLength(raw, i, count);
        if (i + length > count) {
            for (; i < count; ++i) AddPair(pairs, raw[i], 0);
            break;
        }
        const BYTE kind = raw[i + 1];
        switch (kind) {
            case SERIAL_LSRMST_ESCAPE:
                AddPair(pairs, kLineStatusEscape, 0);
                break;
            case SERIAL_LSRMST_LSR_DATA:
                AddPair(pairs, raw[i + 3], raw[i + 2]);
                break;
            case SERIAL_LSRMST_LSR_NODATA:
                warnings.push_back(Warning("LSR_NODATA received: lsr %02x", raw[i + 2]));
                break;
            case SERIAL_LSRMST_MST:
                break;
            default:
                warnings.push_back(Warning("Unknown LSRMST_INSERT value: %02x", kind));
                break;
        }
        i += length;
    }
}

std::size_t MissingSequenceBytes(const BYTE* raw, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        const std::size_t length = raw[i] == kLineStatusEscape ? EscapeLength(raw, i, count) : 1;
        if (i + length > count) return i + length - count;
        i += length;
    }
    return 0;
}

bool NinthBitOf(BYTE lineStatus) { return (lineStatus & (SERIAL_LSR_THRE | SERIAL_LSR_TEMT)) != 0; }

std::string FormatNinthBitTrace(const CByteArray& pairs, std::int32_t requestSize) {
    std::string trace;
    char item[8];
    for (std::ptrdiff_t at = 0; at + 1 < pairs.GetSize(); at += 2) {
        if (at == requestSize - 1) trace += " => ";
        std::snprintf(item, sizeof item, "%i%02x ", NinthBitOf(pairs[at + 1]) ? 1 : 0, pairs[at]);
        trace += item;
    }
    return trace;
}

}  // namespace ortaline
