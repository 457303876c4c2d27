// xvr shell: one device kept open for a session of queries and parameters.
#include <cstdio>
#include <optional>

#include "commands.h"
#include "terminal.h"

namespace xvrcli {

int RunShell(const Options &o) {
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    const bool interactive = StdinIsTerminal();
    if (interactive) {
        std::printf("Connected to %s.  :help for help, :quit or Ctrl-D to leave.\n",
                    device.name().c_str());
        device.SetInterrupt(Interrupted);
    }
    int status = kExitOk;
    std::string line;
    for (size_t number = 1; ReadLine("xvr> ", &line); ++number) {
        try {
            const auto step = ParseStep(line, number, *o.driver, o.hexIn);
            // Ctrl-C abandons a pending read, not the session.
            std::optional<InterruptScope> scope;
            if (interactive) scope.emplace();
            if (step && !RunStep(device, *step, o.hexOut)) break;
        } catch (const std::runtime_error &e) {
            // A failed line does not end the session; the exit status keeps it.
            std::fprintf(stderr, "%s\n", e.what());
            status = kExitDevice;
        }
    }
    return status;
}

}  // namespace xvrcli
