#include "Registration.h"

#include "com/registration.h"
#include "ortaline/IBoschComms.h"

namespace ortaline {
namespace {

com::ServerRegistration BoschCommsRegistration() {
    com::ServerRegistration server{};
    server.clsid = CLSID_BoschComms;
    server.progId = "Ortaline.BoschComms.1";
    server.versionIndependentProgId = "Ortaline.BoschComms";
    server.description = "BoschComms Class";
    server.appId = APPID_Ortaline;
    server.appIdName = "Ortaline";
    server.moduleName = "Ortaline.DLL";
    server.libId = LIBID_OrtalineLib;
    server.libraryName = "OrtalineLib";
    server.libraryVersion = "1.0";
    server.threadingModel = "Apartment";
    return server;
}

}  // namespace

HRESULT RegisterBoschComms() {
    // The path of this library as loaded, so that activation finds it wherever it lies.
    const std::string path = com::ModulePathOf(reinterpret_cast<const void*>(&RegisterBoschComms));
    if (path.empty()) return SELFREG_E_CLASS;
    return com::RegisterServer(BoschCommsRegistration(), path);
}

HRESULT UnregisterBoschComms() { return com::UnregisterServer(BoschCommsRegistration()); }

}  // namespace ortaline
