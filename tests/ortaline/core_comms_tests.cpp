// The BoschComms object as a client sees it: refusals in order, status texts and levels,
// error information, properties, Close and the port-failure boundary.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>

#include "BoschComms.h"
#include "Guarded.h"
#include "RequestBytes.h"
#include "clock/clock.h"
#include "core_ports.h"
#include "core_support.h"

namespace {

using core_test::StatusEvent;

constexpr const char* kNotParsable =
    "Invalid message: Not in a parsable format. Must be Long, Short, or Byte, or array of Bytes";

class CommsTest : public ::testing::Test {
protected:
    void SetUp() override {
        comms = new BoschComms;
        cookie = core_test::Advise(static_cast<IBoschComms*>(comms), &sink);
        core_test::TakeError();
    }
    void TearDown() override {
        sink.onEvent = nullptr;  // its captures are gone by now
        VariantClear(&result);
        comms->Release();
    }

    // Gives the object a port that looks open and marks the ECU initialised.
    core_test::ProgrammablePort* InitialisedWithPort() {
        auto* port = new core_test::ProgrammablePort;
        comms->m_pPort = port;
        comms->m_bEcuInitialized = 1;
        return port;
    }

    // A port failure in the middle of a wake-up: a failed call with the port's error as its
    // last Severe text and as the error information, and no initialised ECU.
    void ExpectWakeUpEndedByPortError() {
        EXPECT_EQ(comms->m_bEcuInitialized, 0);
        ASSERT_FALSE(sink.events.empty());
        EXPECT_EQ(sink.events.back().level, Severe);
        EXPECT_EQ(sink.events.back().text.rfind("Serial port error: ", 0), 0u)
            << sink.events.back().text;
        EXPECT_EQ(core_test::TakeError().description, sink.events.back().text);
    }

    // SendCommand must refuse with a Severe status and the given error text.
    void ExpectRefused(VARIANT message, const std::string& status, const std::string& error,
                       LONG level = Severe) {
        sink.events.clear();
        EXPECT_EQ(comms->SendCommand(message, &result), DISP_E_EXCEPTION);
        EXPECT_EQ(result.vt, VT_EMPTY);
        EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{status, level}}));
        EXPECT_EQ(core_test::TakeError().description, error);
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    core_test::TempConfigHome home;
    core_test::StatusSink sink;
    BoschComms* comms = nullptr;
    DWORD cookie = 0;
    VARIANT result{};
};

TEST_F(CommsTest, SendCommandOnFreshObjectNeedsAPortFirst) {
    VARIANT message;
    VariantInit(&message);
    message.vt = VT_BSTR;  // not even looked at
    EXPECT_EQ(comms->SendCommand(message, &result), DISP_E_EXCEPTION);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_TRUE(sink.events.empty());
    const auto error = core_test::TakeError();
    EXPECT_EQ(error.description, "No Port Specified");
    EXPECT_EQ(error.source, "Ortaline.BoschComms.1");

    ASSERT_EQ(comms->put_CableType(SerialPortConnection), S_OK);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Setting connection type: Serial Port", Info}}));
    ExpectRefused(message, "Cannot send Command. ECU not initialized",
                  "Cannot send Command. ECU not initialized");
}

