// The library as a client meets it: registered from its file, created by ProgID through
// dlopen, driven early-bound and through IDispatch, with events and error information.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "com/bstr.h"
#include "com/guid_text.h"
#include "com/typelib.h"
#include "library_client.h"
#include "ortaline/IBoschComms.h"
#include "registry/registry.h"

namespace {

using core_test::StatusEvent;

std::string ClassKey() { return "CLSID\\" + com::GuidToString(CLSID_BoschComms); }

class ServerTest : public core_test::LibraryClientTest {
protected:
    void SetUp() override { CreateComms(); }
};

TEST_F(ServerTest, RegistrationNamesTheLibraryAndApartmentThreading) {
    std::string path, model, current, appId;
    ASSERT_TRUE(registry::ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "", path));
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("libOrtaline.so"), std::string::npos);
    ASSERT_TRUE(registry::ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32",
                                     "ThreadingModel", model));
    EXPECT_EQ(model, "Apartment");
    ASSERT_TRUE(
        registry::ReadString(HKEY_CLASSES_ROOT, "Ortaline.BoschComms\\CurVer", "", current));
    EXPECT_EQ(current, "Ortaline.BoschComms.1");
    ASSERT_TRUE(registry::ReadString(HKEY_CLASSES_ROOT, "AppID\\Ortaline.DLL", "AppID", appId));
    EXPECT_EQ(appId, com::GuidToString(APPID_Ortaline));

    // Every key and value a client or the registry scripts rely on, by its exact text.
    const std::string classId = com::GuidToString(CLSID_BoschComms);
    const std::string appIdKey = "AppID\\" + appId;
    const std::string expected[][3] = {
        {"Ortaline.BoschComms.1", "", "BoschComms Class"},
        {"Ortaline.BoschComms.1\\CLSID", "", classId},
        {"Ortaline.BoschComms", "", "BoschComms Class"},
        {"Ortaline.BoschComms\\CLSID", "", classId},
        {ClassKey(), "", "BoschComms Class"},
        {ClassKey(), "AppID", appId},
        {ClassKey() + "\\ProgID", "", "Ortaline.BoschComms.1"},
        {ClassKey() + "\\VersionIndependentProgID", "", "Ortaline.BoschComms"},
        {ClassKey() + "\\TypeLib", "", com::GuidToString(LIBID_OrtalineLib)},
        {appIdKey, "", "Ortaline"},
    };
    for (const auto& [key, name, value] : expected) {
        std::string actual;
        EXPECT_TRUE(registry::ReadString(HKEY_CLASSES_ROOT, key, name, actual)) << key;
        EXPECT_EQ(actual, value) << key << " " << name;
    }
    HKEY programmable = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (ClassKey() + "\\Programmable").c_str(), 0, KEY_READ,
                            &programmable),
              ERROR_SUCCESS);
    if (programmable != nullptr) RegCloseKey(programmable);

    comms->Release();
    comms = nullptr;
    ASSERT_EQ(UnregisterServerLibrary(ORTALINE_LIBRARY_PATH), S_OK);
    CLSID clsid{};
    EXPECT_NE(CLSIDFromProgID(u"Ortaline.BoschComms", &clsid), S_OK);
}

TEST_F(ServerTest, EarlyBoundClientSeesStatusTextsOfCableTypeAndClose) {
    ASSERT_EQ(comms->put_CableType(SerialPortConnection), S_OK);
    ASSERT_EQ(comms->Close(), S_OK);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Setting connection type: Serial Port", Info},
                                                     {"Closing serial port", Info}}));

    VARIANT message, result;
    VariantInit(&message);
    VariantInit(&result);
    EXPECT_EQ(comms->SendCommand(message, &result), DISP_E_EXCEPTION);
    const auto error = core_test::TakeError();
    EXPECT_EQ(error.description, "No Port Specified");
    EXPECT_EQ(error.source, "Ortaline.BoschComms.1");
}

