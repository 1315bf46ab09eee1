#pragma once
// The type library OrtalineLib: enumerations, the dual interface IBoschComms and the event
// interface _IBoschCommsEvents, with dispatch served from its description.
#include "com/typelib.h"

class BoschComms;

namespace ortaline {

const com::LibraryDesc& OrtalineLibrary();

HRESULT BoschCommsIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids);
HRESULT InvokeBoschComms(BoschComms& comms, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace ortaline
