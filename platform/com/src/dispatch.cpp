#include <cstring>
#include <vector>

#include "com/bstr.h"
#include "com/typelib.h"

namespace com {
namespace {

bool SameName(const char* a, LPCOLESTR b) {
    for (;; ++a, ++b) {
        char16_t x = static_cast<unsigned char>(*a), y = *b;
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
        if (x == 0) return true;
    }
}

bool Serves(const MemberDesc& member, WORD flags) {
    switch (member.kind) {
        case MemberKind::Method:
            return (flags & DISPATCH_METHOD) != 0;
        case MemberKind::PropertyGet:
            return (flags & DISPATCH_PROPERTYGET) != 0;
        case MemberKind::PropertyPut:
            return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    }
    return false;
}

const MemberDesc* PickMember(const InterfaceDesc& iface, DISPID dispid, WORD flags) {
    // A put is only ever a put; a call that allows both method and get (as late-bound
    // callers often pass) takes the method first.
    const MemberDesc* get = nullptr;
    for (const auto& member : iface.members) {
        if (member.dispid != dispid || !Serves(member, flags)) continue;
        if (member.kind == MemberKind::PropertyGet) {
            get = &member;
            continue;
        }
        return &member;
    }
    return get;
}

// The argument at `position` in the caller's order, looked through a VARIANT reference.
const VARIANT* Argument(const DISPPARAMS& params, UINT position) {
    const VARIANT* arg = &params.rgvarg[params.cArgs - 1 - position];
    if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal) arg = arg->pvarVal;
    return arg;
}

void FillExcepInfo(EXCEPINFO* info, HRESULT failure) {
    std::memset(info, 0, sizeof *info);
    info->scode = failure;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
        error->GetHelpFile(&info->bstrHelpFile);
        error->GetHelpContext(&info->dwHelpContext);
        error->Release();
    }
}

}  // namespace

const InterfaceDesc* FindInterface(const LibraryDesc& library, REFIID iid) {
    for (const auto* iface : library.interfaces) {
        if (iface && *iface->iid == iid) return iface;
    }
    return nullptr;
}

const EnumDesc* FindEnum(const LibraryDesc& library, const char* name) {
    for (const auto& e : library.enums) {
        if (std::strcmp(e.name, name) == 0) return &e;
    }
    return nullptr;
}

HRESULT DispatchInvoke(const InterfaceDesc& iface, void* object, DISPID dispid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!params) return E_INVALIDARG;
    if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    const MemberDesc* member = PickMember(iface, dispid, flags);
    if (!member || !member->thunk) return DISP_E_MEMBERNOTFOUND;

    if (member->kind == MemberKind::PropertyPut) {
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return params->cNamedArgs == 0 ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
        }
    } else if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }

    std::vector<const ParamDesc*> inputs;
    const ParamDesc* retval = nullptr;
    for (const auto& param : member->params) {
        if (param.flags & ParamRetval) {
            retval = &param;
        } else {
            inputs.push_back(&param);
        }
    }
    if (params->cArgs != inputs.size()) return DISP_E_BADPARAMCOUNT;

    std::vector<VARIANT> args(inputs.size());
    for (auto& arg : args) VariantInit(&arg);
    auto clearArgs = [&args] {
        for (auto& arg : args) VariantClear(&arg);
    };
    for (UINT i = 0; i < inputs.size(); ++i) {
        const VARIANT* source = Argument(*params, i);
        const ParamDesc& param = *inputs[i];
        HRESULT hr = S_OK;
        if (param.vt == VT_VARIANT) {
            hr = VariantCopy(&args[i], source);
        } else if ((param.flags & ParamOut) && (source->vt & VT_BYREF)) {
            args[i] = *source;  // an [out] argument is the caller's reference itself
        } else {
            hr = VariantChangeType(&args[i], source, 0, param.vt);
        }
        if (FAILED(hr)) {
            clearArgs();
            if (argErr) *argErr = params->cArgs - 1 - i;
            return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
        }
    }

    VARIANT value;
    VariantInit(&value);
    HRESULT hr = member->thunk(object, args.data(), &value);
    for (UINT i = 0; i < inputs.size(); ++i) {
        if (!((inputs[i]->flags & ParamOut) && (args[i].vt & VT_BYREF))) VariantClear(&args[i]);
    }
    if (FAILED(hr)) {
        VariantClear(&value);
        if (!excepInfo) return hr;
        FillExcepInfo(excepInfo, hr);
        return DISP_E_EXCEPTION;
    }
    // The retval goes out as declared (a thunk may hand a Boolean over as a 16-bit number).
    if (retval && retval->vt != VT_VARIANT && value.vt != retval->vt && value.vt != VT_EMPTY) {
        VariantChangeType(&value, &value, 0, retval->vt);
    }
    if (result) {
        VariantInit(result);
        *result = value;
    } else {
        VariantClear(&value);
    }
    return hr;
}

HRESULT GetIDsOfNames(const InterfaceDesc& iface, LPOLESTR* names, UINT count, DISPID* dispids) {
    if (count == 0) return S_OK;
    if (!names || !dispids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) dispids[i] = DISPID_UNKNOWN;
    const MemberDesc* found = nullptr;
    for (const auto& member : iface.members) {
        if (names[0] && SameName(member.name, names[0])) {
            found = &member;
            break;
        }
    }
    if (!found) return DISP_E_UNKNOWNNAME;
    dispids[0] = found->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        // Parameters by name: a get and a put share a dispid, so look through all members
        // of that dispid.
        for (const auto& member : iface.members) {
            if (member.dispid != found->dispid) continue;
            for (std::size_t p = 0; p < member.params.size(); ++p) {
                if (names[i] && SameName(member.params[p].name, names[i])) {
                    dispids[i] = static_cast<DISPID>(p);
                }
            }
        }
        if (dispids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

void ClearExcepInfo(EXCEPINFO* excepInfo) {
    if (!excepInfo) return;
    SysFreeString(excepInfo->bstrSource);
    SysFreeString(excepInfo->bstrDescription);
    SysFreeString(excepInfo->bstrHelpFile);
    std::memset(excepInfo, 0, sizeof *excepInfo);
}

}  // namespace com