TEST_F(CommsTest, SendCommandRefusesUnusableRequests) {
    InitialisedWithPort();

    VARIANT wide = core_test::ArrayVariant(VT_I2, 0, {256});
    ExpectRefused(wide,
                  "Message value out of range (0x100) at array index (0). Valid range is (0x00) "
                  "- (0xFF)",
                  "Message value out of range.");
    VariantClear(&wide);
    VARIANT fromOne = core_test::ArrayVariant(VT_I4, 1, {5, 300});
    ExpectRefused(fromOne,
                  "Message value out of range (0x12c) at array index (2). Valid range is (0x00) "
                  "- (0xFF)",
                  "Message value out of range.");
    VariantClear(&fromOne);

    VARIANT scalar;
    VariantInit(&scalar);
    scalar.vt = VT_I4;
    scalar.lVal = 300;
    ExpectRefused(scalar, "Message value out of range (0x12c). Valid range is (0x00) - (0xFF)",
                  "Message value out of range");
    scalar.vt = VT_I2;
    scalar.iVal = -1;  // sign-extended
    ExpectRefused(scalar, "Message value out of range (0xffffffff). Valid range is (0x00) - (0xFF)",
                  "Message value out of range");

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT twoDims;
    VariantInit(&twoDims);
    twoDims.vt = VT_ARRAY | VT_UI1;
    twoDims.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    ExpectRefused(twoDims, "Invalid number of dimensions. Must be 1",
                  "Invalid number of dimensions. Must be 1");
    VariantClear(&twoDims);

    VARIANT doubles = core_test::ArrayVariant(VT_R8, 0, {1});
    ExpectRefused(doubles, kNotParsable, kNotParsable);
    VariantClear(&doubles);

    VARIANT variants;
    VariantInit(&variants);
    variants.vt = VT_ARRAY | VT_VARIANT;
    variants.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ExpectRefused(variants, kNotParsable, kNotParsable);
    VariantClear(&variants);

    com::Bstr text("1A");
    VARIANT bstr;
    VariantInit(&bstr);
    bstr.vt = VT_BSTR;
    bstr.bstrVal = text.get();
    ExpectRefused(bstr, kNotParsable, kNotParsable);

    VARIANT bytes = core_test::ArrayVariant(VT_UI1, 0, {0x1A});
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    byRef.pparray = &bytes.parray;
    ExpectRefused(byRef, kNotParsable, kNotParsable);
    VariantClear(&bytes);

    VARIANT empty = core_test::ArrayVariant(VT_UI1, 0, {});
    ExpectRefused(empty, "Empty message", "Empty message", Warning);
    VariantClear(&empty);
    // Nothing is read from an empty array, whatever its elements would be.
    VARIANT noVariants;
    VariantInit(&noVariants);
    noVariants.vt = VT_ARRAY | VT_VARIANT;
    noVariants.parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    ExpectRefused(noVariants, "Empty message", "Empty message", Warning);
    VariantClear(&noVariants);
}

TEST(CoreRequestBytes, IntegerElementsAreTakenZeroExtended) {
    const auto read = [](VARIANT v) {
        CByteArray bytes;
        auto refusal = ortaline::ReadRequestBytes(v, bytes);
        VariantClear(&v);
        return refusal ? std::vector<BYTE>{} : bytes.Vector();
    };
    EXPECT_EQ(read(core_test::ArrayVariant(VT_UI1, 0, {0x1A, 0x9B})),
              (std::vector<BYTE>{0x1A, 0x9B}));
    EXPECT_EQ(read(core_test::ArrayVariant(VT_I1, 0, {-1, 3})), (std::vector<BYTE>{0xFF, 0x03}));
    EXPECT_EQ(read(core_test::ArrayVariant(VT_UINT, 5, {0, 255})), (std::vector<BYTE>{0, 255}));

    VARIANT scalar;
    VariantInit(&scalar);
    scalar.vt = VT_I4;
    scalar.lVal = 9;
    EXPECT_EQ(read(scalar), (std::vector<BYTE>{9}));

    CByteArray bytes;
    VARIANT wide = core_test::ArrayVariant(VT_I2, 0, {-1});
    ASSERT_TRUE(ortaline::ReadRequestBytes(wide, bytes).has_value());  // 0xFFFF
    VariantClear(&wide);
    VARIANT i8 = core_test::ArrayVariant(VT_I8, 0, {1});
    EXPECT_TRUE(ortaline::ReadRequestBytes(i8, bytes).has_value());
    VariantClear(&i8);
    EXPECT_TRUE(bytes.IsEmpty());
}

