#pragma once
// A type library described by constant tables compiled into the server, which clients can
// read too: the library, its enumerations and its interfaces with their members. Dual
// interfaces carry a thunk per member, so that IDispatch::Invoke can be served generically
// by DispatchInvoke.
#include <cstddef>
#include <span>

#include "com/com.h"

namespace com {

enum class MemberKind { Method, PropertyGet, PropertyPut };

enum ParamFlags : unsigned {
    ParamIn = 1,
    ParamOut = 2,
    ParamRetval = 4,  // the member's result; not passed by Invoke's caller
};

struct ParamDesc {
    const char* name;
    VARTYPE vt;                      // VT_I4 for enumerations, VT_VARIANT for any value
    unsigned flags;                  // ParamFlags
    const char* typeName = nullptr;  // the enumeration's name, for readers
};

// Calls the member on `object` with `argsInOrder` (the parameters other than the retval,
// in declaration order, already coerced to their declared types; owned by the caller) and
// leaves the retval, if any, in `result` (VT_EMPTY on entry).
using MemberThunk = HRESULT (*)(void* object, VARIANT* argsInOrder, VARIANT* result);

struct MemberDesc {
    const char* name;
    DISPID dispid;
    MemberKind kind;
    std::span<const ParamDesc> params;
    MemberThunk thunk = nullptr;  // nullptr in dispatch-only (event) interfaces
};

struct InterfaceDesc {
    const char* name;
    const IID* iid;
    bool dual;  // false: dispatch-only
    std::span<const MemberDesc> members;
};

struct EnumMemberDesc {
    const char* name;
    LONG value;
};

struct EnumDesc {
    const char* name;
    std::span<const EnumMemberDesc> members;
};

struct LibraryDesc {
    const GUID* libid;
    const char* name;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    std::span<const EnumDesc> enums;
    std::span<const InterfaceDesc* const> interfaces;
};

const InterfaceDesc* FindInterface(const LibraryDesc& library, REFIID iid);
const EnumDesc* FindEnum(const LibraryDesc& library, const char* name);

// Serves IDispatch::Invoke for `iface` on `object`: picks the member by dispid and flags
// (DISPATCH_PROPERTYPUT needs the single named argument DISPID_PROPERTYPUT), checks the
// argument count, coerces the arguments (given in reverse order) with VariantChangeType and
// calls the thunk. A refused argument sets *argErr to its position in rgvarg. A failing
// member with `excepInfo` given is reported as DISP_E_EXCEPTION, with the thread's error
// information (taken) and the member's result in EXCEPINFO.
HRESULT DispatchInvoke(const InterfaceDesc& iface, void* object, DISPID dispid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Serves IDispatch::GetIDsOfNames: names[0] is a member, further names are its parameters
// (their dispids are their positions). Case does not matter. Unknown names get
// DISPID_UNKNOWN and the result DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(const InterfaceDesc& iface, LPOLESTR* names, UINT count, DISPID* dispids);

// Frees what DispatchInvoke put into an EXCEPINFO.
void ClearExcepInfo(EXCEPINFO* excepInfo);

// A server library hands out its type library through this export (where a Windows server
// embeds it as its first type-library resource).
inline constexpr char kTypeLibraryExport[] = "DllGetTypeLibrary";
using PfnDllGetTypeLibrary = const LibraryDesc* (*)();

// The type library of the server library at `path` (absolute; loaded once and kept).
// CO_E_DLLNOTFOUND when it cannot be loaded, TYPE_E_CANTLOADLIBRARY when it has none.
HRESULT LoadTypeLibrary(const char* path, const LibraryDesc** library);
// The registered type library: TypeLib\{LIBID}\<major>.<minor>\0\linux64 names its file.
// TYPE_E_LIBNOTREGISTERED when that version is not registered.
HRESULT LoadRegisteredTypeLibrary(REFGUID libid, WORD major, WORD minor,
                                  const LibraryDesc** library);

}  // namespace com
