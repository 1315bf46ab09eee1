#include "dcb_rules.h"

namespace serial {

DWORD ValidateDcb(const DCB& dcb) {
    if (dcb.BaudRate == 0) return ERROR_INVALID_PARAMETER;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_INVALID_PARAMETER;
    if (dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
    // A UART has 1.5 stop bits only with 5 data bits, and 2 only with 6 to 8.
    if (dcb.ByteSize == 5 && dcb.StopBits == TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
    if (dcb.ByteSize != 5 && dcb.StopBits == ONE5STOPBITS) return ERROR_INVALID_PARAMETER;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

LineSettings SettingsFromDcb(const DCB& dcb) {
    LineSettings s;
    s.baud = dcb.BaudRate;
    s.byteSize = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
    s.rtsHandshake = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    s.xonXoffOutput = dcb.fOutX != 0;
    s.xonXoffInput = dcb.fInX != 0;
    s.xonChar = dcb.XonChar;
    s.xoffChar = dcb.XoffChar;
    return s;
}

DCB InitialDcb(const LineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = s.baud;
    dcb.fBinary = 1;
    dcb.fParity = s.parity != NOPARITY ? 1 : 0;
    dcb.fOutxCtsFlow = s.ctsOutputFlow ? 1 : 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = s.xonXoffOutput ? 1 : 0;
    dcb.fInX = s.xonXoffInput ? 1 : 0;
    dcb.fRtsControl = s.rtsHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    return dcb;
}

bool DtrLevelFor(const DCB& dcb) { return dcb.fDtrControl != DTR_CONTROL_DISABLE; }

bool RtsLevelFor(const DCB& dcb) {
    // Toggle raises RTS only while sending; idle it is low.
    return dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
}

}  // namespace serial
