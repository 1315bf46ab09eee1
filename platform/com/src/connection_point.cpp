#include "com/connection_point.h"

#include <algorithm>
#include <new>

#include "enumerators.h"

namespace com {

HRESULT FireDispatchEvent(IDispatch* sink, DISPID dispid, const VARIANT* args, UINT count,
                          VARIANT* result) {
    if (!sink) return E_POINTER;
    std::vector<VARIANT> reversed(count);
    for (UINT i = 0; i < count; ++i) reversed[count - 1 - i] = args[i];  // borrowed, not copied
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, count, 0};
    VARIANT ignored;
    VariantInit(&ignored);
    VARIANT* target = result ? result : &ignored;
    HRESULT hr = sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              target, nullptr, nullptr);
    VariantClear(&ignored);
    return hr;
}

ConnectionPoint::ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container,
                                 const IID& eventIid)
    : owner_(owner), container_(container), iid_(eventIid) {}

ConnectionPoint::~ConnectionPoint() {
    auto connections = std::move(connections_);
    for (auto& c : connections) c.sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() { return owner_->AddRef(); }

ULONG ConnectionPoint::Release() { return owner_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = container_;
    if (container_) container_->AddRef();
    return container_ ? S_OK : E_UNEXPECTED;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    void* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(iid_, &dispatch)) || !dispatch) {
        dispatch = nullptr;
        if (FAILED(sink->QueryInterface(IID_IDispatch, &dispatch)) || !dispatch) {
            return CONNECT_E_CANNOTCONNECT;
        }
    }
    try {
        connections_.push_back({nextCookie_, static_cast<IDispatch*>(dispatch)});
    } catch (const std::bad_alloc&) {
        static_cast<IDispatch*>(dispatch)->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [cookie](const Connection& c) { return c.cookie == cookie; });
    if (cookie == 0 || it == connections_.end()) return CONNECT_E_NOCONNECTION;
    IDispatch* sink = it->sink;
    connections_.erase(it);
    sink->Release();  // last: the sink's destructor may call back into this point
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    std::vector<CONNECTDATA> items;
    items.reserve(connections_.size());
    for (const auto& c : connections_) items.push_back({c.sink, c.cookie});
    *connections = new (std::nothrow)
        detail::Enumerator<IEnumConnections, CONNECTDATA>(IID_IEnumConnections, std::move(items));
    return *connections ? S_OK : E_OUTOFMEMORY;
}

std::size_t ConnectionPoint::SinkCount() const { return connections_.size(); }

std::vector<std::pair<DWORD, IDispatch*>> ConnectionPoint::Snapshot() const {
    std::vector<std::pair<DWORD, IDispatch*>> sinks;
    sinks.reserve(connections_.size());
    for (const auto& c : connections_) {
        c.sink->AddRef();
        sinks.emplace_back(c.cookie, c.sink);
    }
    return sinks;
}

bool ConnectionPoint::IsAdvised(DWORD cookie) const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [cookie](const Connection& c) { return c.cookie == cookie; });
}

HRESULT ConnectionPoint::Fire(DISPID dispid, const VARIANT* args, UINT count) {
    HRESULT last = S_OK;
    auto sinks = Snapshot();
    for (auto& [cookie, sink] : sinks) {
        if (IsAdvised(cookie)) last = FireDispatchEvent(sink, dispid, args, count);
        sink->Release();
    }
    return last;
}

HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count,
                                        IEnumConnectionPoints** enumerator) {
    if (!enumerator) return E_POINTER;
    if (count > 0 && !points) return E_INVALIDARG;
    std::vector<IConnectionPoint*> items(points, points + count);
    *enumerator = new (std::nothrow) detail::Enumerator<IEnumConnectionPoints, IConnectionPoint*>(
        IID_IEnumConnectionPoints, std::move(items));
    return *enumerator ? S_OK : E_OUTOFMEMORY;
}

}  // namespace com
