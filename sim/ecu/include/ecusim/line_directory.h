#pragma once
// Named virtual K-lines. The serial layer opens "sim:<name>" devices through AcquireLine.
// A test registers a line (with the simulator it configured) under a name; for the names
// "kw1281" and "kwp2000" a line with a default simulated ECU at address 0x01 is made on
// first use and kept for the process, so that stored channel values survive a reconnect;
// these keep no records of their traffic.
#include <memory>
#include <string>

#include "kline/kline.h"

namespace ecusim {

void RegisterLine(const std::string& name, std::shared_ptr<kline::KLine> line);
void UnregisterLine(const std::string& name);
// The line for name, or nullptr when there is none and none can be made.
std::shared_ptr<kline::KLine> AcquireLine(const std::string& name);

}  // namespace ecusim
