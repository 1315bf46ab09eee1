#pragma once
// The tuning program's ECU session: it owns the library's BoschComms object from one connect
// to the next, phrases every request in the protocol the library learned at the wake-up
// (KW1281 blocks or KWP2000 services) and turns the replies into values and texts.
//
// Failures are RunTimeErrors: number 1 for the session's own ("Channel could not be read.",
// "Failed Request."), the library's result code with its message for a failed call. A
// request on the common send path that fails marks the link lost and raises Disconnected
// synchronously; the handler may call back into the session.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "dravik/com_ref.h"
#include "dravik/reply.h"
#include "ortaline/IBoschComms.h"

namespace dravik {

// Creates a new BoschComms object through COM ("Ortaline.BoschComms").
HRESULT CreateBoschComms(IBoschComms** comms);

class bcClass {
public:
    using CommsFactory = std::function<HRESULT(IBoschComms** comms)>;

    inline static constexpr LONG kBaudRate = 10400;
    inline static constexpr LONG kEcuAddress = 1;

    explicit bcClass(CommsFactory factory = CreateBoschComms);
    bcClass(const bcClass&) = delete;
    bcClass& operator=(const bcClass&) = delete;

    // The event Disconnected: raised once when a request finds the link lost.
    void SetDisconnectedHandler(std::function<void()> handler) {
        m_onDisconnected = std::move(handler);
    }

    // port: 0 = USB cable, 1 to 4 = COM1 to COM4. True when the link is up; never fails.
    bool Connect(std::uint8_t port);
    void Disconnect();
    void SendKeepalive();
    // The identification text, one character per reply byte (U+0000 to U+00FF).
    std::u16string GetEcuType() const { return m_ecuType; }
    // 2 bytes (KW1281) or 6 (KWP2000); absent before the first identification.
    std::optional<std::vector<std::uint8_t>> GetWorkShopCode() const { return m_workShopCode; }
    // The channel's 16-bit word (0 to 65535); 0 before the first connect.
    std::int32_t ReadAdaptationValue(std::uint8_t channel);
    // Makes value active; returns the value read back.
    std::int32_t TestAdaptationValue(std::uint8_t channel, std::int32_t value);
    // Stores value as the channel's start-up value; returns the value read back.
    std::int32_t SetAdaptationValue(std::uint8_t channel, std::int32_t value,
                                    const std::vector<std::uint8_t>& workshop);
    // Every channel back to the ECU's default; never fails.
    void ResetAdaptationValues(const std::vector<std::uint8_t>& workshop);
    bool IsConnected() const { return m_connected; }

private:
    static std::u16string BytesToText(const Reply& reply, std::size_t start);
    Reply SendBytes(const std::vector<std::uint8_t>& bytes);
    Reply SendRequest(const std::vector<std::uint8_t>& request);
    static std::int32_t ReplyWord(const Reply& reply, std::ptrdiff_t index);
    Reply SendKwpRequest(const std::vector<std::uint8_t>& request);

    ComRef<IBoschComms> RequireComms() const;
    static LONG AskProtocol(const ComRef<IBoschComms>& comms);
    void MarkLinkLost();
    void SetWorkShopByte(std::size_t index, std::int32_t element);
    bool WakeUp(std::uint8_t port);
    void Identify(LONG protocol);

    CommsFactory m_factory;
    std::function<void()> m_onDisconnected;

    ComRef<IBoschComms> m_comms;
    std::u16string m_ecuType;
    std::optional<std::vector<std::uint8_t>> m_workShopCode;
    bool m_connected = false;
};

}  // namespace dravik
