#pragma once
// Win32 serial communications on COM ports, with Windows behaviour, over two backends:
// a termios tty and the virtual K-line of the simulator. Port n ("\\.\COMn") maps to
// /dev/ttyS(n-1) unless the settings store names another device for it (see
// serial/device_map.h).
#include "win32/last_error.h"
#include "win32/types.h"

// CreateFileA
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;
struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
// Auto-reset / manual-reset event objects (created and closed; nothing waits on them here).
HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped);
BOOL FlushFileBuffers(HANDLE file);

// DCB
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;
inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// Field order and bit layout as the Windows DCB (the flag word is one 32-bit value, fBinary
// in bit 0), 28 bytes in all.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28);

// The DCB flag word as one value (bit 0 = fBinary), for checks against Windows' layout.
DWORD DcbFlagWord(const DCB& dcb);

BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, DCB* dcb);

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);

inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL SetCommMask(HANDLE file, DWORD eventMask);

// ClearCommError error flags
inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);

BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);

inline constexpr DWORD SETXOFF = 1;
inline constexpr DWORD SETXON = 2;
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;
BOOL EscapeCommFunction(HANDLE file, DWORD function);

// Line-status / modem-status insertion: after the ioctl the receive stream carries
// escape-byte sequences (escape, SERIAL_LSRMST_*, data) in place of line events and of a
// received byte equal to the escape byte.
inline constexpr DWORD IOCTL_SERIAL_LSRMST_INSERT = 0x1B007C;
inline constexpr BYTE SERIAL_LSRMST_ESCAPE = 0x00;
inline constexpr BYTE SERIAL_LSRMST_LSR_DATA = 0x01;
inline constexpr BYTE SERIAL_LSRMST_LSR_NODATA = 0x02;
inline constexpr BYTE SERIAL_LSRMST_MST = 0x03;
// Line status register bits carried by the LSR sequences.
inline constexpr BYTE SERIAL_LSR_DR = 0x01;
inline constexpr BYTE SERIAL_LSR_OE = 0x02;
inline constexpr BYTE SERIAL_LSR_PE = 0x04;
inline constexpr BYTE SERIAL_LSR_FE = 0x08;
inline constexpr BYTE SERIAL_LSR_BI = 0x10;
inline constexpr BYTE SERIAL_LSR_THRE = 0x20;
inline constexpr BYTE SERIAL_LSR_TEMT = 0x40;

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, DWORD* bytesReturned,
                     OVERLAPPED* overlapped);

// FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM: returns
// the number of characters, 0 when the code has no message; free the buffer with LocalFree.
inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;  // no message for the code
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
void* LocalFree(void* memory);
