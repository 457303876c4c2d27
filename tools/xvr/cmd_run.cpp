// xvr run: a script of shell lines, checked whole before the device opens.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "commands.h"
#include "system.h"

namespace xvrcli {

void CheckRun(Options &o) {
    const std::string &name = o.args[2];
    if (name == "-") {
        o.script = ParseScript(std::cin, "stdin", *o.driver, o.hexIn);
        return;
    }
    const std::string problem = FileProblem(name);
    if (!problem.empty()) throw UsageError("cannot read " + name + ": " + problem);
    std::ifstream in(name, std::ios::binary);
    if (!in) throw UsageError("cannot read " + name);
    o.script = ParseScript(in, name, *o.driver, o.hexIn);
}

int RunRun(const Options &o) {
    const std::string name = o.args[2] == "-" ? "stdin" : o.args[2];
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    int status = kExitOk;
    for (const Step &step : o.script) {
        if (o.echo) {
            std::printf("> %s\n", step.source.c_str());
            std::fflush(stdout);
        }
        try {
            if (!RunStep(device, step, o.hexOut)) break;
        } catch (const DeviceError &e) {
            std::fprintf(stderr, "xvr run: %s:%zu: %s\n", name.c_str(), step.line, e.what());
            status = kExitDevice;
            if (!o.keepGoing) {
                std::fprintf(stderr, "xvr run: stopped at line %zu (--keep-going runs the rest)\n",
                             step.line);
                break;
            }
        }
    }
    return status;
}

}  // namespace xvrcli
