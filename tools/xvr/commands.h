// The subcommands of xvr.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "device.h"
#include "options.h"

namespace xvrcli {

struct Command {
    const char *name;
    const char *synopsis;  // the positional arguments
    const char *summary;   // one line for the overview
    const char *details;   // what it does and its own options
    size_t minArgs;
    size_t maxArgs;
    std::vector<Opt> options;
    bool device;   // the arguments begin with DRIVER ADDRESS
    bool library;  // initialises the library (so -v can log it)
    // Checks and prepares the arguments before anything else happens; may
    // be null.  Throws UsageError.
    void (*check)(Options &options);
    int (*run)(const Options &options);
};

const std::vector<Command> &Commands();
void PrintOverview(std::FILE *to);
void PrintCommandHelp(const Command &command);

int RunDrivers(const Options &options);
int RunQuery(const Options &options);
int RunWrite(const Options &options);
int RunRead(const Options &options);
int RunGet(const Options &options);
int RunSet(const Options &options);
int RunShell(const Options &options);
int RunRun(const Options &options);
int RunBench(const Options &options);
int RunLog(const Options &options);
int RunPorts(const Options &options);
int RunParams(const Options &options);
int RunCompletion(const Options &options);

void CheckQuery(Options &options);
void CheckData(Options &options);
void CheckGet(Options &options);
void CheckSet(Options &options);
void CheckRun(Options &options);
void CheckParams(Options &options);
void CheckCompletion(Options &options);

// The [COM] section of XVR.XVR: port names and the device paths they stand
// for (*found: the file could be read); the path of one name, or "".
std::vector<std::pair<std::string, std::string>> ComMappings(bool *found);
std::string ComMapping(const std::string &name);

// Data bytes to stdout, as they are or (hex) as hexadecimal pairs, ending
// with a line break.
void PrintData(const std::string &data, bool hex);

}  // namespace xvrcli
