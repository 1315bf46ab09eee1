#pragma once
// Test harness for the exchange and wake-up routines: a scripted port that records every
// call with the simulated time, a status sink, and a fixture that wires both to a
// BoschComms object on a SimulatedClock.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "BoschComms.h"
#include "Port.h"
#include "clock/clock.h"
#include "clock/win_time.h"

namespace exchange_test {

inline std::string Hex(BYTE b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

struct PortCall {
    std::string op;  // "W:03", "R:FC", "R:-" (timed out), "SetBreak", "SetBaud:5", ...
    std::int64_t ns;
    DWORD priorityClass;
    int threadPriority;
};

// Serves scripted read bytes in order; a scripted timeout (or an exhausted script) takes
// the port's ReadTotalTimeoutConstant on the clock and yields nothing.
class FakePort : public CPort {
public:
    static constexpr int kTimeout = -1;

    void Script(std::initializer_list<int> items) {
        for (int item : items) m_script.push_back(item);
    }
    void ScriptBytes(const std::vector<BYTE>& bytes) {
        for (BYTE b : bytes) m_script.push_back(b);
    }
    std::size_t ScriptLeft() const { return m_script.size(); }
    // The nth call (1-based) of op throws a port failure.
    void FailOn(const std::string& op, int nth = 1) {
        m_failOp = op;
        m_failNth = nth;
    }

    std::vector<std::string> Ops() const {
        std::vector<std::string> ops;
        for (const auto& c : m_calls) ops.push_back(c.op);
        return ops;
    }
    const std::vector<PortCall>& Calls() const { return m_calls; }
    std::vector<BYTE> Written() const { return m_written; }
    void ClearCalls() {
        m_calls.clear();
        m_written.clear();
    }
    COMMTIMEOUTS timeouts{60, 0, 1500, 0, 0};
    bool open = true;
    bool shortWrites = false;  // every Write reports 0 bytes written

    bool Close() override { return Record("Close", true); }
    bool Flush() override { return Record("Flush", true); }
    bool TerminateOutstandingWrites() override { return Record("PurgeTx", true); }
    bool TerminateOutstandingReads() override { return Record("PurgeRx", true); }
    bool GetTimeouts(COMMTIMEOUTS& t) override {
        t = timeouts;
        return Record("GetTimeouts", true);
    }
    bool SetTimeouts(const COMMTIMEOUTS& t) override {
        Record("SetTimeouts:" + std::to_string(t.ReadTotalTimeoutConstant), true);
        timeouts = t;
        return true;
    }
    bool SetBaudRate(DWORD baud) override {
        return Record("SetBaud:" + std::to_string(baud), true);
    }
    const char* GetPortName() override { return "SER"; }
    bool IsOpen() override { return open; }
    DWORD Read(void* buffer, DWORD count) override {
        CheckFail("Read");
        if (m_script.empty() || m_script.front() == kTimeout) {
            if (!m_script.empty()) m_script.pop_front();
            platform::CurrentClock().SleepMs(timeouts.ReadTotalTimeoutConstant);
            Record("R:-", true);
            return 0;
        }
        const auto b = static_cast<BYTE>(m_script.front());
        m_script.pop_front();
        *static_cast<BYTE*>(buffer) = b;
        Record("R:" + Hex(b), true);
        return 1;
    }
    DWORD Write(const void* buffer, DWORD count) override {
        CheckFail("Write");
        const auto* bytes = static_cast<const BYTE*>(buffer);
        std::string op = "W:";
        for (DWORD i = 0; i < count; ++i) {
            op += (i == 0 ? "" : " ") + Hex(bytes[i]);
            m_written.push_back(bytes[i]);
        }
        Record(op, true);
        return shortWrites ? 0 : count;
    }
    bool ClearError(DWORD& errors) override {
        errors = 0;
        return Record("ClearError", true);
    }
    bool ClearBreak() override { return Record("ClearBreak", true); }
    bool SetBreak() override { return Record("SetBreak", true); }
    bool ClearDTR() override { return Record("ClearDTR", true); }
    bool ClearRTS() override { return Record("ClearRTS", true); }
    bool SetDTR() override { return Record("SetDTR", true); }
    bool SetRTS() override { return Record("SetRTS", true); }

private:
    void CheckFail(const std::string& op) {
        if (op == m_failOp && --m_failNth == 0) {
            Record(op + ":throw", true);
            throw new CSerialException(ERROR_GEN_FAILURE);
        }
    }
    bool Record(const std::string& op, bool result) {
        if (op.find(':') == std::string::npos) CheckFail(op);
        m_calls.push_back({op, platform::CurrentClock().NowNs(),
                           GetPriorityClass(GetCurrentProcess()),
                           GetThreadPriority(GetCurrentThread())});
        return result;
    }

    std::deque<int> m_script;
    std::vector<PortCall> m_calls;
    std::vector<BYTE> m_written;
    std::string m_failOp;
    int m_failNth = 0;
};

struct Status {
    std::string text;
    LONG level;
    bool operator==(const Status&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Status& s) {
    return os << "{" << s.level << ", \"" << s.text << "\"}";
}

// An advised event sink that keeps every Status event.
class StatusSink : public IDispatch {
public:
    std::vector<Status> statuses;
    // Runs inside the event, after it is kept: a handler calling back into the object.
    std::function<void(const Status&)> onStatus;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& s : statuses) texts.push_back(s.text);
        return texts;
    }
    bool Has(const std::string& text, LONG level) const {
        for (const auto& s : statuses) {
            if (s.text == text && s.level == level) return true;
        }
        return false;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& s : statuses) n += s.text == text ? 1 : 0;
        return n;
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IBoschCommsEvents) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (dispid != 1 || params == nullptr || params->cArgs != 2) return DISP_E_MEMBERNOTFOUND;
        std::string text;
        if (params->rgvarg[1].vt == VT_BSTR && params->rgvarg[1].bstrVal != nullptr) {
            for (const OLECHAR* p = params->rgvarg[1].bstrVal; *p != 0; ++p) {
                text += static_cast<char>(*p);
            }
        }
        statuses.push_back({text, params->rgvarg[0].lVal});
        if (onStatus) onStatus(Status(statuses.back()));  // a copy: the handler may add more
        return S_OK;
    }
};

