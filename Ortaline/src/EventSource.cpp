#include "EventSource.h"

#include "ortaline/IBoschComms.h"

namespace ortaline {

EventSource::EventSource(IUnknown& owner, IConnectionPointContainer& container)
    : m_owner(owner), m_container(container) {}

EventSource::~EventSource() {
    for (IDispatch* sink : m_sinks) {
        if (sink != nullptr) sink->Release();
    }
}

HRESULT EventSource::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT EventSource::GetConnectionInterface(IID* iid) {
    if (iid == nullptr) return E_POINTER;
    *iid = DIID__IBoschCommsEvents;
    return S_OK;
}

HRESULT EventSource::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (container == nullptr) return E_POINTER;
    *container = &m_container;
    m_container.AddRef();
    return S_OK;
}

HRESULT EventSource::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie == nullptr) return E_POINTER;
    *cookie = 0;
    if (sink == nullptr) return E_POINTER;
    void* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(DIID__IBoschCommsEvents, &dispatch)) &&
        FAILED(sink->QueryInterface(IID_IDispatch, &dispatch))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    if (dispatch == nullptr) return CONNECT_E_CANNOTCONNECT;
    auto* events = static_cast<IDispatch*>(dispatch);
    for (std::size_t i = 0; i < m_sinks.size(); ++i) {
        if (m_sinks[i] == nullptr) {
            m_sinks[i] = events;
            *cookie = static_cast<DWORD>(i + 1);
            return S_OK;
        }
    }
    try {
        m_sinks.push_back(events);
    } catch (...) {
        events->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = static_cast<DWORD>(m_sinks.size());
    return S_OK;
}

HRESULT EventSource::Unadvise(DWORD cookie) {
    if (cookie == 0 || cookie > m_sinks.size() || m_sinks[cookie - 1] == nullptr) {
        return CONNECT_E_NOCONNECTION;
    }
    IDispatch* sink = m_sinks[cookie - 1];
    m_sinks[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

HRESULT EventSource::EnumConnections(IEnumConnections** connections) {
    if (connections == nullptr) return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;
}

}  // namespace ortaline
