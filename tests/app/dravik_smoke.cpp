// Smoke run of the real Dravik program on an X server (run under xvfb-run): it starts, shows
// its disclaimer window, and ends with status 0 when that window's close box is used. The
// main window never appears.
#include <cstdio>
#include <filesystem>

#include "x_windows.h"

namespace {

int Fail(const char* what, pid_t child) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    if (child > 0) xprobe::Stop(child);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <path of Dravik>\n", argv[0]);
        return 2;
    }
    char folder[] = "/tmp/dravik-smoke-XXXXXX";
    if (mkdtemp(folder) == nullptr) return Fail("no temporary settings folder", 0);
    setenv("XDG_CONFIG_HOME", folder, 1);
    xprobe::XServer x;
    if (!x.Connected()) return Fail("no X server (run under xvfb-run)", 0);

    const pid_t child = xprobe::Spawn(argv[1]);
    const auto disclaimer = x.WaitForWindow("About Dravik", std::chrono::seconds(20));
    if (!disclaimer) return Fail("the disclaimer window did not appear", child);
    if (x.ShownWindow("Quelsor Dravik")) return Fail("main window shown too soon", child);
    std::printf("disclaimer shown\n");

    x.AskToClose(*disclaimer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    pid_t ended = 0;
    while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended != child) return Fail("Dravik did not end when the disclaimer was closed", child);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail("exit status not 0", 0);
    if (x.ShownWindow("Quelsor Dravik")) return Fail("the main window was shown", 0);
    std::printf("ended with status 0\n");
    std::filesystem::remove_all(folder);
    return 0;
}