// The description of the thread's error information, taken (and cleared).
inline std::string TakeErrorText() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return {};
    BSTR description = nullptr;
    info->GetDescription(&description);
    std::string text;
    for (const OLECHAR* p = description; p != nullptr && *p != 0; ++p) {
        text += static_cast<char>(*p);
    }
    SysFreeString(description);
    info->Release();
    return text;
}

inline CByteArray Bytes(std::initializer_list<BYTE> bytes) {
    CByteArray array;
    for (BYTE b : bytes) array.Add(b);
    return array;
}

inline std::vector<BYTE> Vec(const CByteArray& array) { return array.Vector(); }

// Advises `sink` on the object's event connection point.
inline void AdviseStatusSink(BoschComms& comms, IDispatch& sink) {
    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(
        comms.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
        S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IBoschCommsEvents, &point), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    point->Release();
    container->Release();
}

class ExchangeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        comms = new BoschComms;  // one reference, ours
        port = new FakePort;
        comms->m_pPort = port;
        AdviseStatusSink(*comms, sink);
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override {
        comms->Release();
        SetErrorInfo(0, nullptr);
    }

    // A configured message of the protocol and the exchange routine that goes with it, as
    // a wake-up leaves them.
    void UseProtocol(Protocol protocol, BYTE kw1 = 0x8F) {
        comms->m_nProtocol = protocol;
        comms->m_pfnExchange = protocol == VAG1281 ? &BoschComms::ExchangeMessageWithInverse
                                                   : &BoschComms::ExchangeMessage;
        delete comms->m_pMessage;
        comms->m_pMessage = CreateMessage(protocol);
        const BYTE kw2 = protocol == VAG1281 ? 0x8A : protocol == KWPtester ? 0x94 : 0x8F;
        comms->DecodeKeywords(kw1, kw2);
        comms->m_bEcuInitialized = 1;
        sink.statuses.clear();
    }

    double MsBetween(std::size_t a, std::size_t b) const {
        return static_cast<double>(port->Calls()[b].ns - port->Calls()[a].ns) / 1e6;
    }
    std::size_t IndexOf(const std::string& op, std::size_t from = 0) const {
        const auto& calls = port->Calls();
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (calls[i].op == op) return i;
        }
        ADD_FAILURE() << "no port call " << op;
        return calls.size() - 1;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scopedClock{clock};
    BoschComms* comms = nullptr;
    FakePort* port = nullptr;  // owned by comms
    StatusSink sink;
};

}  // namespace exchange_test
