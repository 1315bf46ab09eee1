// regsvr [-u] <library>: calls the library's DllRegisterServer (or DllUnregisterServer with -u).
#include <cstdio>
#include <cstring>
#include <string>

#include "com/com.h"

int main(int argc, char** argv) {
    const bool unregister = argc == 3 && std::strcmp(argv[1], "-u") == 0;
    if (argc != 2 && !unregister) {
        std::fprintf(stderr, "usage: regsvr [-u] <in-process server library>\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    const HRESULT hr = unregister ? UnregisterServerLibrary(path) : RegisterServerLibrary(path);
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s of %s failed (0x%08X)\n",
                     unregister ? "unregistration" : "registration", path,
                     static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("%s %s\n", unregister ? "Unregistered" : "Registered", path);
    return 0;
}
