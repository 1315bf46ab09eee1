#pragma once
#include <string>
#include <vector>

#include "Port.h"

namespace core_test {

// A port that does nothing but can be told to look open and to fail a chosen operation.
class ProgrammablePort : public CPort {
public:
    bool open = true;
    DWORD failBaudRateWith = 0;
    DWORD failPurgeWith = 0;
    DWORD failSetupWith = 0;
    int closeCalls = 0;
    std::vector<DWORD> baudRates;
    // What Open, Setup and SetMask were given, in call order.
    std::vector<std::string> calls;

    void Open(std::int32_t port, std::int32_t baud, PortParity parity, std::uint8_t dataBits,
              PortStopBits stopBits, PortFlowControl flow, bool overlapped) override {
        calls.push_back("Open " + std::to_string(port) + " " + std::to_string(baud) + " " +
                        std::to_string(static_cast<int>(parity)) + " " + std::to_string(dataBits) +
                        " " + std::to_string(static_cast<int>(stopBits)) + " " +
                        std::to_string(static_cast<int>(flow)) + " " + std::to_string(overlapped));
        open = true;
    }
    bool Setup(DWORD receiveQueue, DWORD transmitQueue) override {
        calls.push_back("Setup " + std::to_string(receiveQueue) + " " +
                        std::to_string(transmitQueue));
        if (failSetupWith != 0) ThrowSerialException(failSetupWith);
        return true;
    }
    bool SetMask(DWORD mask) override {
        calls.push_back("SetMask " + std::to_string(mask));
        return true;
    }

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
