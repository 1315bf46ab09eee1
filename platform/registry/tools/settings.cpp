// settings get <key> <name> | settings set <key> <name> <text>
// Keys are below HKEY_CURRENT_USER, e.g. "Software\Ortaline\Devices".
#include <cstdio>
#include <cstring>
#include <string>

#include "registry/registry.h"

namespace {

// A damaged store is the reason for any failure while it lasts; it is named, not hidden
// behind "not set" or "could not write".
int Failed(const std::string& otherwise) {
    const std::string problem = registry::StoreProblem();
    std::fprintf(stderr, "settings: %s\n", problem.empty() ? otherwise.c_str() : problem.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool get = argc == 4 && std::strcmp(argv[1], "get") == 0;
    const bool set = argc == 5 && std::strcmp(argv[1], "set") == 0;
    if (!get && !set) {
        std::fprintf(stderr,
                     "usage: settings get <key> <name>\n"
                     "       settings set <key> <name> <text>\n"
                     "(keys below HKEY_CURRENT_USER; store: %s)\n",
                     registry::StorePath().c_str());
        return 2;
    }
    if (get) {
        std::string value;
        if (!registry::ReadString(HKEY_CURRENT_USER, argv[2], argv[3], value)) {
            return Failed(std::string(argv[2]) + "\\" + argv[3] + " is not set");
        }
        std::printf("%s\n", value.c_str());
        return 0;
    }
    if (!registry::WriteString(HKEY_CURRENT_USER, argv[2], argv[3], argv[4])) {
        return Failed("could not write " + std::string(argv[2]) + "\\" + argv[3] + " to " +
                      registry::StorePath());
    }
    return 0;
}
