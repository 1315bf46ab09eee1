#pragma once
// Growable byte array with the framework's interface.
#include <cstdint>
#include <new>
#include <vector>

#include "framework/exceptions.h"

class CByteArray {
public:
    std::ptrdiff_t GetSize() const { return static_cast<std::ptrdiff_t>(m_data.size()); }
    std::ptrdiff_t GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_data.empty(); }
    void RemoveAll() { m_data.clear(); }
    std::ptrdiff_t Add(BYTE b) {
        try {
            m_data.push_back(b);
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
        return GetSize() - 1;
    }
    BYTE GetAt(std::ptrdiff_t i) const { return m_data.at(static_cast<std::size_t>(i)); }
    BYTE& operator[](std::ptrdiff_t i) { return m_data.at(static_cast<std::size_t>(i)); }
    BYTE operator[](std::ptrdiff_t i) const { return m_data.at(static_cast<std::size_t>(i)); }
    BYTE* GetData() { return m_data.data(); }
    const BYTE* GetData() const { return m_data.data(); }
    const std::vector<BYTE>& Vector() const { return m_data; }

private:
    std::vector<BYTE> m_data;
};