TEST_F(ServerTest, LateBoundClientReachesMembersByName) {
    OLECHAR cableName[] = u"cabletype";
    OLECHAR* names[] = {cableName};
    DISPID dispid = 0;
    ASSERT_EQ(comms->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid), S_OK);
    EXPECT_EQ(dispid, 4);

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = USBPortConnection;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    ASSERT_EQ(comms->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr,
                            nullptr, nullptr),
              S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(comms->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                            nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, USBPortConnection);

    // A refused call carries its text in EXCEPINFO.
    VARIANT message;
    VariantInit(&message);
    message.vt = VT_I4;
    message.lVal = 1;
    DISPPARAMS send{&message, nullptr, 1, 0};
    EXCEPINFO info{};
    EXPECT_EQ(comms->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &send, &result,
                            &info, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(com::FromBstr(info.bstrDescription), "Cannot send Command. ECU not initialized");
    EXPECT_EQ(com::FromBstr(info.bstrSource), "Ortaline.BoschComms.1");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    VariantClear(&result);

    OLECHAR unknown[] = u"Launch";
    OLECHAR* unknownNames[] = {unknown};
    EXPECT_EQ(comms->GetIDsOfNames(IID_NULL, unknownNames, 1, LOCALE_USER_DEFAULT, &dispid),
              DISP_E_UNKNOWNNAME);
}

TEST_F(ServerTest, DispatchIdentifiersFollowTheInterfaceTable) {
    const std::pair<std::u16string, DISPID> members[] = {
        {u"InitializeOld", 1},
        {u"Close", 2},
        {u"SendCommand", 3},
        {u"CableType", 4},
        {u"InitializationAddressingMode", 5},
        {u"InitializeFast", 6},
        {u"ChangeBaudRate", 7},
        {u"Initialize", 8},
        {u"InitializeViaUART", 9},
        {u"InterByteReadPause", 10},
        {u"InterByteWritePause", 11},
        {u"AddressingMode", 12},
        {u"GetProtocol", 13},
        {u"InitializeFast2", 14},
    };
    for (auto [name, expected] : members) {
        OLECHAR* names[] = {name.data()};
        DISPID dispid = DISPID_UNKNOWN;
        EXPECT_EQ(comms->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid), S_OK);
        EXPECT_EQ(dispid, expected) << com::FromBstr(name.data());
    }

    // Late-bound reads of the defaults: each dispid reaches its own member.
    const std::pair<DISPID, LONG> defaults[] = {
        {4, SerialPortConnection}, {5, EightBit}, {10, 0}, {11, 0}};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (auto [dispid, value] : defaults) {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(comms->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                &result, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, value) << dispid;
    }
    VARIANT protocol;
    VariantInit(&protocol);
    EXPECT_EQ(comms->Invoke(13, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &protocol,
                            nullptr, nullptr),
              S_OK);
    EXPECT_EQ(protocol.lVal, KWP2000);
    EXPECT_TRUE(sink.events.empty());  // getters raise no status
}

}  // namespace

