#pragma once
// An owning reference to a COM object: copies AddRef, destruction and Reset Release.
#include <utility>

namespace dravik {

template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    ComRef(ComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComRef() { Reset(); }

    // Takes over a reference the caller already holds.
    static ComRef Adopt(T* p) {
        ComRef ref;
        ref.m_p = p;
        return ref;
    }

    void Reset() {
        // Cleared before Release so that code run by the release sees no dangling pointer.
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

}  // namespace dravik
