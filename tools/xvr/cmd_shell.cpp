// xvr shell: one device kept open for a session of queries and parameters.
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "hex.h"
#include "terminal.h"

namespace xvrcli {

namespace {

const char kShellHelp[] =
    "A line holding '?' is sent as a query, any other line is only sent.\n"
    ":get NAME, :set NAME VALUE, :read, :help, :quit\n";

std::string Trim(const std::string &s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// One line of the session; false ends it.
bool RunLine(Device &device, const std::string &line, bool hex) {
    if (line == ":quit" || line == ":exit" || line == ":q") return false;
    if (line == ":help") {
        std::fputs(kShellHelp, stdout);
    } else if (line.rfind(":get ", 0) == 0) {
        std::printf("%s\n", device.Get(Trim(line.substr(5))).c_str());
    } else if (line.rfind(":set ", 0) == 0) {
        const std::string rest = Trim(line.substr(5));
        const auto blank = rest.find(' ');
        if (blank == std::string::npos) throw UsageError(":set needs NAME VALUE");
        device.Set(rest.substr(0, blank), rest.substr(blank + 1));
    } else if (line == ":read") {
        PrintData(device.ReadMessage(), hex);
    } else if (!line.empty() && line[0] == ':') {
        throw UsageError("unknown shell command '" + line + "' (:help lists them)");
    } else {
        const std::string data = hex ? FromHex(line) : line;
        if (line.find('?') != std::string::npos) {
            PrintData(device.Query(data), hex);
        } else {
            device.Write(data, true);
        }
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int RunShell(const Library &library, const Options &o) {
    Device device(library, o.args[0], o.args[1], o);
    if (StdinIsTerminal())
        std::printf("Connected to %s %s.  :help for help, :quit or end of input to leave.\n",
                    o.args[0].c_str(), o.args[1].c_str());
    int status = kExitOk;
    std::string line;
    while (ReadLine("xvr> ", &line)) {
        line = Trim(line);
        if (line.empty()) continue;
        try {
            if (!RunLine(device, line, o.hex)) break;
        } catch (const DeviceError &e) {
            // A failed line does not end the session; the exit status keeps it.
            std::fprintf(stderr, "%s\n", e.what());
            status = kExitDevice;
        } catch (const UsageError &e) {
            std::fprintf(stderr, "%s\n", e.what());
            status = kExitDevice;
        }
    }
    return status;
}

}  // namespace xvrcli
