#pragma once
// The client's view of the library: the dual interface IBoschComms, the event interface
// _IBoschCommsEvents, the type library's enumerations and the identifiers of OrtalineLib.
#include "com/com.h"

enum Cable : LONG {
    SerialPortConnection = 1,
    USBPortConnection = 2,
    ParallelPortConnection = 3,
    OtherPortConnection1 = 4,
    OtherPortConnection2 = 5,
    OtherPortConnection3 = 6,
};

enum Protocol : LONG {
    VAG1281 = 1281,
    KWP2000 = 2000,
    KWPtester = 8,
    MCMESS = 224,
};

enum StatusLevel : LONG {
    Info = 1,
    Warning = 2,
    Severe = 3,
};

enum _ADDRESSINGMODE : LONG {
    NoAddressing = 0,
    CARBExceptionMode = 1,
    PhysicalAddressing = 2,
    FunctionalAddressing = 3,
    UnknownAddressingMode = 4,
};

enum _INITIALIZATIONADDRESSINGMODE : LONG {
    SevenBit = 1,
    EightBit = 2,
};

// Fixed identifiers of the class, its interfaces, the type library and the AppID. Defined
// here so that a client needs nothing but this header and the com library.
// {9D0A08CF-434D-41ED-BF33-1734C1306ED1}
inline constexpr CLSID CLSID_BoschComms{
    0x9D0A08CF, 0x434D, 0x41ED, {0xBF, 0x33, 0x17, 0x34, 0xC1, 0x30, 0x6E, 0xD1}};
// {8E7DCFA2-06F9-4942-BA1C-8D1E71DC8ABE}
inline constexpr IID IID_IBoschComms{
    0x8E7DCFA2, 0x06F9, 0x4942, {0xBA, 0x1C, 0x8D, 0x1E, 0x71, 0xDC, 0x8A, 0xBE}};
// {B69B4FEE-394D-406B-8A7E-35223BCF730D}
inline constexpr IID DIID__IBoschCommsEvents{
    0xB69B4FEE, 0x394D, 0x406B, {0x8A, 0x7E, 0x35, 0x22, 0x3B, 0xCF, 0x73, 0x0D}};
// {866D9BFE-08C0-43CD-BE50-8E53E9E816AD}
inline constexpr GUID LIBID_OrtalineLib{
    0x866D9BFE, 0x08C0, 0x43CD, {0xBE, 0x50, 0x8E, 0x53, 0xE9, 0xE8, 0x16, 0xAD}};
// {A54EDBD8-6725-4831-8825-3C5FBB899839}
inline constexpr GUID APPID_Ortaline{
    0xA54EDBD8, 0x6725, 0x4831, {0x88, 0x25, 0x3C, 0x5F, 0xBB, 0x89, 0x98, 0x39}};

// Members in table order after IDispatch's: early-bound clients call through this layout.
struct IBoschComms : IDispatch {
    virtual HRESULT InitializeOld(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                                  VARIANT* retVal) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT SendCommand(VARIANT Message, VARIANT* retVal) = 0;
    virtual HRESULT put_CableType(Cable newVal) = 0;
    virtual HRESULT get_CableType(Cable* pVal) = 0;
    virtual HRESULT put_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE newVal) = 0;
    virtual HRESULT get_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE* pVal) = 0;
    virtual HRESULT InitializeFast(LONG SerialPort, LONG EcuAddress, VARIANT* retVal) = 0;
    virtual HRESULT ChangeBaudRate(LONG BaudRate, VARIANT_BOOL* bRet) = 0;
    virtual HRESULT Initialize(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                               VARIANT* retVal) = 0;
    virtual HRESULT InitializeViaUART(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                                      VARIANT* retVal) = 0;
    virtual HRESULT GetProtocol(Protocol* retVal) = 0;
    virtual HRESULT InitializeFast2(LONG SerialPort, LONG EcuAddress, LONG kw2000, LONG mode,
                                    VARIANT* retVal) = 0;
    virtual HRESULT get_InterByteReadPause(LONG* pVal) = 0;
    virtual HRESULT put_InterByteReadPause(LONG newVal) = 0;
    virtual HRESULT get_InterByteWritePause(LONG* pVal) = 0;
    virtual HRESULT put_InterByteWritePause(LONG newVal) = 0;
    virtual HRESULT get_AddressingMode(_ADDRESSINGMODE* pVal) = 0;
    virtual HRESULT put_AddressingMode(_ADDRESSINGMODE newVal) = 0;

protected:
    ~IBoschComms() = default;
};

// _IBoschCommsEvents is dispatch-only: sinks receive its members through IDispatch::Invoke.
inline constexpr DISPID DISPID_IBoschCommsEvents_Status = 1;
inline constexpr DISPID DISPID_IBoschCommsEvents_DeliverMsgGetRequest = 2;

inline constexpr char16_t kBoschCommsProgId[] = u"Ortaline.BoschComms";
inline constexpr char16_t kBoschCommsProgIdVersioned[] = u"Ortaline.BoschComms.1";