// Every integer type a request may come in, as a scalar and as array elements: signed
// scalars are sign-extended, array elements of every width zero-extended.
TEST(CoreRequestBytes, EveryIntegerTypeAsScalarAndAsArrayElement) {
    struct Case {
        VARTYPE vt;
        LONGLONG allOnes;         // every bit of the type set
        std::uint32_t asScalar;   // what the scalar reads as
        std::uint32_t asElement;  // what an array element reads as
    };
    const Case cases[] = {
        {VT_I1, -1, 0xFFFFFFFF, 0xFF},
        {VT_UI1, 0xFF, 0xFF, 0xFF},
        {VT_I2, -1, 0xFFFFFFFF, 0xFFFF},
        {VT_UI2, 0xFFFF, 0xFFFF, 0xFFFF},
        {VT_I4, -1, 0xFFFFFFFF, 0xFFFFFFFF},
        {VT_INT, -1, 0xFFFFFFFF, 0xFFFFFFFF},
        {VT_UI4, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {VT_UINT, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    const auto hex = [](std::uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "(0x%.2x)", v);
        return std::string(text);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vt);
        VARIANT scalar;
        VariantInit(&scalar);
        scalar.vt = c.vt;
        scalar.llVal = 0x2A;
        CByteArray bytes;
        EXPECT_FALSE(ortaline::ReadRequestBytes(scalar, bytes).has_value());
        EXPECT_EQ(bytes.Vector(), (std::vector<BYTE>{0x2A}));

        bytes.RemoveAll();
        scalar.llVal = c.allOnes;
        auto refusal = ortaline::ReadRequestBytes(scalar, bytes);
        if (c.asScalar == 0xFF) {
            EXPECT_FALSE(refusal.has_value());
            EXPECT_EQ(bytes.Vector(), (std::vector<BYTE>{0xFF}));
        } else {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_EQ(refusal->status, "Message value out of range " + hex(c.asScalar) +
                                           ". Valid range is (0x00) - (0xFF)");
            EXPECT_EQ(refusal->error, "Message value out of range");
        }

        bytes.RemoveAll();
        VARIANT array = core_test::ArrayVariant(c.vt, 0, {0x2A, c.allOnes});
        refusal = ortaline::ReadRequestBytes(array, bytes);
        VariantClear(&array);
        if (c.asElement == 0xFF) {
            EXPECT_FALSE(refusal.has_value());
            EXPECT_EQ(bytes.Vector(), (std::vector<BYTE>{0x2A, 0xFF}));
        } else {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_EQ(refusal->status, "Message value out of range " + hex(c.asElement) +
                                           " at array index (1). Valid range is (0x00) - (0xFF)");
            EXPECT_EQ(refusal->error, "Message value out of range.");
        }
    }
}

TEST(CoreRequestBytes, ArraysOfOtherNarrowTypesAreReadAsTheirBits) {
    CByteArray bytes;
    VARIANT flags = core_test::ArrayVariant(VT_BOOL, 0, {VARIANT_FALSE, VARIANT_FALSE});
    EXPECT_FALSE(ortaline::ReadRequestBytes(flags, bytes).has_value());
    VariantClear(&flags);
    EXPECT_EQ(bytes.Vector(), (std::vector<BYTE>{0, 0}));

    bytes.RemoveAll();
    flags = core_test::ArrayVariant(VT_BOOL, 3, {VARIANT_FALSE, VARIANT_TRUE});
    auto refusal = ortaline::ReadRequestBytes(flags, bytes);
    VariantClear(&flags);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->status,
              "Message value out of range (0xffff) at array index (4). Valid range is (0x00) - "
              "(0xFF)");

    VARIANT reals;
    VariantInit(&reals);
    reals.vt = VT_ARRAY | VT_R4;
    reals.parray = SafeArrayCreateVector(VT_R4, 0, 1);
    LONG at = 0;
    float one = 1.0f;
    SafeArrayPutElement(reals.parray, &at, &one);
    refusal = ortaline::ReadRequestBytes(reals, bytes);
    VariantClear(&reals);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->error, "Message value out of range.");
    EXPECT_NE(refusal->status.find("(0x3f800000)"), std::string::npos) << refusal->status;

    // Strings hold pointers, not values: refused, even when pointer-sized cells were narrow.
    VARIANT strings;
    VariantInit(&strings);
    strings.vt = VT_ARRAY | VT_BSTR;
    strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    refusal = ortaline::ReadRequestBytes(strings, bytes);
    VariantClear(&strings);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->error, kNotParsable);
}

// Stands in for the exchange routine of the current protocol.
class ScriptedComms : public BoschComms {
public:
    std::vector<BYTE> sentFrame;
    std::vector<BYTE> reply;
    bool throwPortFailure = false;
    HRESULT failWith = S_OK;

    HRESULT FakeExchange(const BYTE* frame, std::int32_t size, CByteArray&, CByteArray& out, bool) {
        if (throwPortFailure) ThrowSerialException(ERROR_DEVICE_NOT_CONNECTED);
        if (FAILED(failWith)) {
            out.Add(0x7F);  // a partial reply must not reach the client
            return failWith;
        }
        sentFrame.assign(frame, frame + size);
        for (BYTE b : reply) out.Add(b);
        return S_OK;
    }
};

