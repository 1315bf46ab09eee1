#pragma once
// The one connection point of BoschComms, for _IBoschCommsEvents. Its reference count is
// the owner's; sinks keep their positions (cookie = position + 1) so that a sink leaving
// during an event does not shift the others.
#include <vector>

#include "com/com.h"

namespace ortaline {

class EventSource final : public IConnectionPoint {
public:
    EventSource(IUnknown& owner, IConnectionPointContainer& container);
    ~EventSource();
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

    // Number of positions, empty ones included, and the sink at a position (nullptr when
    // empty), as the event firing walks them.
    std::size_t Positions() const { return m_sinks.size(); }
    IDispatch* SinkAt(std::size_t position) const {
        return position < m_sinks.size() ? m_sinks[position] : nullptr;
    }

private:
    IUnknown& m_owner;
    IConnectionPointContainer& m_container;
    std::vector<IDispatch*> m_sinks;
};

}  // namespace ortaline
