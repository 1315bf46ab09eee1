#pragma once
// The one creatable class of the library.
//
// Files: BoschComms.cpp (COM surface, properties, SendCommand, Close, OpenPort,
// InitializeAtAddress), WaitInMS.cpp, Exchange.cpp (SendRequest, ExchangeMessage,
// SendByteWithEcho), ExchangeInverse.cpp (ExchangeMessageWithInverse), NinthBit.cpp
// (ExchangeMessageNinthBit), SlowInit.cpp (the 5-baud senders, InitializeSlow,
// DecodeKeywords), FastInit.cpp (InitializeFast, InitializeFast2).
#include <cstdint>
#include <optional>
#include <string>

#include "Message.h"
#include "Port.h"
#include "framework/byte_array.h"
#include "ortaline/IBoschComms.h"

class BoschComms;
using ExchangeRoutine = HRESULT (BoschComms::*)(const BYTE* frame, std::int32_t size,
                                                CByteArray& echo, CByteArray& reply, bool stamp);

class BoschComms : public IBoschComms {
public:
    BoschComms();
    virtual ~BoschComms();

    // ---- IUnknown / IDispatch (BoschComms.cpp; dispatch driven by the type library) ----
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                          DISPID* dispids) override;
    HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // ---- IBoschComms ----
    HRESULT InitializeOld(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                          VARIANT* retVal) override;
    HRESULT Close() override;
    HRESULT SendCommand(VARIANT Message, VARIANT* retVal) override;
    HRESULT put_CableType(Cable newVal) override;
    HRESULT get_CableType(Cable* pVal) override;
    HRESULT put_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE newVal) override;
    HRESULT get_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE* pVal) override;
    HRESULT InitializeFast(LONG SerialPort, LONG EcuAddress, VARIANT* retVal) override;
    HRESULT ChangeBaudRate(LONG BaudRate, VARIANT_BOOL* bRet) override;
    HRESULT Initialize(LONG SerialPort, LONG BaudRate, LONG EcuAddress, VARIANT* retVal) override;
    HRESULT InitializeViaUART(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                              VARIANT* retVal) override;
    HRESULT GetProtocol(Protocol* retVal) override;
    HRESULT InitializeFast2(LONG SerialPort, LONG EcuAddress, LONG kw2000, LONG mode,
                            VARIANT* retVal) override;
    HRESULT get_InterByteReadPause(LONG* pVal) override;
    HRESULT put_InterByteReadPause(LONG newVal) override;
    HRESULT get_InterByteWritePause(LONG* pVal) override;
    HRESULT put_InterByteWritePause(LONG newVal) override;
    HRESULT get_AddressingMode(_ADDRESSINGMODE* pVal) override;
    HRESULT put_AddressingMode(_ADDRESSINGMODE newVal) override;

    // ---- library-internal operations shared by the Parts' files ----
    HRESULT Fire_Status(const std::string& text, StatusLevel level);
    // printf-style convenience around Fire_Status.
    HRESULT FireStatusF(StatusLevel level, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    HRESULT Error(const std::string& text);
    // Status handlers run in the middle of a method: a call they make into the object is
    // refused (Guarded.h), so that the running method never meets a changed state.
    bool IsRaisingStatus() const;
    HRESULT RefuseCallFromStatusHandler();
    bool OpenPort(LONG SerialPort, LONG BaudRate);
    HRESULT InitializeAtAddress(LONG SerialPort, LONG BaudRate, LONG EcuAddress, int method,
                                VARIANT* retVal);
    bool WaitInMS(std::int32_t ms);

    // Exchange.cpp
    HRESULT SendRequest(const CByteArray& request, CByteArray& reply);
    HRESULT ExchangeMessage(const BYTE* frame, std::int32_t size, CByteArray& echo,
                            CByteArray& reply, bool stamp);
    BYTE SendByteWithEcho(BYTE byte, bool expectReply);
    // Timeouts.cpp: purges and the read timeouts every wake-up starts with; the normal read
    // timeout back after a response-pending chain.
    static constexpr DWORD kPendingReadTimeoutMs = 4500;
    void PrepareLineForWakeUp();
    void EndPendingReadTimeout();
    // Shared by both exchange routines: the counter stamp, the re-reads of the first-echo
    // rule (false when a further read yields nothing) and the echo comparison.
    void StampCounterIfAsked(bool stamp);
    // Opens every exchange routine: ends what the port has in progress and, unless the
    // exchange only receives, discards (and shows) the bytes already waiting.
    void BeginExchange(bool receiveOnly);
    bool RereadStrayZeros(BYTE& b);
    HRESULT CheckEcho(const BYTE* frame, std::int32_t size, const CByteArray& echo);
    // ExchangeInverse.cpp
    HRESULT ExchangeMessageWithInverse(const BYTE* frame, std::int32_t size, CByteArray& echo,
                                       CByteArray& reply, bool stamp);
    // SlowInit.cpp
    HRESULT InitializeSlow(LONG EcuAddress, VARIANT* retVal, int method);
    std::int32_t SendFiveBaudByte(std::int32_t address);
    std::int32_t SendFiveBaudByteAccurate(std::int32_t address);
    std::int32_t SendFiveBaudByteViaUart(std::int32_t address);
    std::string DecodeKeywords(BYTE kw1, BYTE kw2);
    // A {0, 0} array of 4-byte integers in retVal for the key bytes of a wake-up.
    HRESULT NewKeyBytesArray(VARIANT* retVal);
    // FastInit.cpp: the body of InitializeFast2 (key bytes out as read), and the 25 ms low /
    // 25 ms high pattern, which returns the counter at the end of the high phase.
    HRESULT FastInitialize(LONG SerialPort, LONG EcuAddress, bool kw2000, LONG mode, LONG& kw1Out,
                           LONG& kw2Out);
    std::int64_t SendWakeUpPattern();
    // NinthBit.cpp
    HRESULT ExchangeMessageNinthBit(const BYTE* frame, std::int32_t size, CByteArray& echo,
                                    CByteArray& reply, bool stamp);
    void SetNinthBitParity(std::int32_t bit);
    // 8 data bits, the stop bits of the fast initialisation's mode, and the parity when
    // one is given (otherwise the serial port keeps its own and the cable gets space).
    void SetMcMessLine(std::optional<PortParity> parity);
    void AwaitByteSent();

    // ---- state record ----
    CPort* m_pPort = nullptr;
    BYTE m_bEcuInitialized = 0;
    CMessage* m_pMessage = nullptr;
    std::int32_t m_nInitializationAddressingMode = EightBit;
    std::int32_t m_nCableType = SerialPortConnection;
    std::int64_t m_nCounterFrequency = 0;
    std::int32_t m_nBaudRate = 0;
    std::int32_t m_nPortNumber = 0;
    std::int64_t m_nCorrectionFactor = 0;
    std::int32_t m_nInterByteWritePause = 0;
    std::int32_t m_nInterByteReadPause = 0;
    std::int32_t m_nProtocol = KWP2000;
    BYTE m_nMessageCounter = 0;
    BYTE m_bJustInitialized = 0;
    std::int32_t m_nFastInitMode = 0;
    std::int32_t m_nFastInitSerialPort = 0;
    ExchangeRoutine m_pfnExchange = &BoschComms::ExchangeMessage;

private:
    // COM bookkeeping (reference count, connection point with its sinks, ISupportErrorInfo,
    // IConnectionPointContainer) lives in BoschComms.cpp.
    struct ComParts;
    ComParts* m_com = nullptr;
};
