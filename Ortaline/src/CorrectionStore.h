#pragma once
// The fast initialisation's timing correction per port kind, kept in the per-user settings
// store as a signed 64-bit count of performance-counter ticks. The key stays open for the
// guard's lifetime and is closed on every path out of it.
#include <cstdint>
#include <string>

#include "registry/registry.h"

namespace ortaline {

class CorrectionStore {
public:
    // Creates the key when it is missing, then opens it for reading and writing.
    CorrectionStore();
    ~CorrectionStore();
    CorrectionStore(const CorrectionStore&) = delete;
    CorrectionStore& operator=(const CorrectionStore&) = delete;

    bool IsOpen() const { return m_key != nullptr; }
    // "<port name>_CorrectionFactor".
    static std::string ValueName(const char* portName);

    // False when the key did not open. A value that is missing or not a 64-bit one reads
    // as 0.
    bool Load(const std::string& name, std::int64_t& ticks) const;
    // False when the key did not open or the write failed.
    bool Store(const std::string& name, std::int64_t ticks) const;

private:
    HKEY m_key = nullptr;
};

}  // namespace ortaline
