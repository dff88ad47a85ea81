// simctl: plugs, unplugs and inspects the simulated modules of the state directory
// (ZANDACORE_SIM_DIR), in the Wine prefix it runs in.
#include "sim/ctl/bus_commands_win.h"
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

int main(int argc, char** argv) {
    // Lines end in a bare line feed, as a Unix reader of the output expects.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const std::vector<std::string> serials(argv + (argc > 2 ? 2 : argc), argv + argc);
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "plug") == 0)
        return SimCtlPlug(serials);
    if (std::strcmp(command, "unplug") == 0)
        return SimCtlUnplug(serials);
    if (std::strcmp(command, "install-driver") == 0 && serials.empty())
        return SimCtlInstallDriver();
    if (std::strcmp(command, "status") == 0 && serials.empty())
        return SimCtlStatus();
    std::fprintf(stderr, "usage: simctl plug [serial...] | unplug [serial...] | install-driver | "
                         "status\n");
    return 2;
}
