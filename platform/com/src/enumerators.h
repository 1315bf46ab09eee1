#pragma once
// A reference-counted enumerator over a snapshot of items that hold interface references.
#include <atomic>
#include <new>
#include <vector>

#include "com/com.h"

namespace com::detail {

inline IUnknown* Referenced(IConnectionPoint* point) { return point; }
inline IUnknown* Referenced(const CONNECTDATA& data) { return data.pUnk; }

template <class Interface, class Item>
class Enumerator final : public Interface {
public:
    // Takes references of its own on the items.
    Enumerator(const IID& iid, std::vector<Item> items, std::size_t position = 0)
        : iid_(iid), items_(std::move(items)), position_(position) {
        for (auto& item : items_) {
            if (IUnknown* unknown = Referenced(item)) unknown->AddRef();
        }
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == iid_) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && position_ < items_.size()) {
            out[n] = items_[position_++];
            if (IUnknown* unknown = Referenced(out[n])) unknown->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        std::size_t left = items_.size() - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(Interface** copy) override {
        if (!copy) return E_POINTER;
        *copy = new (std::nothrow) Enumerator(iid_, items_, position_);
        return *copy ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~Enumerator() {
        for (auto& item : items_) {
            if (IUnknown* unknown = Referenced(item)) unknown->Release();
        }
    }

    IID iid_;
    std::vector<Item> items_;
    std::size_t position_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace com::detail
