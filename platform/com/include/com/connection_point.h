#pragma once
// The outgoing side of an object: one connection point for one dispatch event interface,
// with any number of advised sinks, and firing of events on them.
#include <cstddef>
#include <utility>
#include <vector>

#include "com/com.h"

namespace com {

// Invokes event `dispid` on `sink` as a method, with `args` in their natural order (first
// argument first; they are handed over in reverse, as Invoke expects). The result, if any,
// is cleared unless `result` is given.
HRESULT FireDispatchEvent(IDispatch* sink, DISPID dispid, const VARIANT* args, UINT count,
                          VARIANT* result = nullptr);

// Lives inside the object that offers it (its owner): its reference count is the owner's.
// Apartment-threaded: used from the owner's thread only.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, const IID& eventIid);
    ~ConnectionPoint();  // releases the sinks still advised
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    // Takes the sink's event interface, or else its IDispatch; CONNECT_E_CANNOTCONNECT when
    // it offers neither. Cookies count from 1 and are never reused.
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

    const IID& EventIid() const { return iid_; }
    std::size_t SinkCount() const;

    // The sinks advised now, each AddRef'd for the caller, who releases them.
    std::vector<std::pair<DWORD, IDispatch*>> Snapshot() const;
    bool IsAdvised(DWORD cookie) const;

    // Invokes event `dispid` on every sink advised when the call starts, skipping any that
    // is unadvised while the event runs (a sink may unadvise itself or others). Returns the
    // last Invoke's result, S_OK when there was no sink.
    HRESULT Fire(DISPID dispid, const VARIANT* args, UINT count);

private:
    struct Connection {
        DWORD cookie;
        IDispatch* sink;
    };
    IUnknown* owner_;
    IConnectionPointContainer* container_;
    IID iid_;
    std::vector<Connection> connections_;
    DWORD nextCookie_ = 1;
};

// An enumerator over a fixed list of connection points (each AddRef'd while enumerated),
// for IConnectionPointContainer::EnumConnectionPoints.
HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count,
                                        IEnumConnectionPoints** enumerator);

}  // namespace com