class SendCommandPath : public ::testing::Test {
protected:
    void SetUp() override {
        comms = new ScriptedComms;
        core_test::Advise(static_cast<IBoschComms*>(comms), &sink);
        comms->m_pPort = new core_test::ProgrammablePort;
        comms->m_bEcuInitialized = 1;
        comms->m_bJustInitialized = 1;
        comms->m_pMessage->SetOptions(false, false, true, false, true);
        comms->m_pfnExchange = static_cast<ExchangeRoutine>(&ScriptedComms::FakeExchange);
    }
    void TearDown() override {
        VariantClear(&result);
        comms->Release();
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    core_test::StatusSink sink;
    ScriptedComms* comms = nullptr;
    VARIANT result{};
};

TEST_F(SendCommandPath, ReplyComesBackAsLongArrayFromZero) {
    comms->reply = {0x5A, 0x9B, 0xFF};
    VARIANT message = core_test::ArrayVariant(VT_UI1, 0, {0x1A, 0x9B});
    ASSERT_EQ(comms->SendCommand(message, &result), S_OK);
    VariantClear(&message);

    EXPECT_EQ(comms->sentFrame, (std::vector<BYTE>{0x02, 0x1A, 0x9B, 0xB7}));
    ASSERT_EQ(result.vt, VT_ARRAY | VT_I4);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(result.parray, 1, &lower);
    SafeArrayGetUBound(result.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    for (LONG i = 0; i <= upper; ++i) {
        LONG value = 0;
        SafeArrayGetElement(result.parray, &i, &value);
        EXPECT_EQ(value, comms->reply[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(comms->m_bJustInitialized, 0);

    VARIANT scalar;
    VariantInit(&scalar);
    scalar.vt = VT_I4;
    scalar.lVal = 9;
    VariantClear(&result);
    ASSERT_EQ(comms->SendCommand(scalar, &result), S_OK);
    EXPECT_EQ(comms->sentFrame, (std::vector<BYTE>{0x01, 0x09, 0x0A}));
}

TEST_F(SendCommandPath, FailedExchangeResultIsReturnedUnchanged) {
    comms->failWith = static_cast<HRESULT>(0x80004005);
    VARIANT message = core_test::ArrayVariant(VT_UI1, 0, {0x3E});
    EXPECT_EQ(comms->SendCommand(message, &result), static_cast<HRESULT>(0x80004005));
    VariantClear(&message);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(comms->m_bJustInitialized, 1);
    EXPECT_EQ(comms->m_bEcuInitialized, 1);
}

TEST_F(SendCommandPath, PortFailureMidExchangeEndsAsSevereErrorNotException) {
    comms->throwPortFailure = true;
    VARIANT message;
    VariantInit(&message);
    message.vt = VT_UI1;
    message.bVal = 0x10;
    EXPECT_EQ(comms->SendCommand(message, &result), DISP_E_EXCEPTION);
    EXPECT_EQ(result.vt, VT_EMPTY);
    ASSERT_FALSE(sink.events.empty());
    const StatusEvent last = sink.events.back();
    EXPECT_EQ(last.level, Severe);
    EXPECT_EQ(last.text.rfind("Serial port error: ", 0), 0u) << last.text;
    EXPECT_GT(last.text.size(), std::string("Serial port error: ").size());
    EXPECT_EQ(core_test::TakeError().description, last.text);
    EXPECT_EQ(comms->m_bJustInitialized, 1);

    // The object is still usable: Close works and a new port can be chosen.
    EXPECT_EQ(comms->Close(), S_OK);
    EXPECT_EQ(comms->m_pPort, nullptr);
    EXPECT_EQ(comms->put_CableType(SerialPortConnection), S_OK);
}

// Bounds at the ends of the index range: the element count is the array's own, the indices
// run on in 64 bits, early-bound and through Invoke alike.
TEST_F(CommsTest, ArraysAtTheEndsOfTheIndexRange) {
    InitialisedWithPort();
    auto vector = [](VARTYPE vt, LONG lower, const std::vector<std::uint16_t>& values) {
        VARIANT v;
        VariantInit(&v);
        v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        v.parray = SafeArrayCreateVector(vt, lower, static_cast<ULONG>(values.size()));
        void* data = nullptr;
        SafeArrayAccessData(v.parray, &data);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (vt == VT_UI1) static_cast<BYTE*>(data)[i] = static_cast<BYTE>(values[i]);
            if (vt == VT_I2) static_cast<SHORT*>(data)[i] = static_cast<SHORT>(values[i]);
        }
        SafeArrayUnaccessData(v.parray);
        return v;
    };
    constexpr LONG kLowest = std::numeric_limits<LONG>::min();
    constexpr LONG kHighest = std::numeric_limits<LONG>::max();

    VARIANT empty = vector(VT_UI1, kLowest, {});
    ExpectRefused(empty, "Empty message", "Empty message", Warning);
    DISPPARAMS params{&empty, nullptr, 1, 0};
    sink.events.clear();
    EXPECT_EQ(comms->Invoke(3 /* SendCommand */, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                            &params, &result, nullptr, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Empty message", Warning}}));
    VariantClear(&empty);

    // Bytes whose indices run past the highest 32-bit index are bytes all the same.
    VARIANT high = vector(VT_UI1, kHighest, {0x1A, 0x9B});
    ExpectRefused(high, "No information available on message formats",
                  "No information available on message formats");
    VariantClear(&high);
    VARIANT wide = vector(VT_I2, kHighest, {0x1A, 0x9B, 0x100});
    ExpectRefused(wide,
                  "Message value out of range (0x100) at array index (2147483649). Valid range "
                  "is (0x00) - (0xFF)",
                  "Message value out of range.");
    VariantClear(&wide);
}

TEST_F(CommsTest, CableTypeChoicesAndRefusals) {
    EXPECT_EQ(comms->put_CableType(ParallelPortConnection), E_NOTIMPL);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{
                  {"Setting cable type: Only SerialPort is currently supported", Warning}}));
    EXPECT_FALSE(core_test::TakeError().present);
    Cable cable{};
    ASSERT_EQ(comms->get_CableType(&cable), S_OK);
    EXPECT_EQ(cable, SerialPortConnection);
    EXPECT_EQ(comms->m_pPort, nullptr);

    sink.events.clear();
    ASSERT_EQ(comms->put_CableType(USBPortConnection), S_OK);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Setting connection type: USB Port", Info}}));
    ASSERT_NE(comms->m_pPort, nullptr);
    EXPECT_STREQ(comms->m_pPort->GetPortName(), "USB");
    comms->get_CableType(&cable);
    EXPECT_EQ(cable, USBPortConnection);

    // An open port must be closed before the cable changes.
    delete comms->m_pPort;
    comms->m_pPort = new core_test::ProgrammablePort;
    CPort* open = comms->m_pPort;
    sink.events.clear();
    EXPECT_EQ(comms->put_CableType(USBPortConnection), DISP_E_EXCEPTION);
    const char* text = "Setting cable type: The current connection must be closed first";
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{text, Severe}}));
    EXPECT_EQ(core_test::TakeError().description, text);
    EXPECT_EQ(comms->m_pPort, open);
}

TEST_F(CommsTest, CableTypeTakesItsValueAfterItsText) {
    std::vector<Cable> seen;
    std::vector<std::string> ports;
    sink.onEvent = [&](const StatusEvent&) {
        Cable cable{};
        comms->get_CableType(&cable);
        seen.push_back(cable);
        ports.emplace_back(comms->m_pPort != nullptr ? comms->m_pPort->GetPortName() : "");
    };
    ASSERT_EQ(comms->put_CableType(USBPortConnection), S_OK);
    EXPECT_EQ(seen, (std::vector<Cable>{SerialPortConnection}));
    EXPECT_EQ(ports, (std::vector<std::string>{"USB"}));  // never a deleted port
    ASSERT_EQ(comms->put_CableType(SerialPortConnection), S_OK);
    EXPECT_EQ(seen, (std::vector<Cable>{SerialPortConnection, USBPortConnection}));
    Cable cable{};
    comms->get_CableType(&cable);
    EXPECT_EQ(cable, SerialPortConnection);
}

TEST_F(CommsTest, AddressingModeNeedsAConfiguredMessage) {
    _ADDRESSINGMODE mode = NoAddressing;
    EXPECT_EQ(comms->get_AddressingMode(&mode), DISP_E_EXCEPTION);
    EXPECT_EQ(mode, UnknownAddressingMode);
    const char* text = "No information available on message formats";
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{text, Severe}}));
    EXPECT_EQ(core_test::TakeError().description, text);

    sink.events.clear();
    EXPECT_EQ(comms->put_AddressingMode(FunctionalAddressing), S_OK);
    EXPECT_EQ(comms->put_AddressingMode(UnknownAddressingMode), DISP_E_EXCEPTION);
    EXPECT_EQ(comms->put_AddressingMode(static_cast<_ADDRESSINGMODE>(-1)), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Setting Functional Addressing mode", Info},
                                                     {"Invalid addressing mode", Warning},
                                                     {"Invalid addressing mode", Warning}}));
    EXPECT_EQ(core_test::TakeError().description, "Invalid addressing mode");

    comms->m_pMessage->SetOptions(false, false, true, false, true);  // as a wake-up does
    comms->put_AddressingMode(CARBExceptionMode);
    ASSERT_EQ(comms->get_AddressingMode(&mode), S_OK);
    EXPECT_EQ(mode, CARBExceptionMode);
}

