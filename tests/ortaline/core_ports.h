#pragma once
#include <vector>

#include "Port.h"

namespace core_test {

// A port that does nothing but can be told to look open and to fail a chosen operation.
class ProgrammablePort : public CPort {
public:
    bool open = true;
    DWORD failBaudRateWith = 0;
    DWORD failPurgeWith = 0;
    int closeCalls = 0;
    std::vector<DWORD> baudRates;

    bool IsOpen() override { return open; }
    bool Close() override {
        ++closeCalls;
        const bool was = open;
        open = false;
        return was;
    }
    bool TerminateOutstandingReads() override {
        if (failPurgeWith != 0) ThrowSerialException(failPurgeWith);
        return true;
    }
    bool SetBaudRate(DWORD baud) override {
        if (failBaudRateWith != 0) ThrowSerialException(failBaudRateWith);
        baudRates.push_back(baud);
        return true;
    }
};

}  // namespace core_test
