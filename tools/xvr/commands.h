// The subcommands of xvr.
#pragma once

#include <cstddef>
#include <vector>

#include "device.h"
#include "options.h"

namespace xvrcli {

struct Command {
    const char *name;
    const char *synopsis;  // the positional arguments
    const char *summary;   // one line for the overview
    const char *details;   // what it does and its options
    size_t minArgs;
    size_t maxArgs;
    std::vector<Opt> options;
    int (*run)(const Library &library, const Options &options);
};

const std::vector<Command> &Commands();

int RunDrivers(const Library &library, const Options &options);
int RunQuery(const Library &library, const Options &options);
int RunWrite(const Library &library, const Options &options);
int RunRead(const Library &library, const Options &options);
int RunGet(const Library &library, const Options &options);
int RunSet(const Library &library, const Options &options);
int RunShell(const Library &library, const Options &options);
int RunBench(const Library &library, const Options &options);

// Data bytes to stdout, as they are or (--hex) as hexadecimal pairs, ending
// with a line break.
void PrintData(const std::string &data, bool hex);

}  // namespace xvrcli