TEST_F(CommsTest, SimplePropertiesAndTheirTexts) {
    EXPECT_EQ(comms->put_InitializationAddressingMode(SevenBit), S_OK);
    EXPECT_EQ(
        comms->put_InitializationAddressingMode(static_cast<_INITIALIZATIONADDRESSINGMODE>(3)),
        DISP_E_EXCEPTION);
    EXPECT_EQ(core_test::TakeError().description, "Incorrect Initialization addressing mode");
    EXPECT_EQ(comms->put_InitializationAddressingMode(EightBit), S_OK);
    EXPECT_EQ(comms->put_InterByteReadPause(-7), S_OK);
    EXPECT_EQ(comms->put_InterByteWritePause(5), S_OK);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Setting Initialization addressing type: 7-bit", Info},
                                        {"Incorrect Initialization addressing mode", Warning},
                                        {"Setting Initialization addressing type: 8-bit", Info},
                                        {"Setting interbyte read time: -7", Info},
                                        {"Setting interbyte write time: 5", Info}}));
    LONG pause = 0;
    comms->get_InterByteReadPause(&pause);
    EXPECT_EQ(pause, -7);
    _INITIALIZATIONADDRESSINGMODE init{};
    comms->get_InitializationAddressingMode(&init);
    EXPECT_EQ(init, EightBit);
    Protocol protocol{};
    ASSERT_EQ(comms->GetProtocol(&protocol), S_OK);
    EXPECT_EQ(protocol, KWP2000);
}

