#pragma once
// A BoschComms object on COM5, which a private settings store maps to a named virtual
// K-line, on the real clock.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BoschComms.h"
#include "ecusim/line_directory.h"
#include "kline/kline.h"
#include "registry/registry.h"
#include "serial/device_map.h"

namespace bench {

inline constexpr LONG kPort = 5;

class BenchLine {
public:
    explicit BenchLine(const std::string& name) : m_name(name) {
        char pattern[] = "/tmp/ortaline-bench-XXXXXX";
        m_home = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey,
                              "COM" + std::to_string(kPort),
                              std::string(serial::kVirtualDevicePrefix) + name);
        line = std::make_shared<kline::KLine>();
        ecusim::RegisterLine(name, line);
        comms = new BoschComms;
    }
    ~BenchLine() {
        comms->Release();
        ecusim::UnregisterLine(m_name);
        std::error_code ec;
        std::filesystem::remove_all(m_home, ec);
    }
    BenchLine(const BenchLine&) = delete;
    BenchLine& operator=(const BenchLine&) = delete;

    std::shared_ptr<kline::KLine> line;
    BoschComms* comms = nullptr;

private:
    std::string m_name;
    std::string m_home;
};

// SendCommand with the bytes as a byte array; true when it succeeded.
inline bool Send(BoschComms& comms, const std::vector<BYTE>& bytes) {
    VARIANT message, reply;
    VariantInit(&message);
    VariantInit(&reply);
    message.vt = static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
    message.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        BYTE b = bytes[i];
        SafeArrayPutElement(message.parray, &index, &b);
    }
    const HRESULT hr = comms.SendCommand(message, &reply);
    VariantClear(&reply);
    VariantClear(&message);
    return hr == S_OK;
}

// p-th percentile (0-100) of the values, nearest rank.
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size()));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

}  // namespace bench
