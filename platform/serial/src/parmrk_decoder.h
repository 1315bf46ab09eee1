#pragma once
// Undoes the tty's PARMRK marking of the input stream: 0xFF 0xFF is a received 0xFF,
// 0xFF 0x00 X is byte X received with a parity or framing error (X = 0: possibly a break),
// anything else is a plain byte. A sequence cut by the end of one read is finished by the
// next.
#include <cstddef>
#include <vector>

#include "win32/types.h"

namespace serial {

struct MarkedByte {
    BYTE value;
    bool errorMarked;
};

class ParmrkDecoder {
public:
    void Feed(const BYTE* bytes, std::size_t count, std::vector<MarkedByte>& out);
    void Reset() { m_state = State::Plain; }

private:
    enum class State { Plain, SawFF, SawFF00 };
    State m_state = State::Plain;
};

}  // namespace serial