TEST_F(CommsTest, NullOutPointersAreRefused) {
    EXPECT_EQ(comms->get_CableType(nullptr), E_POINTER);
    EXPECT_EQ(comms->get_InitializationAddressingMode(nullptr), E_POINTER);
    EXPECT_EQ(comms->get_InterByteReadPause(nullptr), E_POINTER);
    EXPECT_EQ(comms->get_InterByteWritePause(nullptr), E_POINTER);
    EXPECT_EQ(comms->get_AddressingMode(nullptr), E_POINTER);
    EXPECT_EQ(comms->GetProtocol(nullptr), E_POINTER);
    EXPECT_EQ(comms->ChangeBaudRate(9600, nullptr), E_POINTER);
    VARIANT message;
    VariantInit(&message);
    EXPECT_EQ(comms->SendCommand(message, nullptr), E_POINTER);
    EXPECT_EQ(comms->Initialize(1, 10400, 1, nullptr), E_POINTER);
    EXPECT_EQ(comms->InitializeOld(1, 10400, 1, nullptr), E_POINTER);
    EXPECT_EQ(comms->InitializeViaUART(1, 10400, 1, nullptr), E_POINTER);
    EXPECT_EQ(comms->InitializeFast(1, 1, nullptr), E_POINTER);
    EXPECT_EQ(comms->InitializeFast2(1, 1, 1, 0, nullptr), E_POINTER);
    EXPECT_EQ(comms->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(comms->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(CommsTest, CloseReleasesThePortAndResetsTheMessage) {
    EXPECT_EQ(comms->Close(), S_OK);
    EXPECT_TRUE(sink.events.empty());

    InitialisedWithPort();
    comms->m_pMessage->SetOptions(true, false, true, false, true);
    comms->m_nProtocol = VAG1281;
    EXPECT_EQ(comms->Close(), S_OK);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Closing serial port", Info}}));
    EXPECT_EQ(comms->m_pPort, nullptr);
    EXPECT_EQ(comms->m_bEcuInitialized, 0);
    EXPECT_FALSE(comms->m_pMessage->IsConfigured());
    EXPECT_EQ(comms->m_nProtocol, VAG1281);

    comms->put_CableType(USBPortConnection);
    sink.events.clear();
    comms->Close();
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Closing USB port", Info}}));
}

TEST_F(CommsTest, ChangeBaudRateChecksThePort) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(comms->ChangeBaudRate(9600, &ok), DISP_E_EXCEPTION);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(core_test::TakeError().description, "No Port Specified");

    comms->put_CableType(SerialPortConnection);
    sink.events.clear();
    EXPECT_EQ(comms->ChangeBaudRate(9600, &ok), DISP_E_EXCEPTION);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Serial port is not open", Warning}}));

    delete comms->m_pPort;
    auto* port = new core_test::ProgrammablePort;
    comms->m_pPort = port;
    comms->m_nBaudRate = 10400;
    sink.events.clear();
    ASSERT_EQ(comms->ChangeBaudRate(9600, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(port->baudRates, (std::vector<DWORD>{9600}));
    EXPECT_EQ(comms->m_nBaudRate, 10400);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Setting serial port baud rate to 9600 baud", Info}}));

    comms->m_nCableType = USBPortConnection;
    sink.events.clear();
    ASSERT_EQ(comms->ChangeBaudRate(4800, &ok), S_OK);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Setting USB baud rate to 4800 baud", Info}}));

    port->failBaudRateWith = ERROR_DEVICE_NOT_CONNECTED;
    sink.events.clear();
    EXPECT_EQ(comms->ChangeBaudRate(5, &ok), DISP_E_EXCEPTION);
    EXPECT_EQ(ok, VARIANT_FALSE);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].level, Severe);
    EXPECT_EQ(sink.events[0].text.rfind("Serial port error: ", 0), 0u);
}

TEST_F(CommsTest, OpenPortOpensOneWayAndSwallowsPortFailures) {
    auto* port = new core_test::ProgrammablePort;
    port->open = false;
    comms->m_pPort = port;
    ASSERT_TRUE(comms->OpenPort(4, 10400));
    // Parity None (2), 8 data bits, one stop bit (0), no flow control, not overlapped.
    EXPECT_EQ(port->calls,
              (std::vector<std::string>{"Open 4 10400 2 8 0 0 0", "Setup 3328 3328", "SetMask 0"}));
    EXPECT_EQ(comms->m_nPortNumber, 4);
    EXPECT_EQ(comms->m_nBaudRate, 10400);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Opening serial port 4 at 10400 baud", Info}}));

    port->failSetupWith = ERROR_DEVICE_NOT_CONNECTED;
    sink.events.clear();
    EXPECT_FALSE(comms->OpenPort(2, 9600));
    EXPECT_EQ(comms->m_nPortNumber, 4);  // unchanged by the failed attempt
    EXPECT_EQ(comms->m_nBaudRate, 10400);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{"Opening serial port 2 at 9600 baud", Info}}));
    EXPECT_FALSE(core_test::TakeError().present);

    port->failSetupWith = 0;
    port->open = false;
    comms->m_nCableType = USBPortConnection;
    sink.events.clear();
    comms->OpenPort(0, 19200);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Opening USB port at 19200 baud", Info}}));
}

