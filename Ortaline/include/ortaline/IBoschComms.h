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

extern "C" {
extern const CLSID CLSID_BoschComms;
extern const IID IID_IBoschComms;
extern const IID DIID__IBoschCommsEvents;
extern const GUID LIBID_OrtalineLib;
}

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
