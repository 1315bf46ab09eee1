#include "TypeLibrary.h"

#include "BoschComms.h"
#include "com/dispatch_thunk.h"

namespace ortaline {
namespace {

using com::MemberDesc;
using com::MemberKind;
using com::ParamDesc;
using com::ParamIn;
using com::ParamOut;
using com::ParamRetval;

constexpr unsigned kRetval = ParamOut | ParamRetval;

// ---- IBoschComms -------------------------------------------------------------------------

constexpr ParamDesc kInitParams[] = {
    {"SerialPort", VT_I4, ParamIn},
    {"BaudRate", VT_I4, ParamIn},
    {"EcuAddress", VT_I4, ParamIn},
    {"retVal", VT_VARIANT, kRetval},
};
constexpr ParamDesc kSendCommandParams[] = {
    {"Message", VT_VARIANT, ParamIn},
    {"retVal", VT_VARIANT, kRetval},
};
constexpr ParamDesc kCablePut[] = {{"newVal", VT_I4, ParamIn, "Cable"}};
constexpr ParamDesc kCableGet[] = {{"pVal", VT_I4, kRetval, "Cable"}};
constexpr ParamDesc kInitModePut[] = {{"newVal", VT_I4, ParamIn, "_INITIALIZATIONADDRESSINGMODE"}};
constexpr ParamDesc kInitModeGet[] = {{"pVal", VT_I4, kRetval, "_INITIALIZATIONADDRESSINGMODE"}};
constexpr ParamDesc kFastParams[] = {
    {"SerialPort", VT_I4, ParamIn},
    {"EcuAddress", VT_I4, ParamIn},
    {"retVal", VT_VARIANT, kRetval},
};
constexpr ParamDesc kBaudParams[] = {
    {"BaudRate", VT_I4, ParamIn},
    {"bRet", VT_BOOL, kRetval},
};
constexpr ParamDesc kProtocolParams[] = {{"retVal", VT_I4, kRetval, "Protocol"}};
constexpr ParamDesc kFast2Params[] = {
    {"SerialPort", VT_I4, ParamIn}, {"EcuAddress", VT_I4, ParamIn},  {"kw2000", VT_I4, ParamIn},
    {"mode", VT_I4, ParamIn},       {"retVal", VT_VARIANT, kRetval},
};
constexpr ParamDesc kLongGet[] = {{"pVal", VT_I4, kRetval}};
constexpr ParamDesc kLongPut[] = {{"newVal", VT_I4, ParamIn}};
constexpr ParamDesc kAddressingGet[] = {{"pVal", VT_I4, kRetval, "_ADDRESSINGMODE"}};
constexpr ParamDesc kAddressingPut[] = {{"newVal", VT_I4, ParamIn, "_ADDRESSINGMODE"}};

template <auto Method>
constexpr com::MemberThunk T = &com::Thunk<Method>;

const MemberDesc kBoschCommsMembers[] = {
    {"InitializeOld", 1, MemberKind::Method, kInitParams, T<&IBoschComms::InitializeOld>},
    {"Close",
     2,
     MemberKind::Method,
     {},
     [](void* o, VARIANT*, VARIANT*) { return static_cast<IBoschComms*>(o)->Close(); }},
    {"SendCommand", 3, MemberKind::Method, kSendCommandParams, T<&IBoschComms::SendCommand>},
    {"CableType", 4, MemberKind::PropertyPut, kCablePut, T<&IBoschComms::put_CableType>},
    {"CableType", 4, MemberKind::PropertyGet, kCableGet, T<&IBoschComms::get_CableType>},
    {"InitializationAddressingMode", 5, MemberKind::PropertyPut, kInitModePut,
     T<&IBoschComms::put_InitializationAddressingMode>},
    {"InitializationAddressingMode", 5, MemberKind::PropertyGet, kInitModeGet,
     T<&IBoschComms::get_InitializationAddressingMode>},
    {"InitializeFast", 6, MemberKind::Method, kFastParams, T<&IBoschComms::InitializeFast>},
    {"ChangeBaudRate", 7, MemberKind::Method, kBaudParams, T<&IBoschComms::ChangeBaudRate>},
    {"Initialize", 8, MemberKind::Method, kInitParams, T<&IBoschComms::Initialize>},
    {"InitializeViaUART", 9, MemberKind::Method, kInitParams, T<&IBoschComms::InitializeViaUART>},
    {"GetProtocol", 13, MemberKind::Method, kProtocolParams, T<&IBoschComms::GetProtocol>},
    {"InitializeFast2", 14, MemberKind::Method, kFast2Params, T<&IBoschComms::InitializeFast2>},
    {"InterByteReadPause", 10, MemberKind::PropertyGet, kLongGet,
     T<&IBoschComms::get_InterByteReadPause>},
    {"InterByteReadPause", 10, MemberKind::PropertyPut, kLongPut,
     T<&IBoschComms::put_InterByteReadPause>},
    {"InterByteWritePause", 11, MemberKind::PropertyGet, kLongGet,
     T<&IBoschComms::get_InterByteWritePause>},
    {"InterByteWritePause", 11, MemberKind::PropertyPut, kLongPut,
     T<&IBoschComms::put_InterByteWritePause>},
    {"AddressingMode", 12, MemberKind::PropertyGet, kAddressingGet,
     T<&IBoschComms::get_AddressingMode>},
    {"AddressingMode", 12, MemberKind::PropertyPut, kAddressingPut,
     T<&IBoschComms::put_AddressingMode>},
};

const com::InterfaceDesc kBoschCommsInterface{"IBoschComms", &IID_IBoschComms, true,
                                              kBoschCommsMembers};

// ---- _IBoschCommsEvents ------------------------------------------------------------------

constexpr ParamDesc kStatusParams[] = {
    {"StatusMessage", VT_BSTR, ParamIn},
    {"Level", VT_I4, ParamIn, "StatusLevel"},
};
constexpr ParamDesc kDeliverParams[] = {
    {"Message", VT_VARIANT, ParamIn},
    {"Request", VT_VARIANT, ParamOut},
};
const MemberDesc kEventMembers[] = {
    {"Status", DISPID_IBoschCommsEvents_Status, MemberKind::Method, kStatusParams},
    {"DeliverMsgGetRequest", DISPID_IBoschCommsEvents_DeliverMsgGetRequest, MemberKind::Method,
     kDeliverParams},
};
const com::InterfaceDesc kEventsInterface{"_IBoschCommsEvents", &DIID__IBoschCommsEvents, false,
                                          kEventMembers};

// ---- enumerations --------------------------------------------------------------------------

constexpr com::EnumMemberDesc kCable[] = {
    {"SerialPortConnection", SerialPortConnection},
    {"USBPortConnection", USBPortConnection},
    {"ParallelPortConnection", ParallelPortConnection},
    {"OtherPortConnection1", OtherPortConnection1},
    {"OtherPortConnection2", OtherPortConnection2},
    {"OtherPortConnection3", OtherPortConnection3},
};
constexpr com::EnumMemberDesc kProtocol[] = {
    {"VAG1281", VAG1281}, {"KWP2000", KWP2000}, {"KWPtester", KWPtester}, {"MCMESS", MCMESS}};
constexpr com::EnumMemberDesc kStatusLevel[] = {
    {"Info", Info}, {"Warning", Warning}, {"Severe", Severe}};
constexpr com::EnumMemberDesc kAddressingMode[] = {
    {"NoAddressing", NoAddressing},
    {"CARBExceptionMode", CARBExceptionMode},
    {"PhysicalAddressing", PhysicalAddressing},
    {"FunctionalAddressing", FunctionalAddressing},
    {"UnknownAddressingMode", UnknownAddressingMode},
};
constexpr com::EnumMemberDesc kInitializationAddressingMode[] = {{"SevenBit", SevenBit},
                                                                 {"EightBit", EightBit}};

const com::EnumDesc kEnums[] = {
    {"Cable", kCable},
    {"Protocol", kProtocol},
    {"StatusLevel", kStatusLevel},
    {"_ADDRESSINGMODE", kAddressingMode},
    {"_INITIALIZATIONADDRESSINGMODE", kInitializationAddressingMode},
};

const com::InterfaceDesc* const kInterfaces[] = {&kBoschCommsInterface, &kEventsInterface};

const com::LibraryDesc kLibrary{&LIBID_OrtalineLib, "OrtalineLib", 1, 0, 1033, kEnums, kInterfaces};

}  // namespace

const com::LibraryDesc& OrtalineLibrary() { return kLibrary; }

HRESULT BoschCommsIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return com::GetIDsOfNames(kBoschCommsInterface, names, count, dispids);
}

HRESULT InvokeBoschComms(BoschComms& comms, DISPID dispid, REFIID riid, LCID, WORD flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return com::DispatchInvoke(kBoschCommsInterface, static_cast<IBoschComms*>(&comms), dispid,
                               flags, params, result, excepInfo, argErr);
}

}  // namespace ortaline