namespace {

TEST_F(ServerTest, ClientReadsTheRegisteredTypeLibrary) {
    const com::LibraryDesc* library = nullptr;
    ASSERT_EQ(com::LoadRegisteredTypeLibrary(LIBID_OrtalineLib, 1, 0, &library), S_OK);
    ASSERT_NE(library, nullptr);
    EXPECT_STREQ(library->name, "OrtalineLib");
    EXPECT_EQ(library->lcid, 1033u);

    const com::InterfaceDesc* iface = com::FindInterface(*library, IID_IBoschComms);
    ASSERT_NE(iface, nullptr);
    EXPECT_TRUE(iface->dual);
    ASSERT_EQ(iface->members.size(), 19u);
    EXPECT_STREQ(iface->members[0].name, "InitializeOld");
    EXPECT_STREQ(iface->members[18].name, "AddressingMode");
    EXPECT_EQ(iface->members[18].kind, com::MemberKind::PropertyPut);

    const com::InterfaceDesc* events = com::FindInterface(*library, DIID__IBoschCommsEvents);
    ASSERT_NE(events, nullptr);
    EXPECT_FALSE(events->dual);

    const com::EnumDesc* protocol = com::FindEnum(*library, "Protocol");
    ASSERT_NE(protocol, nullptr);
    bool found = false;
    for (const auto& member : protocol->members) {
        if (std::string(member.name) == "VAG1281") found = member.value == 1281;
    }
    EXPECT_TRUE(found);

    // An unregistered version is refused, not guessed.
    EXPECT_EQ(com::LoadRegisteredTypeLibrary(LIBID_OrtalineLib, 2, 0, &library),
              TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(library, nullptr);
}

}  // namespace

namespace {

// Every refusal this client can meet before a wake-up, through the object it created by
// ProgID: its status texts and levels, its result, and the error information it leaves.
TEST_F(ServerTest, EachRefusalReportsItsTextsAndErrorInformation) {
    // COM9 names a device that does not exist.
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "Software\\Ortaline\\Devices", "COM9",
                                      "/nonexistent/ttyK9"));
    struct Case {
        const char* what;
        std::function<HRESULT()> call;
        std::vector<StatusEvent> statuses;
        HRESULT result;
        const char* error;  // nullptr: no error information
    };
    VARIANT message, out;
    VariantInit(&message);
    VariantInit(&out);
    message.vt = VT_I4;
    message.lVal = 0x09;
    VARIANT_BOOL changed = VARIANT_TRUE;
    _ADDRESSINGMODE mode = NoAddressing;
    const std::vector<Case> cases{
        {"send without a port",
         [&] { return comms->SendCommand(message, &out); },
         {},
         DISP_E_EXCEPTION,
         "No Port Specified"},
        {"baud rate without a port",
         [&] { return comms->ChangeBaudRate(9600, &changed); },
         {},
         DISP_E_EXCEPTION,
         "No Port Specified"},
        {"unsupported cable",
         [&] { return comms->put_CableType(ParallelPortConnection); },
         {{"Setting cable type: Only SerialPort is currently supported", Warning}},
         E_NOTIMPL,
         nullptr},
        {"initialisation mode",
         [&] {
             return comms->put_InitializationAddressingMode(
                 static_cast<_INITIALIZATIONADDRESSINGMODE>(7));
         },
         {{"Incorrect Initialization addressing mode", Warning}},
         DISP_E_EXCEPTION,
         "Incorrect Initialization addressing mode"},
        {"addressing mode get",
         [&] { return comms->get_AddressingMode(&mode); },
         {{"No information available on message formats", Severe}},
         DISP_E_EXCEPTION,
         "No information available on message formats"},
        {"addressing mode put",
         [&] { return comms->put_AddressingMode(UnknownAddressingMode); },
         {{"Invalid addressing mode", Warning}},
         DISP_E_EXCEPTION,
         "Invalid addressing mode"},
        {"missing device",
         [&] { return comms->Initialize(9, 10400, 1, &out); },
         {{"Setting connection type: Serial Port", Info},
          {"Opening serial port 9 at 10400 baud", Info},
          {"Failed serial port initialization", Severe}},
         DISP_E_EXCEPTION,
         "Failed serial port initialization"},
        {"send before a wake-up",
         [&] { return comms->SendCommand(message, &out); },
         {{"Cannot send Command. ECU not initialized", Severe}},
         DISP_E_EXCEPTION,
         "Cannot send Command. ECU not initialized"},
        {"baud rate on a closed port",
         [&] { return comms->ChangeBaudRate(9600, &changed); },
         {{"Serial port is not open", Warning}},
         DISP_E_EXCEPTION,
         "Serial port is not open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.events.clear();
        core_test::TakeError();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(sink.events, c.statuses);
        const auto error = core_test::TakeError();
        EXPECT_EQ(error.present, c.error != nullptr);
        if (c.error != nullptr) {
            EXPECT_EQ(error.description, c.error);
            EXPECT_EQ(error.source, "Ortaline.BoschComms.1");
        }
    }
    EXPECT_EQ(mode, UnknownAddressingMode);
    EXPECT_EQ(changed, VARIANT_FALSE);
    Cable cable = USBPortConnection;
    EXPECT_EQ(comms->get_CableType(&cable), S_OK);
    EXPECT_EQ(cable, SerialPortConnection);
    VariantClear(&out);
}

}  // namespace
