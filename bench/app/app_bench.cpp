// The tuning program's start-up and its connect, on the real clock.
//
// 1. The real Dravik program on the X server of $DISPLAY (run under xvfb-run): time from
//    starting the process to its disclaimer window being shown, and the resident memory once
//    the disclaimer is accepted (a click through xdotool) and the main window is shown.
// 2. The main window in this process (offscreen) with the real library created through COM
//    and the simulated KW1281 ECU: a click on Connect (wake-up, identification and the
//    reads of all twelve channels) against the least time the protocol's waits allow.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "forms/settings.h"
#include "forms/testing.h"
#include "registry/registry.h"
#include "window/about_window.h"
#include "window/main_window.h"
#include "wire_minimum.h"
#include "x_windows.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ResidentMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0.0;
}

std::string TempConfigHome() {
    char pattern[] = "/tmp/dravik-bench-XXXXXX";
    const char* folder = mkdtemp(pattern);
    return folder != nullptr ? folder : "/tmp";
}

void StartUp(int runs) {
    xprobe::XServer x;
    if (!x.Connected()) {
        std::printf("start-up: no X server in $DISPLAY (run under xvfb-run -a); skipped\n\n");
        return;
    }
    std::printf("Dravik start to disclaimer on screen; resident memory with the main window\n");
    std::printf("%4s %16s %14s\n", "run", "disclaimer ms", "resident MB");
    std::vector<double> times;
    std::vector<double> memory;
    for (int run = 0; run < runs; ++run) {
        const std::string home = TempConfigHome();
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        const auto start = Clock::now();
        const pid_t child = xprobe::Spawn(DRAVIK_PATH);
        const auto about = x.WaitForWindow("About Dravik", std::chrono::seconds(20));
        const double shownMs = MsSince(start);
        bool mainShown = false;
        double residentMb = 0.0;
        if (about) {
            x.ClickAt(*about, DISCLAIMER_ACCEPT_X, DISCLAIMER_ACCEPT_Y);
            mainShown = x.WaitForWindow("Quelsor Dravik", std::chrono::seconds(20)).has_value();
            if (mainShown) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                residentMb = ResidentMb(child);
            }
        }
        xprobe::Stop(child);
        std::filesystem::remove_all(home);
        if (!about) {
            std::printf("%4d  the disclaimer did not appear\n", run);
            continue;
        }
        // No main window means no memory figure: a 0 would read as a result.
        if (!mainShown) {
            std::printf("%4d  the main window did not appear once the disclaimer was accepted\n",
                        run);
            continue;
        }
        times.push_back(shownMs);
        memory.push_back(residentMb);
        std::printf("%4d %16.1f %14.1f\n", run, shownMs, residentMb);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        std::printf("median %.1f ms (goal 200), largest resident %.1f MB (goal 50)\n\n",
                    times[times.size() / 2], *std::max_element(memory.begin(), memory.end()));
    }
}

void ConnectAndRead(int runs) {
    std::printf("Connect + read all 12 channels from the window, KW1281 ECU, real clock\n");
    std::printf("%4s %12s %12s %8s\n", "run", "wall ms", "minimum ms", "ratio");
    double worst = 0.0;
    for (int run = 0; run < runs; ++run) {
        const std::string home = TempConfigHome();
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        RegisterServerLibrary(ORTALINE_LIBRARY_PATH);
        const std::string name = "app-bench-" + std::to_string(run);
        registry::WriteString(HKEY_CURRENT_USER, "Software\\Ortaline\\Devices", "COM1",
                              "sim:" + name);
        forms::SaveSetting("Quelsor Dravik", "Settings", "ConnectionType", "1");
        auto line = std::make_shared<kline::KLine>();
        auto ecu = std::make_shared<ecusim::EcuSimulator>(
            ecusim::DefaultConfig(ecusim::EcuProtocol::Kw1281));
        line->AttachPeer(ecu);
        ecusim::RegisterLine(name, line);
        double wallMs = 0.0;
        bool connected = false;
        {
            dravik::MainWindow window;
            window.Load();
            window.frmAbout->btnAccept_Click();
            const forms::Image& connect = *window.btnConnect;
            const auto start = Clock::now();
            forms::testing::ClickAt(window, connect.Left() + connect.Width() / 2,
                                    connect.Top() + connect.Height() / 2);
            wallMs = MsSince(start);
            connected = window.bcc->IsConnected() && ecu->RequestCount() == 3 + 12;
            window.tmrKeepalive->SetEnabled(false);
        }
        const double minimumMs = bench::WireMinimumMs(*line);
        ecusim::UnregisterLine(name);
        std::filesystem::remove_all(home);
        if (!connected) {
            std::printf("%4d  the connect did not read all channels\n", run);
            continue;
        }
        const double ratio = wallMs / minimumMs;
        worst = std::max(worst, ratio);
        std::printf("%4d %12.1f %12.1f %8.4f\n", run, wallMs, minimumMs, ratio);
    }
    std::printf("worst ratio %.4f (goal 1.01)\n", worst);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    StartUp(runs);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ConnectAndRead(runs);
    return 0;
}
