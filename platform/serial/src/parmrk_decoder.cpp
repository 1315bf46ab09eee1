#include "parmrk_decoder.h"

namespace serial {

void ParmrkDecoder::Feed(const BYTE* bytes, std::size_t count, std::vector<MarkedByte>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const BYTE b = bytes[i];
        switch (m_state) {
            case State::Plain:
                if (b == 0xFF) {
                    m_state = State::SawFF;
                } else {
                    out.push_back({b, false});
                }
                break;
            case State::SawFF:
                if (b == 0xFF) {
                    out.push_back({0xFF, false});
                    m_state = State::Plain;
                } else if (b == 0x00) {
                    m_state = State::SawFF00;
                } else {
                    // Not a marking the tty produces; keep both bytes rather than lose one.
                    out.push_back({0xFF, false});
                    out.push_back({b, false});
                    m_state = State::Plain;
                }
                break;
            case State::SawFF00:
                out.push_back({b, true});
                m_state = State::Plain;
                break;
        }
    }
}

}  // namespace serial