// A cable that does not open fails the call before the wake-up starts: the caller's value
// stays, no ECU is left initialised and the port fields keep their values.
TEST_F(CommsTest, InitializeFailsCleanlyWhenTheCableDoesNotOpen) {
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        std::vector<StatusEvent> events;
    };
    const std::vector<Case> cases{
        {"port 0 takes the USB cable",
         [&] { return comms->Initialize(0, 10400, 1, &result); },
         {{"Setting connection type: USB Port", Info},
          {"Opening USB port at 10400 baud", Info},
          {"Failed serial port initialization", Severe}}},
        {"missing serial port",
         [&] { return comms->InitializeOld(250, 9600, 0x33, &result); },
         {{"Setting connection type: Serial Port", Info},
          {"Opening serial port 250 at 9600 baud", Info},
          {"Failed serial port initialization", Severe}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        comms->Close();
        sink.events.clear();
        comms->m_bEcuInitialized = 1;  // left over from an earlier session
        result.vt = VT_I4;
        result.lVal = 77;
        EXPECT_EQ(c.call(), DISP_E_EXCEPTION);
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, 77);
        EXPECT_EQ(sink.events, c.events);
        EXPECT_EQ(core_test::TakeError().description, "Failed serial port initialization");
        EXPECT_EQ(comms->m_bEcuInitialized, 0);
        EXPECT_EQ(comms->m_nPortNumber, 0);
        EXPECT_EQ(comms->m_nBaudRate, 0);
    }
}

