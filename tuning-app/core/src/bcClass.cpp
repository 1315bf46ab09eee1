#include "dravik/bcClass.h"

#include <exception>
#include <utility>

#include "dravik/automation.h"
#include "dravik/run_time_error.h"

namespace dravik {

namespace {

// KW1281 block titles.
constexpr std::uint8_t kKwIdentification = 0x09;
constexpr std::uint8_t kKwEndOfCommunication = 0x06;
constexpr std::uint8_t kKwReadAdaptation = 0x21;
constexpr std::uint8_t kKwTestAdaptation = 0x22;
constexpr std::uint8_t kKwStoreAdaptation = 0x2A;
constexpr std::int32_t kKwAdaptationReply = 0xE6;

// KWP2000 services.
constexpr std::uint8_t kKwpReadEcuIdentification = 0x1A;
constexpr std::uint8_t kKwpIdentificationOption = 0x9B;
constexpr std::uint8_t kKwpStopCommunication = 0x82;
constexpr std::uint8_t kKwpTesterPresent = 0x3E;
constexpr std::uint8_t kKwpStartRoutine = 0x31;
constexpr std::int32_t kKwpPositiveOffset = 0x40;

// Routine local identifiers of the adaptation sequence, each followed by 01 03.
constexpr std::uint8_t kRoutineOpen = 0xB8;
constexpr std::uint8_t kRoutineChannel = 0xB9;  // with the channel, or the value to test
constexpr std::uint8_t kRoutineResult = 0xBA;
constexpr std::uint8_t kRoutineStore = 0xBB;

std::vector<std::uint8_t> Routine(std::uint8_t id, std::initializer_list<std::uint8_t> tail = {}) {
    std::vector<std::uint8_t> request{kKwpStartRoutine, id, 0x01, 0x03};
    request.reserve(request.size() + tail.size());
    for (std::uint8_t b : tail) request.push_back(b);
    return request;
}

std::uint8_t High(std::int32_t value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }
std::uint8_t Low(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

std::uint8_t WorkshopByte(const std::vector<std::uint8_t>& workshop, std::size_t index) {
    if (index >= workshop.size()) throw SubscriptError();
    return workshop[index];
}

}  // namespace

HRESULT CreateBoschComms(IBoschComms** comms) {
    if (!comms) return E_POINTER;
    *comms = nullptr;
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(kBoschCommsProgId, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBoschComms,
                            reinterpret_cast<void**>(comms));
}

bcClass::bcClass(CommsFactory factory) : m_factory(std::move(factory)) {}

ComRef<IBoschComms> bcClass::RequireComms() const {
    if (!m_comms) throw ObjectNotSetError();
    return m_comms;  // a reference of its own: a Disconnected handler may replace m_comms
}

LONG bcClass::AskProtocol(const ComRef<IBoschComms>& comms) {
    Protocol protocol{};
    ClearErrorInfo();
    CheckCall(comms->GetProtocol(&protocol));
    return protocol;
}

std::u16string bcClass::BytesToText(const Reply& reply, std::size_t start) {
    if (!reply.IsArray()) throw TypeMismatchError();
    std::u16string text;
    for (std::size_t i = start; i < reply.Size(); ++i) {
        const std::int32_t element = reply.At(static_cast<std::ptrdiff_t>(i));
        if (element < 0 || element > 0xFF) throw InvalidCallError();
        text.push_back(static_cast<char16_t>(element));
    }
    return text;
}

std::int32_t bcClass::ReplyWord(const Reply& reply, std::ptrdiff_t index) {
    const std::int64_t word = std::int64_t{reply.At(index)} * 256 + reply.At(index + 1);
    if (!std::in_range<std::int32_t>(word)) throw OverflowError();
    return static_cast<std::int32_t>(word);
}

Reply bcClass::SendBytes(const std::vector<std::uint8_t>& bytes) {
    const ComRef<IBoschComms> comms = RequireComms();
    VARIANT message = BytesToVariant(bytes);
    VARIANT reply;
    VariantInit(&reply);
    ClearErrorInfo();
    const HRESULT hr = comms->SendCommand(message, &reply);
    VariantClear(&message);
    if (FAILED(hr)) {
        VariantClear(&reply);
        throw AutomationError(hr);
    }
    Reply result = ReplyFromVariant(reply);
    VariantClear(&reply);
    return result;
}

void bcClass::MarkLinkLost() {
    m_connected = false;
    if (!m_onDisconnected) return;
    try {
        m_onDisconnected();
    } catch (const std::exception&) {
        // The send path reports the loss only through the event; a failing handler must not
        // turn it into a failure of the request.
    }
}

Reply bcClass::SendRequest(const std::vector<std::uint8_t>& request) {
    if (!m_connected) return Reply();
    Reply reply;
    bool failed = false;
    try {
        reply = SendBytes(request);
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed || !reply.IsArray() || reply.Size() == 0) MarkLinkLost();
    return reply;
}

Reply bcClass::SendKwpRequest(const std::vector<std::uint8_t>& request) {
    const ComRef<IBoschComms> comms = RequireComms();
    if (AskProtocol(comms) != KWP2000 || !m_connected) return Reply();
    Reply reply = SendBytes(request);
    if (reply.At(0) != request.front() + kKwpPositiveOffset) {
        throw SessionError(errors::kFailedRequest);
    }
    return reply;
}

void bcClass::SetWorkShopByte(std::size_t index, std::int32_t element) {
    if (element < 0 || element > 0xFF) throw OverflowError();
    // A Disconnected handler may have reconnected and resized the code meanwhile.
    if (!m_workShopCode || index >= m_workShopCode->size()) throw SubscriptError();
    (*m_workShopCode)[index] = static_cast<std::uint8_t>(element);
}

bool bcClass::WakeUp(std::uint8_t port) {
    m_comms.Reset();
    m_ecuType.clear();
    try {
        IBoschComms* created = nullptr;
        const HRESULT hr = m_factory ? m_factory(&created) : E_FAIL;
        if (FAILED(hr) || !created) {
            if (created) created->Release();
            return false;
        }
        m_comms = ComRef<IBoschComms>::Adopt(created);
    } catch (const std::exception&) {
        return false;
    }
    try {
        const ComRef<IBoschComms> comms = RequireComms();
        VARIANT keyBytes;
        VariantInit(&keyBytes);
        ClearErrorInfo();
        const HRESULT hr = comms->Initialize(port, kBaudRate, kEcuAddress, &keyBytes);
        VariantClear(&keyBytes);
        CheckCall(hr);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void bcClass::Identify(LONG protocol) {
    // Each step that fails is skipped; what it would have set keeps its value.
    auto step = [](auto&& action) {
        try {
            action();
        } catch (const std::exception&) {
        }
    };
    if (protocol == VAG1281) {
        m_workShopCode = std::vector<std::uint8_t>(2, 0);
        step([&] { m_ecuType = BytesToText(SendRequest({kKwIdentification}), 1); });
        const Reply second = SendRequest({kKwIdentification});
        step([&] { SetWorkShopByte(0, second.At(4)); });
        step([&] { SetWorkShopByte(1, second.At(5)); });
        SendRequest({kKwIdentification});
        SendRequest({kKwIdentification});
    } else {
        m_workShopCode = std::vector<std::uint8_t>(6, 0);
        const Reply reply = SendRequest({kKwpReadEcuIdentification, kKwpIdentificationOption});
        step([&] { m_ecuType = BytesToText(reply, 2); });
        for (std::size_t i = 0; i < 6; ++i) {
            step([&] { SetWorkShopByte(i, reply.At(static_cast<std::ptrdiff_t>(22 + i))); });
        }
    }
}

bool bcClass::Connect(std::uint8_t port) {
    if (!WakeUp(port)) {
        m_connected = false;
        return false;
    }
    m_connected = true;

    LONG protocol = 0;
    try {
        protocol = AskProtocol(RequireComms());
    } catch (const std::exception&) {
        protocol = 0;
    }
    if (protocol != VAG1281 && protocol != KWP2000) {
        // The session speaks no other protocol: reporting such an ECU connected would show
        // zeros as its values. Close the link and report the connect as failed.
        m_connected = false;
        try {
            ClearErrorInfo();
            RequireComms()->Close();
        } catch (const std::exception&) {
        }
        return false;
    }
    try {
        Identify(protocol);
    } catch (const std::exception&) {
    }
    return m_connected;
}

void bcClass::Disconnect() {
    const ComRef<IBoschComms> comms = RequireComms();
    const LONG protocol = AskProtocol(comms);
    if (protocol == VAG1281) {
        SendRequest({kKwEndOfCommunication});
    } else if (protocol == KWP2000) {
        SendRequest({kKwpStopCommunication});
    }
    m_connected = false;
    ClearErrorInfo();
    CheckCall(comms->Close());
}

void bcClass::SendKeepalive() {
    const LONG protocol = AskProtocol(RequireComms());
    if (protocol == VAG1281) {
        SendRequest({kKwIdentification});
    } else if (protocol == KWP2000) {
        SendRequest({kKwpTesterPresent});
    }
}

std::int32_t bcClass::ReadAdaptationValue(std::uint8_t channel) {
    if (!m_comms) return 0;
    const LONG protocol = AskProtocol(RequireComms());
    if (protocol == VAG1281) {
        const Reply reply = SendRequest({kKwReadAdaptation, channel});
        if (!reply.IsArray()) throw SessionError();
        if (reply.At(0) != kKwAdaptationReply) throw SessionError(errors::kChannelNotRead);
        return ReplyWord(reply, 2);
    }
    if (protocol == KWP2000) {
        SendKwpRequest(Routine(kRoutineOpen));
        SendKwpRequest(Routine(kRoutineResult));
        SendKwpRequest(Routine(kRoutineChannel, {channel}));
        return ReplyWord(SendKwpRequest(Routine(kRoutineResult)), 6);
    }
    return 0;
}

std::int32_t bcClass::TestAdaptationValue(std::uint8_t channel, std::int32_t value) {
    const LONG protocol = AskProtocol(RequireComms());
    if (protocol == VAG1281) {
        const Reply reply = SendRequest({kKwTestAdaptation, channel, High(value), Low(value)});
        if (!reply.IsArray()) throw SessionError();
        return ReadAdaptationValue(channel);
    }
    if (protocol == KWP2000) {
        ReadAdaptationValue(channel);
        SendKwpRequest(Routine(kRoutineChannel, {High(value), Low(value)}));
        SendKwpRequest(Routine(kRoutineResult));
        return ReadAdaptationValue(channel);
    }
    return 0;
}

std::int32_t bcClass::SetAdaptationValue(std::uint8_t channel, std::int32_t value,
                                         const std::vector<std::uint8_t>& workshop) {
    const LONG protocol = AskProtocol(RequireComms());
    if (protocol == VAG1281) {
        const std::vector<std::uint8_t> request{kKwStoreAdaptation,
                                                channel,
                                                High(value),
                                                Low(value),
                                                0x00,
                                                WorkshopByte(workshop, 0),
                                                WorkshopByte(workshop, 1)};
        const Reply reply = SendRequest(request);
        if (!reply.IsArray()) throw SessionError();
        return ReadAdaptationValue(channel);
    }
    if (protocol == KWP2000) {
        ReadAdaptationValue(channel);
        std::vector<std::uint8_t> request = Routine(kRoutineStore, {High(value), Low(value)});
        for (std::size_t i = 0; i < 6; ++i) request.push_back(WorkshopByte(workshop, i));
        SendKwpRequest(request);
        SendKwpRequest(Routine(kRoutineResult));
        return ReadAdaptationValue(channel);
    }
    return 0;
}

void bcClass::ResetAdaptationValues(const std::vector<std::uint8_t>& workshop) {
    auto step = [](auto&& action) {
        try {
            action();
        } catch (const std::exception&) {
        }
    };
    LONG protocol = 0;
    step([&] { protocol = AskProtocol(RequireComms()); });
    if (protocol == VAG1281) {
        step([&] { SetAdaptationValue(0, 0, workshop); });
    } else if (protocol == KWP2000) {
        step([&] { TestAdaptationValue(0, 0); });
        step([&] {
            std::vector<std::uint8_t> request = Routine(kRoutineStore, {0x00, 0x00});
            for (std::size_t i = 0; i < 6; ++i) request.push_back(WorkshopByte(workshop, i));
            SendKwpRequest(request);
        });
        step([&] { SendKwpRequest(Routine(kRoutineResult)); });
    }
}

}  // namespace dravik