// With the settings store damaged no device may be guessed for either cable: the opening
// fails with a text that names the store file and what is wrong, and the file stays as it is.
TEST_F(CommsTest, DamagedSettingsStoreFailsTheOpeningWithItsFileAndProblem) {
    const std::string store = home.Path() + "/ortaline/registry.ini";
    const std::string damaged =
        "[HKEY_CURRENT_USER\\Software\\Ortaline\\Devices]\n\"COM251\"=sz:sim:none\nhalf a li";
    std::filesystem::create_directories(home.Path() + "/ortaline");
    std::FILE* file = std::fopen(store.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(damaged.c_str(), file);
    std::fclose(file);

    const StatusEvent storeText{
        "Serial port error: The settings store " + store + " is damaged: line 3 is not understood.",
        Severe};
    for (LONG port : {251, 0}) {
        SCOPED_TRACE(port);
        sink.events.clear();
        EXPECT_EQ(comms->Initialize(port, 10400, 0x01, &result), DISP_E_EXCEPTION);
        ASSERT_EQ(sink.events.size(), 4u);
        EXPECT_EQ(sink.events[2], storeText);
        EXPECT_EQ(sink.events[3], (StatusEvent{"Failed serial port initialization", Severe}));
        EXPECT_EQ(core_test::TakeError().description, "Failed serial port initialization");
        comms->Close();
    }
    std::FILE* again = std::fopen(store.c_str(), "rb");
    ASSERT_NE(again, nullptr);
    char buffer[256] = {};
    const std::size_t read = std::fread(buffer, 1, sizeof buffer, again);
    std::fclose(again);
    EXPECT_EQ(std::string(buffer, read), damaged);
}

// A port failure in the middle of either wake-up ends it as a failed call with the key
// bytes {0, 0}; Close and a fresh attempt both work afterwards.
TEST_F(CommsTest, PortFailureDuringAWakeUpLeavesTheObjectReusable) {
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
    };
    const std::vector<Case> cases{
        {"slow", [&] { return comms->Initialize(1, 10400, 0x01, &result); }},
        {"fast", [&] { return comms->InitializeFast2(1, 0x33, 1, 0, &result); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        comms->Close();
        InitialisedWithPort()->failPurgeWith = ERROR_DEVICE_NOT_CONNECTED;
        sink.events.clear();
        EXPECT_EQ(c.call(), DISP_E_EXCEPTION);
        ExpectWakeUpEndedByPortError();
        // The wake-up had started: the key bytes are there, both 0.
        EXPECT_EQ(core_test::ReplyElements(result), (std::vector<LONG>{0, 0}));
        VariantClear(&result);

        sink.events.clear();
        EXPECT_EQ(comms->Close(), S_OK);
        EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Closing serial port", Info}}));
        EXPECT_EQ(comms->Initialize(250, 10400, 0x01, &result), DISP_E_EXCEPTION);
        EXPECT_EQ(core_test::TakeError().description, "Failed serial port initialization");
    }
}

TEST(CoreLifetime, SinkTakingAReferenceDuringDestructionDoesNotDestroyTwice) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped{clock};
    core_test::StatusSink sink;
    auto* comms = new BoschComms;
    core_test::Advise(static_cast<IBoschComms*>(comms), &sink);
    comms->m_pPort = new core_test::ProgrammablePort;
    sink.onEvent = [&](const StatusEvent&) {
        comms->AddRef();
        comms->Release();
    };
    EXPECT_EQ(comms->Release(), 0u);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{"Closing serial port", Info}}));
    EXPECT_EQ(sink.refs, 1u);  // released by the connection point
}

TEST(CoreOutVariant, ArrayTypeWithoutArrayBecomesEmpty) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = nullptr;
    ortaline::DropMissingArray(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    ortaline::DropMissingArray(&v);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    VariantClear(&v);
}

TEST_F(CommsTest, EventsReachEverySinkAndErrorInfoIsDeclared) {
    core_test::StatusSink second;
    const DWORD secondCookie = core_test::Advise(static_cast<IBoschComms*>(comms), &second);
    EXPECT_NE(secondCookie, cookie);
    ULONG refsDuringCall = 0;
    second.onEvent = [&](const StatusEvent&) { refsDuringCall = second.refs; };
    comms->put_InterByteWritePause(3);
    EXPECT_EQ(refsDuringCall, second.refs + 1);  // held for the call, released after it
    core_test::Unadvise(static_cast<IBoschComms*>(comms), cookie);
    comms->put_InterByteWritePause(4);
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(second.events.size(), 2u);
    EXPECT_TRUE(second.argumentsAsExpected);
    core_test::Unadvise(static_cast<IBoschComms*>(comms), secondCookie);
    EXPECT_EQ(second.refs, 1u);

    void* raw = nullptr;
    ASSERT_EQ(comms->QueryInterface(IID_ISupportErrorInfo, &raw), S_OK);
    auto* support = static_cast<ISupportErrorInfo*>(raw);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IBoschComms), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    support->Release();
}

}  // namespace
